// The image dialog (Tcreatpic): asks for an image file, with a file browser,
// and an alternative text, and replaces the editor's selection with the
// image element composed of them.
#pragma once

#include <QStringList>

#include "core/CodeBuffer.h"
#include "ui/DialogParts.h"

namespace deckhand {

// The file types offered by "Обзор...", the first one selected: all image
// files, GIF, JPEG, bitmaps. Each entry is a name followed by its patterns in
// parentheses, separated by spaces as the toolkit's file dialog reads them.
QStringList ImageFileFilters();

// "Вставка изображения".
class Tcreatpic : public TFixedDialog {
  Q_OBJECT

 public:
  Tcreatpic(QWidget* parent, TCodeBuffer& buffer);

  TLabeledEdit* filepic;
  TLabeledEdit* alt;
  TBevel* Bevel1;
  QPushButton* Button1;  // "Обзор..."
  QPushButton* Button2;  // "Очистить"
  QPushButton* Button3;  // "Отмена"
  QPushButton* Button4;  // "Вставить"

 public slots:
  // Asks for a file; a confirmed file's full path replaces filepic's text.
  void Button1Click(QObject* sender);
  // Empties both fields; the dialog stays open.
  void Button2Click(QObject* sender);
  // Closes without inserting.
  void Button3Click(QObject* sender);
  // Inserts the image element in place of the selection and closes.
  void Button4Click(QObject* sender);

 private:
  TCodeBuffer& buffer_;
};

}  // namespace deckhand
