#include "ui/StatusBar.h"

#include <QEvent>
#include <algorithm>

namespace deckhand {

TStatusPanel::TStatusPanel(QWidget* parent) : QLabel(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(1);
  setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  setIndent(2);
  setTextFormat(Qt::PlainText);
  // A long text is clipped at the panel's edge rather than widening it.
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  setMinimumWidth(0);
}

void TStatusPanel::SetText(const QString& text) {
  if (text == this->text()) return;
  ++changes_;
  setText(text);
}

TStatusBar::TStatusBar(QWidget* parent) : QStatusBar(parent) {
  setObjectName(QStringLiteral("StatusBar"));
  setSizeGripEnabled(true);
  setFixedHeight(19);
  setContentsMargins(0, 0, 0, 0);
  // One area holds the panels at their exact offsets; the status bar's own
  // layout only stretches it over the whole width before the size grip.
  area_ = new QWidget(this);
  area_->setObjectName(QStringLiteral("StatusPanels"));
  addWidget(area_, 1);
  for (int i = 0; i < kPanelCount; ++i) {
    panels_[static_cast<size_t>(i)] = new TStatusPanel(area_);
    panels_[static_cast<size_t>(i)]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
  }
  setStyleSheet(QStringLiteral("QStatusBar::item { border: none; }"));
  area_->installEventFilter(this);
}

bool TStatusBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == area_ && event->type() == QEvent::Resize) LayOutPanels();
  return QStatusBar::eventFilter(watched, event);
}

void TStatusBar::LayOutPanels() {
  const int height = area_->height();
  int left = 0;
  for (int i = 0; i < kPanelCount; ++i) {
    const bool last = i == kPanelCount - 1;
    const int width = last ? std::max(kWidths[static_cast<size_t>(i)], area_->width() - left)
                           : kWidths[static_cast<size_t>(i)];
    panels_[static_cast<size_t>(i)]->setGeometry(left, 0, width - 2, height);
    left += width;
  }
}

}  // namespace deckhand
