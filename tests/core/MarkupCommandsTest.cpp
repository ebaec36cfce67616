#include <gtest/gtest.h>

#include <functional>

#include "core/CodeBuffer.h"
#include "core/Encoding.h"
#include "core/MarkupCommands.h"

namespace deckhand {
namespace {

const char kTemplate[] =
    "<?xml version=\"1.0\"?>\r\n"
    "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
    "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\r\n"
    "<wml>\r\n"
    "\r\n"
    "<card id=\"card1\" title=\"MainPage\">\r\n"
    "<p>\xCF\xF0\xE8\xE2\xE5\xF2\x20\xE2\xF1\xE5\xEC\x21</p>\r\n"
    "</card>\r\n"
    "\r\n"
    "</wml>\r\n";

TEST(NewDocumentTemplate, IsByteExactAndReplacesEverything) {
  EXPECT_EQ(NewDocumentTemplateLines().at(1).size(), 94u);
  TMemoryBuffer buffer;
  buffer.SetText("old text that must go");
  buffer.Select(3, 9);
  ApplyNewDocumentTemplate(buffer);
  EXPECT_EQ(buffer.GetText(), std::string(kTemplate));
  EXPECT_EQ(buffer.GetText().size(), 204u);
  EXPECT_EQ(buffer.GetSelStart(), 204);
  EXPECT_EQ(buffer.GetSelLength(), 0);
  EXPECT_FALSE(buffer.GetModified());
}

TEST(Templates, CardAndFormBytes) {
  EXPECT_EQ(CardTemplate(), "<card id=\"\" title=\"\">\r\n</card>\r\n");
  EXPECT_EQ(CardTemplate().size(), 32u);
  EXPECT_EQ(FormTemplate(), "<do type=\"accept\" label=\"Go\">\r\n\r\n</do>\r\n");
  EXPECT_EQ(FormTemplate().size(), 40u);
}

struct WrapCase {
  const char* name;
  std::function<void(TCodeBuffer&)> command;
  const char* open;
  const char* close;
};

TEST(WrapCommands, WrapTheSelectionOrInsertTheBarePair) {
  const WrapCase cases[] = {
      {"big", LargerText, "<big>", "</big>"},
      {"small", SmallerText, "<small>", "</small>"},
      {"b", BoldText, "<b>", "</b>"},
      {"i", ItalicText, "<i>", "</i>"},
      {"u", UnderlineText, "<u>", "</u>"},
      {"left", AlignParagraphLeft, "<p align=\"left\">", "</p>"},
      {"center", AlignParagraphCenter, "<p align=\"center\">", "</p>"},
      {"right", AlignParagraphRight, "<p align=\"right\">", "</p>"},
      {"p", NewParagraph, "<p>", "</p>"},
  };
  for (const WrapCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string open = c.open, close = c.close;
    TMemoryBuffer buffer;
    // A backward selection over a line break is wrapped whole.
    buffer.SetText("ab\r\ncd");
    buffer.Select(5, 1);
    c.command(buffer);
    EXPECT_EQ(buffer.GetText(), "a" + open + "b\r\nc" + close + "d");
    EXPECT_EQ(buffer.GetSelStart(), static_cast<int>(1 + open.size() + 4 + close.size()));
    EXPECT_EQ(buffer.GetSelLength(), 0);
    // Nothing selected: the pair, caret after the closing tag.
    c.command(buffer);
    const std::string expected = "a" + open + "b\r\nc" + close + open + close + "d";
    EXPECT_EQ(buffer.GetText(), expected);
    EXPECT_EQ(buffer.GetSelStart(), static_cast<int>(expected.size() - 1));
    EXPECT_TRUE(buffer.GetModified());
  }
}

TEST(InsertCommands, ReplaceTheSelection) {
  const std::pair<std::function<void(TCodeBuffer&)>, std::string> cases[] = {
      {InsertLineBreak, "<br/>"},
      {InsertIndent, "&nbsp;"},
      {InsertInputField, "<input format=\"\" name=\"\" title=\"\" size=\"3\" maxlength=\"3\"/>"},
      {InsertGoButton, "<go href=\"#\"/>"},
      {InsertForm, FormTemplate()},
      {InsertNewCard, CardTemplate()},
  };
  for (const auto& [command, inserted] : cases) {
    SCOPED_TRACE(inserted);
    TMemoryBuffer buffer;
    buffer.SetText("first line\r\nsecond");
    buffer.Select(6, 2);  // "rst " backwards: lost, not wrapped
    command(buffer);
    EXPECT_EQ(buffer.GetText(), "fi" + inserted + "line\r\nsecond");
    EXPECT_EQ(buffer.GetSelStart(), static_cast<int>(2 + inserted.size()));
  }
}

TEST(InsertCommands, TemplatesSplitTheLineAndLeaveTheCaretOnTheNextLine) {
  TMemoryBuffer buffer;
  buffer.SetText("<p>ab</p>");
  buffer.SetSelStart(5);
  InsertNewCard(buffer);
  EXPECT_EQ(buffer.GetText(), "<p>ab<card id=\"\" title=\"\">\r\n</card>\r\n</p>");
  EXPECT_EQ(buffer.LineFromChar(buffer.GetSelStart()), 2);
  EXPECT_EQ(buffer.LineIndex(2), buffer.GetSelStart());

  // At the end of a text without a final break, the old last line and the
  // form's first line share a line.
  buffer.SetText("last");
  buffer.SetSelStart(4);
  InsertForm(buffer);
  EXPECT_EQ(buffer.GetText(), "last<do type=\"accept\" label=\"Go\">\r\n\r\n</do>\r\n");
  EXPECT_EQ(buffer.GetSelStart(), 44);
}

TEST(Composers, JoinTheirArgumentsAsTheyStand) {
  EXPECT_EQ(ComposeLink("", ""), "<a href=\"\"></a>");
  EXPECT_EQ(ComposeLink("", "").size(), 15u);
  EXPECT_EQ(ComposeImage("", ""), "<img src=\"\" alt=\"\"/>");
  EXPECT_EQ(ComposeImage("", "").size(), 20u);
  EXPECT_EQ(ComposeLink("#card2", Cp1251("Далее")),
            "<a href=\"#card2\">" + Cp1251("Далее") + "</a>");
  EXPECT_EQ(ComposeLink("a\"b", " <&> "), "<a href=\"a\"b\"> <&> </a>");
  EXPECT_EQ(ComposeImage("/home/u/logo.wbmp", "x\"y"),
            "<img src=\"/home/u/logo.wbmp\" alt=\"x\"y\"/>");
}

}  // namespace
}  // namespace deckhand
