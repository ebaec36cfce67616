#include "widgets/Gauges.h"

#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QRect>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

#include "core/Errors.h"
#include "widgets/WideArithmetic.h"

namespace deckhand {

namespace {

// Exact part x 100 / whole, truncated toward zero. The operands fit in 34
// bits, so part x 100 cannot overflow. This is also what dividing in
// 64-bit-significand floating point gives for all such operands: part x 100
// is exact there, and rounding the quotient moves it by less than
// 2^-25 / |whole|, far less than the 1 / |whole| that separates a fraction
// from the next integer, so truncation never sees a different integer part.
std::int64_t PercentOfWhole64(std::int64_t part, std::int64_t whole) {
  if (whole == 0) return 0;
  return part * 100 / whole;
}

// Nearest integer, halves to the even one (the default rounding mode).
int RoundEven(long double value) { return static_cast<int>(std::nearbyintl(value)); }

std::string RangeMessage(std::int64_t low, std::int64_t high) {
  char text[96];
  std::snprintf(text, sizeof text, "Value must be between %lld and %lld",
                static_cast<long long>(low), static_cast<long long>(high));
  return text;
}

// The drawing primitives of the gauge on an RGB32 image, with the pixel rules
// of the classic Windows drawing functions. Everything is clipped to the
// image.
class TCanvas {
 public:
  explicit TCanvas(QImage& image) : image_(image) {}

  QRgb pen = qRgb(0, 0, 0);
  QRgb brush = qRgb(255, 255, 255);

  // Covers [l, r) x [t, b); nothing when r <= l or b <= t.
  void FillRect(int l, int t, int r, int b, QRgb colour) {
    l = std::max(l, 0);
    t = std::max(t, 0);
    r = std::min(r, image_.width());
    b = std::min(b, image_.height());
    for (int y = t; y < b; ++y) {
      QRgb* line = reinterpret_cast<QRgb*>(image_.scanLine(y));
      std::fill(line + l, line + std::max(l, r), colour);
    }
  }

  // The ellipse inside the box (right column and bottom row excluded): its
  // one-pixel outline in the pen, its inside in the brush.
  void Ellipse(int l, int t, int r, int b) { FillRegion(TRegion(l, t, r, b)); }

  // The part of that ellipse swept counter-clockwise (on the screen) from the
  // radius through (xs, ys) to the radius through (xe, ye), radii measured
  // from the box's centre; the whole ellipse when the two radii coincide.
  void Pie(int l, int t, int r, int b, int xs, int ys, int xe, int ye) {
    TRegion region(l, t, r, b);
    region.SetSector(xs, ys, xe, ye);
    FillRegion(region);
  }

  void MoveTo(int x, int y) {
    x_ = x;
    y_ = y;
  }

  // A line in the pen from the current point up to, not including, (x, y),
  // which becomes the current point.
  void LineTo(int x, int y) {
    int cx = x_, cy = y_;
    const int dx = std::abs(x - cx), sx = cx < x ? 1 : -1;
    const int dy = -std::abs(y - cy), sy = cy < y ? 1 : -1;
    int err = dx + dy;
    while (cx != x || cy != y) {
      Plot(cx, cy, pen);
      const int e2 = 2 * err;
      if (e2 >= dy) {
        err += dy;
        cx += sx;
      }
      if (e2 <= dx) {
        err += dx;
        cy += sy;
      }
    }
    MoveTo(x, y);
  }

 private:
  // Pixels are tested at their centres. Coordinates are doubled so that the
  // centre of a box with an even side, which falls between two pixels, stays
  // an integer.
  class TRegion {
   public:
    TRegion(int l, int t, int r, int b) {
      if (r < l) std::swap(l, r);
      if (b < t) std::swap(t, b);
      l_ = l;
      t_ = t;
      r_ = r;
      b_ = b;
      w_ = static_cast<std::int64_t>(r) - l;
      h_ = static_cast<std::int64_t>(b) - t;
    }

    void SetSector(int xs, int ys, int xe, int ye) {
      // In the usual mathematical orientation (y up), so that counter-clockwise
      // on the screen is counter-clockwise here too.
      sx_ = DoubledX(xs);
      sy_ = -DoubledY(ys);
      ex_ = DoubledX(xe);
      ey_ = -DoubledY(ye);
      const std::int64_t cross = sx_ * ey_ - sy_ * ex_;
      const std::int64_t dot = sx_ * ex_ + sy_ * ey_;
      // A radius through the centre itself has no direction; such a pie (only
      // possible in boxes a few pixels wide) is drawn whole.
      const bool degenerate = (sx_ == 0 && sy_ == 0) || (ex_ == 0 && ey_ == 0);
      sector_ = degenerate || (cross == 0 && dot > 0) ? kFull
                : cross > 0                           ? kNarrow
                : cross < 0                           ? kWide
                                                      : kHalf;
    }

