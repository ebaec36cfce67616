// Printing a long listing to PDF at the printer's high resolution: whole
// jobs of growing length, to show that the time grows in proportion to the
// length (lines per second stay level) and that a text past the old single
// layout's limit (about 219,000 lines of 92 bytes) prints at all.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTextDocument>

#include "document/Printing.h"

namespace {

QString Listing(int lines) {
  QString text;
  text.reserve(static_cast<qsizetype>(lines) * 92);
  for (int i = 1; i <= lines; ++i) {
    // 90 characters and CR LF, like a line of a real deck.
    text += QStringLiteral(
                "<p align=\"left\">Line %1 of the listing: <a href=\"#card%1\">next</a> "
                "text</p>")
                .arg(i, 6, 10, QChar(u'0'))
                .leftJustified(90, u' ', true);
    text += QStringLiteral("\r\n");
  }
  return text;
}

void BM_PrintListingToPdf(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  QTextDocument document;
  deckhand::PreparePrintDocument(document);
  deckhand::SetPrintText(document, Listing(lines));
  QTemporaryDir dir;
  for (auto _ : state) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(QStringLiteral("listing.pdf")));
    printer.setPageSize(QPageSize(QPageSize::A4));
    int pages = 1;
    deckhand::PrintDocument(&printer, document, QString(), [&] { ++pages; });
    state.counters["pages"] = pages;
  }
  state.counters["lines/s"] =
      benchmark::Counter(static_cast<double>(lines) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PrintListingToPdf)
    ->Arg(27435)
    ->Arg(109739)
    ->Arg(219477)
    ->Arg(230000)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
