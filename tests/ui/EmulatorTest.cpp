// The phone emulator window: opened by F6, owned by the main window, follows
// the editor after the pause (after Open and New too), keys drive the deck,
// findings move the caret, the compiled size is shown against the phone's
// limit. The engine works on a thread of its own: tests wait for its frames
// (Settle), never for a fixed time.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <atomic>
#include <chrono>
#include <new>
#include <thread>

#include "ScriptedDialogs.h"
#include "UiTestSupport.h"
#include "core/CodeBuffer.h"
#include "core/Encoding.h"
#include "core/MarkupCommands.h"
#include "ui/EncodingOffer.h"
#include "ui/Unit1.h"
#include "ui/Unit7.h"
#include "wml/DeckCheck.h"
#include "wmlscript/Compiler.h"

namespace deckhand {
namespace {

using deckhand::testing::TScriptedDialogs;
using deckhand::testing::WaitFor;

// Waits until every step asked of the emulator's worker has come back.
bool Settle(TEmulator* emulator) {
  return WaitFor([&] { return emulator->Idle(); }, 20000);
}

// Windows-1251 bytes of a UTF-8 literal.
std::string Cp1251(const char* utf8) { return UnicodeToCp1251(QString::fromUtf8(utf8)); }

const char* kDeck =
    "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n"
    "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
    "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\r\n"
    "<wml>\r\n"
    "<card id=\"one\" title=\"Первая\"><do type=\"accept\" label=\"Далее\"><go href=\"#two\">"
    "<setvar name=\"x\" value=\"7\"/></go></do><p>Раз</p></card>\r\n"
    "<card id=\"two\" title=\"Вторая\"><p>Два $x <a href=\"#one\">назад</a></p></card>\r\n"
    "</wml>\r\n";

class EmulatorTest : public ::testing::Test {
 protected:
  EmulatorTest() {
    window.SetShowSplash(false);
    window.FormCreate(&window);
    window.show();
    window.Buffer().SetTextStr(Cp1251(kDeck));
  }
  ~EmulatorTest() override {
    window.Buffer().Clear();
    window.close();
  }

  TEmulator* Open() {
    window.Action("N50")->trigger();
    EXPECT_TRUE(Settle(window.Emulator()));
    return window.Emulator();
  }

