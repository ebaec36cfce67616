// The phone emulator window: opened by F6, owned by the main window, follows
// the editor after the pause, keys drive the deck, findings move the caret,
// the compiled size is shown against the phone's limit.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "ScriptedDialogs.h"
#include "UiTestSupport.h"
#include "core/Encoding.h"
#include "ui/Unit1.h"
#include "ui/Unit7.h"

namespace deckhand {
namespace {

using deckhand::testing::TScriptedDialogs;
using deckhand::testing::WaitFor;

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
  EXPECT_EQ(emulator->Agent().CardId(), "one");
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
  EXPECT_EQ(emulator->Agent().CardId(), "two");
  EXPECT_EQ(emulator->Agent().Variable("x"), "7");
  QTest::keyClick(emulator, Qt::Key_Return);  // the link back
  EXPECT_EQ(emulator->Agent().CardId(), "one");
  QTest::keyClick(emulator, Qt::Key_Backspace);  // back through the history
  EXPECT_EQ(emulator->Agent().CardId(), "two");
  // The drawn keys take the mouse.
  QTest::mouseClick(emulator->Keypad(), Qt::LeftButton, {},
                    emulator->Keypad()->KeyRect(TKeypad::TKey::Back).center());
  EXPECT_EQ(emulator->Agent().CardId(), "one");
  emulator->close();
  EXPECT_EQ(window.Buffer().GetText(), text);
  EXPECT_EQ(window.Buffer().GetModified(), modified);
}

TEST_F(EmulatorTest, FollowsTheEditorAfterThePauseAndStaysOnTheCard) {
  TEmulator* emulator = Open();
  emulator->Press(TKeypad::TKey::LeftSoft);
  ASSERT_EQ(emulator->Agent().CardId(), "two");
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
  EXPECT_EQ(emulator->RefreshCount(), refreshes + 1);  // once for the whole burst
  EXPECT_EQ(emulator->Agent().CardId(), "two");
  EXPECT_EQ(emulator->Agent().Variable("x"), "7");
  EXPECT_NE(emulator->Screen()->Image(), before);
  // "Сначала": the first card, an empty context.
  emulator->RestartButton()->click();
  EXPECT_EQ(emulator->Agent().CardId(), "one");
  EXPECT_EQ(emulator->Agent().Variable("x"), "");
}

TEST_F(EmulatorTest, TimersRunInRealTime) {
  window.Buffer().SetTextStr(
      "<?xml version=\"1.0\"?>\r\n<wml><card id=\"splash\" ontimer=\"#main\">"
      "<timer value=\"3\"/><p>...</p></card><card id=\"main\"><p>main</p></card></wml>\r\n");
  TEmulator* emulator = Open();
  EXPECT_EQ(emulator->Agent().CardId(), "splash");
  // Three tenths of a second later the timer has fired on its own.
  EXPECT_TRUE(WaitFor([&] { return emulator->Agent().CardId() == "main"; }, 3000));
}

TEST_F(EmulatorTest, BigDecksAreCheckedOnAWorkerThread) {
  TEmulator* emulator = Open();
  emulator->Press(TKeypad::TKey::LeftSoft);
  ASSERT_EQ(emulator->Agent().CardId(), "two");
  emulator->SetBackgroundFrom(0);  // every deck counts as big
  std::string text = window.Buffer().GetText();
  text.insert(text.find("<p>"), "<blink/>");
  window.Buffer().SetTextStr(text);
  emulator->Refresh();
  EXPECT_TRUE(emulator->Checking());
  // An edit while the worker runs is taken up when it is done.
  window.Buffer().SetSelStart(window.Buffer().Length());
  window.Buffer().SetSelText(" ");
  emulator->Refresh();
  ASSERT_TRUE(
      WaitFor([&] { return !emulator->Checking() && emulator->RefreshCount() >= 3; }, 5000));
  ASSERT_TRUE(WaitFor([&] { return !emulator->Checking(); }, 5000));
  ASSERT_GT(emulator->Findings()->count(), 0);
  QStringList shown;
  for (int i = 0; i < emulator->Findings()->count(); ++i)
    shown << emulator->Findings()->item(i)->text();
  EXPECT_TRUE(shown.join('\n').contains("blink")) << shown.join('\n').toStdString();
  EXPECT_EQ(emulator->Agent().CardId(), "two");  // still on its card
  EXPECT_EQ(emulator->Agent().Variable("x"), "7");
  // Closing the window while a worker runs waits for it.
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
  EXPECT_EQ(emulator->Agent().CardId(), "a");
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
  EXPECT_EQ(emulator->Screen()->Image().size(), QSize(96, 44));
  EXPECT_TRUE(emulator->SizeLabel()->text().endsWith(QString::fromUtf8(" из 1397 байт")));
  EXPECT_TRUE(emulator->SizeLabel()->styleSheet().contains("color"));
}

}  // namespace
}  // namespace deckhand
