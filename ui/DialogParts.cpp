#include "ui/DialogParts.h"

#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QShowEvent>
#include <limits>

#include "ui/Fonts.h"

namespace deckhand {

namespace {

// Space between a field's caption and the field.
constexpr int kLabelSpacing = 3;

}  // namespace

// ---------------------------------------------------------------------------
// TFixedDialog

TFixedDialog::TFixedDialog(QWidget* parent, const QString& formName, const QString& caption,
                           int clientWidth, int clientHeight)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setObjectName(formName);
  setWindowTitle(caption);
  setFixedSize(clientWidth, clientHeight);
  setSizeGripEnabled(false);

  setFont(WindowFont(11));

  setBackgroundRole(QPalette::Button);
  setForegroundRole(QPalette::WindowText);
}

void TFixedDialog::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      // No cancel button: Escape closes nothing.
      event->accept();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
      // No default button: only a button that has the focus is pressed; in a
      // field Enter does nothing.
      const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
      if (modifiers == Qt::NoModifier) {
        if (auto* button = qobject_cast<QPushButton*>(focusWidget());
            button != nullptr && button->isEnabled() && button->isVisible()) {
          button->click();
        }
      }
      event->accept();
      return;
    }
    default:
      QDialog::keyPressEvent(event);
  }
}

void TFixedDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  // Centre of the screen, not of the owner window.
  QScreen* display = screen();
  if (display == nullptr) display = QGuiApplication::primaryScreen();
  if (display == nullptr) return;
  const QRect area = display->geometry();
  const QRect frame = frameGeometry();
  move(area.x() + (area.width() - frame.width()) / 2,
       area.y() + (area.height() - frame.height()) / 2);
}

// ---------------------------------------------------------------------------
// TLabeledEdit

TLabeledEdit::TLabeledEdit(QWidget* parent, const QString& name, const QString& caption,
                           const QRect& geometry)
    : QLineEdit(parent) {
  setObjectName(name);
  setGeometry(geometry);
  // No length limit of its own (the toolkit's default would cut at 32767).
  setMaxLength(std::numeric_limits<int>::max());
  label_ = new QLabel(caption, parent);
  label_->setObjectName(name + QStringLiteral("Label"));
  FitLabelToCaption(label_);
  label_->move(geometry.left(), geometry.top() - label_->height() - kLabelSpacing);
}

void TLabeledEdit::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  // Entered by the keyboard: the whole text is selected, ready to be typed
  // over. A mouse click places the cursor as usual.
  if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason) {
    selectAll();
  }
}

// ---------------------------------------------------------------------------
// TBevel

TBevel::TBevel(QWidget* parent, const QString& name, const QRect& geometry) : QWidget(parent) {
  setObjectName(name);
  setGeometry(geometry);
  setFocusPolicy(Qt::NoFocus);
}

void TBevel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(0, 0, width(), 1, palette().color(QPalette::Dark));
  painter.fillRect(0, 1, width(), 1, palette().color(QPalette::Light));
}

// ---------------------------------------------------------------------------
// Helpers

QPushButton* CreateDialogButton(QWidget* parent, const QString& name, const QString& caption,
                                const QRect& geometry) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setGeometry(geometry);
  // An auto-default button would take Enter from the fields.
  button->setAutoDefault(false);
  button->setDefault(false);
  button->setFocusPolicy(Qt::StrongFocus);
  return button;
}

void SetTabOrder(std::initializer_list<QWidget*> widgets) {
  QWidget* previous = nullptr;
  for (QWidget* widget : widgets) {
    if (previous != nullptr) QWidget::setTabOrder(previous, widget);
    previous = widget;
  }
}

}  // namespace deckhand
