#include <gtest/gtest.h>

#include "CodeBufferContract.h"
#include "core/CodeBuffer.h"
#include "core/Errors.h"

namespace deckhand::testing {
namespace {

class MemoryHarness : public BufferHarness {
 public:
  TCodeBuffer& Buffer() override { return buffer_; }
  void Select(int anchor, int caret) override { buffer_.Select(anchor, caret); }
  void Type(const std::string& text) override { buffer_.Type(text); }
  void SetClipboardText(const std::optional<std::string>& text) override {
    if (text) {
      clipboard_.SetText(*text);
    } else {
      clipboard_.ClearText();
    }
  }
  std::optional<std::string> ClipboardText() override { return clipboard_.GetText(); }

 private:
  TMemoryClipboard clipboard_;
  TMemoryBuffer buffer_{&clipboard_};
};

INSTANTIATE_TYPED_TEST_SUITE_P(Memory, CodeBufferContract, MemoryHarness);

TEST(MemoryBuffer, CapacityIsEnforcedWithTheEditorsMessage) {
  TMemoryBuffer buffer(nullptr, 10);
  buffer.SetTextStr("0123456789");
  buffer.Select(3, 7);
  try {
    buffer.SetTextStr("0123456789A");
    FAIL() << "no error";
  } catch (const EInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "Text exceeds memo capacity");
  }
  EXPECT_EQ(buffer.GetText(), "0123456789") << "a failed set keeps the text";
  EXPECT_EQ(buffer.GetSelStart(), 3);
  EXPECT_EQ(buffer.GetSelLength(), 4);

  // Line-break adjustment can lengthen a text past the limit.
  EXPECT_THROW(buffer.SetTextStr("a\nb\nc\nd\ne\n"), EInvalidOperation);
  // Inserting beyond the limit fails the same way instead of overflowing.
  buffer.SetSelStart(10);
  EXPECT_THROW(buffer.SetSelText("x"), EInvalidOperation);
  EXPECT_EQ(buffer.GetText(), "0123456789");
}

TEST(MemoryBuffer, SelectionAndCaretStayWithinTheText) {
  TMemoryBuffer buffer;
  buffer.SetText("abc");
  buffer.Select(-5, 99);
  EXPECT_EQ(buffer.Anchor(), 0);
  EXPECT_EQ(buffer.Caret(), 3);
  buffer.SetSelStart(-7);
  EXPECT_EQ(buffer.GetSelStart(), 0);
  buffer.SetSelLength(-3);
  EXPECT_EQ(buffer.GetSelLength(), 0);
  EXPECT_EQ(buffer.LineFromChar(-1), 0);
  EXPECT_EQ(buffer.LineFromChar(99), 0);
  EXPECT_EQ(buffer.LineIndex(-1), -1);
}

TEST(MemoryBuffer, ClipboardlessBufferIgnoresClipboardCommands) {
  TMemoryBuffer buffer;
  buffer.SetText("abc");
  buffer.Select(0, 3);
  buffer.CutToClipboard();
  buffer.PasteFromClipboard();
  EXPECT_EQ(buffer.GetText(), "abc");
  EXPECT_FALSE(buffer.GetModified());
}

TEST(LineBreaks, AdjustmentIsIdempotentAndCutsAtNul) {
  for (const std::string& text : {std::string("a\r\r\nb\n\r"), std::string("\n\n\r\r"),
                                  std::string("x\0\ny", 4), std::string(""), std::string("\r")}) {
    const std::string once = AdjustLineBreaks(text);
    EXPECT_EQ(AdjustLineBreaks(once), once);
    EXPECT_EQ(once.find('\0'), std::string::npos);
  }
  EXPECT_EQ(AdjustLineBreaks("a\r\r\nb\n\r"), "a\r\n\r\nb\r\n\r\n");
  // A CR at the very end, after the last LF.
  EXPECT_EQ(AdjustLineBreaks("\n\r"), "\r\n\r\n");
  EXPECT_EQ(AdjustLineBreaks("x\r"), "x\r\n");
  EXPECT_EQ(AdjustLineBreaks(std::string("\r\0\n", 3)), "\r\n");
  EXPECT_EQ(AdjustLineBreaks(std::string("x\0\ny", 4)), "x");
}

}  // namespace
}  // namespace deckhand::testing
