// Helpers shared by the gauge tests.
#pragma once

#include <QEvent>
#include <QImage>
#include <QObject>
#include <QString>
#include <functional>

namespace deckhand::testing {

// Counts the paint events a widget receives.
class TPaintCounter : public QObject {
 public:
  explicit TPaintCounter(QObject* watched) { watched->installEventFilter(this); }
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++count;
    return false;
  }
};

// Compares every pixel of image with expected(x, y) (RGB only); describes the
// first few mismatches, or returns an empty string.
inline QString Mismatches(const QImage& image, const std::function<QRgb(int, int)>& expected) {
  QString report;
  int found = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb want = expected(x, y) & 0xFFFFFF, got = image.pixel(x, y) & 0xFFFFFF;
      if (want == got) continue;
      if (++found <= 5)
        report += QString("(%1,%2) is %3, expected %4; ")
                      .arg(x)
                      .arg(y)
                      .arg(got, 6, 16, QChar('0'))
                      .arg(want, 6, 16, QChar('0'));
    }
  if (found > 5) report += QString("%1 pixels differ").arg(found);
  return report;
}

}  // namespace deckhand::testing
