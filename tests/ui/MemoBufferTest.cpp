#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QTest>
#include <random>

#include "CodeBufferContract.h"
#include "core/Encoding.h"
#include "core/MarkupCommands.h"
#include "ui/MemoBuffer.h"

namespace deckhand::testing {
namespace {

class MemoHarness : public BufferHarness {
 public:
  MemoHarness() : buffer_(&memo_) { QGuiApplication::clipboard()->clear(); }
  TCodeBuffer& Buffer() override { return buffer_; }
  void Select(int anchor, int caret) override { buffer_.Select(anchor, caret); }
  void Type(const std::string& text) override { QTest::keyClicks(&memo_, Cp1251ToUnicode(text)); }
  void SetClipboardText(const std::optional<std::string>& text) override {
    if (text) {
      QGuiApplication::clipboard()->setText(Cp1251ToUnicode(*text));
    } else {
      QGuiApplication::clipboard()->clear();
    }
  }
  std::optional<std::string> ClipboardText() override {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr || !data->hasText()) return std::nullopt;
    return UnicodeToCp1251(data->text());
  }
  bool NormalizesInsertedBreaks() const override { return true; }

  TMemo memo_;
  TMemoBuffer buffer_;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Memo, CodeBufferContract, MemoHarness);

// Types text as the keyboard delivers it: one key event per character.
void TypeKeys(QWidget* widget, const QString& text) {
  for (uint codePoint : text.toUcs4()) {
    const char32_t c = codePoint;
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUcs4(&c, 1));
    QApplication::sendEvent(widget, &press);
  }
}

// A text of many lines of varied length, with empty lines and Cyrillic.
std::string ManyLines(int lines, unsigned seed) {
  std::mt19937 random(seed);
  std::string text;
  for (int i = 0; i < lines; ++i) {
    const int length = static_cast<int>(random() % 90);
    for (int j = 0; j < length; ++j) {
      text += (random() % 7 == 0) ? '\xE0' + static_cast<char>(random() % 20)
                                  : 'a' + static_cast<char>(random() % 26);
    }
    text += "\r\n";
  }
  text += "tail";
  return text;
}

TEST(MemoBuffer, PositionsAgreeWithTheInMemoryBufferOnLongTexts) {
  const std::string text = ManyLines(3000, 7);
  MemoHarness memo;
  TMemoryBuffer reference;
  memo.buffer_.SetTextStr(text);
  reference.SetTextStr(text);
  ASSERT_EQ(memo.buffer_.GetText(), text);
  ASSERT_EQ(memo.buffer_.Length(), static_cast<int>(text.size()));
  std::mt19937 random(11);
  for (int i = 0; i < 400; ++i) {
    const int a = static_cast<int>(random() % (text.size() + 1));
    const int b = static_cast<int>(random() % (text.size() + 1));
    EXPECT_EQ(memo.buffer_.LineFromChar(a), reference.LineFromChar(a)) << a;
    const int line = static_cast<int>(random() % 3005);
    EXPECT_EQ(memo.buffer_.LineIndex(line), reference.LineIndex(line)) << line;
    // Positions inside a line break cannot be represented by the editor;
    // compare selections whose ends are not between a CR and its LF.
    if (a > 0 && text[a - 1] == '\r') continue;
    if (b > 0 && text[b - 1] == '\r') continue;
    memo.buffer_.Select(a, b);
    reference.Select(a, b);
    EXPECT_EQ(memo.buffer_.GetSelStart(), reference.GetSelStart());
    EXPECT_EQ(memo.buffer_.GetSelLength(), reference.GetSelLength());
    EXPECT_EQ(memo.buffer_.GetSelText(), reference.GetSelText());
  }
}

TEST(MemoBuffer, EditsKeepTheByteMapping) {
  MemoHarness memo;
  TMemoryBuffer reference;
  const std::string text = ManyLines(200, 3);
  memo.buffer_.SetTextStr(text);
  reference.SetTextStr(text);
  std::mt19937 random(5);
  const std::string pieces[] = {"x", "\r\n", "<b>\r\n</b>", "", Cp1251("ёж\r\n\r\n")};
  for (int i = 0; i < 200; ++i) {
    const int length = static_cast<int>(reference.GetText().size());
    int a = static_cast<int>(random() % (length + 1));
    int b = static_cast<int>(random() % (length + 1));
    const std::string current = reference.GetText();
    if ((a > 0 && current[a - 1] == '\r') || (b > 0 && current[b - 1] == '\r')) continue;
    memo.buffer_.Select(a, b);
    reference.Select(a, b);
    const std::string& piece = pieces[random() % 5];
    memo.buffer_.SetSelText(piece);
    reference.SetSelText(piece);
    ASSERT_EQ(memo.buffer_.GetText(), reference.GetText());
    ASSERT_EQ(memo.buffer_.GetSelStart(), reference.GetSelStart());
  }
}

TEST(MemoBuffer, CharactersOutsideWindows1251BecomeReferences) {
  MemoHarness memo;
  memo.buffer_.SetText("ab");
  memo.buffer_.SetSelStart(1);
  TypeKeys(&memo.memo_, QString::fromUtf8("Ж😀"));
  EXPECT_EQ(memo.buffer_.GetText(), "a\xC6&#128512;b");
  EXPECT_TRUE(memo.buffer_.GetModified());

  // Pasted by the editor's own paste (Ctrl+V with the focus in the editor).
  memo.buffer_.SetSelStart(0);
  QGuiApplication::clipboard()->setText(QString::fromUtf8("中\nЁ\u00A0"));
  memo.memo_.paste();
  EXPECT_EQ(memo.buffer_.GetText(),
            "&#20013;\r\n\xA8\xA0"
            "a\xC6&#128512;b");
}

TEST(MemoBuffer, NoBreakSpacesSurviveTextAndClipboard) {
  MemoHarness memo;
  memo.buffer_.SetText(
      "a\xA0"
      "b");
  EXPECT_EQ(memo.buffer_.GetText(),
            "a\xA0"
            "b");
  memo.buffer_.Select(0, 3);
  memo.memo_.copy();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8("a\u00A0b"));
}

TEST(MemoBuffer, EachInsertionIsOneUndoStepAndWholeTextSetsStartAfresh) {
  MemoHarness memo;
  ApplyNewDocumentTemplate(memo.buffer_);
  EXPECT_FALSE(memo.memo_.document()->isUndoAvailable()) << "a new document has no history";
  memo.buffer_.SetSelStart(5);
  memo.buffer_.SetSelLength(3);
  const std::string before = memo.buffer_.GetText();
  WrapSelection(memo.buffer_, "<p align=\"center\">", "</p>");
  InsertNewCard(memo.buffer_);
  memo.memo_.undo();
  memo.memo_.undo();
  EXPECT_EQ(memo.buffer_.GetText(), before) << "two commands, two undo steps";
  memo.memo_.redo();
  EXPECT_NE(memo.buffer_.GetText().find("<p align=\"center\">"), std::string::npos);

  memo.buffer_.SetTextStr("opened\r\n");
  EXPECT_FALSE(memo.memo_.document()->isUndoAvailable());
}

}  // namespace
}  // namespace deckhand::testing
