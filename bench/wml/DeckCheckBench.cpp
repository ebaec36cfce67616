// Deck checks: check and compiled size of a 3 KB deck and of a generated
// 1 MB deck, and whole runs of deckhand-check against xmllint --valid on
// the same 1 MB file (goal: at most 1.5 times xmllint's time).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "wml/DeckCheck.h"

namespace {

using namespace deckhand::wml;
namespace fs = std::filesystem;

const std::string kProlog =
    "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n"
    "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
    "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\r\n";

// A valid deck of about size bytes: a template with a way back, then cards
// chained by links, each with formatted text, a list and a field, and
// Cyrillic text in Windows-1251.
std::string GeneratedDeck(std::size_t size) {
  std::string deck = kProlog +
                     "<wml>\r\n<template><do type=\"prev\" "
                     "label=\"\xCD\xE0\xE7\xE0\xE4\"><prev/></do></template>\r\n";
  for (int i = 0; deck.size() < size; ++i) {
    const std::string id = std::to_string(i), next = std::to_string(i + 1);
    deck += "<card id=\"c" + id + "\" title=\"\xCA\xE0\xF0\xF2\xEE\xF7\xEA\xE0 " + id +
            "\">\r\n<p align=\"left\">\xCF\xF0\xE8\xE2\xE5\xF2, <b>$(name)</b>! &amp; "
            "<a href=\"#c" +
            next +
            "\">\xC4\xE0\xEB\xFC\xF8\xE5</a><br/>\r\n"
            "<select name=\"s" +
            id +
            "\"><option value=\"1\">One</option><option value=\"2\">Two</option>"
            "</select>\r\n<input name=\"f" +
            id + "\" format=\"*N\" maxlength=\"4\"/></p>\r\n</card>\r\n";
  }
  deck += "<card id=\"c" + std::to_string(0) +
          "x\"><p><a href=\"#c0\">start</a></p></card>\r\n</wml>\r\n";
  return deck;
}

void CheckAndSize(benchmark::State& state, std::size_t size) {
  const std::string deck = GeneratedDeck(size);
  if (!CheckDeck(deck).Valid) {
    state.SkipWithError("the generated deck is not valid");
    return;
  }
  for (auto _ : state) {
    const TDeckReport report = CheckDeck(deck, &DefaultPhone());
    benchmark::DoNotOptimize(report.CompiledSize);
  }
  state.counters["deck_bytes"] = static_cast<double>(deck.size());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * deck.size()));
}

void BM_CheckDeck3KB(benchmark::State& state) { CheckAndSize(state, 3 * 1024); }
BENCHMARK(BM_CheckDeck3KB)->Unit(benchmark::kMicrosecond);

void BM_CheckDeck1MB(benchmark::State& state) { CheckAndSize(state, 1 << 20); }
BENCHMARK(BM_CheckDeck1MB)->Unit(benchmark::kMillisecond);

void BM_CompileDeck1MB(benchmark::State& state) {
  const std::string deck = GeneratedDeck(1 << 20);
  for (auto _ : state) benchmark::DoNotOptimize(CompileDeck(deck));
}
BENCHMARK(BM_CompileDeck1MB)->Unit(benchmark::kMillisecond);

// Whole runs of the two programs on the same 1 MB file, the DTD given to
// xmllint through a catalog.
struct TFiles {
  fs::path Folder, Deck, Catalog;
  TFiles() {
    Folder = fs::temp_directory_path() / ("wml-bench-" + std::to_string(getpid()));
    fs::create_directories(Folder);
    Deck = Folder / "deck.wml";
    std::ofstream(Deck, std::ios::binary) << GeneratedDeck(1 << 20);
    Catalog = Folder / "catalog.xml";
    std::ofstream(Catalog) << "<?xml version=\"1.0\"?>\n<catalog "
                              "xmlns=\"urn:oasis:names:tc:entity:xmlns:xml:catalog\">"
                              "<public publicId=\"-//WAPFORUM//DTD WML 1.1//EN\" uri=\"file://"
                           << DECKHAND_CORPUS_DIR << "/dtd/wml_1.1.xml\"/></catalog>\n";
  }
  ~TFiles() { fs::remove_all(Folder); }
};

const TFiles& Files() {
  static const TFiles files;
  return files;
}

void RunCommand(benchmark::State& state, const std::string& command) {
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError(("failed: " + command).c_str());
      return;
    }
  }
}

void BM_DeckhandCheckRun1MB(benchmark::State& state) {
  RunCommand(state, std::string(DECKHAND_CHECK) + " '" + Files().Deck.string() + "' >/dev/null");
}
BENCHMARK(BM_DeckhandCheckRun1MB)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_XmllintValidRun1MB(benchmark::State& state) {
  if (!fs::exists(fs::path(DECKHAND_CORPUS_DIR) / "dtd" / "wml_1.1.xml") ||
      std::system("command -v xmllint >/dev/null") != 0) {
    state.SkipWithError("needs xmllint and the reference DTD of the corpus");
    return;
  }
  RunCommand(state, "XML_CATALOG_FILES='" + Files().Catalog.string() +
                        "' xmllint --nonet --valid --noout '" + Files().Deck.string() + "'");
}
BENCHMARK(BM_XmllintValidRun1MB)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