  TScriptedDialogs dialogs;
  TMain window;
};

TEST_F(EmulatorTest, F6OpensOneNonModalWindowOwnedByTheMainWindow) {
  QAction* action = window.Action("N50");
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->shortcut(), QKeySequence(Qt::Key_F6));
  EXPECT_EQ(window.Emulator(), nullptr);  // nothing until asked for
  TEmulator* emulator = Open();
  ASSERT_NE(emulator, nullptr);
  EXPECT_TRUE(emulator->isVisible());
  EXPECT_EQ(emulator->windowTitle(), QString::fromUtf8("Эмулятор телефона"));
  EXPECT_EQ(emulator->parent(), &window);
  EXPECT_TRUE(emulator->isWindow());
  EXPECT_FALSE(emulator->isModal());
  EXPECT_EQ(emulator->CardId(), "one");
  EXPECT_EQ(emulator->Screen()->Image().size(), QSize(128, 128));  // the C380 by default
  EXPECT_EQ(emulator->PhoneList()->currentText().left(13), QString::fromUtf8("Motorola C380"));
  emulator->close();
  Open();
  EXPECT_EQ(window.Emulator(), emulator);  // the same window again
}

TEST_F(EmulatorTest, KeysDriveTheDeckAndClosingLeavesTheDocumentAlone) {
  TEmulator* emulator = Open();
  const std::string text = window.Buffer().GetText();
  const bool modified = window.Buffer().GetModified();
  QTest::keyClick(emulator, Qt::Key_F3);  // left soft key: "Далее"
  ASSERT_TRUE(Settle(emulator));
  EXPECT_EQ(emulator->CardId(), "two");
  EXPECT_EQ(emulator->Variable("x"), "7");
  QTest::keyClick(emulator, Qt::Key_Return);  // the link back
  ASSERT_TRUE(Settle(emulator));
  EXPECT_EQ(emulator->CardId(), "one");
  QTest::keyClick(emulator, Qt::Key_Backspace);  // back through the history
  ASSERT_TRUE(Settle(emulator));
  EXPECT_EQ(emulator->CardId(), "two");
  // The drawn keys take the mouse.
  QTest::mouseClick(emulator->Keypad(), Qt::LeftButton, {},
                    emulator->Keypad()->KeyRect(TKeypad::TKey::Back).center());
  ASSERT_TRUE(Settle(emulator));
  EXPECT_EQ(emulator->CardId(), "one");
  emulator->close();
  EXPECT_EQ(window.Buffer().GetText(), text);
  EXPECT_EQ(window.Buffer().GetModified(), modified);
}

TEST_F(EmulatorTest, FollowsTheEditorAfterThePauseAndStaysOnTheCard) {
  TEmulator* emulator = Open();
  emulator->Press(TKeypad::TKey::LeftSoft);
  ASSERT_TRUE(Settle(emulator));
  ASSERT_EQ(emulator->CardId(), "two");
  const QImage before = emulator->Screen()->Image();
  const int refreshes = emulator->RefreshCount();
  // An edit of the second card's text, as the user types it.
  std::string text = window.Buffer().GetText();
  int at = static_cast<int>(text.find(Cp1251("Два")));
  ASSERT_GT(at, 0);
  window.Buffer().SetSelStart(at);
  window.Buffer().SetSelText(Cp1251("Ещё "));
  EXPECT_TRUE(emulator->RefreshPending());
  EXPECT_EQ(emulator->RefreshCount(), refreshes);  // nothing before the pause
  ASSERT_TRUE(WaitFor([&] { return emulator->RefreshCount() > refreshes; }, 3000));
  ASSERT_TRUE(Settle(emulator));
  EXPECT_EQ(emulator->RefreshCount(), refreshes + 1);  // once for the whole burst
  EXPECT_EQ(emulator->CardId(), "two");
  EXPECT_EQ(emulator->Variable("x"), "7");
  EXPECT_NE(emulator->Screen()->Image(), before);
  // "Сначала": the first card, an empty context.
  emulator->RestartButton()->click();
  ASSERT_TRUE(Settle(emulator));
  EXPECT_EQ(emulator->CardId(), "one");
  EXPECT_EQ(emulator->Variable("x"), "");
}

TEST_F(EmulatorTest, TimersRunInRealTime) {
  window.Buffer().SetTextStr(
      "<?xml version=\"1.0\"?>\r\n<wml><card id=\"splash\" ontimer=\"#main\">"
      "<timer value=\"3\"/><p>...</p></card><card id=\"main\"><p>main</p></card></wml>\r\n");
  TEmulator* emulator = Open();
  EXPECT_EQ(emulator->CardId(), "splash");
  // Three tenths of a second later the timer has fired on its own.
  EXPECT_TRUE(WaitFor([&] { return emulator->CardId() == "main"; }, 3000));
}

TEST_F(EmulatorTest, BigDecksAreCheckedOnAWorkerThread) {
  // Every deck is parsed, checked and run on the worker: the window only
  // posts the text and shows the frame that comes back.
  TEmulator* emulator = Open();
  emulator->Press(TKeypad::TKey::LeftSoft);
  ASSERT_TRUE(Settle(emulator));
  ASSERT_EQ(emulator->CardId(), "two");
  std::string text = window.Buffer().GetText();
  text.insert(text.find("<p>"), "<blink/>");
  window.Buffer().SetTextStr(text);
  emulator->Refresh();
  EXPECT_TRUE(emulator->Checking());
  // An edit while the worker runs is taken up when it is done.
  window.Buffer().SetSelStart(window.Buffer().Length());
  window.Buffer().SetSelText(" ");
  emulator->Refresh();
  ASSERT_TRUE(Settle(emulator));
  EXPECT_GE(emulator->RefreshCount(), 3);
  ASSERT_GT(emulator->Findings()->count(), 0);
  QStringList shown;
  for (int i = 0; i < emulator->Findings()->count(); ++i)
    shown << emulator->Findings()->item(i)->text();
  EXPECT_TRUE(shown.join('\n').contains("blink")) << shown.join('\n').toStdString();
  EXPECT_EQ(emulator->CardId(), "two");  // still on its card
  EXPECT_EQ(emulator->Variable("x"), "7");
  // Closing the window while a worker runs does not wait for it.
  emulator->Refresh();
  window.Buffer().Clear();
}

TEST_F(EmulatorTest, ChoosingAFindingPutsTheCaretThere) {
  // Line 4 holds an unknown element at column 11.
  window.Buffer().SetTextStr(
      Cp1251("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n"
             "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
             "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\r\n"
             "<wml><card id=\"a\">\r\n"
             "<p>Текст <blink>x</blink></p>\r\n"
             "</card></wml>\r\n"));
  TEmulator* emulator = Open();
  ASSERT_GT(emulator->Findings()->count(), 0);
  int row = -1;
  for (int i = 0; i < emulator->Findings()->count(); ++i)
    if (emulator->Findings()->item(i)->text().startsWith(QStringLiteral("4:"))) row = i;
  ASSERT_GE(row, 0) << emulator->Findings()->item(0)->text().toStdString();
  const QString text = emulator->Findings()->item(row)->text();
  const int column = text.section(':', 1, 1).toInt();
  emulator->ShowFinding(row);
  const int caret = window.Buffer().GetSelStart();
  EXPECT_EQ(window.Buffer().LineFromChar(caret), 3);
  EXPECT_EQ(caret - window.Buffer().LineIndex(3) + 1, column);
  EXPECT_EQ(window.Buffer().GetSelLength(), 0);
  // The card still shows what it can.
  EXPECT_EQ(emulator->CardId(), "a");
}

TEST_F(EmulatorTest, CompiledSizeAgainstThePhonesLimit) {
  TEmulator* emulator = Open();
  const QString size = emulator->SizeLabel()->text();
  EXPECT_TRUE(size.endsWith(QString::fromUtf8(" из 8000 байт"))) << size.toStdString();
  EXPECT_FALSE(emulator->SizeLabel()->styleSheet().contains("color"));
  // A deck too big for the Nokia 7110 (1397 bytes compiled) is shown in red.
  std::string big = Cp1251(kDeck);
  std::string filler = "<card id=\"f\"><p>" + std::string(1500, 'w') + "</p></card>\r\n";
  big.insert(big.rfind("</wml>"), filler);
  window.Buffer().SetTextStr(big);
  int nokia = emulator->PhoneList()->findText(QStringLiteral("Nokia 7110"), Qt::MatchStartsWith);
  ASSERT_GE(nokia, 0);
  emulator->PhoneList()->setCurrentIndex(nokia);
  ASSERT_TRUE(Settle(emulator));
  EXPECT_EQ(emulator->Screen()->Image().size(), QSize(96, 44));
  EXPECT_TRUE(emulator->SizeLabel()->text().endsWith(QString::fromUtf8(" из 1397 байт")));
  EXPECT_TRUE(emulator->SizeLabel()->styleSheet().contains("color"));
}

// Writes bytes to a file; the test fails when it cannot.
void WriteFile(const QString& path, const std::string& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  ASSERT_EQ(file.write(bytes.data(), static_cast<qint64>(bytes.size())),
            static_cast<qint64>(bytes.size()));
}

std::string ReadFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll().toStdString();
}

