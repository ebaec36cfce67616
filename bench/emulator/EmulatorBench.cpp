// The phone emulator on hostile decks: the tolerant parser on attribute
// entity references, and the card renderer on a long word, a long title,
// deep nesting and many images. Each stays linear in the deck's size and
// bounded by the emulator's limits. Then the scripts a deck calls: a go to
// a script from the key to the script's return (read, compile, verify,
// run), and a script's dialogs, each answer running the call again.
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

// A go to loop.wmls#run(N): the whole call, N turns of a loop of
// arithmetic (about 10 instructions a turn).
void ScriptCallLoop(benchmark::State& state) {
  const auto dir = std::filesystem::temp_directory_path() / "deckhand-bench-scripts";
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "loop.wmls") << "extern function run(n) {\n"
                                      "  var s = 0;\n"
                                      "  for (var i = 0; i < n; i++) { s = s + i % 7; }\n"
                                      "  WMLBrowser.setVar(\"s\", s);\n"
                                      "}\n";
  TUserAgent agent;
  agent.Open(Deck("<card id=\"a\"><p><a href=\"loop.wmls#run(" + std::to_string(state.range(0)) +
                  ")\">run</a></p></card>"),
             (dir / "deck.wml").string());
  for (auto _ : state) {
    agent.SetFocus(0);
    agent.Select();
    if (!agent.Error().empty()) state.SkipWithError(agent.Error().c_str());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  std::filesystem::remove_all(dir);
}
BENCHMARK(ScriptCallLoop)->Arg(1)->Arg(100000)->Unit(benchmark::kMillisecond);

// A script that shows N alerts after a loop of 10,000 turns, answered one by
// one: the call runs N + 1 times.
void ScriptDialogs(benchmark::State& state) {
  const auto dir = std::filesystem::temp_directory_path() / "deckhand-bench-dialogs";
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "ask.wmls") << "extern function ask(n) {\n"
                                     "  var s = 0;\n"
                                     "  for (var i = 0; i < 10000; i++) { s = s + i % 7; }\n"
                                     "  for (var k = 0; k < n; k++) { Dialogs.alert(s + k); }\n"
                                     "}\n";
  TUserAgent agent;
  agent.Open(Deck("<card id=\"a\"><p><a href=\"ask.wmls#ask(" + std::to_string(state.range(0)) +
                  ")\">ask</a></p></card>"),
             (dir / "deck.wml").string());
  for (auto _ : state) {
    agent.SetFocus(0);
    agent.Select();
    while (agent.ScriptDialog()) agent.Select();
    if (!agent.Error().empty()) state.SkipWithError(agent.Error().c_str());
  }
  std::filesystem::remove_all(dir);
}
BENCHMARK(ScriptDialogs)->Arg(1)->Arg(10)->Arg(64)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
