// The link, image and check dialogs, driven through their buttons, fields
// and keys over an in-memory code buffer.
#include <gtest/gtest.h>

#include <QAbstractAnimation>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QInputMethodEvent>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ScriptedDialogs.h"
#include "UiTestSupport.h"
#include "core/CodeBuffer.h"
#include "core/Encoding.h"
#include "core/MarkupCommands.h"
#include "ui/Unit3.h"
#include "ui/Unit4.h"
#include "ui/Unit5.h"
#include "ui/UserDialogs.h"

namespace deckhand {
namespace {

using deckhand::testing::WaitFor;

// An in-memory buffer that counts the insertions made into it.
class TCountingBuffer : public TCodeBuffer {
 public:
  TMemoryBuffer memory;
  int insertions = 0;

  void Clear() override { memory.Clear(); }
  void Add(const std::string& line) override { memory.Add(line); }
  std::string GetText() const override { return memory.GetText(); }
  void SetTextStr(std::string text) override { memory.SetTextStr(std::move(text)); }
  void SetText(const std::string& text) override { memory.SetText(text); }
  int GetSelStart() const override { return memory.GetSelStart(); }
  void SetSelStart(int position) override { memory.SetSelStart(position); }
  int GetSelLength() const override { return memory.GetSelLength(); }
  void SetSelLength(int length) override { memory.SetSelLength(length); }
  std::string GetSelText() const override { return memory.GetSelText(); }
  void SetSelText(const std::string& text) override {
    ++insertions;
    memory.SetSelText(text);
  }
  void CutToClipboard() override { memory.CutToClipboard(); }
  void CopyToClipboard() override { memory.CopyToClipboard(); }
  void PasteFromClipboard() override { memory.PasteFromClipboard(); }
  bool GetModified() const override { return memory.GetModified(); }
  int LineFromChar(int position) const override { return memory.LineFromChar(position); }
  int LineIndex(int line) const override { return memory.LineIndex(line); }
};

class DialogsTest : public ::testing::Test {
 protected:
  // The dialogs ask no question and show no error box unless a test says so.
  void TearDown() override {
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
  }

  // Shows the dialog without a modal loop and waits until it is active.
  static void Show(QDialog& dialog) {
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  }

  // The text "typed" into the buffer before a dialog opens, with the caret
  // or selection the user left.
  void Prepare(const char* utf8Text, int anchor, int caret) {
    buffer.memory.SetTextStr(Cp1251(utf8Text));
    buffer.memory.Select(anchor, caret);
  }

  TCountingBuffer buffer;
  testing::TScriptedDialogs dialogs;
};

template <class T>
T* Child(QWidget& parent, const char* name) {
  T* child = parent.findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(child, nullptr) << name;
  return child;
}

// The dialog's fixed frame: the client size, no resizing, no minimise or
// maximise box, the shared font.
void ExpectFixedWindow(QDialog& dialog, const char* formName, const char* caption, QSize size) {
  EXPECT_EQ(dialog.objectName(), QString::fromLatin1(formName));
  EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8(caption));
  EXPECT_EQ(dialog.size(), size);
  EXPECT_EQ(dialog.minimumSize(), size);
  EXPECT_EQ(dialog.maximumSize(), size);
  const Qt::WindowFlags flags = dialog.windowFlags();
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(flags & Qt::WindowTitleHint);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(dialog.font().pixelSize(), 11);
  for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
    EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
    EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
  }
}

void ExpectGeometry(QWidget& dialog, const char* name, QRect expected) {
  QWidget* child = Child<QWidget>(dialog, name);
  if (child != nullptr) {
    EXPECT_EQ(child->geometry(), expected) << name;
  }
}

// A field's caption: its own label, left-aligned with the field, its bottom
// 3 pixels above the field's top.
void ExpectFieldLabel(QWidget& dialog, const char* field, const char* caption) {
  auto* edit = Child<QLineEdit>(dialog, field);
  auto* label = Child<QLabel>(dialog, (std::string(field) + "Label").c_str());
  if (edit == nullptr || label == nullptr) return;
  EXPECT_EQ(label->text(), QString::fromUtf8(caption));
  EXPECT_EQ(label->x(), edit->x()) << field;
  EXPECT_EQ(label->y() + label->height() + 3, edit->y()) << field;
  EXPECT_GE(label->width(), QFontMetrics(label->font()).horizontalAdvance(label->text()));
  EXPECT_TRUE(edit->text().isEmpty());
}

