// The behaviour every TCodeBuffer must show, written once and instantiated
// for each implementation (the in-memory buffer, the editor-backed buffer).
//
// A harness wraps one buffer and gives the suite what the interface itself
// does not: selecting backwards and typing as a user does, and the clipboard.
//
// Known difference, declared by the harness: a buffer whose editor holds
// lines rather than raw breaks (NormalizesInsertedBreaks) turns a lone CR or
// LF in inserted text into CR LF.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "core/CodeBuffer.h"
#include "core/Encoding.h"
#include "core/Errors.h"
#include "core/MarkupCommands.h"

namespace deckhand::testing {

class BufferHarness {
 public:
  virtual ~BufferHarness() = default;
  virtual TCodeBuffer& Buffer() = 0;
  // A selection made by the user from anchor to caret.
  virtual void Select(int anchor, int caret) = 0;
  // Text typed by the user over the selection.
  virtual void Type(const std::string& text) = 0;
  virtual void SetClipboardText(const std::optional<std::string>& text) = 0;
  virtual std::optional<std::string> ClipboardText() = 0;
  virtual bool NormalizesInsertedBreaks() const { return false; }
};

template <class Harness>
class CodeBufferContract : public ::testing::Test {
 protected:
  Harness harness_;
  TCodeBuffer& b() { return harness_.Buffer(); }
  // Sets a text and clears the selection at 0.
  void Text(const std::string& text) { b().SetText(text); }
};

TYPED_TEST_SUITE_P(CodeBufferContract);

TYPED_TEST_P(CodeBufferContract, AddAppendsLinesByTheLastLineBreak) {
  auto& b = this->b();
  b.Clear();
  EXPECT_EQ(b.GetText(), "");
  EXPECT_EQ(b.GetSelStart(), 0);
  b.Add("x");
  EXPECT_EQ(b.GetText(), "x\r\n");
  b.Add("");
  EXPECT_EQ(b.GetText(), "x\r\n\r\n");
  EXPECT_EQ(b.GetSelStart(), 5);
  EXPECT_EQ(b.GetSelLength(), 0);

  b.Clear();
  b.Add("a");
  b.Add("");
  b.Add("b");
  EXPECT_EQ(b.GetText(), "a\r\n\r\nb\r\n");

  // A text that is only its line break counts as ending in one.
  b.Clear();
  b.Add("");
  EXPECT_EQ(b.GetText(), "\r\n");
  b.Add("x");
  EXPECT_EQ(b.GetText(), "\r\nx\r\n");
  this->Text("\r\n");
  b.Add("y");
  EXPECT_EQ(b.GetText(), "\r\ny\r\n");

  this->Text("x");
  b.Add("y");
  EXPECT_EQ(b.GetText(), "x\r\ny");
  EXPECT_EQ(b.GetSelStart(), 4);
  b.Add("z");
  EXPECT_EQ(b.GetText(), "x\r\ny\r\nz");
}

TYPED_TEST_P(CodeBufferContract, SetTextStrAdjustsLineBreaksAndStopsAtNul) {
  auto& b = this->b();
  b.SetTextStr("a\nb\rc\r\n");
  EXPECT_EQ(b.GetText(), "a\r\nb\r\nc\r\n");
  b.SetTextStr("a\n\rb");
  EXPECT_EQ(b.GetText(), "a\r\n\r\nb");
  b.SetTextStr(std::string("ab\0cd", 5));
  EXPECT_EQ(b.GetText(), "ab");
  EXPECT_EQ(b.GetSelStart(), 0);
  EXPECT_EQ(b.GetSelLength(), 0);
  b.SetTextStr("\r\r\n\n");
  EXPECT_EQ(b.GetText(), "\r\n\r\n\r\n");
  b.SetTextStr("");
  EXPECT_EQ(b.GetText(), "");
}

TYPED_TEST_P(CodeBufferContract, SetTextStrOfTheHeldTextChangesNothing) {
  auto& b = this->b();
  b.SetTextStr("one\r\ntwo");
  this->harness_.Select(2, 6);
  this->harness_.Type("X");
  ASSERT_TRUE(b.GetModified());
  const std::string held = b.GetText();
  this->harness_.Select(5, 1);
  ASSERT_EQ(held, "onXwo");
  b.SetTextStr(held);
  EXPECT_EQ(b.GetSelStart(), 1);
  EXPECT_EQ(b.GetSelLength(), 4);
  EXPECT_TRUE(b.GetModified());
  // A different text clears the flag and puts the caret at 0.
  b.SetTextStr("other");
  EXPECT_FALSE(b.GetModified());
  EXPECT_EQ(b.GetSelStart(), 0);
}

TYPED_TEST_P(CodeBufferContract, SetTextReplacesUnchangedUpToNul) {
  auto& b = this->b();
  const std::string raw = "a\nb\rc";
  b.SetText(raw);
  const std::string held = this->harness_.NormalizesInsertedBreaks() ? "a\r\nb\r\nc" : raw;
  EXPECT_EQ(b.GetText(), held);
  b.SetSelStart(3);
  b.SetText(held);
  EXPECT_EQ(b.GetSelStart(), 3) << "equal text changes nothing";
  b.SetText(std::string("xy\0z", 4));
  EXPECT_EQ(b.GetText(), "xy");
  EXPECT_EQ(b.GetSelStart(), 0);
}

TYPED_TEST_P(CodeBufferContract, SelectionStartAndLength) {
  auto& b = this->b();
  this->Text("abcdefg");
  b.SetSelStart(100);
  EXPECT_EQ(b.GetSelStart(), 7) << "beyond the end counts as the end";
  b.SetSelLength(1);
  EXPECT_EQ(b.GetSelLength(), 0);
  EXPECT_EQ(b.GetSelText(), "");

  b.SetSelStart(2);
  b.SetSelLength(3);
  EXPECT_EQ(b.GetSelText(), "cde");
  b.SetSelLength(100);
  EXPECT_EQ(b.GetSelText(), "cdefg") << "cut back at the end";

  // Forward selection collapses onto its end.
  b.SetSelStart(2);
  b.SetSelLength(3);
  b.SetSelStart(-1);
  EXPECT_EQ(b.GetSelStart(), 5);
  EXPECT_EQ(b.GetSelLength(), 0);
}

TYPED_TEST_P(CodeBufferContract, BackwardSelectionCollapsesOntoItsStart) {
  auto& b = this->b();
  this->Text("0123456789abcdef");
  this->harness_.Select(10, 4);
  EXPECT_EQ(b.GetSelStart(), 4);
  EXPECT_EQ(b.GetSelLength(), 6);
  EXPECT_EQ(b.GetSelText(), "456789");
  b.SetSelStart(-1);
  EXPECT_EQ(b.GetSelStart(), 4);
  EXPECT_EQ(b.GetSelLength(), 0);
  b.SetSelLength(1);
  EXPECT_EQ(b.GetSelText(), "4");
}

TYPED_TEST_P(CodeBufferContract, SetSelTextReplacesTheSelection) {
  auto& b = this->b();
  this->Text("abcdefg");
  b.SetSelStart(2);
  b.SetSelLength(3);
  b.SetSelText("x");
  EXPECT_EQ(b.GetText(), "abxfg");
  EXPECT_EQ(b.GetSelStart(), 3);
  EXPECT_EQ(b.GetSelLength(), 0);
  EXPECT_TRUE(b.GetModified());

  // Across a line break, the CR LF pair comes with the rest.
  this->Text("ab\r\ncd");
  b.SetSelStart(1);
  b.SetSelLength(4);
  EXPECT_EQ(b.GetSelText(), "b\r\nc");
  b.SetSelText("");
  EXPECT_EQ(b.GetText(), "ad");
}

TYPED_TEST_P(CodeBufferContract, InsertedLineBreaks) {
  auto& b = this->b();
  this->Text("ab");
  b.SetSelStart(1);
  b.SetSelText("1\r\n2");
  EXPECT_EQ(b.GetText(), "a1\r\n2b");
  EXPECT_EQ(b.GetSelStart(), 5);
  b.SetSelText("x\ny\rz");
  if (this->harness_.NormalizesInsertedBreaks()) {
    EXPECT_EQ(b.GetText(), "a1\r\n2x\r\ny\r\nzb");
    EXPECT_EQ(b.GetSelStart(), 12);
  } else {
    EXPECT_EQ(b.GetText(), "a1\r\n2x\ny\rzb");
    EXPECT_EQ(b.GetSelStart(), 10);
  }
}

TYPED_TEST_P(CodeBufferContract, WindowsCyrillicBytesAreKept) {
  auto& b = this->b();
  std::string all;
  for (int c = 1; c < 256; ++c) {
    if (c != '\r' && c != '\n') all.push_back(static_cast<char>(c));
  }
  b.SetTextStr(all);
  EXPECT_EQ(b.GetText(), all);
  b.SetSelStart(200);
  b.SetSelLength(10);
  EXPECT_EQ(b.GetSelText(), all.substr(200, 10));
  b.SetSelText(Cp1251("Привет"));
  EXPECT_EQ(b.GetText().substr(200, 6), "\xCF\xF0\xE8\xE2\xE5\xF2");
  EXPECT_EQ(b.GetSelStart(), 206);
}

TYPED_TEST_P(CodeBufferContract, ClipboardOperations) {
  auto& b = this->b();
  auto& h = this->harness_;
  this->Text("hello world");
  h.SetClipboardText(std::string("keep"));
  b.SetSelStart(3);
  b.CutToClipboard();  // nothing selected: nothing happens
  b.CopyToClipboard();
  EXPECT_EQ(h.ClipboardText(), std::optional<std::string>("keep"));
  EXPECT_EQ(b.GetText(), "hello world");
  EXPECT_FALSE(b.GetModified());

  b.SetSelStart(6);
  b.SetSelLength(5);
  b.CopyToClipboard();
  EXPECT_EQ(h.ClipboardText(), std::optional<std::string>("world"));
  EXPECT_EQ(b.GetText(), "hello world");
  EXPECT_FALSE(b.GetModified());

  this->harness_.Select(5, 0);
  b.CutToClipboard();
  EXPECT_EQ(h.ClipboardText(), std::optional<std::string>("hello"));
  EXPECT_EQ(b.GetText(), " world");
  EXPECT_EQ(b.GetSelStart(), 0);
  EXPECT_TRUE(b.GetModified());

  b.SetSelStart(6);
  b.PasteFromClipboard();
  EXPECT_EQ(b.GetText(), " worldhello");
  EXPECT_EQ(b.GetSelStart(), 11);

  h.SetClipboardText(Cp1251("ёж"));
  b.SetSelStart(0);
  b.SetSelLength(1);
  b.PasteFromClipboard();
  EXPECT_EQ(b.GetText(), Cp1251("ёж") + "worldhello");

  h.SetClipboardText(std::nullopt);
  b.SetSelStart(0);
  b.SetSelLength(2);
  b.PasteFromClipboard();
  EXPECT_EQ(b.GetText(), Cp1251("ёж") + "worldhello") << "no text on the clipboard";
  EXPECT_EQ(b.GetSelLength(), 2);
}

TYPED_TEST_P(CodeBufferContract, ModifiedFlagRule) {
  auto& b = this->b();
  auto& h = this->harness_;
  EXPECT_FALSE(b.GetModified()) << "a new buffer is unmodified";
  ApplyNewDocumentTemplate(b);
  EXPECT_FALSE(b.GetModified()) << "Clear and Add leave a new document unmodified";
  h.Type("q");
  EXPECT_TRUE(b.GetModified());
  b.Add("line");
  EXPECT_TRUE(b.GetModified()) << "Add leaves the flag as it is";
  b.Clear();
  EXPECT_FALSE(b.GetModified());
  b.SetSelText("z");
  EXPECT_TRUE(b.GetModified());
  b.SetText("z");  // equal text: nothing happens
  EXPECT_TRUE(b.GetModified());
  b.SetText("other");
  EXPECT_FALSE(b.GetModified());
  h.Type("w");
  b.SetTextStr("new text");
  EXPECT_FALSE(b.GetModified());
}

TYPED_TEST_P(CodeBufferContract, LineQueries) {
  auto& b = this->b();
  this->Text("");
  EXPECT_EQ(b.LineIndex(0), 0);
  EXPECT_EQ(b.LineIndex(1), -1);
  EXPECT_EQ(b.LineFromChar(0), 0);

  this->Text("ab\r\ncd\r\n\r\nef");
  EXPECT_EQ(b.LineIndex(0), 0);
  EXPECT_EQ(b.LineIndex(1), 4);
  EXPECT_EQ(b.LineIndex(2), 8);
  EXPECT_EQ(b.LineIndex(3), 10);
  EXPECT_EQ(b.LineIndex(4), -1);
  EXPECT_EQ(b.LineFromChar(2), 0);
  EXPECT_EQ(b.LineFromChar(3), 0) << "the CR LF belongs to the line it ends";
  EXPECT_EQ(b.LineFromChar(4), 1);
  EXPECT_EQ(b.LineFromChar(8), 2);
  EXPECT_EQ(b.LineFromChar(9), 2);
  EXPECT_EQ(b.LineFromChar(10), 3);
  EXPECT_EQ(b.LineFromChar(12), 3);

  this->Text("x\r\n");
  EXPECT_EQ(b.LineIndex(1), 3);
  EXPECT_EQ(b.LineFromChar(3), 1);
}

TYPED_TEST_P(CodeBufferContract, MarkupCommandsThroughTheBuffer) {
  auto& b = this->b();
  this->Text("x");
  b.SetSelStart(0);
  b.SetSelLength(1);
  BoldText(b);
  EXPECT_EQ(b.GetText(), "<b>x</b>");
  BoldText(b);
  EXPECT_EQ(b.GetText(), "<b>x</b><b></b>");
  EXPECT_EQ(b.GetSelStart(), 15);

  this->Text("abc");
  b.SetSelStart(1);
  InsertNewCard(b);
  EXPECT_EQ(b.GetText(), "a<card id=\"\" title=\"\">\r\n</card>\r\nbc");
  EXPECT_EQ(b.GetSelStart(), 33);
  EXPECT_EQ(b.LineFromChar(b.GetSelStart()), 2);
}

REGISTER_TYPED_TEST_SUITE_P(CodeBufferContract, AddAppendsLinesByTheLastLineBreak,
                            SetTextStrAdjustsLineBreaksAndStopsAtNul,
                            SetTextStrOfTheHeldTextChangesNothing, SetTextReplacesUnchangedUpToNul,
                            SelectionStartAndLength, BackwardSelectionCollapsesOntoItsStart,
                            SetSelTextReplacesTheSelection, InsertedLineBreaks,
                            WindowsCyrillicBytesAreKept, ClipboardOperations, ModifiedFlagRule,
                            LineQueries, MarkupCommandsThroughTheBuffer);

}  // namespace deckhand::testing
