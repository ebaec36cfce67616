// The decoder of compiled decks in the program's own process: every deck of
// the shared corpus compiled by our encoder, and one large generated deck.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "wml/DeckCheck.h"
#include "wml/WbxmlDecode.h"

using namespace deckhand::wml;
namespace fs = std::filesystem;

namespace {

// The corpus decks our encoder compiles, compiled.
const std::vector<std::string>& CompiledCorpus() {
  static const std::vector<std::string> decks = [] {
    std::vector<std::string> out;
    const fs::path root(DECKHAND_CORPUS_DIR);
    if (!fs::is_directory(root)) return out;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      if (!entry.is_regular_file() || entry.path().extension() != ".wml") continue;
      std::ifstream in(entry.path(), std::ios::binary);
      const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      if (auto compiled = CompileDeck(text)) out.push_back(std::move(*compiled));
    }
    return out;
  }();
  return decks;
}

// A valid deck of about size bytes of source: cards chained by links, with
// formatted text, variables, a list and a field, compiled.
std::string LargeCompiledDeck(std::size_t size) {
  std::string deck =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
      "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\n<wml>\n";
  for (int i = 0; deck.size() < size; ++i) {
    const std::string n = std::to_string(i), next = std::to_string(i + 1);
    deck += "<card id=\"c" + n + "\" title=\"Карточка " + n +
            "\">\n<p align=\"left\">Привет, <b>$(name)</b>! &amp; <a href=\"#c" + next +
            "\">Дальше</a><br/>\n<select name=\"s" + n +
            "\"><option value=\"1\">One</option><option value=\"2\">Two</option></select>\n"
            "<input name=\"f" +
            n + "\" format=\"*N\" maxlength=\"4\"/></p>\n</card>\n";
  }
  deck += "</wml>\n";
  return CompileDeck(deck).value_or(std::string());
}

void BM_DecodeCorpus(benchmark::State& state) {
  const auto& decks = CompiledCorpus();
  if (decks.empty()) {
    state.SkipWithError("no corpus");
    return;
  }
  std::size_t bytes = 0;
  std::string error;
  for (auto _ : state) {
    for (const std::string& deck : decks) {
      auto text = DecodeWmlc(deck, error);
      benchmark::DoNotOptimize(text);
      bytes += deck.size();
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  state.counters["decks"] = static_cast<double>(decks.size());
}
BENCHMARK(BM_DecodeCorpus)->Unit(benchmark::kMillisecond);

void BM_DecodeLargeDeck(benchmark::State& state) {
  const std::string deck = LargeCompiledDeck(static_cast<std::size_t>(state.range(0)));
  std::string error;
  for (auto _ : state) {
    auto text = DecodeWmlc(deck, error);
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * deck.size()));
  state.counters["compiled_bytes"] = static_cast<double>(deck.size());
}
BENCHMARK(BM_DecodeLargeDeck)->Arg(1 << 20)->Arg(3 << 20)->Unit(benchmark::kMillisecond);

}  // namespace
