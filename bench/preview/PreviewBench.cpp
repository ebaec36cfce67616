// The preview of a 1 MB document: composing and writing the page against
// copying a file of the same size the way cp does (read it, write it), and
// the time from the preview command until the HTML view reports the page
// loaded. bench/preview.sh turns the first two into a ratio.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineView>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/CodeBuffer.h"
#include "core/Encoding.h"
#include "preview/Preview.h"
#include "preview/PreviewPane.h"
#include "preview/WebEngineSetup.h"

namespace {

constexpr size_t kDocumentSize = 1024 * 1024;

// A deck of about 1 MB: cards of Russian paragraphs, CR LF line breaks.
std::string MegabyteDeck() {
  std::string deck = "<?xml version=\"1.0\"?>\r\n<wml>\r\n";
  const std::string paragraph =
      deckhand::Cp1251("<p>Строка предпросмотра на экране телефона, <b>жирный</b> текст.</p>\r\n");
  int card = 0;
  while (deck.size() < kDocumentSize - 64) {
    deck += "<card id=\"c" + std::to_string(card++) + "\">\r\n";
    for (int i = 0; i < 20 && deck.size() < kDocumentSize - 64; ++i) deck += paragraph;
    deck += "</card>\r\n";
  }
  deck += "</wml>";
  deck.resize(kDocumentSize, ' ');
  return deck;
}

void BM_PreviewWrite(benchmark::State& state) {
  QTemporaryDir base;
  deckhand::TMemoryBuffer code;
  code.SetText(MegabyteDeck());
  deckhand::TPreview preview(base.path());
  for (auto _ : state) benchmark::DoNotOptimize(preview.Write(code));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(kDocumentSize));
}
BENCHMARK(BM_PreviewWrite)->Unit(benchmark::kMicrosecond);

// What cp does for a regular file: open both, read and write in blocks.
void BM_CopyFile(benchmark::State& state) {
  QTemporaryDir dir;
  const QByteArray source = QFile::encodeName(dir.filePath("source.wml"));
  const QByteArray target = QFile::encodeName(dir.filePath("target.wml"));
  {
    QFile file(QString::fromLocal8Bit(source));
    if (!file.open(QIODevice::WriteOnly)) std::abort();
    const std::string deck = MegabyteDeck();
    file.write(deck.data(), static_cast<qint64>(deck.size()));
  }
  std::vector<char> block(128 * 1024);
  for (auto _ : state) {
    const int in = ::open(source.constData(), O_RDONLY);
    const int out = ::open(target.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    ssize_t got;
    while ((got = ::read(in, block.data(), block.size())) > 0) {
      if (::write(out, block.data(), static_cast<size_t>(got)) != got) std::abort();
    }
    ::close(in);
    ::close(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(kDocumentSize));
}
BENCHMARK(BM_CopyFile)->Unit(benchmark::kMicrosecond);

// From the preview command to the view's loadFinished, for a 1 MB page,
// once the view exists.
void BM_ViewLoad(benchmark::State& state) {
  QTemporaryDir base;
  deckhand::TMemoryBuffer code;
  code.SetText(MegabyteDeck());
  deckhand::TPreviewPane pane(code, base.path());
  pane.show();
  QEventLoop loop;
  bool ok = true;
  // The first preview creates the view (and starts the web engine); the
  // figure is that of the previews after it.
  pane.Button1Click(&pane);
  auto* view = qobject_cast<QWebEngineView*>(pane.WebBrowser());
  if (view == nullptr) {
    state.SkipWithError("the preview created no view");
    return;
  }
  QObject::connect(view, &QWebEngineView::loadFinished, &loop, [&](bool loaded) {
    ok = ok && loaded;
    loop.quit();
  });
  loop.exec();
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, &loop, [&] {
    ok = false;
    loop.quit();
  });
  for (auto _ : state) {
    QElapsedTimer timer;
    timer.start();
    pane.Button1Click(&pane);
    guard.start(60000);
    loop.exec();
    guard.stop();
    state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
  }
  if (!ok) state.SkipWithError("the view did not load the page");
}
BENCHMARK(BM_ViewLoad)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
  // Without an X server the view renders offscreen.
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
  }
  deckhand::PrepareWebEngine();
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