QStringList Rows(const QListWidget* list) {
  QStringList rows;
  for (int i = 0; i < list->count(); ++i) rows << list->item(i)->text();
  return rows;
}

TEST_F(EmulatorTest, FollowsTheEditorAfterOpenAndNewAndNamesTheDeckOnScreen) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  // A deck whose link leads to a file beside it, reached by a relative
  // address: it resolves only against the opened file's folder.
  const QString deckPath = folder.filePath("home.wml");
  WriteFile(deckPath,
            "<?xml version=\"1.0\"?>\r\n<wml><card id=\"home\"><p><a href=\"other.wml#far\">"
            "go</a></p></card></wml>\r\n");
  WriteFile(folder.filePath("other.wml"),
            "<?xml version=\"1.0\"?>\r\n<wml><card id=\"far\"><p>far away</p></card></wml>\r\n");
  TEmulator* emulator = Open();
  ASSERT_EQ(emulator->CardId(), "one");

  dialogs.prompts.push_back(TPromptAnswer::No);  // the test text counts as modified
  dialogs.openPaths.push_back(deckPath);
  window.OpenButtonClick(&window);
  ASSERT_EQ(window.Document().DocumentPath(), deckPath);
  ASSERT_TRUE(WaitFor([&] { return emulator->CardId() == "home"; }, 5000));
  ASSERT_TRUE(Settle(emulator));
  emulator->Press(TKeypad::TKey::Select);
  ASSERT_TRUE(Settle(emulator));
  EXPECT_EQ(emulator->CardId(), "far") << emulator->StatusLabel()->text().toStdString();
  // The screen shows another file: the window names it, and the findings and
  // the size say they are the editor's deck's.
  EXPECT_TRUE(emulator->Frame().OtherDeck);
  EXPECT_TRUE(emulator->StatusLabel()->text().contains("other.wml"))
      << emulator->StatusLabel()->text().toStdString();
  EXPECT_TRUE(emulator->FindingsCaption()->text().contains("home.wml"));
  EXPECT_TRUE(emulator->SizeLabel()->text().contains("home.wml"))
      << emulator->SizeLabel()->text().toStdString();
  emulator->Press(TKeypad::TKey::Back);
  ASSERT_TRUE(Settle(emulator));
  EXPECT_EQ(emulator->CardId(), "home");
  EXPECT_FALSE(emulator->Frame().OtherDeck);
  EXPECT_EQ(emulator->FindingsCaption()->text(), QString::fromUtf8("Замечания:"));

  // An edit of the opened document reaches the emulator.
  window.Buffer().SetSelStart(window.Buffer().Length());
  window.Buffer().SetSelText("<!-- edited -->");
  const int refreshes = emulator->RefreshCount();
  ASSERT_TRUE(WaitFor([&] { return emulator->RefreshCount() > refreshes; }, 3000));

  // New: the template, then an edit of it, reach the emulator too.
  dialogs.prompts.push_back(TPromptAnswer::No);
  window.ToolButton1Click(&window);
  EXPECT_TRUE(window.Document().DocumentPath().isEmpty());
  ASSERT_TRUE(WaitFor([&] { return emulator->RefreshCount() > refreshes + 1; }, 3000));
  ASSERT_TRUE(Settle(emulator));
  window.Buffer().SetTextStr(
      "<?xml version=\"1.0\"?>\r\n<wml><card id=\"fresh\"><p>new</p></card></wml>\r\n");
  ASSERT_TRUE(WaitFor([&] { return emulator->CardId() == "fresh"; }, 5000));
}

