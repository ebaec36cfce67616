#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "CodeBufferContract.h"
#include "core/CodeBuffer.h"
#include "core/Errors.h"

namespace deckhand::testing {
namespace {

class MemoryHarness : public BufferHarness {
 public:
  TCodeBuffer& Buffer() override { return buffer_; }
  void Select(int anchor, int caret) override { buffer_.Select(anchor, caret); }
  void Type(const std::string& text) override { buffer_.SetSelText(text); }
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

// The line-break rules spelt out byte by byte, to hold the fast scan and the
// adjustment against.
size_t ModelFirstEvent(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\0') return i;
    if (c == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return i;
    if (c == '\n' && (i == 0 || text[i - 1] != '\r')) return i;
  }
  return text.size();
}

std::string ModelAdjust(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size() && text[i] != '\0'; ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      out += "\r\n";
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

TEST(LineBreaks, ScanAndAdjustmentAgreeWithTheByteRules) {
  // Clean CR LF text with one lone CR, lone LF or NUL put at every position,
  // so that each falls at every place within and across the scan's steps.
  std::string clean;
  while (clean.size() < 300) clean += "<p>\xCF\xF0\xE8\r\n";
  clean.resize(300);
  clean.back() = 'x';
  std::vector<std::string> texts = {clean};
  for (size_t at = 0; at < clean.size(); ++at) {
    for (const char c : {'\r', '\n', '\0'}) {
      std::string text = clean;
      text[at] = c;
      texts.push_back(text);
    }
  }
  // And random texts crowded with breaks and NULs.
  std::mt19937 random(7);
  const char alphabet[] = {'a', 'a', 'a', '\r', '\n', '\r', '\n', '\0', '\xFF'};
  for (int round = 0; round < 2000; ++round) {
    std::string text(random() % 200, 'a');
    for (char& c : text) c = alphabet[random() % sizeof alphabet];
    texts.push_back(text);
  }
  for (const std::string& text : texts) {
    ASSERT_EQ(FirstNulOrLoneBreak(text.data(), text.size()), ModelFirstEvent(text))
        << ::testing::PrintToString(text);
    ASSERT_EQ(AdjustLineBreaks(text), ModelAdjust(text)) << ::testing::PrintToString(text);
  }
}

TEST(MemoryBuffer, TextHandedOverOrCopiedEndsTheSame) {
  // Large enough to take the prepared-block paths of SetTextStr and GetText.
  std::string text;
  while (text.size() < (size_t{3} << 20)) text += "<card>\r\n\xE0\xE1";
  std::string withNul = text + '\0' + "tail";
  std::string withLf = "\n" + text;

  TMemoryBuffer moved;
  moved.SetTextStr(std::string(text));
  EXPECT_EQ(moved.GetText(), text);
  TMemoryBuffer cut;
  cut.SetTextStr(std::move(withNul));
  EXPECT_EQ(cut.GetText(), text);
  TMemoryBuffer adjusted;
  adjusted.SetTextStr(withLf);
  EXPECT_EQ(adjusted.GetText(), "\r\n" + text);
  // Handing over equal text still changes nothing.
  moved.SetSelStart(5);
  moved.SetTextStr(std::string(text));
  EXPECT_EQ(moved.GetSelStart(), 5);
}

}  // namespace
}  // namespace deckhand::testing