    int Left() const { return l_; }
    int Top() const { return t_; }
    int Right() const { return r_; }
    int Bottom() const { return b_; }

    // The columns [first, last] of row y whose pixels lie inside the
    // ellipse; first > last when there are none.
    std::pair<int, int> RowSpan(int y) const {
      const int centre = l_ + r_ - 1;  // doubled centre column
      // The column nearest the centre on its right is inside when any is.
      int inside = (centre + 1) >> 1;
      if (!InsideEllipse(inside, y)) return {1, 0};
      int outside = r_;  // just right of the box
      while (outside - inside > 1) {
        const int middle = inside + (outside - inside) / 2;
        (InsideEllipse(middle, y) ? inside : outside) = middle;
      }
      // Symmetric about the centre: column x mirrors to centre - x.
      return {centre - inside, inside};
    }

    bool InSector(int x, int y) const { return InSectorDoubled(DoubledX(x), -DoubledY(y)); }

   private:
    enum TSector { kFull, kNarrow, kHalf, kWide };

    std::int64_t DoubledX(int x) const { return 2 * static_cast<std::int64_t>(x) - (l_ + r_ - 1); }
    std::int64_t DoubledY(int y) const { return 2 * static_cast<std::int64_t>(y) - (t_ + b_ - 1); }

    bool InsideEllipse(int x, int y) const {
      if (w_ <= 0 || h_ <= 0) return false;
      const std::int64_t dx = DoubledX(x), dy = DoubledY(y);
      // (dx / w)^2 + (dy / h)^2 <= 1, that is (dx h)^2 + (dy w)^2 <= (w h)^2,
      // in integers. The doubled offsets stay within one pixel of a box of int
      // coordinates (at most 2^32) and the sides are below 2^32, so each
      // product fits in 64 bits and each square in 128; a sum that needs a
      // 129th bit is certainly too large.
      const std::uint64_t a = Magnitude(dx) * static_cast<std::uint64_t>(h_);
      const std::uint64_t b = Magnitude(dy) * static_cast<std::uint64_t>(w_);
      const std::uint64_t c = static_cast<std::uint64_t>(w_) * static_cast<std::uint64_t>(h_);
      bool carry = false;
      const TWide lhs = AddWide(MulWide(a, a), MulWide(b, b), &carry);
      return !carry && lhs <= MulWide(c, c);
    }

    static std::uint64_t Magnitude(std::int64_t v) {
      return v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    }

    // Radii themselves belong to the sector.
    bool InSectorDoubled(std::int64_t vx, std::int64_t vy) const {
      if (sector_ == kFull || (vx == 0 && vy == 0)) return true;
      const bool afterStart = sx_ * vy - sy_ * vx >= 0;
      const bool beforeEnd = vx * ey_ - vy * ex_ >= 0;
      switch (sector_) {
        case kNarrow:  // less than half a turn
          return afterStart && beforeEnd;
        case kWide:  // more than half a turn
          return afterStart || beforeEnd;
        default:  // exactly half a turn
          return afterStart;
      }
    }

    int l_ = 0, t_ = 0, r_ = 0, b_ = 0;
    std::int64_t w_ = 0, h_ = 0;
    std::int64_t sx_ = 0, sy_ = 0, ex_ = 0, ey_ = 0;
    TSector sector_ = kFull;
  };

  // Pixels of the region with a neighbour outside it form the one-pixel
  // outline and take the pen; the others take the brush.
  void FillRegion(const TRegion& region) {
    const int l = std::max(region.Left(), 0), t = std::max(region.Top(), 0);
    const int r = std::min(region.Right(), image_.width());
    const int b = std::min(region.Bottom(), image_.height());
    if (l >= r || t >= b) return;
    // The ellipse's columns of each row drawn and of the rows next to them.
    std::vector<std::pair<int, int>> spans;
    spans.reserve(b - t + 2);
    for (int y = t - 1; y <= b; ++y) spans.push_back(region.RowSpan(y));
    auto inside = [&](int x, int y) {
      const std::pair<int, int>& span = spans[y - (t - 1)];
      return span.first <= x && x <= span.second && region.InSector(x, y);
    };
    for (int y = t; y < b; ++y) {
      QRgb* line = reinterpret_cast<QRgb*>(image_.scanLine(y));
      const std::pair<int, int>& span = spans[y - (t - 1)];
      for (int x = std::max(l, span.first); x < r && x <= span.second; ++x) {
        if (!inside(x, y)) continue;
        const bool edge =
            !inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1);
        line[x] = edge ? pen : brush;
      }
    }
  }

  void Plot(int x, int y, QRgb colour) {
    if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return;
    reinterpret_cast<QRgb*>(image_.scanLine(y))[x] = colour;
  }