TEST_F(EmulatorTest, AScriptInTheEditorIsCheckedAsAScript) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString scriptPath = folder.filePath("calc.wmls");
  WriteFile(scriptPath, "extern function add(a, b) {\r\n  var x = 1\r\n  return a + b;\r\n}\r\n");
  TEmulator* emulator = Open();
  ASSERT_EQ(emulator->CardId(), "one");
  dialogs.prompts.push_back(TPromptAnswer::No);  // the test text counts as modified
  dialogs.openPaths.push_back(scriptPath);
  window.OpenButtonClick(&window);
  ASSERT_EQ(window.Document().DocumentPath(), scriptPath);
  const QString unknown = QString::fromUtf8("Размер не известен: сценарий не компилируется");
  ASSERT_TRUE(WaitFor([&] { return emulator->SizeLabel()->text() == unknown; }, 5000))
      << emulator->SizeLabel()->text().toStdString();
  // The compiler's error at its line and column, not the deck checks'.
  const QStringList rows = Rows(emulator->Findings());
  ASSERT_FALSE(rows.isEmpty());
  EXPECT_TRUE(rows[0].startsWith(QStringLiteral("3:3: "))) << rows[0].toStdString();
  EXPECT_TRUE(rows[0].contains(QString::fromUtf8("ожидается «;»"))) << rows[0].toStdString();
  // Mended: the compiled script's size, without a phone's deck limit.
  const std::string mended = "extern function add(a, b) {\r\n  return a + b;\r\n}\r\n";
  window.Buffer().SetTextStr(mended);
  const QString size =
      QString::fromUtf8("Скомпилированный сценарий: ") +
      QString::fromStdString(wml::ByteCount(wmlscript::Compile(mended).Unit->size()));
  ASSERT_TRUE(WaitFor([&] { return emulator->SizeLabel()->text() == size; }, 5000))
      << emulator->SizeLabel()->text().toStdString();
  EXPECT_TRUE(Rows(emulator->Findings()).isEmpty());
  // The phone still shows the deck it had: a script is not a deck.
  EXPECT_EQ(emulator->CardId(), "one");
}

// A script the deck calls fails at its line 3: the status names the script's
// file and line, and choosing a finding moves the caret only to a place of
// the document being edited (the deck), never to line 3 of the deck.
TEST_F(EmulatorTest, AScriptsErrorNeverMovesTheCaretInTheDeck) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString deckPath = folder.filePath("home.wml");
  WriteFile(deckPath,
            "<?xml version=\"1.0\"?>\r\n"
            "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
            "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\r\n"
            "<wml>\r\n"
            "<card id=\"home\"><p>\r\n"
            "<a href=\"calc.wmls#stop()\">run</a>\r\n"
            "<blink>x</blink>\r\n"
            "</p></card>\r\n"
            "</wml>\r\n");
  WriteFile(folder.filePath("calc.wmls"),
            "extern function stop() {\r\n  var a = 1;\r\n  Lang.abort(\"no line\");\r\n}\r\n");
  TEmulator* emulator = Open();
  dialogs.prompts.push_back(TPromptAnswer::No);  // the test text counts as modified
  dialogs.openPaths.push_back(deckPath);
  window.OpenButtonClick(&window);
  ASSERT_EQ(window.Document().DocumentPath(), deckPath);
  ASSERT_TRUE(WaitFor([&] { return emulator->CardId() == "home"; }, 5000));
  ASSERT_TRUE(Settle(emulator));
  emulator->Press(TKeypad::TKey::Select);
  ASSERT_TRUE(Settle(emulator));
  const QString status = emulator->StatusLabel()->text();
  EXPECT_TRUE(status.startsWith(QString::fromUtf8("calc.wmls:3: ошибка: функция stop")))
      << status.toStdString();
  EXPECT_EQ(emulator->CardId(), "home");

  const QStringList rows = Rows(emulator->Findings());
  ASSERT_FALSE(rows.isEmpty());  // the deck's own <blink>
  TMemoBuffer& buffer = window.Buffer();
  for (int row = 0; row < rows.size(); ++row) {
    buffer.SetSelStart(0);
    emulator->ShowFinding(row);
    bool deckLine = false;
    const int line = rows[row].section(':', 0, 0).toInt(&deckLine);
    const int caretLine = buffer.LineFromChar(buffer.GetSelStart()) + 1;
    if (deckLine)
      EXPECT_EQ(caretLine, line) << rows[row].toStdString();
    else
      EXPECT_EQ(buffer.GetSelStart(), 0) << rows[row].toStdString();  // another file's
    EXPECT_NE(caretLine, 3) << rows[row].toStdString();
  }
}

