// Request round trip of the network client against the local test server
// (tests/net/wap_server.py on a loopback port): a small WBMP by GET, and a
// form POST of Cyrillic fields in windows-1251 answered by the echo page.
// Run with --benchmark_repetitions=N to see the median of N runs.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <cstdio>

#include "WapServer.h"
#include "net/Fetcher.h"
#include "wml/Phones.h"

using namespace deckhand::net;
using deckhand::net::testing::TWapServer;

namespace {

void RoundTrip(benchmark::State& state, const char* path, TMethod method) {
  TWapServer* server = TWapServer::Get();
  if (server == nullptr) {
    state.SkipWithError(TWapServer::Reason().c_str());
    return;
  }
  TSession session;
  TFetcher fetcher(session);
  TRequest request;
  request.Url = server->Url(path);
  request.Method = method;
  ApplyPhone(request, deckhand::wml::DefaultPhone());
  if (method == TMethod::Post) {
    request.Fields = {{"имя", "Привет мир"}, {"n", "1"}};
    request.AcceptCharset = "windows-1251";
  }
  for (auto _ : state) {
    const TResponse response = fetcher.Fetch(request);
    if (!response.Ok()) {
      state.SkipWithError(response.Error.c_str());
      return;
    }
    benchmark::DoNotOptimize(response.Body.data());
  }
}

void BM_GetWbmp(benchmark::State& state) { RoundTrip(state, "/wbmp", TMethod::Get); }
void BM_PostForm(benchmark::State& state) { RoundTrip(state, "/echo", TMethod::Post); }

BENCHMARK(BM_GetWbmp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PostForm)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  for (const char* name :
       {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
    qunsetenv(name);
  }
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  TWapServer::Stop();
  return 0;
}
