// A deck that tries more than WML can: a script that rewrites the page and
// a picture read from a local file beside the preview page. On a real X
// server the preview shows the deck's text and a picture embedded in the
// page itself, but the script does not run and the local picture is not
// read. Exits 0 on success; on failure it says why.
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <QWebEngineView>
#include <cstdio>
#include <functional>

#include "core/CodeBuffer.h"
#include "preview/PreviewPane.h"
#include "preview/WebEngineSetup.h"

namespace {

using deckhand::TPreviewPane;

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > timeoutMs) return false;
    QTest::qWait(20);
  }
  return true;
}

QImage GrabView(QWidget* window, QWidget* view) {
  const QPoint corner = view->mapTo(window, QPoint(0, 0));
  return window->screen()
      ->grabWindow(window->winId(), corner.x(), corner.y(), view->width(), view->height())
      .toImage()
      .convertToFormat(QImage::Format_RGB32);
}

// Pixels close to a pure colour.
int PixelsLike(const QImage& image, QRgb colour) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb pixel = image.pixel(x, y);
      count += qAbs(qRed(pixel) - qRed(colour)) < 40 && qAbs(qGreen(pixel) - qGreen(colour)) < 40 &&
               qAbs(qBlue(pixel) - qBlue(colour)) < 40;
    }
  }
  return count;
}

QByteArray Png(QRgb colour) {
  QImage image(24, 24, QImage::Format_RGB32);
  image.fill(colour);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

int Fail(const char* why) {
  std::fprintf(stderr, "FAIL: %s\n", why);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  deckhand::PrepareWebEngine();
  QApplication app(argc, argv);

  QTemporaryDir base;
  if (!base.isValid() || !QDir(base.path()).mkdir("temp")) return Fail("no temporary folder");
  const QRgb red = qRgb(255, 0, 0);
  const QRgb blue = qRgb(0, 0, 255);
  {
    QFile local(base.path() + "/temp/local.png");
    if (!local.open(QIODevice::WriteOnly) || local.write(Png(red)) <= 0)
      return Fail("cannot write the local picture");
  }
  deckhand::TMemoryBuffer code;
  code.SetText(
      "<wml><card id=\"main\">\r\n"
      "<p>DECK TEXT</p>\r\n"
      "<img src=\"local.png\" width=\"24\" height=\"24\">"
      "<img src=\"data:image/png;base64," +
      Png(blue).toBase64().toStdString() +
      "\" width=\"24\" height=\"24\">\r\n"
      "<script>document.body.insertAdjacentHTML('afterbegin', '<p>SCRIPT RAN</p>');"
      "document.title = 'SCRIPT RAN';</script>\r\n"
      "</card></wml>");

  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* pane = new TPreviewPane(code, base.path());
  layout->addWidget(pane);
  window.resize(TPreviewPane::kDefaultWidth, TPreviewPane::kDefaultHeight);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return Fail("window not shown");

  // The first preview creates the view, which loads the page at once.
  pane->Button1Click(pane);
  auto* view = qobject_cast<QWebEngineView*>(pane->WebBrowser());
  if (view == nullptr) return Fail("the preview created no view");
  QSignalSpy finished(view, &QWebEngineView::loadFinished);
  if (!WaitFor([&] { return finished.count() > 0; }, 30000)) return Fail("the view never loaded");
  if (!finished.at(0).at(0).toBool()) return Fail("the view failed to load the page");

  // The embedded picture is drawn: the page, pictures included, is shown.
  QImage shown;
  if (!WaitFor(
          [&] {
            shown = GrabView(&window, view);
            return PixelsLike(shown, blue) > 200;
          },
          15000)) {
    return Fail("the picture embedded in the page is not shown");
  }
  QTest::qWait(500);
  shown = GrabView(&window, view);
  if (PixelsLike(shown, red) > 0) return Fail("the view read a local file beside the page");

  QString text;
  view->page()->toPlainText([&](const QString& plain) { text = plain; });
  if (!WaitFor([&] { return !text.isEmpty(); }, 10000)) return Fail("no text in the page");
  if (!text.contains("DECK TEXT")) return Fail("the deck's text is not shown");
  if (text.contains("SCRIPT RAN") || view->title() == "SCRIPT RAN")
    return Fail("the deck's script ran in the preview");

  std::printf("preview shows \"%s\"; no script ran, no local file was read\n",
              qPrintable(text.simplified()));
  return 0;
}
