// The pixels the gauge paints: every kind with and without a border at 0, 10,
// 25, 50 and 100 %, the exclusive-or text, the off-screen copy.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>
#include <QTest>
#include <QWidget>
#include <cmath>
#include <numbers>

#include "tests/widgets/GaugeTestSupport.h"
#include "widgets/Gauges.h"

namespace deckhand {
namespace {

using testing::Mismatches;

// Colours as 0xRRGGBB, without alpha.
const QRgb kFore = 0xFF0000;
const QRgb kBack = 0x0000FF;
const QRgb kAround = 0x00A000;
const QRgb kBlack = 0x000000;
const int kPercents[] = {0, 10, 25, 50, 100};

QImage Paint(TGaugeKind kind, int width, int height, TBorderStyle border, int percent) {
  TGauge gauge;
  gauge.resize(width, height);
  gauge.SetKind(kind);
  gauge.SetBorderStyle(border);
  gauge.SetShowText(false);
  gauge.SetForeColor(QColor::fromRgb(kFore));
  gauge.SetBackColor(QColor::fromRgb(kBack));
  gauge.SetColor(QColor::fromRgb(kAround));
  gauge.SetProgress(percent);
  return gauge.PaintImage();
}

QRgb At(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }

bool OnFrame(int x, int y, int width, int height) {
  return x == 0 || y == 0 || x == width - 1 || y == height - 1;
}

TEST(GaugePaintTest, TextKindFillsThePaintRectangle) {
  for (int percent : kPercents) {
    QImage image = Paint(gkText, 30, 20, bsSingle, percent);
    EXPECT_EQ(
        Mismatches(image, [](int x, int y) { return OnFrame(x, y, 30, 20) ? kBlack : kBack; }), "");
    image = Paint(gkText, 30, 20, bsNone, percent);
    EXPECT_EQ(Mismatches(image, [](int, int) { return kBack; }), "");
  }
}

TEST(GaugePaintTest, HorizontalBarCoversTheStatedColumns) {
  // With a border the paint rectangle is 100 wide and W = 101: at 10 % the
  // bar is 9 pixels wide, x = 1 to 9; full, it fills the frame's inside.
  const int withBorderEnd[] = {1, 10, 25, 50, 101};
  // Without a border W is one more than the width, the bar w pixels wide.
  const int withoutBorderEnd[] = {0, 10, 25, 50, 100};
  for (int i = 0; i < 5; ++i) {
    QImage image = Paint(gkHorizontalBar, 102, 12, bsSingle, kPercents[i]);
    EXPECT_EQ(Mismatches(image,
                         [&](int x, int y) {
                           if (OnFrame(x, y, 102, 12)) return kBlack;
                           return x < withBorderEnd[i] ? kFore : kBack;
                         }),
              "")
        << kPercents[i] << " % with border";
    image = Paint(gkHorizontalBar, 100, 10, bsNone, kPercents[i]);
    EXPECT_EQ(
        Mismatches(image, [&](int x, int) { return x < withoutBorderEnd[i] ? kFore : kBack; }), "")
        << kPercents[i] << " % without border";
  }
}

TEST(GaugePaintTest, VerticalBarRisesFromTheBottom) {
  // With a border H = 101 and the bar h pixels high; full, it fills the
  // inside. Without a border (the splash's 9 by 41) H = 42 and the bar is
  // h - 1 high: a full bar leaves the top row in the ground colour.
  const int withBorderTop[] = {101, 91, 76, 51, 1};
  const int withoutBorderTop[] = {41, 38, 32, 21, 1};
  for (int i = 0; i < 5; ++i) {
    QImage image = Paint(gkVerticalBar, 12, 102, bsSingle, kPercents[i]);
    EXPECT_EQ(Mismatches(image,
                         [&](int x, int y) {
                           if (OnFrame(x, y, 12, 102)) return kBlack;
                           return y >= withBorderTop[i] ? kFore : kBack;
                         }),
              "")
        << kPercents[i] << " % with border";
    image = Paint(gkVerticalBar, 9, 41, bsNone, kPercents[i]);
    EXPECT_EQ(
        Mismatches(image, [&](int, int y) { return y >= withoutBorderTop[i] ? kFore : kBack; }), "")
        << kPercents[i] << " % without border";
  }
}

// Clockwise angle from twelve o'clock of the pixel's centre about (c, c), in
// degrees, and its distance from there.
double ClockAngle(int x, int y, double c) {
  const double degrees = std::atan2(x - c, c - y) * 180 / std::numbers::pi;
  return degrees < 0 ? degrees + 360 : degrees;
}
double Distance(int x, int y, double c) { return std::hypot(x - c, y - c); }

TEST(GaugePaintTest, PieFillsItsShareClockwiseFromTwelve) {
  for (TBorderStyle border : {bsNone, bsSingle}) {
    const int size = border == bsSingle ? 102 : 100;
    const int first = border == bsSingle ? 1 : 0, last = size - 1 - first;
    const double c = (size - 1) / 2.0;  // centre of the ellipse's box
    for (int percent : kPercents) {
      SCOPED_TRACE(::testing::Message() << percent << " %, border " << border);
      const QImage image = Paint(gkPie, size, size, border, percent);
      // The ellipse touches every side of its box and leaves the corners and
      // a border's frame alone.
      for (int x = 0; x < size; ++x)
        for (int y = 0; y < size; ++y) {
          if (border == bsSingle && OnFrame(x, y, size, size)) {
            ASSERT_EQ(At(image, x, y), kBlack) << x << "," << y;
          } else if (Distance(x, y, c) > c + 1) {
            ASSERT_EQ(At(image, x, y), kAround) << x << "," << y;
          }
        }
      for (int middle : {size / 2 - 1, size / 2}) {
        EXPECT_EQ(At(image, middle, first), kFore);
        EXPECT_EQ(At(image, middle, last), kFore);
        EXPECT_EQ(At(image, first, middle), kFore);
        EXPECT_EQ(At(image, last, middle), kFore);
      }
      // Well inside the outline the wedge is exact: the quarter from twelve
      // to three at 25 %, the right half at 50 %, all of it at 100 %.
      for (int x = 0; x < size; ++x)
        for (int y = 0; y < size; ++y) {
          const double distance = Distance(x, y, c);
          if (distance > c - 4) continue;
          bool inWedge = false;
          switch (percent) {
            case 10: {
              const double angle = ClockAngle(x, y, c);
              if (distance < 4 || (angle > 33 && angle < 39)) continue;
              inWedge = angle <= 36;
              break;
            }
            case 25:
              inWedge = x > c && y < c;
              break;
            case 50:
              inWedge = x > c;
              break;
            case 100:
              inWedge = true;
              break;
          }
          ASSERT_EQ(At(image, x, y), inWedge ? kFore : kBack) << x << "," << y;
        }
    }
  }
}

TEST(GaugePaintTest, NeedleSwingsOverAHalfDial) {
  // Without a border: 100 by 60, the dial stands on row 59, its base line
  // falls below the widget. The needle starts at (50, 59).
  struct TNeedleEnd {
    int percent, x, y;
  };
  const TNeedleEnd ends[] = {{10, 2, 41}, {25, 15, 17}, {50, 50, 0}, {100, 100, 59}};
  for (int percent : kPercents) {
    SCOPED_TRACE(::testing::Message() << percent << " %");
    const QImage image = Paint(gkNeedle, 100, 60, bsNone, percent);
    for (int x = 0; x < 100; ++x) ASSERT_EQ(At(image, x, 59), kFore) << x;
    EXPECT_EQ(At(image, 0, 0), kAround);
    EXPECT_EQ(At(image, 99, 0), kAround);
    EXPECT_EQ(At(image, 49, 0), kFore);
    EXPECT_EQ(At(image, 0, 58), kFore);
    EXPECT_EQ(At(image, 99, 58), kFore);
    if (percent == 0 || percent == 100) {
      // No needle stands out of the base.
      for (int y = 2; y < 59; ++y) ASSERT_EQ(At(image, 50, y), kBack) << y;
      EXPECT_EQ(At(image, 25, 45), kBack);
      EXPECT_EQ(At(image, 75, 45), kBack);
      continue;
    }
    for (const TNeedleEnd& end : ends) {
      if (end.percent != percent) continue;
      // Each row the needle crosses has its pixel within one column of the
      // straight line from (50, 59) to its end.
      for (int y = 20; y < 57; ++y) {
        if (y <= end.y) continue;
        const double lineX = 50 + (end.x - 50) * double(59 - y) / (59 - end.y);
        bool found = false;
        for (int x = int(lineX) - 1; x <= int(lineX) + 2; ++x)
          if (x >= 0 && x < 100 && At(image, x, y) == kFore) found = true;
        EXPECT_TRUE(found) << "row " << y;
        if (lineX > 8) {
          EXPECT_EQ(At(image, int(lineX) - 4, y), kBack) << "row " << y;
        }
        if (lineX < 91) {
          EXPECT_EQ(At(image, int(lineX) + 5, y), kBack) << "row " << y;
        }
      }
    }
  }
  // The needle leaves out its end point (50, 0) only; at 50 % it is the
  // column from row 1 down to the base.
  const QImage upright = Paint(gkNeedle, 100, 60, bsNone, 50);
  for (int y = 1; y < 59; ++y) ASSERT_EQ(At(upright, 50, y), kFore) << y;
  EXPECT_EQ(At(upright, 49, 30), kBack);
  EXPECT_EQ(At(upright, 51, 30), kBack);
}

TEST(GaugePaintTest, NeedleBaseLineLiesOnTheFrame) {
  for (int percent : kPercents) {
    SCOPED_TRACE(::testing::Message() << percent << " %");
    const QImage image = Paint(gkNeedle, 102, 62, bsSingle, percent);
    // The bottom row of the frame: black at x = 0, the base line after it.
    EXPECT_EQ(At(image, 0, 61), kBlack);
    for (int x = 1; x < 102; ++x) ASSERT_EQ(At(image, x, 61), kFore) << x;
    for (int x = 0; x < 102; ++x) ASSERT_EQ(At(image, x, 0), kBlack) << x;
    for (int y = 0; y < 60; ++y) {
      ASSERT_EQ(At(image, 0, y), kBlack) << y;
      ASSERT_EQ(At(image, 101, y), kBlack) << y;
    }
    EXPECT_EQ(At(image, 0, 60), kBlack);
    // The needle's length comes from the whole widget's width: full, it runs
    // along row 60 from x = 51 up to, not including, x = 102.
    EXPECT_EQ(At(image, 101, 60), percent == 100 ? kFore : kBlack);
    // The dial stands on row 60, the row above the frame.
    for (int x = 1; x < 101; ++x) ASSERT_EQ(At(image, x, 60), kFore) << x;
    EXPECT_EQ(At(image, 1, 1), kAround);
    EXPECT_EQ(At(image, 100, 1), kAround);
    EXPECT_EQ(At(image, 30, 30), kBack);
  }
}

// Pixels that the text changes: for each, the two images differ by white
// exclusive-or; pixels elsewhere are equal.
QImage TextMask(const QImage& without, const QImage& with) {
  QImage mask(without.size(), QImage::Format_RGB32);
  mask.fill(Qt::black);
  for (int y = 0; y < without.height(); ++y)
    for (int x = 0; x < without.width(); ++x) {
      const QRgb change = (without.pixel(x, y) ^ with.pixel(x, y)) & 0xFFFFFF;
      EXPECT_TRUE(change == 0 || change == 0xFFFFFF) << x << "," << y << " " << change;
      if (change != 0) mask.setPixel(x, y, qRgb(255, 255, 255));
    }
  return mask;
}

QImage PaintWithText(TGauge& gauge, bool showText) {
  gauge.SetShowText(showText);
  return gauge.PaintImage();
}

TEST(GaugePaintTest, TextIsInvertedOverWhateverLiesBelow) {
  TGauge gauge;
  gauge.resize(100, 20);
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(14);
  gauge.setFont(font);
  gauge.SetProgress(50);
  const QImage plain = PaintWithText(gauge, false);
  const QImage texted = PaintWithText(gauge, true);
  const QImage mask = TextMask(plain, texted);
  int onBar = 0, onGround = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 100; ++x) {
      if (mask.pixel(x, y) == qRgb(0, 0, 0)) continue;
      ASSERT_FALSE(OnFrame(x, y, 100, 20)) << x << "," << y;
      // The black bar ends at x = 48; white text on it, black on the ground.
      if (x <= 48) {
        ++onBar;
        EXPECT_EQ(At(texted, x, y), 0xFFFFFFu);
      } else {
        ++onGround;
        EXPECT_EQ(At(texted, x, y), 0u);
      }
    }
  EXPECT_GT(onBar, 5);
  EXPECT_GT(onGround, 5);