// The object names met by pressing Tab from the first focus, once round.
std::vector<std::string> TabCycle(int count) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) {
    QWidget* focus = QApplication::focusWidget();
    if (focus == nullptr) break;
    names.push_back(focus->objectName().toStdString());
    QTest::keyClick(focus, Qt::Key_Tab);
  }
  if (QWidget* focus = QApplication::focusWidget())
    names.push_back(focus->objectName().toStdString());
  return names;
}

// Keys typed into the focused field, one character each, as a keyboard
// with a Russian layout sends them.
void TypeKeys(QWidget* field, const QString& text) {
  for (const QChar c : text) {
    QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
  }
}

// Text that an input method commits into the focused field.
void Commit(QWidget* field, const QString& text) {
  QInputMethodEvent event;
  event.setCommitString(text);
  QApplication::sendEvent(field, &event);
}

// ---------------------------------------------------------------------------
// Shared window behaviour

TEST_F(DialogsTest, DialogsAreCentredOnTheScreenWithARuleOfShadowAndHighlight) {
  TCreathref dialog(nullptr, buffer);
  Show(dialog);
  const QRect screen = dialog.screen()->geometry();
  const QPoint offset = dialog.frameGeometry().center() - screen.center();
  EXPECT_LE(std::abs(offset.x()), 1);
  EXPECT_LE(std::abs(offset.y()), 1);

  const QImage rule = dialog.Bevel1->grab().toImage();
  const QPalette palette = dialog.Bevel1->palette();
  for (int x : {0, rule.width() / 2, rule.width() - 1}) {
    EXPECT_EQ(rule.pixel(x, 0), palette.color(QPalette::Dark).rgb());
    EXPECT_EQ(rule.pixel(x, 1), palette.color(QPalette::Light).rgb());
  }
}

// ---------------------------------------------------------------------------
// TCreathref

TEST_F(DialogsTest, LinkDialogLayoutTabOrderAndFirstFocus) {
  TCreathref dialog(nullptr, buffer);
  ExpectFixedWindow(dialog, "Creathref", "Создать ссылку", QSize(400, 138));
  ExpectGeometry(dialog, "url", QRect(8, 24, 385, 21));
  ExpectGeometry(dialog, "text", QRect(8, 72, 385, 21));
  ExpectGeometry(dialog, "Bevel1", QRect(8, 100, 387, 5));
  ExpectGeometry(dialog, "Button1", QRect(160, 108, 75, 25));
  ExpectGeometry(dialog, "Button2", QRect(240, 108, 75, 25));
  ExpectGeometry(dialog, "Button3", QRect(320, 108, 75, 25));
  ExpectFieldLabel(dialog, "url", "Адрес (URL):");
  ExpectFieldLabel(dialog, "text", "Текст:");
  EXPECT_EQ(dialog.Button1->text(), QString::fromUtf8("Создать"));
  EXPECT_EQ(dialog.Button2->text(), QString::fromUtf8("Отмена"));
  EXPECT_EQ(dialog.Button3->text(), QString::fromUtf8("Очистить"));

  Show(dialog);
  EXPECT_EQ(QApplication::focusWidget(), dialog.Button1);
  EXPECT_EQ(TabCycle(5),
            (std::vector<std::string>{"Button1", "Button2", "Button3", "url", "text", "Button1"}));
}

