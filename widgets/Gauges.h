// TGauge, a self-painting widget that shows how far a value has come between
// a minimum and a maximum, as a percentage: as text only, as a horizontal or
// vertical bar, as a pie or as a needle on a half dial, with the percentage
// optionally written over the shape.
//
// Drawing follows the pixel rules of the classic Windows drawing primitives
// rather than QPainter's: a filled rectangle covers [left, right) x
// [top, bottom); an ellipse or a pie lies inside its box with the right
// column and bottom row excluded; a pie runs counter-clockwise on the screen
// from its start radius to its end radius; a line leaves out its end point.
// All drawing goes into off-screen images that are copied to the widget in
// one operation, so a changing gauge does not flicker.
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>
#include <cstdint>

namespace deckhand {

// The shapes, with their stored ordinal values.
enum TGaugeKind {
  gkText = 0,
  gkHorizontalBar = 1,
  gkVerticalBar = 2,
  gkPie = 3,
  gkNeedle = 4,
};

// Single: a one-pixel black frame and a paint rectangle one pixel smaller on
// every side.
enum TBorderStyle {
  bsNone = 0,
  bsSingle = 1,
};

// part x 100 / whole, truncated toward zero; 0 when whole is 0. Exact for
// every pair of 32-bit inputs (the quotient can exceed 32 bits, hence the
// wider result).
std::int64_t PercentOfWhole(std::int32_t part, std::int32_t whole);

// whole x (percent x 0.01), truncated toward zero, worked in 64-bit-significand
// floating point with 0.01 held as the nearest such number, which lies just
// below 0.01. A product that should be whole can therefore come out one lower:
// PartOfWhole(10, 100) is 9, PartOfWhole(99, 100) is 98, PartOfWhole(5, 20) is
// 0, while PartOfWhole(100, w) is w and PartOfWhole(50, 41) is 20.
std::int64_t PartOfWhole(std::int32_t percent, std::int32_t whole);

// An off-screen RGB32 bitmap.
class TBltBitmap : public QImage {
 public:
  TBltBitmap() = default;
  // Takes the template's width and height and fills the whole area with the
  // platform's window-frame colour.
  void MakeLike(const QImage& templ);
};

class TGauge : public QWidget {
  Q_OBJECT

 public:
  // A 100 by 100 horizontal bar from 0 to 100 at 0, single border, white
  // ground, black bar, text shown; colour and font are the parent's.
  explicit TGauge(QWidget* owner = nullptr);

  TGaugeKind Kind() const { return kind_; }
  void SetKind(TGaugeKind value);
  bool ShowText() const { return showText_; }
  void SetShowText(bool value);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle value);
  QColor ForeColor() const { return foreColor_; }
  void SetForeColor(const QColor& value);
  QColor BackColor() const { return backColor_; }
  void SetBackColor(const QColor& value);
  // The area around the ellipse of the pie and needle kinds: the parent's
  // colour until one is set.
  QColor Color() const;
  void SetColor(const QColor& value);

  std::int32_t MinValue() const { return minValue_; }
  // Raises EInvalidOperation when value > MaxValue (outside loading).
  void SetMinValue(std::int32_t value);
  std::int32_t MaxValue() const { return maxValue_; }
  // Raises EInvalidOperation when value < MinValue (outside loading).
  void SetMaxValue(std::int32_t value);
  std::int32_t Progress() const { return progress_; }
  // Clamps value to [MinValue, MaxValue]; repaints only when Percentage
  // changes.
  void SetProgress(std::int32_t value);

  // PercentOfWhole(Progress - MinValue, MaxValue - MinValue): 0 to 100.
  int Percentage() const;

  // While loading (restoring the properties from a stored form) the range
  // checks of SetMinValue and SetMaxValue are skipped, so the bounds can be
  // restored in any order. Calls nest; the last EndLoading repaints.
  void BeginLoading();
  void EndLoading();
  bool IsLoading() const { return loading_ > 0; }

  // The picture Paint copies to the screen: the shape of Kind with the
  // percentage over it, widget-sized, in QImage::Format_RGB32.
  QImage PaintImage() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  // Draws PaintImage onto the widget in one copy. Runs inside paintEvent.
  virtual void Paint();

 private:
  void PaintShape(QImage& overlay, int l, int t, int r, int b) const;
  void PaintText(QImage& image, int l, int t, int r, int b) const;

  TGaugeKind kind_ = gkHorizontalBar;
  bool showText_ = true;
  TBorderStyle borderStyle_ = bsSingle;
  QColor foreColor_ = Qt::black;
  QColor backColor_ = Qt::white;
  std::int32_t minValue_ = 0;
  std::int32_t maxValue_ = 100;
  std::int32_t progress_ = 0;
  int loading_ = 0;
};

}  // namespace deckhand