  QImage& image_;
  int x_ = 0, y_ = 0;
};

// Draws source onto target (same size) combining the pixels by exclusive-or.
void XorOnto(QImage& target, const QImage& source) {
  QPainter painter(&target);
  painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  painter.drawImage(0, 0, source);
}

}  // namespace

std::int64_t PercentOfWhole(std::int32_t part, std::int32_t whole) {
  return PercentOfWhole64(part, whole);
}

std::int64_t PartOfWhole(std::int32_t percent, std::int32_t whole) {
  // whole x (percent x 0.01) in 64-bit-significand floating point, emulated
  // in integers: 0.01 is held as 11805916207174113034 x 2^-70, slightly below
  // it; both products are rounded to 64 bits of significand (halves to even)
  // before the final truncation toward zero. Rounding is symmetric about
  // zero, so the magnitudes are worked and the sign applied last.
  if (percent == 0 || whole == 0) return 0;
  constexpr std::uint64_t kHundredth = 11805916207174113034ULL;
  constexpr int kHundredthExponent = -70;
  const bool negative = (percent < 0) != (whole < 0);
  const auto magnitude = [](std::int32_t v) {
    return v < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
  };
  const TScaled fraction =
      RoundToSignificand(MulWide(magnitude(percent), kHundredth), kHundredthExponent);
  const TScaled part =
      RoundToSignificand(MulWide(magnitude(whole), fraction.significand), fraction.exponent);
  // |part| < 2^31 x 2^31 / 100 < 2^56, so a non-negative exponent is small.
  std::uint64_t truncated = 0;
  if (part.exponent >= 0)
    truncated = part.significand << part.exponent;
  else if (part.exponent > -64)
    truncated = part.significand >> -part.exponent;
  return negative ? -static_cast<std::int64_t>(truncated) : static_cast<std::int64_t>(truncated);
}

void TBltBitmap::MakeLike(const QImage& templ) {
  QImage::operator=(QImage(templ.size(), QImage::Format_RGB32));
  // Qt has no window-frame role; the shadow colour is its darkest frame
  // colour (black with the default palettes), as the frame colour usually is.
  fill(QGuiApplication::palette().color(QPalette::Shadow));
}

TGauge::TGauge(QWidget* owner) : QWidget(owner) {
  // Every pixel is painted by Paint, so nothing behind the gauge is drawn.
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(100, 100);
}

void TGauge::SetKind(TGaugeKind value) {
  if (value == kind_) return;
  kind_ = value;
  repaint();
}

void TGauge::SetShowText(bool value) {
  if (value == showText_) return;
  showText_ = value;
  repaint();
}

void TGauge::SetBorderStyle(TBorderStyle value) {
  if (value == borderStyle_) return;
  borderStyle_ = value;
  repaint();
}

void TGauge::SetForeColor(const QColor& value) {
  if (value == foreColor_) return;
  foreColor_ = value;
  repaint();
}

void TGauge::SetBackColor(const QColor& value) {
  if (value == backColor_) return;
  backColor_ = value;
  repaint();
}

QColor TGauge::Color() const { return palette().color(QPalette::Window); }

void TGauge::SetColor(const QColor& value) {
  if (palette().isBrushSet(QPalette::Active, QPalette::Window) && value == Color()) return;
  QPalette colours = palette();
  colours.setColor(QPalette::Window, value);
  setPalette(colours);
  repaint();
}

void TGauge::SetMinValue(std::int32_t value) {
  if (value == minValue_) return;
  // The check rejects only values above MaxValue, although the message names
  // MaxValue - 1 as the highest allowed one.
  if (value > maxValue_ && !IsLoading())
    throw EInvalidOperation(RangeMessage(-2147483647LL, std::int64_t{maxValue_} - 1));
  minValue_ = value;
  if (progress_ < value) progress_ = value;
  repaint();
}

void TGauge::SetMaxValue(std::int32_t value) {
  if (value == maxValue_) return;
  if (value < minValue_ && !IsLoading())
    throw EInvalidOperation(RangeMessage(std::int64_t{minValue_} + 1, 2147483647LL));
  maxValue_ = value;
  if (progress_ > value) progress_ = value;
  repaint();
}

void TGauge::SetProgress(std::int32_t value) {
  const int before = Percentage();
  if (value < minValue_) value = minValue_;
  if (value > maxValue_) value = maxValue_;
  if (value == progress_) return;
  progress_ = value;
  if (Percentage() != before) repaint();
}

int TGauge::Percentage() const {
  // The differences are taken in 64 bits: with bounds far apart they do not
  // fit in 32. Outside loading the result is 0 to 100; while loading the
  // bounds may be crossed and the result is only kept within int.
  const std::int64_t percent =
      PercentOfWhole64(std::int64_t{progress_} - minValue_, std::int64_t{maxValue_} - minValue_);
  return static_cast<int>(std::clamp<std::int64_t>(percent, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max()));
}

