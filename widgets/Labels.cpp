#include "widgets/Labels.h"

#include <QFontMetrics>
#include <QLatin1Char>

namespace deckhand {

void FitLabelToCaption(QLabel* label) {
  const QFontMetrics metrics(label->font());
  const QString caption = label->text();
  const int width =
      caption.isEmpty() ? metrics.horizontalAdvance(QLatin1Char(' ')) : label->sizeHint().width();
  label->resize(width, metrics.height());
}

QLabel* CreateFittedLabel(QWidget* parent, const QString& name, const QString& caption, int left,
                          int top, const std::optional<QFont>& font) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(name);
  if (font) label->setFont(*font);
  FitLabelToCaption(label);
  label->move(left, top);
  return label;
}

QLabel* CreateLabel(QWidget* parent, const QString& name, const QString& caption,
                    const QRect& geometry) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(name);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setGeometry(geometry);
  return label;
}

}  // namespace deckhand