  // The text lies at the same place whatever the shape, and shows in the
  // complementary colour on a coloured bar.
  gauge.SetKind(gkText);
  EXPECT_EQ(TextMask(PaintWithText(gauge, false), PaintWithText(gauge, true)), mask);
  gauge.SetKind(gkHorizontalBar);
  gauge.SetForeColor(QColor(255, 149, 4));
  const QImage orange = PaintWithText(gauge, true);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 100; ++x)
      if (mask.pixel(x, y) != qRgb(0, 0, 0)) {
        ASSERT_EQ(At(orange, x, y), x <= 48 ? 0x006AFBu : 0u) << x << "," << y;
      }

  // Roughly centred in the paint rectangle.
  int left = 100, right = -1, top = 20, bottom = -1;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 100; ++x)
      if (mask.pixel(x, y) != qRgb(0, 0, 0)) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
  EXPECT_NEAR((left + right) / 2.0, 50, 4);
  EXPECT_NEAR((top + bottom) / 2.0, 10, 4);
}

// The text's place to the pixel: X = (R - L + 1 - text width) div 2 and
// Y = (B - T + 1 - text height) div 2 from the bitmap's corner, on even and odd
// sizes with and without a border (an off-by-one shows on one parity only).
TEST(GaugePaintTest, TextStandsExactlyWhereItsFormulaPutsIt) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(14);
  font.setStyleStrategy(QFont::NoAntialias);
  const QString text = QStringLiteral("50%");
  const QFontMetrics metrics(font);
  // The glyphs drawn once at the origin; the gauge's text must be this very
  // picture moved to (X, Y).
  QImage glyphs(metrics.horizontalAdvance(text) + 20, metrics.height() + 20, QImage::Format_RGB32);
  glyphs.fill(Qt::black);
  {
    QPainter painter(&glyphs);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(0, metrics.ascent(), text);
  }
  for (TBorderStyle border : {bsSingle, bsNone})
    for (int width : {100, 101, 60, 61})
      for (int height : {20, 21}) {
        TGauge gauge;
        gauge.resize(width, height);
        gauge.setFont(font);
        gauge.SetKind(gkText);
        gauge.SetBorderStyle(border);
        gauge.SetProgress(50);
        const QImage mask = TextMask(PaintWithText(gauge, false), PaintWithText(gauge, true));
        const int inset = border == bsSingle ? 1 : 0;
        const int l = inset, t = inset, r = width - inset, b = height - inset;
        const int x = (r - l + 1 - metrics.horizontalAdvance(text)) / 2;
        const int y = (b - t + 1 - metrics.height()) / 2;
        const QString report = Mismatches(mask, [&](int px, int py) -> QRgb {
          if (px < l || py < t || px >= r || py >= b) return 0;
          const int gx = px - x, gy = py - y;
          if (gx < 0 || gy < 0 || gx >= glyphs.width() || gy >= glyphs.height()) return 0;
          return glyphs.pixel(gx, gy);
        });
        EXPECT_TRUE(report.isEmpty())
            << width << " x " << height << " border " << border << ": " << report.toStdString();
      }
}

