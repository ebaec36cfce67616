// The editor-backed buffer on a 1 MB document: one-character SetSelText in
// the middle, GetText of the whole text, and the byte/editor position
// translation the status bar uses on every caret move; and opening 10 MB.
// A line of up to a megabyte without a space, opened, typed into, pasted
// and brought back by undo, and the toolkit's layout of that line alone for
// comparison.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTextLayout>
#include <string>
#include <utility>

#include "core/TextSearch.h"
#include "ui/MemoBuffer.h"

namespace {

using namespace deckhand;

std::string Deck(size_t size) {
  const std::string line = "<p align=\"center\">\xCF\xF0\xE8\xE2\xE5\xF2 <b>there</b></p>\r\n";
  std::string text;
  while (text.size() < size) text += line;
  return text;
}

struct Editor {
  Editor() : buffer(&memo) {
    memo.resize(580, 374);
    buffer.SetTextStr(Deck(1 << 20));
  }
  TMemo memo;
  TMemoBuffer buffer;
};

void BM_MemoSetSelTextMiddleOf1MB(benchmark::State& state) {
  Editor editor;
  const int middle = editor.buffer.Length() / 2;
  for (auto _ : state) {
    editor.buffer.SetSelStart(middle);
    editor.buffer.SetSelText("x");
  }
}
BENCHMARK(BM_MemoSetSelTextMiddleOf1MB)->Unit(benchmark::kMicrosecond);

void BM_MemoGetText1MB(benchmark::State& state) {
  Editor editor;
  for (auto _ : state) benchmark::DoNotOptimize(editor.buffer.GetText());
  state.SetBytesProcessed(state.iterations() * editor.buffer.Length());
}
BENCHMARK(BM_MemoGetText1MB)->Unit(benchmark::kMillisecond);

// Opening a 10 MB deck into the editor: the text handed over as Open does.
void BM_MemoSetTextStr10MB(benchmark::State& state) {
  const std::string deck = Deck(10 << 20);
  for (auto _ : state) {
    state.PauseTiming();
    TMemo memo;
    memo.resize(580, 374);
    TMemoBuffer buffer(&memo);
    std::string text = deck;
    state.ResumeTiming();
    buffer.SetTextStr(std::move(text));
    benchmark::DoNotOptimize(buffer.Length());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * deck.size()));
}
BENCHMARK(BM_MemoSetTextStr10MB)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_MemoCaretPosition1MB(benchmark::State& state) {
  Editor editor;
  int position = 0;
  const int length = editor.buffer.Length();
  for (auto _ : state) {
    position = (position + 7919) % length;
    editor.buffer.SetSelStart(position);
    const int start = editor.buffer.GetSelStart();
    const int line = editor.buffer.LineFromChar(start);
    benchmark::DoNotOptimize(start - editor.buffer.LineIndex(line));
  }
}
BENCHMARK(BM_MemoCaretPosition1MB)->Unit(benchmark::kMicrosecond);

// One line of the given length without a space (a minified or hostile
// deck), opened into a shown editor and painted, then one key typed in its
// middle and the editor painted again.
std::string LongLine(size_t size) {
  std::string line = "<wml>";
  while (line.size() < size) line += "x";
  return line;
}

void BM_MemoOpenLongLine(benchmark::State& state) {
  const std::string deck = LongLine(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    TMemo memo;
    memo.resize(580, 374);
    memo.show();
    TMemoBuffer buffer(&memo);
    std::string text = deck;
    state.ResumeTiming();
    buffer.SetTextStr(std::move(text));
    memo.viewport()->repaint();
  }
}
BENCHMARK(BM_MemoOpenLongLine)
    ->Arg(20 << 10)
    ->Arg(100 << 10)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

void BM_MemoKeyOnLongLine(benchmark::State& state) {
  TMemo memo;
  memo.resize(580, 374);
  memo.show();
  TMemoBuffer buffer(&memo);
  buffer.SetTextStr(LongLine(static_cast<size_t>(state.range(0))));
  memo.viewport()->repaint();
  const int middle = buffer.Length() / 2;
  for (auto _ : state) {
    buffer.SetSelStart(middle);
    buffer.SetSelText("y");
    memo.viewport()->repaint();
  }
}
BENCHMARK(BM_MemoKeyOnLongLine)
    ->Arg(20 << 10)
    ->Arg(100 << 10)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

// Undo bringing back such a line after it was deleted, which took the
// editor out of its long-line mode: the mode must return before the line is
// laid out (laid out at word boundaries a megabyte takes half a minute).
void BM_MemoUndoDeletedLongLine(benchmark::State& state) {
  TMemo memo;
  memo.resize(580, 374);
  memo.show();
  TMemoBuffer buffer(&memo);
  buffer.SetTextStr(LongLine(static_cast<size_t>(state.range(0))));
  memo.viewport()->repaint();
  for (auto _ : state) {
    state.PauseTiming();
    memo.selectAll();
    buffer.SetSelText("");
    memo.viewport()->repaint();
    state.ResumeTiming();
    memo.undo();
    memo.viewport()->repaint();
  }
}
BENCHMARK(BM_MemoUndoDeletedLongLine)
    ->Arg(100 << 10)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

// Such a line pasted into an empty editor, which switches to the long-line
// mode on the way.
void BM_MemoPasteLongLine(benchmark::State& state) {
  const std::string line = LongLine(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    TMemo memo;
    memo.resize(580, 374);
    memo.show();
    TMemoBuffer buffer(&memo);
    memo.viewport()->repaint();
    state.ResumeTiming();
    buffer.SetSelText(line);
    memo.viewport()->repaint();
  }
}
BENCHMARK(BM_MemoPasteLongLine)
    ->Arg(100 << 10)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

// The toolkit's own layout of such a line, as the editor lays it out in its
// long-line mode (wrapped anywhere at the editor's width, no shaping, the
// glyphs kept): the part of a key on the line that is not the editor's.
void BM_TextLayoutOfLongLine(benchmark::State& state) {
  TMemo memo;
  memo.resize(580, 374);
  const QString text = QString::fromLatin1(LongLine(static_cast<size_t>(state.range(0))));
  QTextLayout layout(text, memo.DocumentFont(true));
  layout.setCacheEnabled(true);
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAnywhere);
  layout.setTextOption(option);
  const qreal width = memo.viewport()->width();
  for (auto _ : state) {
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
      line.setLineWidth(width);
    }
    layout.endLayout();
  }
}
BENCHMARK(BM_TextLayoutOfLongLine)
    ->Arg(100 << 10)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

// Find next in a 20 MB deck held by the editor, as F3 runs it: the text
// taken from the editor and searched from the caret round the end for a
// text it does not hold (the whole text is scanned), case folded.
void BM_MemoFindNext20MB(benchmark::State& state) {
  TMemo memo;
  memo.resize(580, 374);
  TMemoBuffer buffer(&memo);
  buffer.SetTextStr(Deck(20 << 20));
  buffer.SetSelStart(buffer.Length() / 2);
  for (auto _ : state) {
    benchmark::DoNotOptimize(FindNext(buffer, "<card id=\"missing\"", TSearchOptions{}));
  }
}
BENCHMARK(BM_MemoFindNext20MB)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
