#include "ui/MainWindowStyle.h"

#include <QPainter>
#include <QStyleOptionComplex>
#include <QToolBar>

namespace deckhand {

namespace {

bool IsToolBar(const QWidget* widget) { return qobject_cast<const QToolBar*>(widget) != nullptr; }

}  // namespace

TMainWindowStyle::TMainWindowStyle() = default;

void TMainWindowStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                          QPainter* painter, const QWidget* widget) const {
  const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
  if (control != CC_GroupBox || box == nullptr) {
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    return;
  }
  const QRect frame = subControlRect(CC_GroupBox, box, SC_GroupBoxFrame, widget);
  const QRect label = subControlRect(CC_GroupBox, box, SC_GroupBoxLabel, widget);
  painter->save();
  if (frame.width() > 2 && frame.height() > 2) {
    // One pixel, the corner pixels left out for the slightly rounded look.
    const QColor line = QColor::fromRgb(kGroupBoxFrame);
    const int left = frame.left(), top = frame.top(), right = frame.right(),
              bottom = frame.bottom();
    painter->fillRect(left + 1, top, right - left - 1, 1, line);
    painter->fillRect(left + 1, bottom, right - left - 1, 1, line);
    painter->fillRect(left, top + 1, 1, bottom - top - 1, line);
    painter->fillRect(right, top + 1, 1, bottom - top - 1, line);
  }
  if (label.isValid()) {
    // The caption breaks the top line.
    painter->fillRect(label, box->palette.window());
    proxy()->drawItemText(painter, label, Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic,
                          box->palette, (box->state & State_Enabled) != 0, box->text,
                          QPalette::WindowText);
  }
  painter->restore();
}

void TMainWindowStyle::drawControl(ControlElement element, const QStyleOption* option,
                                   QPainter* painter, const QWidget* widget) const {
  if (element != CE_ToolBar || !IsToolBar(widget)) {
    QProxyStyle::drawControl(element, option, painter, widget);
    return;
  }
  const QRect area = option->rect;
  painter->fillRect(area, option->palette.window());
  if (widget->property(kBottomEdgeProperty).toBool() && area.height() >= 2) {
    painter->fillRect(area.left(), area.bottom() - 1, area.width(), 1,
                      option->palette.color(QPalette::Dark));
    painter->fillRect(area.left(), area.bottom(), area.width(), 1,
                      option->palette.color(QPalette::Light));
  }
}

QRect TMainWindowStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                       SubControl subControl, const QWidget* widget) const {
  const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
  if (control != CC_GroupBox || box == nullptr) {
    return QProxyStyle::subControlRect(control, option, subControl, widget);
  }
  const QRect& area = box->rect;
  const QFontMetrics& metrics = box->fontMetrics;
  const bool captioned = !box->text.isEmpty();
  switch (subControl) {
    case SC_GroupBoxLabel: {
      if (!captioned) return QRect();
      const QRect text =
          metrics.boundingRect(QRect(0, 0, 0xFFFF, 0xFFFF),
                               Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic, box->text);
      return QRect(area.left() + kCaptionLeft, area.top(), text.width(), metrics.height());
    }
    case SC_GroupBoxFrame: {
      // The top line runs through the middle of the caption's line.
      const int top = captioned ? metrics.height() / 2 : 0;
      return area.adjusted(0, top, 0, 0);
    }
    case SC_GroupBoxContents:
      return area.adjusted(0, kGroupBoxContentsTop, 0, 0);
    case SC_GroupBoxCheckBox:
      return QRect();
    default:
      return QProxyStyle::subControlRect(control, option, subControl, widget);
  }
}

QRect TMainWindowStyle::subElementRect(SubElement element, const QStyleOption* option,
                                       const QWidget* widget) const {
  // The group box's outer edge is its place in a layout: no shift.
  if (element == SE_GroupBoxLayoutItem) return option->rect;
  return QProxyStyle::subElementRect(element, option, widget);
}

int TMainWindowStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                                  const QWidget* widget) const {
  if (IsToolBar(widget)) {
    switch (metric) {
      case PM_ToolBarItemMargin:
        return kToolBarMargin;
      case PM_ToolBarFrameWidth:
      case PM_ToolBarItemSpacing:
      case PM_ToolBarHandleExtent:
        return 0;
      default:
        break;
    }
  }
  return QProxyStyle::pixelMetric(metric, option, widget);
}

}  // namespace deckhand
