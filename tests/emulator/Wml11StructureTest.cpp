// The structure of decks, WML 1.1 §11, as the emulator keeps it: the card
// renderer's text (white space §11.8.1, paragraphs §11.8.3, tables
// §11.8.5-§11.8.7) and the user agent's reading of the deck's elements.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "AgentFixture.h"
#include "emulator/CardRenderer.h"
#include "wml/DeckCheck.h"
#include "wml/WbxmlDecode.h"

namespace deckhand::wml {
namespace {

using testing::Deck;

class Wml11Structure : public testing::TScreenFixture {
 protected:
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

// The deck errors of WML 1.1 §11: those the WML 1.1 DTD makes invalid, and
// those the deck check finds beside it.
TEST_F(Wml11Structure, DeckErrorsOfTheStructureAreFound) {
  auto errors = [](const std::string& deck) {
    std::vector<std::string> messages;
    for (const TFinding& finding : CheckDeck(deck).Findings)
      if (finding.Severity == TSeverity::Error) messages.push_back(finding.Message);
    return messages;
  };
  auto count = [&](const std::string& deck, std::string_view part) {
    int n = 0;
    for (const std::string& message : errors(deck)) n += message.find(part) != std::string::npos;
    return n;
  };
  const std::string card = "<card id=\"a\"><p>x</p></card>";
  // §11.1: "It is an error to omit the prologue."
  EXPECT_TRUE(CheckDeck(Deck(card)).Valid);
  EXPECT_FALSE(CheckDeck("<?xml version=\"1.0\"?>\n<wml>" + card + "</wml>").Valid);
  const std::string noDeclaration = Deck(card).substr(Deck(card).find("<!DOCTYPE"));
  EXPECT_EQ(count(noDeclaration, "без XML-объявления"), 1);
  for (const TFinding& finding : CheckDeck(noDeclaration).Findings) {
    if (finding.Message.find("без XML-объявления") == std::string::npos) continue;
    // Where the declaration belongs, not at the root element.
    EXPECT_EQ(finding.Line, 1);
    EXPECT_EQ(finding.Column, 1);
  }
  EXPECT_EQ(count("\xEF\xBB\xBF" + Deck(card), "без XML-объявления"), 0);
  EXPECT_EQ(count(Deck(card), "без XML-объявления"), 0);
  // §11.3.1: "It is an error for a deck to contain more than one access
  // element."
  EXPECT_EQ(count(Deck("<head><access/><meta name=\"a\" content=\"b\"/></head>" + card), "access"),
            0);
  EXPECT_EQ(count(Deck("<head><access/><access domain=\"example.com\"/></head>" + card),
                  "Элемент access в колоде уже есть"),
            1);
  // §11.3.2: a meta names its property by exactly one of name and
  // http-equiv.
  EXPECT_EQ(count(Deck("<head><meta http-equiv=\"Expires\" content=\"0\"/></head>" + card), "meta"),
            0);
  EXPECT_EQ(count(Deck("<head><meta name=\"a\" http-equiv=\"b\" content=\"c\"/></head>" + card),
                  "и name, и http-equiv"),
            1);
  EXPECT_EQ(count(Deck("<head><meta content=\"c\"/></head>" + card), "ни name, ни http-equiv"), 1);
  // §11.6.4: "It is an error to include empty fieldset elements."
  auto fieldset = [](std::string_view content) {
    return Deck("<card id=\"a\"><p><fieldset>" + std::string(content) + "</fieldset></p></card>");
  };
  EXPECT_EQ(count(fieldset(""), "Пустой элемент fieldset"), 1);
  EXPECT_EQ(count(fieldset(" \n "), "Пустой элемент fieldset"), 1);
  EXPECT_EQ(count(fieldset("Name"), "fieldset"), 0);
  EXPECT_EQ(count(fieldset("<input name=\"n\"/>"), "fieldset"), 0);
  // §11.8.5: a columns value of zero is an error.
  auto table = [](std::string_view columns) {
    return Deck("<card id=\"a\"><p><table columns=\"" + std::string(columns) +
                "\"><tr><td>x</td></tr></table></p></card>");
  };
  EXPECT_EQ(count(table("0"), "число столбцов не может быть нулём"), 1);
  EXPECT_EQ(count(table("00"), "число столбцов не может быть нулём"), 1);
  EXPECT_EQ(count(table("10"), "столбцов"), 0);
  // §11.7: more than one timer in a card, and §11.6.2.3: an optgroup with
  // no option under it, are not valid by the DTD.
  EXPECT_FALSE(
      CheckDeck(Deck("<card id=\"a\"><timer value=\"1\"/><timer value=\"2\"/></card>")).Valid);
  EXPECT_FALSE(CheckDeck(Deck("<card id=\"a\"><p><select><optgroup/><option>x</option></select>"
                              "</p></card>"))
                   .Valid);
}

// WML 1.1 §11.6.2.1 and §11.6.3: the input and select elements of a card
// are initialised in the order they stand in the card, each from what the
// ones before it set.
TEST_F(Wml11Structure, FieldsAreInitialisedInTheOrderOfTheCard) {
  Open(R"w(<card id="a"><p><input name="a" value="2"/>
<select name="s" value="$(a)"><option value="1">1</option><option value="2">2</option></select>
<select name="t" value="$(b)"><option value="1">1</option><option value="2">2</option></select>
<input name="b" value="2"/></p></card>)w");
  EXPECT_EQ(agent_.Variable("s"), "2");  // a was set before
  EXPECT_EQ(agent_.Variable("t"), "1");  // b was not yet: option 1
  EXPECT_EQ(agent_.Variable("b"), "2");
}

// WML 1.1 §11.6.2.1, "validate": non-integer and out-of-range indices and
// duplicate indices are removed; "the iname result contains no duplicate
// index values".
TEST_F(Wml11Structure, SelectIndicesAreValidated) {
  Open(R"w(<card id="a"><p>
<select name="m" iname="mi" ivalue="3;x;3;0;9;1" multiple="true">
<option value="a">A</option><option value="b">B</option><option value="c">C</option></select>
</p></card>)w");
  ASSERT_EQ(agent_.Focusables().size(), 3u);
  EXPECT_EQ(agent_.OptionStates(agent_.Focusables()[0].Select),
            (std::vector<bool>{true, false, true}));
  const std::string mi = agent_.Variable("mi");
  EXPECT_TRUE(mi == "1;3" || mi == "3;1") << mi;
  const std::string m = agent_.Variable("m");
  EXPECT_TRUE(m == "a;c" || m == "c;a") << m;
  // The name result keeps a value as often as chosen options hold it.
  Open(R"w(<card id="a"><p><select name="d" multiple="true" ivalue="1;2;3">
<option value="x">1</option><option value="x">2</option><option value="">3</option>
</select></p></card>)w");
  EXPECT_EQ(agent_.Variable("d"), "x;x");
  Open(R"w(<card id="a"><p>
<select name="n" iname="ni" ivalue="x"><option value="a">A</option><option value="b">B</option></select>
</p></card>)w");
  // An index that is not valid leaves the default of a single select:
  // option 1.
  EXPECT_EQ(agent_.Variable("ni"), "1");
  EXPECT_EQ(agent_.Variable("n"), "a");
}

// WML 1.1 §11.6.2.1: "the user agent must not exhibit display side effects
// as a result of updating name and iname variables, except when there is an
// explicit refresh task".
TEST_F(Wml11Structure, PickingAnOptionShowsItsVariableOnlyAfterARefresh) {
  Open(R"w(<card id="a"><do type="accept"><refresh/></do>
<p>v=$(s)<select name="s"><option value="1">1</option><option value="2">2</option></select></p>
</card>)w");
  TPhoneScreen screen(agent_, DefaultPhone());
  auto firstLine = [&] { return screen.Render().copy(0, 0, 128, 10); };
  const QImage before = firstLine();  // v=1
  ASSERT_EQ(agent_.Focusables().size(), 2u);
  SelectItem(1);
  ASSERT_EQ(agent_.Variable("s"), "2");
  EXPECT_EQ(firstLine(), before) << "the text shows the new value before any refresh";
  agent_.SoftKey(0);  // refresh
  EXPECT_NE(firstLine(), before);
}

// WML 1.1 §11.6.3: what the user typed is stored "unaltered and in its
// entirety" (white space at its ends kept), escaped characters of the mask
// are part of the value, and a name variable that does not fit the mask is
// unset (here "12345123" against "NNNNN\-3N").
TEST_F(Wml11Structure, InputStoresWhatIsTypedUnalteredWithTheMasksEscapedCharacters) {
  Open(
      R"w(<card id="a"><p><input name="free"/><input name="zip" format="NNNNN\-3N"/></p></card>)w");
  agent_.SetFocus(0);
  agent_.Type("  two words ");
  EXPECT_EQ(agent_.Variable("free"), "  two words ");
  agent_.SetFocus(1);
  agent_.Type("12345123");
  EXPECT_EQ(agent_.Variable("zip"), "12345-123");

  Open(R"w(<card id="a"><do type="accept"><go href="#b"><setvar name="zip" value="12345123"/></go>
</do></card><card id="b"><p><input name="zip" format="NNNNN\-3N"/></p></card>)w");
  agent_.SoftKey(0);
  ASSERT_EQ(agent_.CardId(), "b");
  EXPECT_EQ(agent_.Variable("zip"), "");
}

// WML 1.1 §11.6.3, emptyok: given, it says whether an empty entry is
// accepted; not given, the format decides ("true" when the mask is implied
// or a "*f" code). The standard's own lists of inputs that require input and
// that do not; any input given must match the format either way.
TEST_F(Wml11Structure, EmptyokOrElseTheFormatDecidesWhetherInputIsRequired) {
  const std::vector<std::pair<std::string, bool>> inputs = {
      {R"(format="M*M")", false},
      {R"(emptyok="false")", false},
      {R"(emptyok="false" format="M*M")", false},
      {R"(emptyok="false" format="*M")", false},
      {"", true},
      {R"(format="*M")", true},
      {R"(emptyok="true")", true},
      {R"(emptyok="true" format="M*M")", true},
      {R"(emptyok="true" format="*M")", true},
  };
  for (const auto& [attributes, empty] : inputs) {
    Open("<card id=\"a\"><p><input name=\"x\" " + attributes + "/></p></card>");
    ASSERT_EQ(agent_.Focusables().size(), 1u);
    EXPECT_EQ(agent_.InputAcceptable(agent_.Focusables()[0].Node), empty) << attributes;
  }
  Open(R"w(<card id="a"><p><input name="x" emptyok="true" format="NN"/></p></card>)w");
  agent_.SetFocus(0);
  agent_.Type("1");
  EXPECT_FALSE(agent_.InputAcceptable(agent_.Focusables()[0].Node));
  // An entry emptied where empty input is accepted is committed: the
  // variable is unset.
  Open(R"w(<card id="a"><p><input name="x" format="*M" value="ab"/></p></card>)w");
  ASSERT_EQ(agent_.Variable("x"), "ab");
  agent_.SetFocus(0);
  while (agent_.Erase()) {
  }
  EXPECT_EQ(agent_.Variable("x"), "");
}

// WML 1.1 §11.6.3: "If the input collected does not conform to the input
// mask, the user agent must not commit that input and must notify the user
// that the input was rejected". An entry left incomplete when a task runs
// is such an attempt to commit.
TEST_F(Wml11Structure, IncompleteEntryIsRejectedWithANotice) {
  Open(R"w(<card id="a"><do type="accept"><go href="#b"/></do>
<p><input name="pin" format="NNNN"/></p></card><card id="b"/>)w");
  agent_.SetFocus(0);
  agent_.Type("12");
  agent_.SoftKey(0);
  EXPECT_EQ(agent_.Variable("pin"), "");
  EXPECT_EQ(agent_.Error(), "Ввод в поле pin не принят: он не подходит к формату NNNN");
  // A complete entry is committed and leaves no notice; an empty one is no
  // input at all.
  for (const std::string typed : {"1234", ""}) {
    Open(R"w(<card id="a"><do type="accept"><go href="#b"/></do>
<p><input name="pin" format="NNNN"/></p></card><card id="b"/>)w");
    agent_.SetFocus(0);
    agent_.Type(typed);
    agent_.SoftKey(0);
    EXPECT_EQ(agent_.CardId(), "b");
    EXPECT_EQ(agent_.Variable("pin"), typed);
    EXPECT_EQ(agent_.Error(), "") << typed;
  }
}

// WML 1.1 §11.7: "A timeout value of zero (0) disables the timer"; a
// name variable holding 0 disables it too.
TEST_F(Wml11Structure, TimerOfZeroDoesNotRun) {
  Open(R"w(<card id="a" ontimer="#b"><timer value="0"/><p>a</p></card><card id="b"/>)w");
  EXPECT_FALSE(agent_.TimerDueInMs());
  Wait(60000);
  EXPECT_EQ(agent_.CardId(), "a");
}

// WML 1.1 §11.5.2: a line break before and after each table (none before
// the card's first markup, none after its last); §11.8.5: a row with fewer
// cells than columns is padded with empty cells; §11.8.6 and §11.8.7: empty
// rows and empty cells are significant and not ignored.
TEST_F(Wml11Structure, TablesStandOnLinesOfTheirOwnAndKeepEmptyRowsAndCells) {
  auto table = [](std::string_view rows, int columns = 1) {
    return "<table columns=\"" + std::to_string(columns) + "\">" + std::string(rows) + "</table>";
  };
  EXPECT_EQ(Text("x" + table("<tr><td>t</td></tr>") + "y"), Text("x<br/>t<br/>y"));
  EXPECT_EQ(Text(table("<tr><td>t</td></tr>") + "y"), Text("t<br/>y"));
  EXPECT_EQ(Text(table("<tr><td>A</td></tr><tr><td/></tr><tr><td>B</td></tr>")),
            Text("A<br/><br/>B"));
  // The empty first cell keeps B in the second column.
  EXPECT_NE(Text(table("<tr><td/><td>B</td></tr>", 2)), Text(table("<tr><td>B</td></tr>", 2)));
  EXPECT_EQ(Text(table("<tr><td>A</td></tr>", 2)), Text(table("<tr><td>A</td><td/></tr>", 2)));
  // Columns drawn side by side are kept apart by a gutter: full cells leave
  // the last pixel column of the first cell blank (content width 124, two
  // columns of 62 after the 1-pixel margin).
  const QImage full = Text(table(
      "<tr><td>" + std::string(12, 'W') + "</td><td>" + std::string(12, 'W') + "</td></tr>", 2));
  int inked = 0;
  for (int x = 1; x < 1 + 61; ++x) inked += full.pixel(x, 5) != qRgb(255, 255, 255);
  EXPECT_GT(inked, 0);
  for (int y = 0; y < 10; ++y) EXPECT_EQ(full.pixel(1 + 61, y), qRgb(255, 255, 255)) << y;
}

// WML 1.1 §11.8.3: "Empty paragraphs (i.e., an empty element or an element
// with only insignificant white space) should be considered as
// insignificant and ignored ... Insignificant paragraphs do not impact
// line-wrap mode."
TEST_F(Wml11Structure, EmptyParagraphsAreIgnoredAndOthersStandOnLinesOfTheirOwn) {
  const std::string line = std::string(30, 'a') + " b";
  auto card = [this](std::string_view paragraphs) {
    return Show("<card id=\"a\">" + std::string(paragraphs) + "</card>");
  };
  EXPECT_EQ(card("<p>x</p><p>  </p><p/><p>y</p>"), card("<p>x</p><p>y</p>"));
  // "The user agent must insert a line break into the text flow between
  // significant p elements."
  EXPECT_EQ(card("<p>x</p><p>y</p>"), card("<p>x<br/>y</p>"));
  // The soft hyphen is ignored where the line does not break at it.
  EXPECT_EQ(card("<p>x</p><p>ab&shy;cd</p>"), card("<p>x<br/>abcd</p>"));
  EXPECT_EQ(card("<p mode=\"nowrap\"> </p><p>" + line + "</p>"), card("<p>" + line + "</p>"));
  EXPECT_EQ(card("<p mode=\"nowrap\">x</p><p mode=\"wrap\"/><p>" + line + "</p>"),
            card("<p mode=\"nowrap\">x</p><p>" + line + "</p>"));
}

// WML 1.1 §11.6.2.3 and §11.6.4: a user agent that does not build the
// hierarchy of optgroup and fieldset elements still processes all their
// children.
TEST_F(Wml11Structure, ChildrenOfOptgroupAndFieldsetAreProcessed) {
  Open(R"w(<card id="a"><p><fieldset title="f">Name <input name="n" value="v"/>
<fieldset><select name="s" ivalue="3"><optgroup title="g"><option value="1">1</option>
<optgroup><option value="2">2</option></optgroup></optgroup><option value="3">3</option>
</select></fieldset></fieldset></p></card>)w");
  EXPECT_EQ(agent_.Variable("n"), "v");
  EXPECT_EQ(agent_.Variable("s"), "3");
  EXPECT_EQ(agent_.Focusables().size(), 4u);
  EXPECT_EQ(Text("<fieldset>a</fieldset><fieldset>b</fieldset>"), Text("a<br/>b"));
}

// The same agreement over the decks of the corpus: each deck's first card
// looks the same as the first card of its compiled form.
TEST_F(Wml11Structure, CorpusDecksLookTheSameAsTheirCompiledForms) {
  const std::filesystem::path corpus(DECKHAND_CORPUS_DIR);
  if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << corpus << " is absent";
  std::vector<std::filesystem::path> decks;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus))
    if (entry.is_regular_file() && entry.path().extension() == ".wml")
      decks.push_back(entry.path());
  std::sort(decks.begin(), decks.end());
  int compared = 0;
  for (const std::filesystem::path& path : decks) {
    std::ifstream in(path, std::ios::binary);
    const std::string deck((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::optional<std::string> compiled = CompileDeck(deck);
    if (!compiled) continue;  // a deck that does not compile has nothing to compare
    std::string error;
    const std::optional<std::string> decoded = DecodeWmlc(*compiled, error);
    ASSERT_TRUE(decoded) << path << ": " << error;
    agent_.Open(deck, path.string());
    const QImage source = TPhoneScreen(agent_, DefaultPhone()).Render();
    agent_.Open(*decoded, path.string());
    EXPECT_EQ(source, TPhoneScreen(agent_, DefaultPhone()).Render()) << path;
    ++compared;
  }
  EXPECT_GT(compared, 0);
}

// WML 1.1 §11.3.2: "If the value is "false" an intermediate agent MUST
// remove the "meta" element before the document is sent to the client";
// with "true" the meta data is delivered. The compiler makes what a gateway
// sends to the phone.
TEST_F(Wml11Structure, CompiledDeckLeavesOutMetaNotForTheUserAgent) {
  auto compiled = [](std::string_view meta, std::string_view access = "<access/>") {
    const std::string deck =
        Deck("<head><meta name=\"n\" content=\"c\"" + std::string(meta) + "/>" +
             std::string(access) + "</head><card id=\"a\"><p>x</p></card>");
    const std::optional<std::string> bytes = CompileDeck(deck);
    std::string error;
    const std::optional<std::string> decoded = bytes ? DecodeWmlc(*bytes, error) : std::nullopt;
    return decoded.value_or("");
  };
  EXPECT_NE(compiled(" forua=\"true\"").find("<meta"), std::string::npos);
  EXPECT_EQ(compiled(" forua=\"false\"").find("<meta"), std::string::npos);
  // "false" is the default; the access element stays.
  EXPECT_EQ(compiled("").find("<meta"), std::string::npos);
  EXPECT_NE(compiled("").find("<access"), std::string::npos);
  // A head left empty goes too: head must hold an element.
  const std::string onlyMeta = compiled("", "");
  EXPECT_EQ(onlyMeta.find("<head"), std::string::npos);
  EXPECT_NE(onlyMeta.find("<card"), std::string::npos);
  EXPECT_NE(compiled(" forua=\"true\"", "").find("<head"), std::string::npos);
}

}  // namespace
}  // namespace deckhand::wml
