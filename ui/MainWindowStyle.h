// How the main window's group boxes and toolbars look and measure, on top of
// the desktop's own style:
//
// - A group box draws a one-pixel frame in the themed group-box colour whose
//   top line runs through the vertical middle of the caption, broken by the
//   caption text, as a themed desktop group box does. Its contents start
//   kGroupBoxContentsTop pixels below its top edge (the designed 15, whatever
//   the caption font), so the controls inside stand at their designed places.
// - A toolbar fills itself with the window's background and draws an etched
//   line (dark over light) along its bottom edge when its kBottomEdgeProperty
//   is true, nothing otherwise. It has no frame, no handle and no item
//   spacing of its own: its buttons stand kToolBarMargin pixels from its
//   left and top edges, one after another.
//
// The style is set on those widgets only (QWidget::setStyle), never on the
// application, so every other control keeps the desktop's look. It does not
// own its widgets; the main window owns the style.
#pragma once

#include <QProxyStyle>

namespace deckhand {

class TMainWindowStyle : public QProxyStyle {
  Q_OBJECT

 public:
  static constexpr int kGroupBoxContentsTop = 15;
  static constexpr int kToolBarMargin = 4;
  // The left edge of a group box caption.
  static constexpr int kCaptionLeft = 8;
  // The group box frame colour: the themed blue-grey, dark enough to stay
  // visible on a light window background.
  static constexpr QRgb kGroupBoxFrame = 0xFFB4BEC4;
  // A toolbar property: true draws the etched line along the bottom edge.
  static constexpr const char* kBottomEdgeProperty = "etchedBottomEdge";

  TMainWindowStyle();

  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                          QPainter* painter, const QWidget* widget = nullptr) const override;
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget = nullptr) const override;
  QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                       SubControl subControl, const QWidget* widget = nullptr) const override;
  QRect subElementRect(SubElement element, const QStyleOption* option,
                       const QWidget* widget = nullptr) const override;
  int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr) const override;
};

}  // namespace deckhand
