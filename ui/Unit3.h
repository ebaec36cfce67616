// The link dialog (TCreathref).
#pragma once

#include <QPushButton>
#include <QWidget>

#include "core/CodeBuffer.h"
#include "ui/DialogParts.h"

namespace deckhand {

// "Создать ссылку": asks for an address and a text and replaces the
// editor's selection with the link composed of them.
class TCreathref : public TFixedDialog {
  Q_OBJECT

 public:
  TCreathref(QWidget* parent, TCodeBuffer& buffer);

  TLabeledEdit* url;
  TLabeledEdit* text;
  TBevel* Bevel1;
  QPushButton* Button1;  // "Создать"
  QPushButton* Button2;  // "Отмена"
  QPushButton* Button3;  // "Очистить"

 public slots:
  // Inserts the link in place of the selection and closes.
  void Button1Click(QObject* sender);
  // Closes without inserting.
  void Button2Click(QObject* sender);
  // Empties both fields; the dialog stays open.
  void Button3Click(QObject* sender);

 private:
  TCodeBuffer& buffer_;
};

}  // namespace deckhand
