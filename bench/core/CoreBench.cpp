// Editing core figures: the markup check against one plain counting pass,
// and the buffer's whole-text and single-character edits.
#include <benchmark/benchmark.h>

#include <string>

#include "core/CodeBuffer.h"
#include "core/MarkupCheck.h"
#include "core/MarkupCommands.h"
#include "core/TextSearch.h"

namespace {

using namespace deckhand;

// A deck-like text of about size bytes, its line breaks mixed when asked.
std::string DeckText(size_t size, bool mixedBreaks) {
  const std::string card = "<card id=\"c\" title=\"T\"><p align=\"center\">Hello <b>there</b></p>";
  const char* breaks[] = {"\r\n", "\n", "\r"};
  std::string text;
  text.reserve(size + 128);
  for (int i = 0; text.size() < size; ++i) {
    text += card;
    text += mixedBreaks ? breaks[i % 3] : "\r\n";
  }
  return text;
}

void BM_PlainCountPass(benchmark::State& state) {
  const std::string text = DeckText(10 << 20, false);
  for (auto _ : state) {
    int q = 0, o = 0, c = 0;
    for (unsigned char ch : text) {
      q += ch == '"';
      o += ch == '<';
      c += ch == '>';
    }
    benchmark::DoNotOptimize(q + o + c);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_PlainCountPass)->Unit(benchmark::kMillisecond);

void BM_CheckMarkup10MB(benchmark::State& state) {
  TMemoryBuffer buffer;
  buffer.SetText(DeckText(10 << 20, false));
  int calls = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(CheckMarkup(buffer, [&](int32_t, int32_t) { ++calls; }));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(buffer.GetText().size()));
}
BENCHMARK(BM_CheckMarkup10MB)->Unit(benchmark::kMillisecond);

void BM_SetSelTextMiddleOf1MB(benchmark::State& state) {
  TMemoryBuffer buffer;
  buffer.SetText(DeckText(1 << 20, false));
  const int middle = static_cast<int>(buffer.GetText().size() / 2);
  for (auto _ : state) {
    buffer.SetSelStart(middle);
    buffer.SetSelText("x");
    buffer.SetSelStart(middle);
    buffer.SetSelLength(1);
    buffer.SetSelText("");
  }
}
BENCHMARK(BM_SetSelTextMiddleOf1MB)->Unit(benchmark::kMicrosecond);

void BM_SetTextStr10MBMixedBreaks(benchmark::State& state) {
  const std::string text = DeckText(10 << 20, true);
  for (auto _ : state) {
    TMemoryBuffer buffer;
    buffer.SetTextStr(text);
    benchmark::DoNotOptimize(buffer.GetSelStart());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_SetTextStr10MBMixedBreaks)->Unit(benchmark::kMillisecond);

// Searching a 20 MB deck for a text it does not hold (the whole text is
// scanned): argument 0 matches case, 1 folds case, 2 folds case and wants
// whole words. Then replacing every "<b>" of it at once.
void BM_FindIn20MB(benchmark::State& state) {
  const std::string text = DeckText(20 << 20, false);
  TSearchOptions options;
  options.MatchCase = state.range(0) == 0;
  options.WholeWord = state.range(0) == 2;
  for (auto _ : state) {
    benchmark::DoNotOptimize(FindIn(text, "<card id=\"missing\"", 0, options));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_FindIn20MB)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_ReplaceAllIn20MB(benchmark::State& state) {
  const std::string text = DeckText(20 << 20, false);
  for (auto _ : state) {
    benchmark::DoNotOptimize(ReplaceAllIn(text, "<b>", "<i>", TSearchOptions{}).Count);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ReplaceAllIn20MB)->Unit(benchmark::kMillisecond);

}  // namespace
