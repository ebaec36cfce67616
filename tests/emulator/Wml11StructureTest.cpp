// The structure of decks, WML 1.1 §11, as the emulator keeps it: the card
// renderer's text (white space §11.8.1, paragraphs §11.8.3, tables
// §11.8.5-§11.8.7) and the user agent's reading of the deck's elements.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <filesystem>
#include <string>
#include <vector>

#include "AgentFixture.h"
#include "emulator/CardRenderer.h"
#include "wml/DeckCheck.h"
#include "wml/WbxmlDecode.h"

namespace deckhand::wml {
namespace {

using testing::Deck;

int argc = 1;
char arg0[] = "emulator_tests";
char* argv[] = {arg0, nullptr};

class Wml11Structure : public testing::TAgentFixture {
 protected:
  static void SetUpTestSuite() {
    if (!QGuiApplication::instance()) app_ = new QGuiApplication(argc, argv);
  }
  static QGuiApplication* app_;

  // The first card of a deck of the given cards, on the 128x128 screen.
  QImage Show(std::string_view cards,
              const std::vector<std::pair<std::string, std::string>>& variables = {}) {
    return ShowDeck(Deck(cards), variables);
  }
  QImage ShowDeck(const std::string& deck,
                  const std::vector<std::pair<std::string, std::string>>& variables = {}) {
    agent_.Open(deck);
    for (const auto& [name, value] : variables) agent_.SetVariable(name, value);
    TPhoneScreen screen(agent_, DefaultPhone());
    return screen.Render();
  }
  // The card in a paragraph.
  QImage Text(std::string_view text,
              const std::vector<std::pair<std::string, std::string>>& variables = {}) {
    return Show("<card id=\"a\"><p>" + std::string(text) + "</p></card><card id=\"b\"/>",
                variables);
  }
};
QGuiApplication* Wml11Structure::app_ = nullptr;

// WML 1.1 §11.8.1: "White space immediately before and after an element is
// ignored. In addition, all other sequences of white space must be
// compressed into a single inter-word space." A run of text between two tags
// loses the white space at its ends; inside it, any run of white space is one
// space; the no-break space is not white space; a variable's value is text,
// not an element.
TEST_F(Wml11Structure, WhiteSpaceNextToAnElementIsIgnoredAndOtherRunsBecomeOneSpace) {
  // Around emphasis: "a <b>x</b> b" shows as "axb".
  EXPECT_EQ(Text("a <b>x</b> b"), Text("a<b>x</b>b"));
  EXPECT_EQ(Text("a\n  <i>x</i>\t b"), Text("a<i>x</i>b"));
  EXPECT_EQ(Text(" <strong> x </strong> "), Text("<strong>x</strong>"));
  // Around a link, and inside it.
  EXPECT_EQ(Text("go <a href=\"#b\"> there </a> now"), Text("go<a href=\"#b\">there</a>now"));
  // Around a line break.
  EXPECT_EQ(Text("one <br/> two"), Text("one<br/>two"));
  // Around an image, whose alt text stands in its place here.
  EXPECT_EQ(Text("a <img src=\"none.wbmp\" alt=\"X\"/> b"), Text("aXb"));
  // Around an input field.
  EXPECT_EQ(Text("Name: <input name=\"n\"/> end"), Text("Name:<input name=\"n\"/>end"));
  // Inside a table cell.
  auto cell = [](std::string_view content) {
    return "<table columns=\"2\"><tr><td>" + std::string(content) + "</td><td>1</td></tr></table>";
  };
  EXPECT_EQ(Text(cell(" x <b>y</b> z ")), Text(cell("x<b>y</b>z")));
  // Every other run of white space is one inter-word space.
  EXPECT_EQ(Text("one   two\n\t three"), Text("one two three"));
  EXPECT_NE(Text("one two"), Text("onetwo"));
  // A comment is not an element: the text around it is one run.
  EXPECT_EQ(Text("one <!-- note --> two"), Text("one two"));
  // The no-break space is not white space: it stays next to an element.
  EXPECT_NE(Text("a&nbsp;<b>x</b>"), Text("a<b>x</b>"));
  EXPECT_EQ(Text("a&nbsp;<b>x</b>"), Text("a&#160;<b>x</b>"));
  // A variable reference is text: the white space around it stays, and the
  // white space its value brings is shown as one space.
  EXPECT_EQ(Text("a $(v) b", {{"v", "x"}}), Text("a x b"));
  EXPECT_NE(Text("a<b>$(v)</b>b", {{"v", " x "}}), Text("a<b>x</b>b"));
  EXPECT_EQ(Text("a<b>$(v)</b>b", {{"v", "\n x \t"}}), Text("a<b>$(v)</b>b", {{"v", " x "}}));
  // An option's text: each run without the white space at its ends.
  EXPECT_EQ(Text("<select name=\"s\"><option value=\"1\"> one\n</option></select>"),
            Text("<select name=\"s\"><option value=\"1\">one</option></select>"));
}

// WML 1.1 §11.8.3: "Any inter-word space is a legal line break point"; the
// no-break space "must not be treated as an inter-word space". Text that
// touches an element with no space between is one word: the line is not
// broken inside it while it fits a line.
TEST_F(Wml11Structure, LinesBreakOnlyAtInterWordSpaces) {
  // 10 + 1 + 10 characters of 6 pixels: 126 pixels on a line of 124.
  EXPECT_EQ(Text("xxxxxxxxxx aaaaa<b>bbbbb</b>"), Text("xxxxxxxxxx<br/>aaaaa<b>bbbbb</b>"));
  EXPECT_EQ(Text("<u>xxxxxxxxxx aaaaa</u>bbbbb"), Text("<u>xxxxxxxxxx</u><br/><u>aaaaa</u>bbbbb"));
  EXPECT_EQ(Text("xxxxxxxxxx aaaaa&nbsp;bbbb"), Text("xxxxxxxxxx<br/>aaaaa&nbsp;bbbb"));
  // An inter-word space is where the line breaks.
  EXPECT_EQ(Text("xxxxxxxxxx aaaaa bbbbb"), Text("xxxxxxxxxx aaaaa<br/>bbbbb"));
}

// What the emulator shows of a deck is what a phone shows of the compiled
// deck: the compiler drops the white space at the ends of every text run, so
// the deck decoded back from its compiled form looks the same on the screen.
TEST_F(Wml11Structure, ScreenOfADeckAndOfItsCompiledFormAgree) {
  const std::vector<std::string> cards = {
      "<card id=\"a\"><p>a <b>x</b> b</p></card>",
      "<card id=\"a\" title=\"T\">\n  <p align=\"center\">\n    Hello <i>big</i>\n    world\n  "
      "</p>\n  <p>\n    one <br/> two <a href=\"#b\"> link </a> end\n  </p>\n</card>\n<card "
      "id=\"b\"/>",
      "<card id=\"a\"><p>Name: <input name=\"n\" value=\"v\"/> Age: <input name=\"g\"/>\n"
      "<select name=\"s\">\n  <option value=\"1\"> One </option>\n  <option value=\"2\">Two "
      "</option>\n</select></p></card>",
      "<card id=\"a\"><p>\n<table columns=\"2\">\n<tr><td> One </td><td> Two </td></tr>\n"
      "<tr><td/><td> B </td><td>C<br/>D</td></tr>\n</table>\n</p></card>",
      "<card id=\"a\"><p>x $(v) y &nbsp; <u>z</u>\n<img src=\"none.wbmp\" alt=\"pic\"/> "
      ".</p></card>",
  };
  for (const std::string& card : cards) {
    const std::string deck = Deck(card);
    const std::optional<std::string> compiled = CompileDeck(deck);
    ASSERT_TRUE(compiled) << card;
    std::string error;
    const std::optional<std::string> decoded = DecodeWmlc(*compiled, error);
    ASSERT_TRUE(decoded) << error;
    EXPECT_EQ(ShowDeck(deck, {{"v", "val"}}), ShowDeck(*decoded, {{"v", "val"}}))
        << card << "\nas compiled:\n"
        << *decoded;
  }
}

}  // namespace
}  // namespace deckhand::wml
