// The pieces every dialog of the program is made of: the fixed-size modal
// window, the edit field with its caption above it, the horizontal rule, the
// buttons and the keyboard order.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRect>
#include <QString>
#include <QWidget>
#include <initializer_list>

#include "widgets/Labels.h"

namespace deckhand {

// A small modal window of fixed client size: title bar with the window menu
// and a close box only, centred on the screen whenever it is shown, font
// "MS Sans Serif" 11 pixels. It has no default and no cancel button: Enter
// presses the focused button and does nothing elsewhere, Escape does
// nothing. Closing it by any means ends its modal loop with Rejected.
class TFixedDialog : public QDialog {
  Q_OBJECT

 public:
  TFixedDialog(QWidget* parent, const QString& formName, const QString& caption, int clientWidth,
               int clientHeight);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;
};

// A single-line edit field with its caption label standing above it: the
// label's left edge at the field's, its bottom 3 pixels above the field. The
// label is a sibling of the field named after it with "Label" appended. The
// field selects its whole text when entered by Tab or Backtab.
class TLabeledEdit : public QLineEdit {
  Q_OBJECT

 public:
  TLabeledEdit(QWidget* parent, const QString& name, const QString& caption, const QRect& geometry);

  QLabel* EditLabel() const { return label_; }

 protected:
  void focusInEvent(QFocusEvent* event) override;

 private:
  QLabel* label_;
};

// A horizontal rule: a two-pixel line along the top of the widget, the first
// row in the button shadow colour, the second in the button highlight colour.
class TBevel : public QWidget {
  Q_OBJECT

 public:
  TBevel(QWidget* parent, const QString& name, const QRect& geometry);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// A push button that is never a default button: it is pressed by a click, by
// Space, or by Enter while it has the focus.
QPushButton* CreateDialogButton(QWidget* parent, const QString& name, const QString& caption,
                                const QRect& geometry);

// Sets the keyboard order of the widgets, first to last.
void SetTabOrder(std::initializer_list<QWidget*> widgets);

}  // namespace deckhand