void TGauge::BeginLoading() { ++loading_; }

void TGauge::EndLoading() {
  if (loading_ == 0) return;
  if (--loading_ == 0) repaint();
}

QImage TGauge::PaintImage() const {
  QImage image(width(), height(), QImage::Format_RGB32);
  image.fill(Qt::black);
  int l = 0, t = 0, r = width(), b = height();
  if (borderStyle_ == bsSingle) {
    ++l;
    ++t;
    --r;
    --b;
  }
  TBltBitmap overlay;
  overlay.MakeLike(image);
  overlay.fill(Qt::black);
  PaintShape(overlay, l, t, r, b);
  XorOnto(image, overlay);
  if (showText_) PaintText(image, l, t, r, b);
  return image;
}

void TGauge::PaintShape(QImage& overlay, int l, int t, int r, int b) const {
  TCanvas canvas(overlay);
  const QRgb fore = foreColor_.rgb(), back = backColor_.rgb(), around = Color().rgb();
  const int percent = Percentage();
  const int border = borderStyle_ == bsSingle ? 1 : 0;
  switch (kind_) {
    case gkText:
      canvas.FillRect(l, t, r, b, back);
      break;
    case gkHorizontalBar:
    case gkVerticalBar: {
      const int w = r - l + 1, h = b - t + 1;
      canvas.FillRect(l, t, r, b, back);
      if (kind_ == gkHorizontalBar) {
        const auto part = std::min<std::int64_t>(PartOfWhole(percent, w), w);
        // The right and bottom are the part and the height themselves, not
        // offsets from l and t.
        if (part >= 1) canvas.FillRect(l, t, static_cast<int>(part), h, fore);
      } else {
        auto part = PartOfWhole(percent, h);
        if (part >= h) part = h - 1;
        canvas.FillRect(l, static_cast<int>(h - part), w, h, fore);
      }
      break;
    }
    case gkPie: {
      const int w = r - l + border, h = b - t + border;
      canvas.FillRect(l, t, r, b, around);
      canvas.brush = back;
      canvas.pen = fore;
      canvas.Ellipse(l, t, w, h);
      if (percent > 0) {
        canvas.brush = fore;
        const int mx = w / 2, my = h / 2;
        const double angle =
            static_cast<double>((percent / 50.0L + 0.5L) * std::numbers::pi_v<long double>);
        const long double a = angle;
        canvas.Pie(l, t, w, h, RoundEven(mx * (1.0L - std::cos(a))),
                   RoundEven(my * (1.0L - std::sin(a))), mx, 0);
      }
      break;
    }
    case gkNeedle: {
      const int w = r - l + border, h = b - t + border;
      canvas.FillRect(l, t, r, b, around);
      canvas.brush = back;
      canvas.pen = fore;
      canvas.Pie(l, t, w, 2 * h - 1, l + w, b - 1, l, b - 1);
      canvas.MoveTo(l, b);
      canvas.LineTo(l + w, b);
      if (percent > 0) {
        const int mx = width() / 2;
        const double angle =
            static_cast<double>(percent / 100.0L * std::numbers::pi_v<long double>);
        const long double a = angle;
        canvas.MoveTo(mx, b - 1);
        canvas.LineTo(RoundEven(mx * (1.0L - std::cos(a))),
                      RoundEven((b - 1) * (1.0L - std::sin(a))));
      }
      break;
    }
  }
}

void TGauge::PaintText(QImage& image, int l, int t, int r, int b) const {
  const QString text = QString::asprintf("%d%%", Percentage());
  TBltBitmap bitmap;
  bitmap.MakeLike(image);
  bitmap.fill(Qt::black);
  {
    QPainter painter(&bitmap);
    // Plain white on black, so that the exclusive-or inverts exactly the
    // pixels of the glyphs.
    QFont textFont = font();
    textFont.setStyleStrategy(QFont::NoAntialias);
    painter.setFont(textFont);
    painter.setPen(Qt::white);
    painter.setClipRect(QRect(l, t, r - l, b - t));
    const QFontMetrics metrics = painter.fontMetrics();
    // Measured from the bitmap's corner, not from (l, t).
    const int x = (r - l + 1 - metrics.horizontalAdvance(text)) / 2;
    const int y = (b - t + 1 - metrics.height()) / 2;
    painter.drawText(x, y + metrics.ascent(), text);
  }
  XorOnto(image, bitmap);
}

void TGauge::paintEvent(QPaintEvent*) { Paint(); }

void TGauge::Paint() {
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.drawImage(0, 0, PaintImage());
}

void TGauge::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) update();
  QWidget::changeEvent(event);
}

}  // namespace deckhand