TEST_F(DialogsTest, LinkIsInsertedAtTheCaretAndTheDialogCloses) {
  Prepare("<p></p>", 3, 3);
  TCreathref dialog(nullptr, buffer);
  Show(dialog);
  dialog.url->setText(QStringLiteral("http://wap.example.ru/news.wml"));
  dialog.text->setText(QString::fromUtf8("Новости"));
  QTest::mouseClick(dialog.Button1, Qt::LeftButton);

  const std::string link = ComposeLink("http://wap.example.ru/news.wml", Cp1251("Новости"));
  EXPECT_EQ(buffer.GetText(), "<p>" + link + "</p>");
  EXPECT_EQ(buffer.insertions, 1);
  EXPECT_EQ(buffer.GetSelStart(), 3 + static_cast<int>(link.size()));
  EXPECT_EQ(buffer.GetSelLength(), 0);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST_F(DialogsTest, LinkReplacesTheSelectionWithoutUsingIt) {
  Prepare("<p>old words</p>", 12, 3);  // selected backwards
  TCreathref dialog(nullptr, buffer);
  Show(dialog);
  dialog.url->setText(QStringLiteral("#card2"));
  dialog.text->setText(QStringLiteral("next"));
  dialog.Button1->click();
  EXPECT_EQ(buffer.GetText(), "<p>" + ComposeLink("#card2", "next") + "</p>");
  EXPECT_EQ(buffer.insertions, 1);
}

TEST_F(DialogsTest, LinkFieldsAreInsertedUnchangedEmptyOrLong) {
  Prepare("", 0, 0);
  TCreathref dialog(nullptr, buffer);
  Show(dialog);
  dialog.Button1->click();
  EXPECT_EQ(buffer.GetText(), ComposeLink("", ""));

  // The fields have no length limit of their own.
  Prepare("", 0, 0);
  TCreathref longer(nullptr, buffer);
  Show(longer);
  const std::string address(40000, 'a');
  longer.url->setText(QString::fromStdString(address));
  longer.Button1->click();
  EXPECT_EQ(buffer.GetText(), ComposeLink(address, ""));
}

TEST_F(DialogsTest, LinkClearThenCancelAndTheCloseBoxInsertNothing) {
  Prepare("<p>x</p>", 4, 4);
  TCreathref dialog(nullptr, buffer);
  Show(dialog);
  dialog.url->setText(QStringLiteral("a.wml"));
  dialog.text->setText(QStringLiteral("A"));
  dialog.text->setFocus(Qt::MouseFocusReason);
  dialog.Button3->click();
  EXPECT_TRUE(dialog.url->text().isEmpty());
  EXPECT_TRUE(dialog.text->text().isEmpty());
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(QApplication::focusWidget(), dialog.text);
  dialog.Button2->click();
  EXPECT_FALSE(dialog.isVisible());

  TCreathref second(nullptr, buffer);
  Show(second);
  second.url->setText(QStringLiteral("b.wml"));
  second.close();
  EXPECT_FALSE(second.isVisible());
  EXPECT_EQ(second.result(), QDialog::Rejected);

  EXPECT_EQ(buffer.GetText(), "<p>x</p>");
  EXPECT_EQ(buffer.insertions, 0);
  EXPECT_FALSE(buffer.GetModified());
}

TEST_F(DialogsTest, EnterAndEscapeInAFieldDoNothingEnterAndSpacePressAFocusedButton) {
  Prepare("", 0, 0);
  TCreathref dialog(nullptr, buffer);
  Show(dialog);
  dialog.url->setText(QStringLiteral("u"));
  dialog.url->setFocus(Qt::MouseFocusReason);
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
    QTest::keyClick(dialog.url, key);
    EXPECT_TRUE(dialog.isVisible()) << key;
  }
  dialog.text->setFocus(Qt::MouseFocusReason);
  QTest::keyClick(dialog.text, Qt::Key_Enter, Qt::KeypadModifier);
  // Escape with a button focused closes nothing either: there is no cancel
  // button.
  dialog.Button2->setFocus(Qt::MouseFocusReason);
  QTest::keyClick(dialog.Button2, Qt::Key_Escape);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(buffer.insertions, 0);

  // Space on "Очистить" empties the fields and leaves the dialog open.
  dialog.Button3->setFocus(Qt::TabFocusReason);
  QTest::keyClick(dialog.Button3, Qt::Key_Space);
  EXPECT_TRUE(dialog.url->text().isEmpty());
  EXPECT_TRUE(dialog.isVisible());

  // Enter on "Создать" inserts and closes.
  dialog.url->setText(QStringLiteral("v"));
  dialog.Button1->setFocus(Qt::TabFocusReason);
  QTest::keyClick(dialog.Button1, Qt::Key_Return);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(buffer.GetText(), ComposeLink("v", ""));
}

TEST_F(DialogsTest, AFieldEnteredByKeyboardSelectsAllButNotWhenClicked) {
  TCreathref dialog(nullptr, buffer);
  Show(dialog);
  dialog.url->setText(QStringLiteral("http://a"));
  dialog.url->setCursorPosition(3);
  dialog.text->setText(QStringLiteral("words"));
  dialog.Button3->setFocus(Qt::TabFocusReason);
  QTest::keyClick(dialog.Button3, Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget(), dialog.url);
  EXPECT_EQ(dialog.url->selectedText(), QStringLiteral("http://a"));

  // Backtab from the first button wraps round to the last field.
  dialog.Button1->setFocus(Qt::TabFocusReason);
  QTest::keyClick(dialog.Button1, Qt::Key_Backtab, Qt::ShiftModifier);
  ASSERT_EQ(QApplication::focusWidget(), dialog.text);
  EXPECT_EQ(dialog.text->selectedText(), QStringLiteral("words"));

  dialog.text->deselect();
  dialog.Button1->setFocus(Qt::TabFocusReason);
  QTest::mouseClick(dialog.text, Qt::LeftButton, {}, QPoint(4, 10));
  ASSERT_EQ(QApplication::focusWidget(), dialog.text);
  EXPECT_TRUE(dialog.text->selectedText().isEmpty());
}

