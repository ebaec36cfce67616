// The find and replace dialog (TFindDialog) and the go-to-line dialog
// (TGoToLineDialog), in the style of the program's other dialogs: fixed
// size, fields with their captions above them, a rule, buttons below it.
//
// Both act on the code buffer through the window-free operations of
// core/TextSearch; they ask nothing through message boxes. What they have to
// tell (nothing found) goes to the report function the main window gives
// them, which writes it into the status bar's hint panel.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <functional>

#include "core/CodeBuffer.h"
#include "core/TextSearch.h"
#include "ui/DialogParts.h"

namespace deckhand {

// Said in the hint panel when a search finds nothing.
inline constexpr char kNotFoundText[] = "Не найдено";

// What was last sought, kept by the main window for "Найти далее" (F3) and
// offered by the next dialog.
struct TFindState {
  QString Needle;
  QString Replacement;
  TSearchOptions Options;
};

// "Найти" (find mode) or "Заменить" (replace mode, with the replacement
// field and the replace buttons).
//  - "Найти далее": searches from the selection in the chosen direction, round
//    the end of the text; the match is selected. In find mode the dialog then
//    closes (Accepted), so that the editor shows the selection; in replace
//    mode it stays open. Nothing found: the report says kNotFoundText and the
//    dialog stays open.
//  - "Заменить": replaces the selection when it is a match, then finds the
//    next one.
//  - "Заменить всё": replaces every match of the whole text as one undoable
//    step and closes (Accepted); none: the report says kNotFoundText.
//  - "Отмена", the close box: closes (Rejected).
// Enter in a field presses "Найти далее". The state is written back to the
// TFindState given, whatever button ends the dialog.
class TFindDialog : public TFixedDialog {
  Q_OBJECT

 public:
  TFindDialog(QWidget* parent, TCodeBuffer& buffer, TFindState& state, bool replaceMode,
              std::function<void(const QString&)> report);

  TLabeledEdit* FindText;
  TLabeledEdit* ReplaceText;  // null in find mode
  QCheckBox* MatchCase;
  QCheckBox* WholeWord;
  QRadioButton* Up;
  QRadioButton* Down;
  TBevel* Bevel1;
  QPushButton* FindNextButton;    // "Найти далее"
  QPushButton* ReplaceButton;     // "Заменить", null in find mode
  QPushButton* ReplaceAllButton;  // "Заменить всё", null in find mode
  QPushButton* CancelButton;      // "Отмена"

 public slots:
  void FindNextClick(QObject* sender);
  void ReplaceClick(QObject* sender);
  void ReplaceAllClick(QObject* sender);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // The fields into the state, as bytes for the search.
  void StoreState();

  TCodeBuffer& buffer_;
  TFindState& state_;
  std::function<void(const QString&)> report_;
};

// Runs a search with the state kept from the last dialog: true when a match
// was selected.
bool FindAgain(TCodeBuffer& buffer, const TFindState& state);

// "Перейти к строке": the line and the column, prefilled with the caret's as
// the status bar counts them (from 1). "Перейти" puts the caret there and
// closes (Accepted); a line beyond the last one, or a field that is not a
// whole number of 1 or more, is refused with a message under the fields, and
// the dialog stays open. A column beyond the end of its line stands at the
// line's end. "Отмена" closes (Rejected).
class TGoToLineDialog : public TFixedDialog {
  Q_OBJECT

 public:
  TGoToLineDialog(QWidget* parent, TCodeBuffer& buffer);

  TLabeledEdit* Line;
  TLabeledEdit* Column;
  QLabel* Problem;
  TBevel* Bevel1;
  QPushButton* GoButton;      // "Перейти"
  QPushButton* CancelButton;  // "Отмена"

 public slots:
  void GoClick(QObject* sender);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  TCodeBuffer& buffer_;
};

}  // namespace deckhand
