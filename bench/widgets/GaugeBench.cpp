// Cost of the gauge's drawing: PaintImage composes the whole picture off
// screen (shape, exclusive-or overlay, text) on every paint.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QByteArray>

#include "widgets/Gauges.h"

namespace {

using deckhand::TGauge;
using deckhand::TGaugeKind;

void BM_PaintImage(benchmark::State& state) {
  TGauge gauge;
  gauge.resize(static_cast<int>(state.range(1)), static_cast<int>(state.range(1)));
  gauge.SetKind(static_cast<TGaugeKind>(state.range(0)));
  gauge.SetProgress(37);
  for (auto _ : state) benchmark::DoNotOptimize(gauge.PaintImage());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PaintImage)->ArgsProduct({{0, 1, 2, 3, 4}, {100, 400}});

// The splash's gauge, shown: 175 steps of one unit, 100 of which repaint.
void BM_SplashRun(benchmark::State& state) {
  TGauge gauge;
  gauge.resize(9, 41);
  gauge.SetKind(deckhand::gkVerticalBar);
  gauge.SetBorderStyle(deckhand::bsNone);
  gauge.SetShowText(false);
  gauge.SetMaxValue(175);
  gauge.show();
  QApplication::processEvents();
  for (auto _ : state) {
    gauge.SetProgress(0);
    for (int step = 1; step <= 175; ++step) gauge.SetProgress(step);
  }
}
BENCHMARK(BM_SplashRun);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
