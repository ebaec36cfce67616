#include "ui/FindDialog.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QRect>
#include <climits>
#include <utility>

#include "core/Encoding.h"
#include "ui/MemoBuffer.h"

namespace deckhand {

namespace {

// The text of a field as the document's bytes: a character Windows-1251
// lacks is sought as the numeric reference the editor holds for it.
std::string FieldBytes(const QString& text) { return UnicodeToCp1251(EditorInputText(text)); }

// Enter in one of the dialog's fields presses button; elsewhere the dialog's
// own rule holds (the focused button is pressed).
bool EnterInField(QWidget* dialog, QKeyEvent* event, QPushButton* button) {
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  if ((event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) ||
      modifiers != Qt::NoModifier) {
    return false;
  }
  if (qobject_cast<QLineEdit*>(dialog->focusWidget()) == nullptr) return false;
  event->accept();
  button->click();
  return true;
}

}  // namespace

bool FindAgain(TCodeBuffer& buffer, const TFindState& state) {
  return FindNext(buffer, FieldBytes(state.Needle), state.Options);
}

// ---------------------------------------------------------------------------
// TFindDialog

TFindDialog::TFindDialog(QWidget* parent, TCodeBuffer& buffer, TFindState& state, bool replaceMode,
                         std::function<void(const QString&)> report)
    : TFixedDialog(parent, QStringLiteral("FindDialog"),
                   replaceMode ? QStringLiteral("Заменить") : QStringLiteral("Найти"), 400,
                   replaceMode ? 186 : 138),
      ReplaceText(nullptr),
      ReplaceButton(nullptr),
      ReplaceAllButton(nullptr),
      buffer_(buffer),
      state_(state),
      report_(std::move(report)) {
  FindText = new TLabeledEdit(this, QStringLiteral("FindText"), QStringLiteral("Найти:"),
                              QRect(8, 24, 385, 21));
  int top = 52;
  if (replaceMode) {
    ReplaceText = new TLabeledEdit(this, QStringLiteral("ReplaceText"),
                                   QStringLiteral("Заменить на:"), QRect(8, 72, 385, 21));
    top = 100;
  }
  MatchCase = new QCheckBox(QStringLiteral("С учётом регистра"), this);
  MatchCase->setObjectName(QStringLiteral("MatchCase"));
  MatchCase->setGeometry(8, top + 4, 180, 17);
  WholeWord = new QCheckBox(QStringLiteral("Только слово целиком"), this);
  WholeWord->setObjectName(QStringLiteral("WholeWord"));
  WholeWord->setGeometry(8, top + 22, 180, 17);
  auto* direction = new QGroupBox(QStringLiteral(" Направление "), this);
  direction->setObjectName(QStringLiteral("Direction"));
  direction->setGeometry(208, top - 2, 185, 42);
  Up = new QRadioButton(QStringLiteral("Вверх"), direction);
  Up->setObjectName(QStringLiteral("Up"));
  Up->setGeometry(10, 17, 70, 17);
  Down = new QRadioButton(QStringLiteral("Вниз"), direction);
  Down->setObjectName(QStringLiteral("Down"));
  Down->setGeometry(96, 17, 70, 17);
  Bevel1 = new TBevel(this, QStringLiteral("Bevel1"), QRect(8, top + 44, 387, 5));
  const int buttonTop = top + 52;
  if (replaceMode) {
    FindNextButton = CreateDialogButton(this, QStringLiteral("FindNextButton"),
                                        QStringLiteral("Найти далее"), QRect(8, buttonTop, 90, 25));
    ReplaceButton = CreateDialogButton(this, QStringLiteral("ReplaceButton"),
                                       QStringLiteral("Заменить"), QRect(104, buttonTop, 90, 25));
    ReplaceAllButton =
        CreateDialogButton(this, QStringLiteral("ReplaceAllButton"), QStringLiteral("Заменить всё"),
                           QRect(200, buttonTop, 90, 25));
  } else {
    FindNextButton =
        CreateDialogButton(this, QStringLiteral("FindNextButton"), QStringLiteral("Найти далее"),
                           QRect(208, buttonTop, 90, 25));
  }
  CancelButton = CreateDialogButton(this, QStringLiteral("CancelButton"), QStringLiteral("Отмена"),
                                    QRect(303, buttonTop, 90, 25));

  // Offered: the selection when it is a piece of one line, else what was
  // sought last.
  const std::string selected = buffer_.GetSelText();
  FindText->setText(!selected.empty() && selected.find_first_of("\r\n") == std::string::npos
                        ? Cp1251ToUnicode(selected)
                        : state_.Needle);
  FindText->selectAll();
  if (ReplaceText != nullptr) ReplaceText->setText(state_.Replacement);
  MatchCase->setChecked(state_.Options.MatchCase);
  WholeWord->setChecked(state_.Options.WholeWord);
  (state_.Options.Backward ? Up : Down)->setChecked(true);

  if (replaceMode) {
    SetTabOrder({FindText, ReplaceText, MatchCase, WholeWord, Up, Down, FindNextButton,
                 ReplaceButton, ReplaceAllButton, CancelButton});
    connect(ReplaceButton, &QPushButton::clicked, this, [this] { ReplaceClick(ReplaceButton); });
    connect(ReplaceAllButton, &QPushButton::clicked, this,
            [this] { ReplaceAllClick(ReplaceAllButton); });
  } else {
    SetTabOrder({FindText, MatchCase, WholeWord, Up, Down, FindNextButton, CancelButton});
  }
  FindText->setFocus(Qt::OtherFocusReason);
  connect(FindNextButton, &QPushButton::clicked, this, [this] { FindNextClick(FindNextButton); });
  connect(CancelButton, &QPushButton::clicked, this, [this] {
    StoreState();
    reject();
  });
}

void TFindDialog::StoreState() {
  state_.Needle = FindText->text();
  if (ReplaceText != nullptr) state_.Replacement = ReplaceText->text();
  state_.Options.MatchCase = MatchCase->isChecked();
  state_.Options.WholeWord = WholeWord->isChecked();
  state_.Options.Backward = Up->isChecked();
}

void TFindDialog::FindNextClick(QObject*) {
  StoreState();
  if (state_.Needle.isEmpty()) return;
  if (!FindAgain(buffer_, state_)) {
    report_(QString::fromUtf8(kNotFoundText));
    return;
  }
  report_(QString());
  if (ReplaceText == nullptr) accept();
}

void TFindDialog::ReplaceClick(QObject*) {
  StoreState();
  if (state_.Needle.isEmpty()) return;
  const bool found = ReplaceNext(buffer_, FieldBytes(state_.Needle), FieldBytes(state_.Replacement),
                                 state_.Options);
  report_(found ? QString() : QString::fromUtf8(kNotFoundText));
}

void TFindDialog::ReplaceAllClick(QObject*) {
  StoreState();
  if (state_.Needle.isEmpty()) return;
  if (ReplaceAll(buffer_, FieldBytes(state_.Needle), FieldBytes(state_.Replacement),
                 state_.Options) == 0) {
    report_(QString::fromUtf8(kNotFoundText));
    return;
  }
  report_(QString());
  accept();
}

void TFindDialog::keyPressEvent(QKeyEvent* event) {
  if (EnterInField(this, event, FindNextButton)) return;
  TFixedDialog::keyPressEvent(event);
}

// ---------------------------------------------------------------------------
// TGoToLineDialog

TGoToLineDialog::TGoToLineDialog(QWidget* parent, TCodeBuffer& buffer)
    : TFixedDialog(parent, QStringLiteral("GoToLineDialog"), QStringLiteral("Перейти к строке"),
                   260, 124),
      buffer_(buffer) {
  Line = new TLabeledEdit(this, QStringLiteral("Line"), QStringLiteral("Строка:"),
                          QRect(8, 24, 118, 21));
  Column = new TLabeledEdit(this, QStringLiteral("Column"), QStringLiteral("Столбец:"),
                            QRect(134, 24, 118, 21));
  Problem = new QLabel(this);
  Problem->setObjectName(QStringLiteral("Problem"));
  Problem->setGeometry(8, 50, 244, 28);
  Problem->setWordWrap(true);
  Problem->setStyleSheet(QStringLiteral("color: #b00000;"));
  Bevel1 = new TBevel(this, QStringLiteral("Bevel1"), QRect(8, 86, 246, 5));
  GoButton = CreateDialogButton(this, QStringLiteral("GoButton"), QStringLiteral("Перейти"),
                                QRect(98, 94, 75, 25));
  CancelButton = CreateDialogButton(this, QStringLiteral("CancelButton"), QStringLiteral("Отмена"),
                                    QRect(178, 94, 75, 25));

  // The caret's line and column as the status bar counts them.
  const int start = buffer_.GetSelStart();
  const int line = buffer_.LineFromChar(start);
  Line->setText(QString::number(line + 1));
  Column->setText(QString::number(start - buffer_.LineIndex(line) + 1));
  Line->selectAll();

  SetTabOrder({Line, Column, GoButton, CancelButton});
  Line->setFocus(Qt::OtherFocusReason);
  connect(GoButton, &QPushButton::clicked, this, [this] { GoClick(GoButton); });
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TGoToLineDialog::GoClick(QObject*) {
  bool lineOk = false;
  bool columnOk = false;
  const int line = Line->text().trimmed().toInt(&lineOk);
  // An empty column is the line's start.
  const QString columnText = Column->text().trimmed();
  const int column = columnText.isEmpty() ? 1 : columnText.toInt(&columnOk);
  if (columnText.isEmpty()) columnOk = true;
  const int lines = buffer_.LineFromChar(INT_MAX) + 1;
  if (!lineOk || !columnOk || line < 1 || column < 1) {
    Problem->setText(QStringLiteral("Строка и столбец — целые числа от 1"));
    return;
  }
  const std::optional<int> position = PositionOfLineColumn(buffer_, line, column);
  if (!position) {
    Problem->setText(QStringLiteral("Номер строки — от 1 до %1").arg(lines));
    return;
  }
  buffer_.SetSelStart(*position);
  accept();
}

void TGoToLineDialog::keyPressEvent(QKeyEvent* event) {
  if (EnterInField(this, event, GoButton)) return;
  TFixedDialog::keyPressEvent(event);
}

}  // namespace deckhand