// The script being edited: a deck on the phone's screen that calls it runs
// the editor's text, saved or not; its error is the findings' first row, and
// choosing it puts the caret at the error's line in the script.
TEST_F(EmulatorTest, TheEditedScriptRunsAndItsErrorLeadsToItsLine) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString deckPath = folder.filePath("home.wml");
  const QString scriptPath = folder.filePath("calc.wmls");
  WriteFile(deckPath,
            "<?xml version=\"1.0\"?>\r\n<wml><card id=\"home\"><p>\r\n"
            "<a href=\"calc.wmls#stop()\">run</a></p></card></wml>\r\n");
  WriteFile(scriptPath, "extern function stop() {\r\n  Lang.abort(\"saved\");\r\n}\r\n");
  TEmulator* emulator = Open();
  dialogs.prompts.push_back(TPromptAnswer::No);
  dialogs.openPaths.push_back(deckPath);
  window.OpenButtonClick(&window);
  ASSERT_TRUE(WaitFor([&] { return emulator->CardId() == "home"; }, 5000));
  ASSERT_TRUE(Settle(emulator));

  // The script opened and changed in the editor, not saved: the abort is
  // now on line 4.
  dialogs.openPaths.push_back(scriptPath);
  window.OpenButtonClick(&window);
  ASSERT_EQ(window.Document().DocumentPath(), scriptPath);
  window.Buffer().SetTextStr(
      "extern function stop() {\r\n  var a = 1;\r\n  a++;\r\n  Lang.abort(\"edited\");\r\n}\r\n");
  emulator->Refresh();
  ASSERT_TRUE(Settle(emulator));
  emulator->Press(TKeypad::TKey::Select);
  ASSERT_TRUE(Settle(emulator));
  const QString status = emulator->StatusLabel()->text();
  EXPECT_TRUE(status.startsWith(QString::fromUtf8("calc.wmls:4: ошибка: функция stop")))
      << status.toStdString();
  EXPECT_TRUE(status.contains("edited")) << status.toStdString();
  ASSERT_GE(emulator->Findings()->count(), 1);
  EXPECT_EQ(emulator->Findings()->item(0)->text(), status);
  TMemoBuffer& buffer = window.Buffer();
  buffer.SetSelStart(0);
  emulator->ShowFinding(0);
  EXPECT_EQ(buffer.LineFromChar(buffer.GetSelStart()) + 1, 4);

  // The row lasts as long as the error does: "Сначала" takes it away.
  emulator->RestartButton()->click();
  ASSERT_TRUE(Settle(emulator));
  for (int row = 0; row < emulator->Findings()->count(); ++row)
    EXPECT_FALSE(emulator->Findings()->item(row)->text().startsWith("calc.wmls:4"));
}

