// The phone emulator on hostile decks: the tolerant parser on attribute
// entity references, and the card renderer on a long word, a long title,
// deep nesting and many images. Each stays linear in the deck's size and
// bounded by the emulator's limits.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <filesystem>
#include <fstream>

#include "emulator/CardRenderer.h"

using namespace deckhand::wml;

namespace {

std::string Deck(const std::string& cards, const std::string& subset = {}) {
  return "<?xml version=\"1.0\"?>\n" +
         (subset.empty() ? std::string() : "<!DOCTYPE wml [" + subset + "]>\n") + "<wml>" + cards +
         "</wml>\n";
}

std::string Repeat(const std::string& piece, int times) {
  std::string out;
  out.reserve(piece.size() * times);
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

// A 25 KB deck whose title names an entity of 1,000 characters 3,000 times:
// 3 MB of attribute, under the expansion limit.
void ParseAttributeEntities(benchmark::State& state) {
  const std::string deck =
      Deck("<card id=\"a\" title=\"" + Repeat("&e;", 3000) + "\"><p>x</p></card>",
           "<!ENTITY e \"" + std::string(1000, 'x') + "\">");
  for (auto _ : state) benchmark::DoNotOptimize(ParseDeck(deck));
}
BENCHMARK(ParseAttributeEntities)->Unit(benchmark::kMillisecond);

void RenderCard(benchmark::State& state, const std::string& deck, const std::string& path = {}) {
  TUserAgent agent([] { return std::int64_t{0}; });
  agent.Open(deck, path);
  TPhoneScreen screen(agent, DefaultPhone());
  for (auto _ : state) benchmark::DoNotOptimize(screen.Render());
}

void RenderWordOf60000(benchmark::State& state) {
  RenderCard(state, Deck("<card id=\"a\"><p>" + std::string(60000, 'w') + "</p></card>"));
}
BENCHMARK(RenderWordOf60000)->Unit(benchmark::kMillisecond);

void RenderWordOf1MB(benchmark::State& state) {
  RenderCard(state, Deck("<card id=\"a\"><p>" + std::string(1 << 20, 'w') + "</p></card>"));
}
BENCHMARK(RenderWordOf1MB)->Unit(benchmark::kMillisecond);

void RenderTitleOf1MB(benchmark::State& state) {
  RenderCard(state,
             Deck("<card id=\"a\" title=\"" + std::string(1 << 20, 't') + "\"><p>x</p></card>"));
}
BENCHMARK(RenderTitleOf1MB)->Unit(benchmark::kMillisecond);

void RenderNesting100000(benchmark::State& state) {
  RenderCard(state, Deck("<card id=\"a\"><p>" + Repeat("<b>", 100000) + "x" +
                         Repeat("</b>", 100000) + "</p></card>"));
}
BENCHMARK(RenderNesting100000)->Unit(benchmark::kMillisecond);

void Render2000ImagesOfOneFile(benchmark::State& state) {
  const auto dir = std::filesystem::temp_directory_path() / "deckhand-bench-images";
  std::filesystem::create_directories(dir);
  {
    std::ofstream out(dir / "dot.wbmp", std::ios::binary);
    out << std::string("\x00\x00\x08\x08", 4) << std::string(8, '\0');
  }
  RenderCard(state,
             Deck("<card id=\"a\"><p>" + Repeat("<img src=\"dot.wbmp\" alt=\"x\"/>", 2000) +
                  "</p></card>"),
             (dir / "deck.wml").string());
  std::filesystem::remove_all(dir);
}
BENCHMARK(Render2000ImagesOfOneFile)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
