// The emulator window's phone: the screen, drawn enlarged in its dark
// frame, and the keypad under it.
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "ui/Unit7.h"

namespace deckhand {

namespace {

constexpr int kLargestScreenSide = TScreenView::kLargestSide;
constexpr int kBezel = TScreenView::kBezel;

}  // namespace

// ---------------------------------------------------------------------------
// TScreenView

TScreenView::TScreenView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Screen"));
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

int TScreenView::Scale() const {
  if (image_.isNull()) return 1;
  int side = std::max(image_.width(), image_.height());
  return std::clamp(kLargestScreenSide / std::max(1, side), 1, 4);
}

void TScreenView::SetImage(const QImage& image) {
  bool resized = image.size() != image_.size();
  image_ = image;
  if (resized) {
    setFixedSize(image_.size() * Scale() + QSize(2 * kBezel, 2 * kBezel));
    updateGeometry();
  }
  update();
}

QSize TScreenView::sizeHint() const {
  return image_.size() * Scale() + QSize(2 * kBezel, 2 * kBezel);
}

void TScreenView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x30, 0x30, 0x34));
  painter.drawRoundedRect(rect(), kBezel, kBezel);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.drawImage(QRect(QPoint(kBezel, kBezel), image_.size() * Scale()), image_);
}

// ---------------------------------------------------------------------------
// TKeypad

TKeypad::TKeypad(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Keypad"));
  setFixedSize(sizeHint());
}

void TKeypad::SetLabels(const QString& left, const QString& right) {
  if (left == left_ && right == right_) return;
  left_ = left;
  right_ = right;
  update();
}

QRect TKeypad::KeyRect(TKey key) const {
  switch (key) {
    case TKey::LeftSoft:
      return {0, 0, 72, 22};
    case TKey::Up:
      return {80, 0, 60, 22};
    case TKey::RightSoft:
      return {148, 0, 72, 22};
    case TKey::Back:
      return {0, 26, 72, 22};
    case TKey::Select:
      return {80, 26, 60, 22};
    case TKey::Down:
      return {80, 52, 60, 22};
  }
  return {};
}

void TKeypad::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& colors = palette();
  const auto draw = [&](TKey key, const QString& text) {
    QRect rect = KeyRect(key).adjusted(0, 0, -1, -1);
    painter.setPen(colors.color(QPalette::Mid));
    painter.setBrush(colors.color(QPalette::Button));
    painter.drawRoundedRect(rect, 6, 6);
    painter.setPen(colors.color(QPalette::ButtonText));
    painter.drawText(rect, Qt::AlignCenter,
                     painter.fontMetrics().elidedText(text, Qt::ElideRight, rect.width() - 6));
  };
  draw(TKey::LeftSoft, left_);
  draw(TKey::RightSoft, right_);
  draw(TKey::Up, QStringLiteral("▲"));
  draw(TKey::Down, QStringLiteral("▼"));
  draw(TKey::Select, QStringLiteral("●"));
  draw(TKey::Back, QStringLiteral("Назад"));
}

void TKeypad::mousePressEvent(QMouseEvent* event) {
  for (TKey key :
       {TKey::LeftSoft, TKey::RightSoft, TKey::Up, TKey::Down, TKey::Select, TKey::Back}) {
    if (KeyRect(key).contains(event->position().toPoint())) {
      emit Pressed(key);
      return;
    }
  }
}

}  // namespace deckhand