TEST_F(EmulatorTest, VariablesAndHistoryFollowEveryStep) {
  TEmulator* emulator = Open();
  EXPECT_EQ(emulator->VariablesView()->topLevelItemCount(), 0);
  ASSERT_EQ(emulator->HistoryView()->count(), 1);
  EXPECT_EQ(emulator->HistoryView()->item(0)->text(), "#one");
  emulator->Press(TKeypad::TKey::LeftSoft);  // go #two with x=7
  ASSERT_TRUE(Settle(emulator));
  ASSERT_EQ(emulator->VariablesView()->topLevelItemCount(), 1);
  EXPECT_EQ(emulator->VariablesView()->topLevelItem(0)->text(0), "x");
  EXPECT_EQ(emulator->VariablesView()->topLevelItem(0)->text(1), "7");
  EXPECT_EQ(Rows(emulator->HistoryView()), QStringList({"#one", "#two"}));
  emulator->Press(TKeypad::TKey::Back);
  ASSERT_TRUE(Settle(emulator));
  EXPECT_EQ(Rows(emulator->HistoryView()), QStringList({"#one"}));
  EXPECT_EQ(emulator->VariablesView()->topLevelItem(0)->text(1), "7");  // kept
  emulator->RestartButton()->click();
  ASSERT_TRUE(Settle(emulator));
  EXPECT_EQ(emulator->VariablesView()->topLevelItemCount(), 0);
  EXPECT_EQ(Rows(emulator->HistoryView()), QStringList({"#one"}));

  // Cards passed within one step (an onenterforward that goes on at once)
  // are named as the agent keeps them, not guessed.
  window.Buffer().SetTextStr(
      "<?xml version=\"1.0\"?>\r\n<wml><card id=\"a\"><p><a href=\"#b\">b</a></p></card>"
      "<card id=\"b\" onenterforward=\"#c\"><p>b</p></card><card id=\"c\"><p>c</p></card>"
      "</wml>\r\n");
  emulator->Refresh();
  ASSERT_TRUE(Settle(emulator));
  emulator->RestartButton()->click();
  ASSERT_TRUE(Settle(emulator));
  emulator->Press(TKeypad::TKey::Select);
  ASSERT_TRUE(Settle(emulator));
  EXPECT_EQ(emulator->CardId(), "c");
  EXPECT_EQ(Rows(emulator->HistoryView()), QStringList({"#a", "#b", "#c"}));
}

TEST_F(EmulatorTest, KeysOfTheMainWindowWorkInTheEmulatorAndItClosesFromTheKeyboard) {
  TEmulator* emulator = Open();
  emulator->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(emulator));
  // Ctrl+S: the main window's Save (a new document asks for a name).
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  dialogs.savePaths.push_back(folder.filePath("saved.wml"));
  QTest::keyClick(emulator, Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(ReadFile(folder.filePath("saved.wml")), window.Buffer().GetText());
  EXPECT_EQ(window.Document().DocumentPath(), folder.filePath("saved.wml"));
  // F7: the main window's check dialog, closed as soon as it runs.
  bool checked = false;
  QTimer::singleShot(0, [&] {
    if (QWidget* dialog = QApplication::activeModalWidget()) {
      checked = true;
      dialog->close();
    }
  });
  QTest::keyClick(emulator, Qt::Key_F7);
  EXPECT_TRUE(checked);
  // F5: the main window's preview.
  QSignalSpy preview(window.Action("N5"), &QAction::triggered);
  emulator->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(emulator));
  QTest::keyClick(emulator, Qt::Key_F5);
  EXPECT_EQ(preview.count(), 1);
  // Ctrl+W and Alt+F4 close the window; F6 shows it again.
  emulator->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(emulator));
  QTest::keyClick(emulator, Qt::Key_W, Qt::ControlModifier);
  EXPECT_FALSE(emulator->isVisible());
  Open();
  emulator->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(emulator));
  QTest::keyClick(emulator, Qt::Key_F4, Qt::AltModifier);
  EXPECT_FALSE(emulator->isVisible());
  EXPECT_TRUE(window.isVisible());
}

TEST(EncodingOfferTest, DeclaresWindows1251InTheFirstLine) {
  // No declaration: a whole one at the start.
  auto none = EncodingInsertion(Cp1251("<wml><card><p>Привет</p></card></wml>"));
  ASSERT_TRUE(none);
  EXPECT_EQ(none->Position, 0);
  EXPECT_EQ(none->Text, "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n");
  // A declaration without encoding: the attribute after the version, before
  // a standalone declaration (XML 1.0 §2.8, XMLDecl).
  const std::string standalone =
      Cp1251("<?xml version='1.0' standalone=\"yes\"?>\r\n<wml><card><p>Ё</p></card></wml>");
  auto after = EncodingInsertion(standalone);
  ASSERT_TRUE(after);
  EXPECT_EQ(after->Position, static_cast<int>(std::string("<?xml version='1.0'").size()));
  EXPECT_EQ(after->Text, " encoding=\"windows-1251\"");
  // Nothing to offer: a declared encoding, ASCII only, a UTF-8 byte-order
  // mark, an XML declaration that is not at the very start.
  EXPECT_FALSE(EncodingInsertion(Cp1251("<?xml version=\"1.0\" encoding=\"utf-8\"?><wml>Ж</wml>")));
  EXPECT_FALSE(EncodingInsertion("<?xml version=\"1.0\"?><wml><card/></wml>"));
  EXPECT_FALSE(EncodingInsertion("\xEF\xBB\xBF<wml>\xD0\x96</wml>"));
  EXPECT_FALSE(NeedsEncodingDeclaration(Cp1251("<?xml version=\"1.0\" encoding='koi8-r' ?>Ж")));
  EXPECT_FALSE(EncodingInsertion(Cp1251(" <?xml version=\"1.0\"?><wml>Ж</wml>")));
}