TEST(GaugePaintTest, TextIsClippedToThePaintRectangle) {
  TGauge gauge;
  gauge.resize(30, 12);
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(24);
  gauge.setFont(font);
  gauge.SetKind(gkText);
  gauge.SetProgress(100);
  const QImage mask = TextMask(PaintWithText(gauge, false), PaintWithText(gauge, true));
  int changed = 0;
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 30; ++x)
      if (mask.pixel(x, y) != qRgb(0, 0, 0)) {
        ++changed;
        ASSERT_FALSE(OnFrame(x, y, 30, 12)) << x << "," << y;
      }
  EXPECT_GT(changed, 10);
}

TEST(GaugePaintTest, FrameStaysBlackWhateverTheFrameColour) {
  TBltBitmap bitmap;
  bitmap.MakeLike(QImage(7, 5, QImage::Format_ARGB32));
  EXPECT_EQ(bitmap.size(), QSize(7, 5));
  EXPECT_EQ(bitmap.format(), QImage::Format_RGB32);
  const QRgb frame = bitmap.pixel(0, 0);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(bitmap.pixel(x, y), frame);

  const QPalette saved = QGuiApplication::palette();
  QPalette red = saved;
  red.setColor(QPalette::Shadow, Qt::red);
  QGuiApplication::setPalette(red);
  TBltBitmap reddened;
  reddened.MakeLike(QImage(3, 3, QImage::Format_RGB32));
  EXPECT_EQ(reddened.pixel(1, 1) & 0xFFFFFF, 0xFF0000u);
  const QImage image = Paint(gkHorizontalBar, 40, 10, bsSingle, 50);
  QGuiApplication::setPalette(saved);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 40; ++x)
      if (OnFrame(x, y, 40, 10)) {
        ASSERT_EQ(At(image, x, y), kBlack) << x << "," << y;
      }
}

