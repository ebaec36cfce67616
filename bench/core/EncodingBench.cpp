// Converting the editor's text to Windows-1251, as every Save, preview and
// check does: a 20 MB deck as it is, and the same deck with one character the
// code page lacks, which must not make the conversion slower in kind.
//
// Measured on two shared cores (median of five, wall / CPU): 37.9 / 15.4 ms
// without, 38.1 / 15.2 ms with one character in the middle, 24.7 / 14.6 ms
// with one at the start. The per-character codec used before took 118 / 41
// ms without and 35.7 s / 12.5 s with one.
#include <benchmark/benchmark.h>

#include <QString>

#include "core/Encoding.h"

namespace {

// About 20 MB of deck text: markup, Latin and Cyrillic, CR LF line breaks.
QString Deck() {
  const QString line = QString::fromUtf8(
      "<p align=\"left\">Привет, это строка текста WML-колоды номер %1 для проверки.</p>\r\n");
  QString text;
  text.reserve(21 << 20);
  for (int i = 0; text.size() < (20 << 20); ++i) text += line.arg(i);
  return text;
}

void BM_ConvertPlain(benchmark::State& state) {
  const QString text = Deck();
  for (auto _ : state) benchmark::DoNotOptimize(deckhand::UnicodeToCp1251(text));
  state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(BM_ConvertPlain)->Unit(benchmark::kMillisecond);

void BM_ConvertOneOutsideTheCodePage(benchmark::State& state) {
  QString text = Deck();
  text.insert(text.size() / 2, QString::fromUtf8("😀"));
  for (auto _ : state) benchmark::DoNotOptimize(deckhand::UnicodeToCp1251(text));
  state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(BM_ConvertOneOutsideTheCodePage)->Unit(benchmark::kMillisecond);

void BM_ConvertOneOutsideAtTheStart(benchmark::State& state) {
  QString text = Deck();
  text.prepend(QString::fromUtf8("😀"));
  for (auto _ : state) benchmark::DoNotOptimize(deckhand::UnicodeToCp1251(text));
  state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(BM_ConvertOneOutsideAtTheStart)->Unit(benchmark::kMillisecond);

}  // namespace