TEST_F(EmulatorTest, TheNewDocumentTemplateIsOfferedItsEncodingInOneUndoStep) {
  dialogs.prompts.push_back(TPromptAnswer::No);
  window.ToolButton1Click(&window);  // New: the program's own template
  const std::string templateText = window.Buffer().GetText();
  TEmulator* emulator = Open();
  const QStringList rows = Rows(emulator->Findings());
  ASSERT_FALSE(rows.isEmpty());
  ASSERT_EQ(rows.last(), QString::fromUtf8("Добавить encoding=\"windows-1251\""))
      << rows.join('\n').toStdString();
  emulator->ShowFinding(emulator->Findings()->count() - 1);
  const std::string declared = window.Buffer().GetText();
  EXPECT_NE(declared, templateText);
  const std::string firstLine = declared.substr(0, declared.find("\r\n"));
  EXPECT_NE(firstLine.find("encoding=\"windows-1251\""), std::string::npos) << firstLine;
  EXPECT_EQ(firstLine.rfind("<?xml version=", 0), 0u) << firstLine;
  // The check now has nothing to say about the encoding, and no offer.
  ASSERT_TRUE(Settle(emulator));
  EXPECT_FALSE(Rows(emulator->Findings()).contains(QString::fromUtf8(kEncodingOfferText)));
  // One Ctrl+Z takes it back.
  window.Memo()->setFocus();
  QTest::keyClick(window.Memo(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(window.Buffer().GetText(), templateText);
  // The template itself is as it was.
  TMemoryBuffer fresh;
  ApplyNewDocumentTemplate(fresh);
  EXPECT_EQ(fresh.GetText(), templateText);
}

// The deck that doubles a variable at every tick of its timer.
const char* kDoublingDeck =
    "<?xml version=\"1.0\"?>\r\n<wml><card id=\"a\" ontimer=\"#a\"><onevent "
    "type=\"onenterforward\"><refresh><setvar name=\"x\" value=\"$(x:n)$(x:n)ab\"/></refresh>"
    "</onevent><timer value=\"1\"/><p>$(x)</p></card></wml>\r\n";

TEST_F(EmulatorTest, NothingTheEngineDoesHurtsTheEditor) {
  // Unsaved work in the editor.
  window.Buffer().SetTextStr(kDoublingDeck);
  window.Buffer().SetSelStart(window.Buffer().Length());
  window.Buffer().SetSelText("<!-- unsaved -->");
  const std::string text = window.Buffer().GetText();
  ASSERT_TRUE(window.Buffer().GetModified());
  TEmulator* emulator = Open();
  // The doubling is stopped by the agent's limit on one value, with a
  // Russian message naming the variable; the engine itself stays sound.
  ASSERT_TRUE(WaitFor(
      [&] { return emulator->StatusLabel()->text().contains(QString::fromUtf8("«x»")); }, 60000))
      << emulator->StatusLabel()->text().toStdString();
  EXPECT_FALSE(emulator->Frame().Failed);
  EXPECT_EQ(window.Buffer().GetText(), text);
  EXPECT_TRUE(window.Buffer().GetModified());
  // "Сначала" shows the deck again.
  emulator->RestartButton()->click();
  ASSERT_TRUE(WaitFor([&] { return emulator->Idle(); }, 20000));
  ASSERT_TRUE(WaitFor([&] { return emulator->Frame().HasCard || emulator->Frame().Failed; }));

  // An allocation failure forced inside the engine, at the next key.
  window.Buffer().SetTextStr(Cp1251(kDeck));
  window.Buffer().SetSelStart(0);
  window.Buffer().SetSelText("<!-- unsaved -->");
  const std::string second = window.Buffer().GetText();
  emulator->Refresh();
  ASSERT_TRUE(Settle(emulator));
  ASSERT_EQ(emulator->CardId(), "one");
  emulator->SetFaultHook([](const char* step) {
    if (std::string_view(step) == "key") throw std::bad_alloc();
  });
  emulator->Press(TKeypad::TKey::LeftSoft);
  ASSERT_TRUE(Settle(emulator));
  EXPECT_TRUE(emulator->Frame().Failed);
  EXPECT_FALSE(emulator->Frame().HasCard);
  EXPECT_TRUE(emulator->StatusLabel()->text().contains(QString::fromUtf8("памяти")))
      << emulator->StatusLabel()->text().toStdString();
  // An exception of another kind, English text inside a Russian sentence.
  emulator->SetFaultHook([](const char* step) {
    if (std::string_view(step) == "key") throw std::runtime_error("basic_filebuf::underflow");
  });
  emulator->Press(TKeypad::TKey::Select);
  ASSERT_TRUE(Settle(emulator));
  EXPECT_TRUE(emulator->StatusLabel()->text().startsWith(QString::fromUtf8("Эмулятор остановлен")));
  emulator->SetFaultHook(nullptr);
  // The editor: text, modified flag and Save.
  EXPECT_EQ(window.Buffer().GetText(), second);
  EXPECT_TRUE(window.Buffer().GetModified());
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  dialogs.savePaths.push_back(folder.filePath("kept.wml"));
  window.SaveButtonClick(&window);
  EXPECT_EQ(ReadFile(folder.filePath("kept.wml")), second);
  // "Сначала" recovers.
  emulator->RestartButton()->click();
  ASSERT_TRUE(Settle(emulator));
  EXPECT_FALSE(emulator->Frame().Failed);
  EXPECT_EQ(emulator->CardId(), "one");
  emulator->Press(TKeypad::TKey::LeftSoft);
  ASSERT_TRUE(Settle(emulator));
  EXPECT_EQ(emulator->CardId(), "two");
}

TEST_F(EmulatorTest, AStepThatNeverEndsIsLeftBehindAndTheEditorWorksMeanwhile) {
  TEmulator* emulator = Open();
  // The first key's step never ends (as a read of a device file that never
  // answers would); the steps after it pass.
  auto steps = std::make_shared<std::atomic<int>>(0);
  emulator->SetFaultHook([steps](const char* step) {
    if (std::string_view(step) != "key" || steps->fetch_add(1) != 0) return;
    for (;;) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  });
  emulator->Press(TKeypad::TKey::LeftSoft);
  ASSERT_TRUE(WaitFor(
      [&] {
        return emulator->StatusLabel()->text().startsWith(QString::fromUtf8("Эмулятор считает"));
      },
      10000));
  EXPECT_TRUE(emulator->Checking());
  EXPECT_EQ(emulator->CardId(), "one");  // the last finished picture
  // The editor takes edits meanwhile.
  window.Buffer().SetSelStart(window.Buffer().Length());
  window.Buffer().SetSelText("<!-- typed -->");
  EXPECT_NE(window.Buffer().GetText().find("<!-- typed -->"), std::string::npos);
  // "Сначала" leaves the step behind: a fresh engine shows the deck.
  emulator->RestartButton()->click();
  ASSERT_TRUE(Settle(emulator));
  EXPECT_FALSE(emulator->Frame().Failed);
  EXPECT_EQ(emulator->CardId(), "one");
  emulator->Press(TKeypad::TKey::LeftSoft);
  ASSERT_TRUE(Settle(emulator));
  EXPECT_EQ(emulator->CardId(), "two");
  EXPECT_EQ(emulator->Variable("x"), "7");
}

// Run in a process of its own by the test below: a step that never ends is
// running in the worker when the program's window closes.
TEST_F(EmulatorTest, DISABLED_ChildClosesWhileAStepRuns) {
  std::atomic<bool> entered{false};
  TEmulator* emulator = Open();
  emulator->SetFaultHook([&entered](const char*) {
    entered = true;
    for (;;) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  });
  emulator->Refresh();
  ASSERT_TRUE(WaitFor([&] { return entered.load(); }, 10000));
  window.close();
}

TEST(EmulatorExitTest, ClosingWithAStepRunningEndsTheProgramPromptly) {
  QProcess child;
  child.setProcessChannelMode(QProcess::ForwardedChannels);
  child.start(QCoreApplication::applicationFilePath(),
              {"--gtest_also_run_disabled_tests",
               "--gtest_filter=EmulatorTest.DISABLED_ChildClosesWhileAStepRuns"});
  ASSERT_TRUE(child.waitForStarted(10000));
  // A generous bound: waiting for the step would take forever.
  const bool ended = child.waitForFinished(20000);
  if (!ended) {
    child.kill();
    child.waitForFinished(5000);
  }
  ASSERT_TRUE(ended) << "the program was still running 20 s after its window closed";
  EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(child.exitCode(), 0);
}

}  // namespace
}  // namespace deckhand