TEST(GaugePaintTest, WorksAsAPlainWidgetInAnyWindow) {
  QWidget window;
  window.resize(560, 120);
  QPalette colours = window.palette();
  colours.setColor(QPalette::Window, QColor(200, 200, 0));
  window.setPalette(colours);
  window.setAutoFillBackground(true);
  TGauge* gauges[5];
  for (int kind = gkText; kind <= gkNeedle; ++kind) {
    gauges[kind] = new TGauge(&window);
    gauges[kind]->move(10 + 110 * kind, 10);
    gauges[kind]->SetKind(static_cast<TGaugeKind>(kind));
    gauges[kind]->SetProgress(30 + kind);
  }
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const QImage shot = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
  for (int kind = gkText; kind <= gkNeedle; ++kind) {
    // On screen exactly what Paint composed off screen.
    const QImage own = gauges[kind]->PaintImage();
    EXPECT_EQ(shot.copy(gauges[kind]->geometry()), own) << kind;
    EXPECT_EQ(gauges[kind]->grab().toImage().convertToFormat(QImage::Format_RGB32), own) << kind;
  }
  // The pie and the needle show the window's colour around their shapes.
  EXPECT_EQ(At(gauges[gkPie]->PaintImage(), 2, 2), 0xC8C800u);
  EXPECT_EQ(At(gauges[gkNeedle]->PaintImage(), 2, 2), 0xC8C800u);
}

}  // namespace
}  // namespace deckhand
