// Request round trip of the network client against the local test server
// (tests/net/wap_server.py on a loopback port): a small WBMP by GET, and a
// form POST of Cyrillic fields in windows-1251 answered by the echo page;
// and the user agent following a link of the site's start deck with the
// network on: request, response, parsing and entering the card, its picture
// fetched with it.
// Run with --benchmark_repetitions=N to see the median of N runs.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <cstdio>

#include "WapServer.h"
#include "emulator/UserAgent.h"
#include "net/Fetcher.h"
#include "net/NetworkLoader.h"
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

// From the editor's deck to the site's start deck and its picture: one go
// over the network per iteration; between them (untimed) the agent starts
// afresh, so nothing fetched is kept.
void BM_AgentFollowsALink(benchmark::State& state) {
  TWapServer* server = TWapServer::Get();
  if (server == nullptr) {
    state.SkipWithError(TWapServer::Reason().c_str());
    return;
  }
  TNetworkLoader loader;
  loader.SetPhone(&deckhand::wml::DefaultPhone());
  deckhand::wml::TUserAgent agent;
  agent.SetNetwork(loader.AsFetch());
  agent.Open("<wml><card id=\"home\"><p><a href=\"" + server->Url("/site/start") +
             "\">go</a></p></card></wml>");
  for (auto _ : state) {
    agent.Select();
    if (agent.CardId() != "s") {
      state.SkipWithError(("the start deck was not shown: " + agent.Error()).c_str());
      return;
    }
    state.PauseTiming();
    agent.Restart();  // a fresh session: nothing kept
    state.ResumeTiming();
  }
}

BENCHMARK(BM_GetWbmp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AgentFollowsALink)->Unit(benchmark::kMillisecond);
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
