// The preview on a real X server: shows the pane in a window, takes the
// pixels of the HTML view's rectangle from the screen before and after the
// "Показать" button is clicked, and checks that the blank screen now shows
// the text of the code. Exits 0 on success; on failure it says why and, when
// given a folder as its first argument, leaves the two pictures there (and,
// on success, a picture of the whole pane).
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFontDatabase>
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

// The view's rectangle as the X server shows it.
QImage GrabView(QWidget* window, QWidget* view) {
  const QPoint corner = view->mapTo(window, QPoint(0, 0));
  return window->screen()
      ->grabWindow(window->winId(), corner.x(), corner.y(), view->width(), view->height())
      .toImage()
      .convertToFormat(QImage::Format_RGB32);
}

int DistinctColours(const QImage& image) {
  QSet<QRgb> colours;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) colours.insert(image.pixel(x, y));
  }
  return static_cast<int>(colours.size());
}

// Pixels dark enough to be text on the white page.
int DarkPixels(const QImage& image) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) count += qGray(image.pixel(x, y)) < 128;
  }
  return count;
}

int Fail(const char* why, const QString& keep, const QImage& before, const QImage& after) {
  std::fprintf(stderr, "FAIL: %s\n", why);
  if (!keep.isEmpty()) {
    before.save(keep + "/view-before.png");
    after.save(keep + "/view-after.png");
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  deckhand::PrepareWebEngine();
  QApplication app(argc, argv);
  const QString keep = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
  // The window fonts, where the system has them, as the program loads them.
  for (const char* file : {"ms_sans_serif.ttf", "tahoma.ttf"}) {
    QFontDatabase::addApplicationFont(QString("/usr/share/wine/fonts/") + file);
  }

  QTemporaryDir base;
  if (!base.isValid()) return Fail("no temporary folder", keep, {}, {});
  deckhand::TMemoryBuffer code;
  code.SetText(
      "<?xml version=\"1.0\"?>\r\n<wml>\r\n<card id=\"main\" title=\"Deckhand\">\r\n"
      "<p><b>PREVIEW WORKS</b> MMMMMMMM WWWWWWWW</p>\r\n</card>\r\n</wml>");

  QWidget window;
  window.setWindowTitle("Deckhand preview");
  QFont font("MS Sans Serif");
  font.setPixelSize(11);
  window.setFont(font);
  auto* layout = new QVBoxLayout(&window);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* pane = new TPreviewPane(code, base.path());
  layout->addWidget(pane);
  window.resize(TPreviewPane::kDefaultWidth, TPreviewPane::kDefaultHeight);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return Fail("window not shown", keep, {}, {});
  QTest::qWait(1000);

  QWidget* blank = pane->ScreenArea();
  const QImage before = GrabView(&window, blank);
  if (DistinctColours(before) != 1) {
    return Fail("the view is not blank before the first preview", keep, before, before);
  }

  QObject::connect(pane, &TPreviewPane::Button1Clicked, pane,
                   [pane] { pane->Button1Click(pane->Button1()); });
  QTest::mouseClick(pane->Button1(), Qt::LeftButton);
  // The first preview has created the view in the blank area's place.
  auto* view = qobject_cast<QWebEngineView*>(pane->WebBrowser());
  if (view == nullptr) return Fail("the preview created no view", keep, before, before);
  QSignalSpy finished(view, &QWebEngineView::loadFinished);
  if (!WaitFor([&] { return finished.count() > 0; }, 30000)) {
    return Fail("the view never finished loading", keep, before, GrabView(&window, view));
  }
  if (!finished.at(0).at(0).toBool()) {
    return Fail("the view failed to load the page", keep, before, GrabView(&window, view));
  }

  // The page is painted some frames after it has loaded.
  QImage after;
  const bool shown = WaitFor(
      [&] {
        after = GrabView(&window, view);
        return after != before && DarkPixels(after) > 40;
      },
      15000);
  if (!shown) return Fail("the view shows no text after the preview", keep, before, after);

  // The text, not just anything: the page's visible text is the paragraph.
  QString text;
  view->page()->toPlainText([&](const QString& plain) { text = plain; });
  if (!WaitFor([&] { return !text.isEmpty(); }, 10000) || !text.contains("PREVIEW WORKS")) {
    return Fail("the page's text is not the code's", keep, before, after);
  }
  // Text starts in the top left corner (no margins): dark pixels there.
  const QImage corner = after.copy(0, 0, after.width() / 2, 14);
  if (DarkPixels(corner) == 0) return Fail("no text at the top left", keep, before, after);

  std::printf("preview rendered: %d dark pixels in the view, text \"%s\"\n", DarkPixels(after),
              qPrintable(text.simplified()));
  if (!keep.isEmpty()) {
    before.save(keep + "/view-before.png");
    after.save(keep + "/view-after.png");
    window.screen()->grabWindow(window.winId()).save(keep + "/pane.png");
  }
  return 0;
}