TEST_F(DialogsTest, TypedCyrillicArrivesAsWindows1251AndOtherCharactersAsReferences) {
  Prepare("", 0, 0);
  TCreathref dialog(nullptr, buffer);
  Show(dialog);
  dialog.url->setFocus(Qt::MouseFocusReason);
  TypeKeys(dialog.url, QString::fromUtf8("новости.wml"));
  dialog.text->setFocus(Qt::MouseFocusReason);
  TypeKeys(dialog.text, QString::fromUtf8("Ёж "));
  Commit(dialog.text, QString::fromUtf8("😀€"));
  ASSERT_EQ(dialog.text->text(), QString::fromUtf8("Ёж 😀€"));
  dialog.Button1->click();
  // "€" has a Windows-1251 byte (0x88); the emoji has none.
  EXPECT_EQ(buffer.GetText(),
            ComposeLink(Cp1251("новости.wml"), Cp1251("Ёж ") + "&#128512;" + "\x88"));
}

// Pastes text into a field with Ctrl+V.
void PasteByKey(QWidget* field, const QString& text) {
  QGuiApplication::clipboard()->setText(text);
  QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
}

// Drops text onto a field at its left end.
void DropOnto(QWidget* field, const QString& text) {
  QMimeData data;
  data.setText(text);
  const QPoint point(2, field->height() / 2);
  QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(field, &enter);
  QDragMoveEvent move(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(field, &move);
  QDropEvent drop(QPointF(point), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(field, &drop);
}

TEST_F(DialogsTest, SingleLineFieldsKeepArrivingTextUpToItsFirstLineBreak) {
  Prepare("", 0, 0);
  TCreathref link(nullptr, buffer);
  Show(link);
  link.url->setFocus(Qt::MouseFocusReason);
  TypeKeys(link.url, QStringLiteral("http://a/"));
  PasteByKey(link.url, QStringLiteral("b.wml\r\nsecond line\r\n"));
  EXPECT_EQ(link.url->text(), QStringLiteral("http://a/b.wml"));
  // Pasted into the middle by the context menu's command: the text after the
  // cursor stays, a tab becomes a space.
  link.text->setFocus(Qt::MouseFocusReason);
  TypeKeys(link.text, QStringLiteral("ab"));
  link.text->setCursorPosition(1);
  QGuiApplication::clipboard()->setText(QStringLiteral("X\tY\nZ"));
  link.text->paste();
  EXPECT_EQ(link.text->text(), QStringLiteral("aX Yb"));
  EXPECT_EQ(link.text->cursorPosition(), 4);
  // An input method's commit with a line separator.
  link.text->end(false);
  Commit(link.text, QString::fromUtf8("c\u2028d"));
  EXPECT_EQ(link.text->text(), QStringLiteral("aX Ybc"));
  // A break pasted over a selection removes the selection and keeps nothing.
  link.text->selectAll();
  PasteByKey(link.text, QStringLiteral("\nlost"));
  EXPECT_EQ(link.text->text(), QString());
  TypeKeys(link.text, QStringLiteral("ok"));
  link.Button1->click();
  EXPECT_EQ(buffer.GetText(), ComposeLink("http://a/b.wml", "ok"));

  Prepare("", 0, 0);
  Tcreatpic image(nullptr, buffer);
  Show(image);
  image.filepic->setFocus(Qt::MouseFocusReason);
  PasteByKey(image.filepic, QStringLiteral("/pics/logo.wbmp\r\n"));
  EXPECT_EQ(image.filepic->text(), QStringLiteral("/pics/logo.wbmp"));
  image.alt->setFocus(Qt::MouseFocusReason);
  DropOnto(image.alt, QString::fromUtf8("Логотип\tфирмы\r\nвторая строка"));
  EXPECT_EQ(image.alt->text(), QString::fromUtf8("Логотип фирмы"));
  image.Button4->click();
  const std::string inserted = buffer.GetText();
  EXPECT_EQ(inserted, ComposeImage("/pics/logo.wbmp", Cp1251("Логотип фирмы")));
  EXPECT_EQ(inserted.find_first_of("\r\n\t"), std::string::npos);
}

TEST_F(DialogsTest, LinkDialogRunsModallyAndASecondOpeningStartsEmpty) {
  Prepare("<p></p>", 3, 3);
  std::vector<QString> seenOnOpening;
  // Each round: a fresh dialog, as the main window's command makes it.
  const std::vector<std::function<void(TCreathref*)>> rounds = {
      [](TCreathref* d) {
        d->url->setText(QStringLiteral("first.wml"));
        d->text->setText(QStringLiteral("first"));
        d->close();  // the close box
      },
      [](TCreathref* d) {
        d->url->setText(QStringLiteral("second.wml"));
        d->Button1->click();
      },
  };
  for (const auto& round : rounds) {
    auto* dialog = new TCreathref(nullptr, buffer);
    QTimer::singleShot(0, dialog, [&, dialog] {
      EXPECT_EQ(QApplication::activeModalWidget(), dialog);
      seenOnOpening.push_back(dialog->url->text() + dialog->text->text());
      round(dialog);
    });
    EXPECT_EQ(dialog->exec(), QDialog::Rejected);
    delete dialog;
  }
  EXPECT_EQ(seenOnOpening, (std::vector<QString>{QString(), QString()}));
  EXPECT_EQ(buffer.GetText(), "<p>" + ComposeLink("second.wml", "") + "</p>");
  EXPECT_EQ(buffer.insertions, 1);
}

// ---------------------------------------------------------------------------
// Tcreatpic

TEST_F(DialogsTest, ImageDialogLayoutTabOrderAndFirstFocus) {
  Tcreatpic dialog(nullptr, buffer);
  ExpectFixedWindow(dialog, "creatpic", "Вставка изображения", QSize(392, 140));
  ExpectGeometry(dialog, "filepic", QRect(8, 24, 297, 21));
  ExpectGeometry(dialog, "alt", QRect(8, 72, 297, 21));
  ExpectGeometry(dialog, "Bevel1", QRect(8, 100, 377, 5));
  ExpectGeometry(dialog, "Button1", QRect(312, 24, 75, 22));
  ExpectGeometry(dialog, "Button2", QRect(312, 109, 75, 25));
  ExpectGeometry(dialog, "Button3", QRect(232, 109, 75, 25));
  ExpectGeometry(dialog, "Button4", QRect(152, 109, 75, 25));
  ExpectFieldLabel(dialog, "filepic", "Адрес файла:");
  ExpectFieldLabel(dialog, "alt", "Альтернативный текст:");
  EXPECT_EQ(dialog.Button1->text(), QString::fromUtf8("Обзор..."));
  EXPECT_EQ(dialog.Button2->text(), QString::fromUtf8("Очистить"));
  EXPECT_EQ(dialog.Button3->text(), QString::fromUtf8("Отмена"));
  EXPECT_EQ(dialog.Button4->text(), QString::fromUtf8("Вставить"));

  Show(dialog);
  EXPECT_EQ(QApplication::focusWidget(), dialog.Button1);
  EXPECT_EQ(TabCycle(6), (std::vector<std::string>{"Button1", "Button2", "Button3", "Button4",
                                                   "filepic", "alt", "Button1"}));
}

TEST_F(DialogsTest, BrowseConfirmedPutsTheFullPathInTheFileFieldCancelledChangesNothing) {
  Tcreatpic dialog(nullptr, buffer);
  Show(dialog);
  dialog.filepic->setText(QStringLiteral("old.gif"));
  dialog.alt->setText(QString::fromUtf8("Логотип"));

  dialogs.openPaths.push_back(QString::fromUtf8("/home/user/Картинки/logo.wbmp"));
  dialog.Button1->click();
  ASSERT_EQ(dialogs.offeredNames.size(), 1);
  EXPECT_EQ(dialogs.parents.last(), &dialog);
  EXPECT_EQ(dialogs.filters.last(), ImageFileFilters().join(";;"));
  EXPECT_TRUE(dialogs.offeredNames.last().isEmpty());
  EXPECT_EQ(dialog.filepic->text(), QString::fromUtf8("/home/user/Картинки/logo.wbmp"));
  EXPECT_EQ(dialog.alt->text(), QString::fromUtf8("Логотип"));
  EXPECT_TRUE(dialog.isVisible());

  dialogs.openPaths.push_back(std::nullopt);
  dialog.Button1->click();
  EXPECT_EQ(dialogs.offeredNames.size(), 2);
  EXPECT_EQ(dialog.filepic->text(), QString::fromUtf8("/home/user/Картинки/logo.wbmp"));
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(buffer.insertions, 0);
}

TEST_F(DialogsTest, ImageIsInsertedInPlaceOfTheSelectionAndTheDialogCloses) {
  Prepare("<p>picture</p>", 3, 10);
  Tcreatpic dialog(nullptr, buffer);
  Show(dialog);
  dialogs.openPaths.push_back(QString::fromUtf8("/srv/wap/лого.gif"));
  dialog.Button1->click();
  dialog.alt->setText(QString::fromUtf8("Логотип"));
  QTest::mouseClick(dialog.Button4, Qt::LeftButton);

  const std::string image = ComposeImage(Cp1251("/srv/wap/лого.gif"), Cp1251("Логотип"));
  EXPECT_EQ(buffer.GetText(), "<p>" + image + "</p>");
  EXPECT_EQ(buffer.GetSelStart(), 3 + static_cast<int>(image.size()));
  EXPECT_EQ(buffer.insertions, 1);
  EXPECT_FALSE(dialog.isVisible());
}

TEST_F(DialogsTest, ImageClearCancelAndCloseBoxInsertNothing) {
  Prepare("<p></p>", 3, 3);
  Tcreatpic dialog(nullptr, buffer);
  Show(dialog);
  dialog.filepic->setText(QStringLiteral("a.gif"));
  dialog.alt->setText(QStringLiteral("A"));
  dialog.Button2->click();
  EXPECT_TRUE(dialog.filepic->text().isEmpty());
  EXPECT_TRUE(dialog.alt->text().isEmpty());
  EXPECT_TRUE(dialog.isVisible());
  dialog.Button3->click();
  EXPECT_FALSE(dialog.isVisible());

  Tcreatpic second(nullptr, buffer);
  Show(second);
  second.filepic->setText(QStringLiteral("b.gif"));
  second.close();
  EXPECT_FALSE(second.isVisible());
  EXPECT_EQ(buffer.insertions, 0);
  EXPECT_EQ(buffer.GetText(), "<p></p>");
}

// The file types as the toolkit's file dialog reads them: each entry keeps
// its name and shows only the files of its patterns; the first is selected.
TEST_F(DialogsTest, ImageFileFiltersMatchTheirFilesInTheFileDialog) {
  const QStringList filters = ImageFileFilters();
  ASSERT_EQ(filters.size(), 4);
  EXPECT_TRUE(filters[0].startsWith(QString::fromUtf8("Все файлы (")));
  EXPECT_TRUE(filters[1].startsWith(QString::fromUtf8("GIF файл (")));
  EXPECT_TRUE(filters[2].startsWith(QString::fromUtf8("JPG и JPEG файлы (")));
  EXPECT_TRUE(filters[3].startsWith(QString::fromUtf8("Bipmaps файлы (")));

  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QStringList files = {"a.gif", "b.jpg", "c.jpeg", "d.bmp", "e.wbmp", "f.png", "g.txt"};
  for (const QString& name : files) {
    QFile file(folder.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }

  QFileDialog dialog;
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setDirectory(folder.path());
  dialog.setNameFilters(filters);
  EXPECT_EQ(dialog.selectedNameFilter(), filters[0]);
  auto* model = dialog.findChild<QFileSystemModel*>();
  ASSERT_NE(model, nullptr);
  dialog.show();

  const std::vector<QSet<QString>> expected = {
      {"a.gif", "b.jpg", "c.jpeg", "d.bmp", "e.wbmp"},
      {"a.gif"},
      {"b.jpg", "c.jpeg"},
      {"d.bmp", "e.wbmp"},
  };
  for (int i = 0; i < filters.size(); ++i) {
    dialog.selectNameFilter(filters[i]);
    const QModelIndex root = model->index(folder.path());
    auto shown = [&] {
      QSet<QString> names;
      for (int row = 0; row < model->rowCount(root); ++row) {
        const QModelIndex index = model->index(row, 0, root);
        if (model->flags(index) & Qt::ItemIsEnabled) names.insert(model->fileName(index));
      }
      return names;
    };
    EXPECT_TRUE(WaitFor([&] { return shown() == expected[i]; }))
        << filters[i].toStdString() << ": "
        << QStringList(shown().values()).join(' ').toStdString();
  }
}

// ---------------------------------------------------------------------------
// Twmlcheck

TEST_F(DialogsTest, CheckDialogLayoutTabOrderAndFirstFocus) {
  Twmlcheck dialog(nullptr, buffer);
  ExpectFixedWindow(dialog, "wmlcheck", "Проверка WML кода на ошибки", QSize(318, 112));
  EXPECT_EQ(dialog.Label1->text(), QString::fromUtf8("Проверка..."));
  EXPECT_EQ(dialog.Label1->pos(), QPoint(128, 8));
  EXPECT_EQ(dialog.text->text(), QString());
  EXPECT_EQ(dialog.text->pos(), QPoint(23, 43));
  ExpectGeometry(dialog, "Gauge", QRect(24, 24, 273, 17));
  ExpectGeometry(dialog, "Bevel1", QRect(24, 72, 270, 5));
  ExpectGeometry(dialog, "Button1", QRect(219, 80, 75, 25));
  ExpectGeometry(dialog, "Button2", QRect(24, 80, 137, 25));
  EXPECT_EQ(dialog.Button1->text(), QString::fromUtf8("Закрыть"));
  EXPECT_EQ(dialog.Button2->text(), QString::fromUtf8("Выполнить проверку"));
  EXPECT_EQ(dialog.Gauge->minimum(), 0);
  EXPECT_EQ(dialog.Gauge->maximum(), 100);
  EXPECT_EQ(dialog.Gauge->value(), 0);
  EXPECT_EQ(dialog.Gauge->focusPolicy(), Qt::NoFocus);

  Show(dialog);
  EXPECT_EQ(QApplication::focusWidget(), dialog.Button1);
  EXPECT_EQ(TabCycle(2), (std::vector<std::string>{"Button1", "Button2", "Button1"}));
}

struct TCheckCase {
  const char* text;  // UTF-8
  int anchor;
  int caret;
  const char* verdict;
};

TEST_F(DialogsTest, CheckShowsTheVerdictOfTheWholeTextWhereverTheCaretIs) {
  const char* const kNoErrors = "Результат проверки: Ошибки не найдены";
  const char* const kPossibleError = "Результат проверки: Есть вероятность ошибки кода!";
  const TCheckCase cases[] = {
      {"<card id=\"card1\" title=\"MainPage\">", 35, 35, kNoErrors},
      {"<card id=\"card1\" title=\"MainPage>", 34, 34, kPossibleError},
      {"<p>Привет всем!</p", 18, 18, kPossibleError},
      // The unbalanced part lies after the caret or the selection.
      {"<p>a</p>\r\n<p>b</p", 2, 2, kPossibleError},
      {"<p>a</p>\r\n<p title=\"x>b</p>", 0, 8, kPossibleError},
      {"<p>a</p>\r\n<p>b</p>", 12, 4, kNoErrors},
      {"", 0, 0, kNoErrors},
  };
  for (const TCheckCase& c : cases) {
    SCOPED_TRACE(c.text);
    Prepare(c.text, c.anchor, c.caret);
    const std::string before = buffer.GetText();
    const int length = static_cast<int>(before.size());
    const int anchor = buffer.memory.Anchor();
    const int caret = buffer.memory.Caret();

    Twmlcheck dialog(nullptr, buffer);
    Show(dialog);
    QTest::mouseClick(dialog.Button2, Qt::LeftButton);

    EXPECT_EQ(dialog.text->text(), QString::fromUtf8(c.verdict));
    EXPECT_EQ(dialog.text->pos(), QPoint(23, 43));
    EXPECT_GE(dialog.text->width(),
              QFontMetrics(dialog.text->font()).horizontalAdvance(dialog.text->text()));
    EXPECT_EQ(dialog.Label1->text(), QString::fromUtf8("Проверка закончена"));
    EXPECT_EQ(dialog.Label1->pos(), QPoint(105, 8));
    EXPECT_GE(dialog.Label1->width(),
              QFontMetrics(dialog.Label1->font()).horizontalAdvance(dialog.Label1->text()));
    EXPECT_EQ(dialog.Gauge->maximum(), length);
    EXPECT_EQ(dialog.Gauge->value(), length);
    EXPECT_TRUE(dialog.isVisible());
    // The editor is left as the user had it.
    EXPECT_EQ(buffer.GetText(), before);
    EXPECT_EQ(buffer.memory.Anchor(), anchor);
    EXPECT_EQ(buffer.memory.Caret(), caret);
    EXPECT_FALSE(buffer.GetModified());
    // A finished check, even of an empty text, shows no busy animation.
    dialog.Gauge->grab();
    EXPECT_TRUE(dialog.Gauge->findChildren<QAbstractAnimation*>().isEmpty());
  }
}

TEST_F(DialogsTest, ARepeatedCheckRestartsTheBarAndOverwritesTheVerdict) {
  Prepare("<p>one</p", 0, 0);
  Twmlcheck dialog(nullptr, buffer);
  Show(dialog);
  dialog.Button2->click();
  EXPECT_EQ(dialog.text->text(),
            QString::fromUtf8("Результат проверки: Есть вероятность ошибки кода!"));
  const int firstWidth = dialog.text->width();

  buffer.memory.SetSelStart(9);
  buffer.memory.SetSelText(">");
  QSignalSpy values(dialog.Gauge, &QProgressBar::valueChanged);
  // Enter on the focused button runs the check again.
  dialog.Button2->setFocus(Qt::TabFocusReason);
  QTest::keyClick(dialog.Button2, Qt::Key_Return);
  ASSERT_GE(values.size(), 2);
  EXPECT_EQ(values.first().first().toInt(), 0);
  EXPECT_EQ(values.last().first().toInt(), 10);
  EXPECT_EQ(dialog.text->text(), QString::fromUtf8("Результат проверки: Ошибки не найдены"));
  EXPECT_LT(dialog.text->width(), firstWidth);
  EXPECT_EQ(dialog.Label1->text(), QString::fromUtf8("Проверка закончена"));
  EXPECT_EQ(dialog.Label1->pos(), QPoint(105, 8));

  // Escape does not close the check dialog; "Закрыть" does.
  QTest::keyClick(dialog.Button2, Qt::Key_Escape);
  EXPECT_TRUE(dialog.isVisible());
  dialog.Button1->click();
  EXPECT_FALSE(dialog.isVisible());
}

// On a large text the bar moves in many steps, and the event loop keeps
// running (timers fire, paint events are delivered) while the check runs.
TEST_F(DialogsTest, ALongCheckMovesTheBarAndKeepsTheWindowServed) {
  std::string text;
  const std::string line = "<p title=\"x\">text</p>\r\n";
  while (text.size() < 4u * 1024 * 1024) text += line;
  buffer.memory.SetTextStr(text);
  buffer.memory.Select(100, 100);
  const int length = static_cast<int>(buffer.GetText().size());

  Twmlcheck dialog(nullptr, buffer);
  Show(dialog);
  QSignalSpy values(dialog.Gauge, &QProgressBar::valueChanged);
  std::optional<std::pair<int, int>> seenDuringCheck;  // value, maximum
  QTimer::singleShot(0, &dialog, [&] {
    seenDuringCheck = std::make_pair(dialog.Gauge->value(), dialog.Gauge->maximum());
  });
  dialog.Button2->click();

  ASSERT_TRUE(seenDuringCheck.has_value());
  EXPECT_LT(seenDuringCheck->first, length);
  EXPECT_EQ(seenDuringCheck->second, length);
  ASSERT_GT(values.size(), 10);
  int previous = -1;
  for (const QList<QVariant>& value : values) {
    EXPECT_GE(value.first().toInt(), previous);
    previous = value.first().toInt();
  }
  EXPECT_EQ(previous, length);
  EXPECT_EQ(dialog.text->text(), QString::fromUtf8("Результат проверки: Ошибки не найдены"));
  EXPECT_EQ(buffer.memory.Anchor(), 100);
  EXPECT_EQ(buffer.memory.Caret(), 100);
}

TEST_F(DialogsTest, ClosingTheCheckDialogBeforeARunLeavesTheEditorAlone) {
  Prepare("<p>abc</p>", 5, 3);
  auto* dialog = new Twmlcheck(nullptr, buffer);
  QTimer::singleShot(0, dialog, [dialog] { dialog->Button1->click(); });
  EXPECT_EQ(dialog->exec(), QDialog::Rejected);
  delete dialog;
  EXPECT_EQ(buffer.memory.Anchor(), 5);
  EXPECT_EQ(buffer.memory.Caret(), 3);
}

}  // namespace
}  // namespace deckhand
