// The user agent against WML 1.1 (WAP-191), one rule per test: small decks
// written from the standard's own words, with the neighbours of each rule
// in the same section.
#include <gtest/gtest.h>

#include <map>

#include "AgentFixture.h"
#include "emulator/UserAgent.h"

namespace deckhand::wml {
namespace {

using testing::Deck;

class Wml11UserAgent : public testing::TAgentFixture {
 protected:
  bool HasVariable(const std::string& name) const { return agent_.Variables().count(name) > 0; }
  const TNode* SelectNode(int index) const {
    int seen = -1;
    const TNode* last = nullptr;
    for (const TFocusable& item : agent_.Focusables()) {
      if (item.Kind != TFocusKind::Option || item.Select == last) continue;
      last = item.Select;
      if (++seen == index) return last;
    }
    return nullptr;
  }
};

// §11.7: "If the value of the timeout is not a positive integral number, the
// user agent must ignore the timer element." A zero timeout runs no timer
// either; a valid one counts tenths of a second, from the name variable when
// that is set.
TEST_F(Wml11UserAgent, TimerValueThatIsNotAPositiveIntegerRunsNoTimer) {
  for (const char* value : {"2.5", "-3", "abc", "0", "", "1e2", "5x", "+"}) {
    SCOPED_TRACE(value);
    Open(std::string(R"w(<card id="a" ontimer="#b"><timer name="t" value=")w") + value +
         R"w("/><p>a</p></card><card id="b"><p>b</p></card>)w");
    EXPECT_FALSE(agent_.TimerDueInMs());
    Wait(100000);
    EXPECT_EQ(agent_.CardId(), "a");
    EXPECT_FALSE(HasVariable("t"));
  }
  // A valid timeout, substituted from a variable, in tenths of a second.
  Open(R"w(<card id="s"><onevent type="onenterforward"><go href="#a">
<setvar name="v" value="15"/></go></onevent></card>
<card id="a" ontimer="#b"><timer name="t" value="$(v)"/><p>a</p></card>
<card id="b"><p>b</p></card>)w");
  EXPECT_EQ(agent_.CardId(), "a");
  EXPECT_EQ(agent_.TimerDueInMs(), 1500);
  EXPECT_EQ(agent_.Variable("t"), "15");
  Wait(1500);
  EXPECT_EQ(agent_.CardId(), "b");
  // The name variable, when set, wins over the value attribute; a bad one
  // stops the timer as a bad value does.
  Open(R"w(<card id="s"><onevent type="onenterforward"><go href="#a">
<setvar name="t" value="7"/></go></onevent></card>
<card id="a" ontimer="#b"><timer name="t" value="50"/><p>a</p></card>
<card id="b"><p>b</p></card>)w");
  EXPECT_EQ(agent_.TimerDueInMs(), 700);
  Open(R"w(<card id="s"><onevent type="onenterforward"><go href="#a">
<setvar name="t" value="0.7"/></go></onevent></card>
<card id="a" ontimer="#b"><timer name="t" value="50"/><p>a</p></card>
<card id="b"><p>b</p></card>)w");
  EXPECT_FALSE(agent_.TimerDueInMs());
  EXPECT_EQ(agent_.Variable("t"), "0.7");
}

// §12.5.2: with no previous card in the history, the prev task stops before
// its setvar elements are applied: nothing changes. With one, they are
// applied and the previous card shows.
TEST_F(Wml11UserAgent, PrevWithEmptyHistoryAppliesNoSetvar) {
  Open(R"w(<card id="a"><do type="prev"><prev><setvar name="x" value="1"/></prev></do>
<p><a href="#b">b</a></p></card>
<card id="b"><do type="prev"><prev><setvar name="x" value="2"/></prev></do><p>b</p></card>)w");
  agent_.SoftKey(0);
  EXPECT_EQ(agent_.CardId(), "a");
  EXPECT_FALSE(HasVariable("x"));
  EXPECT_EQ(agent_.HistoryDepth(), 1);
  SelectItem(0);
  EXPECT_EQ(agent_.CardId(), "b");
  agent_.SoftKey(0);
  EXPECT_EQ(agent_.CardId(), "a");
  EXPECT_EQ(agent_.Variable("x"), "2");
  EXPECT_EQ(agent_.HistoryDepth(), 1);
}

// §12.5.1 step 4c: a fragment that names no card of the destination deck
// makes the deck's first card the destination; it is entered as any go
// destination is (history, setvars).
TEST_F(Wml11UserAgent, GoToAFragmentNamingNoCardShowsTheFirstCard) {
  Open(R"w(<card id="first"><p><a href="#second">2</a></p></card>
<card id="second"><p><anchor>x<go href="#nowhere"><setvar name="v" value="1"/></go></anchor>
<a href="#">empty</a></p></card>)w");
  SelectItem(0);
  ASSERT_EQ(agent_.CardId(), "second");
  SelectItem(0);
  EXPECT_EQ(agent_.CardId(), "first");
  EXPECT_EQ(agent_.HistoryDepth(), 3);
  EXPECT_EQ(agent_.Variable("v"), "1");
  agent_.Back();
  EXPECT_EQ(agent_.CardId(), "second");
  SelectItem(1);  // "#": an empty fragment names no card either
  EXPECT_EQ(agent_.CardId(), "first");
}

// §12.5.1 steps 5 then 6: the go's variable assignments are applied to the
// current context, then a destination with newcontext="true" re-initialises
// it (§10.2: all variables unset, the history emptied), so they are gone.
TEST_F(Wml11UserAgent, GoSetvarsAreAppliedBeforeNewcontextClearsThem) {
  Open(
      R"w(<card id="a"><do type="accept"><go href="#b"><setvar name="x" value="1"/></go></do></card>
<card id="b"><do type="accept"><go href="#c"><setvar name="y" value="2"/></go></do></card>
<card id="c" newcontext="true"><onevent type="onenterforward"><refresh>
<setvar name="z" value="$(y)-$(x)"/></refresh></onevent><p>c</p></card>)w");
  agent_.SoftKey(0);
  agent_.SoftKey(0);
  EXPECT_EQ(agent_.CardId(), "c");
  EXPECT_FALSE(HasVariable("x"));
  EXPECT_FALSE(HasVariable("y"));
  // The card's own onenterforward runs in the new context.
  EXPECT_EQ(agent_.Variable("z"), "-");
  EXPECT_EQ(agent_.HistoryDepth(), 1);
}

// §9.4: "The setvar element must be ignored if the name attribute does not
// evaluate to a legal variable name at runtime." The other setvars of the
// task and the task itself go on.
TEST_F(Wml11UserAgent, SetvarWithAnIllegalVariableNameIsIgnored) {
  Open(R"w(<card id="a"><do type="accept"><go href="#b">
<setvar name="9lives" value="1"/><setvar name="x-y" value="2"/><setvar name="a b" value="3"/>
<setvar name="" value="4"/><setvar name="$(n)" value="5"/><setvar name="ok_1" value="6"/>
<setvar name="$(bad)" value="7"/></go></do></card>
<card id="b"><p>b</p></card>)w");
  agent_.SetVariable("n", "named");
  agent_.SetVariable("bad", "no good");
  agent_.SoftKey(0);
  EXPECT_EQ(agent_.CardId(), "b");
  EXPECT_EQ(agent_.Variable("named"), "5");
  EXPECT_EQ(agent_.Variable("ok_1"), "6");
  for (const auto& [name, value] : agent_.Variables())
    EXPECT_TRUE(name == "n" || name == "bad" || name == "named" || name == "ok_1") << name;
}

// §11.6.2: an option's value is substituted (variables) before it is stored
// in the select's name variable, and the default is matched against the
// substituted value.
TEST_F(Wml11UserAgent, OptionValueIsSubstitutedBeforeItIsStored) {
  Open(R"w(<card id="s"><onevent type="onenterforward"><go href="#a">
<setvar name="v" value="tea"/></go></onevent></card>
<card id="a"><p><select name="drink" iname="di" value="tea">
<option value="milk">Молоко</option><option value="$(v)">Чай</option>
<option value="x$(v:e)y">?</option></select></p></card>)w");
  ASSERT_EQ(agent_.CardId(), "a");
  EXPECT_EQ(agent_.Variable("drink"), "tea");
  EXPECT_EQ(agent_.Variable("di"), "2");
  SelectItem(2);
  EXPECT_EQ(agent_.Variable("drink"), "xteay");
  SelectItem(1);
  EXPECT_EQ(agent_.Variable("drink"), "tea");
}

// §11.6.2.1, single select: the default option index comes from the iname
// variable, then ivalue, each only when it is one valid index; then from the
// whole value of the name variable, then the value attribute; else option 1.
TEST_F(Wml11UserAgent, SingleSelectMatchesTheWholeNameValueAndFallsBackToOptionOne) {
  Open(R"w(<card id="s"><onevent type="onenterforward"><go href="#a">
<setvar name="n" value="1;2"/><setvar name="bad" value="0"/></go></onevent></card>
<card id="a"><p>
<select name="n" iname="i1"><option value="1">1</option><option value="2">2</option>
<option value="1;2">both</option></select>
<select name="n2" iname="i2" ivalue="2;3"><option value="p">p</option><option value="q">q</option>
<option value="r">r</option></select>
<select name="n3" iname="bad" ivalue="9"><option value="p">p</option><option value="q">q</option></select>
<select name="n4" iname="i4" ivalue="abc" value="q;p"><option value="p">p</option>
<option value="q">q</option><option value="q;p">qp</option></select>
</p></card>)w");
  ASSERT_EQ(agent_.CardId(), "a");
  EXPECT_EQ(agent_.OptionStates(SelectNode(0)), (std::vector<bool>{false, false, true}));
  EXPECT_EQ(agent_.Variable("n"), "1;2");
  EXPECT_EQ(agent_.Variable("i1"), "3");
  // "2;3" is not one valid index: option 1.
  EXPECT_EQ(agent_.OptionStates(SelectNode(1)), (std::vector<bool>{true, false, false}));
  EXPECT_EQ(agent_.Variable("n2"), "p");
  EXPECT_EQ(agent_.Variable("i2"), "1");
  // Index 0 and an index beyond the options are not valid either.
  EXPECT_EQ(agent_.OptionStates(SelectNode(2)), (std::vector<bool>{true, false}));
  EXPECT_EQ(agent_.Variable("bad"), "1");
  // The value attribute is matched whole too.
  EXPECT_EQ(agent_.OptionStates(SelectNode(3)), (std::vector<bool>{false, false, true}));
  EXPECT_EQ(agent_.Variable("i4"), "3");
}

// §11.6.2.1, multiple select: the name variable holds the values of the
// chosen options with empty values left out; the default index list is
// validated (no index out of range, none twice); with no default, "the
// default option index is set to zero": nothing is chosen, the name
// variable stays unset and the iname variable is "0".
TEST_F(Wml11UserAgent, MultipleSelectLeavesOutEmptyValuesAndChoosesNothingWithoutADefault) {
  Open(R"w(<card id="a"><p>
<select name="m" iname="mi" multiple="true" ivalue="1;2;3"><option value="a">a</option>
<option value="">empty</option><option>none</option><option value="c">c</option></select>
<select name="none" iname="ni" multiple="true"><option value="x">x</option>
<option value="y">y</option></select>
<select name="v" iname="vi" multiple="true" ivalue="0;4;2;2;9"><option value="p">p</option>
<option value="q">q</option><option value="r">r</option><option value="s">s</option></select>
</p></card>)w");
  EXPECT_EQ(agent_.Variable("m"), "a");
  EXPECT_EQ(agent_.Variable("mi"), "1;2;3");
  SelectItem(3);
  EXPECT_EQ(agent_.Variable("m"), "a;c");
  EXPECT_EQ(agent_.OptionStates(SelectNode(1)), (std::vector<bool>{false, false}));
  EXPECT_FALSE(HasVariable("none"));
  EXPECT_EQ(agent_.Variable("ni"), "0");
  EXPECT_EQ(agent_.OptionStates(SelectNode(2)), (std::vector<bool>{false, true, false, true}));
  EXPECT_EQ(agent_.Variable("v"), "q;s");
  EXPECT_EQ(agent_.Variable("vi"), "2;4");
}

// §9.5.1: with method="get" the postfields are URL-escaped and added to the
// query of the address; the request shows that address. sendreferer="true"
// sends the URI of the deck holding the task, relative when it can be (a
// file deck and a network address share no base, so it is absolute).
TEST_F(Wml11UserAgent, GetWithPostfieldsAddsThemToTheQueryAndShowsTheReferer) {
  Open(R"w(<card id="a"><p>
<anchor>get<go href="http://example.invalid/foo" sendreferer="true"><postfield name="x" value="1"/>
<postfield name="y y" value="a b&amp;c=д"/></go></anchor>
<anchor>more<go href="http://example.invalid/foo?p=0#top" method="get"><postfield name="x" value="1"/>
</go></anchor>
<anchor>post<go href="http://example.invalid/foo" method="post"><postfield name="x" value="1"/>
</go></anchor></p></card>)w",
       "/decks/my deck.wml");
  SelectItem(0);
  ASSERT_TRUE(agent_.Request());
  EXPECT_EQ(agent_.Request()->Method, "GET");
  EXPECT_EQ(agent_.Request()->Url, "http://example.invalid/foo?x=1&y%20y=a%20b%26c%3D%D0%B4");
  EXPECT_EQ(agent_.Request()->Referer, "file:///decks/my%20deck.wml");
  EXPECT_EQ(agent_.Request()->Describe(),
            "GET http://example.invalid/foo?x=1&y%20y=a%20b%26c%3D%D0%B4\n"
            "Referer: file:///decks/my%20deck.wml");
  agent_.Back();
  SelectItem(1);
  ASSERT_TRUE(agent_.Request());
  EXPECT_EQ(agent_.Request()->Url, "http://example.invalid/foo?p=0&x=1#top");
  EXPECT_EQ(agent_.Request()->Referer, "");
  agent_.Back();
  SelectItem(2);
  ASSERT_TRUE(agent_.Request());
  EXPECT_EQ(agent_.Request()->Url, "http://example.invalid/foo");
  EXPECT_EQ(agent_.Request()->Describe(), "POST http://example.invalid/foo\nx=1");
}

// §12.5.5: when a go's destination cannot be shown as a deck, the invoking
// card stays current; the context is not changed, pending setvars included;
// the user is told why.
TEST_F(Wml11UserAgent, GoToSomethingThatIsNotADeckKeepsTheInvokingCard) {
  std::map<std::string, std::string> files = {
      {"/decks/calc.wmls", "extern function add(a, b) { return a + b; }"},
      {"/decks/logo.gif", std::string("GIF89a\x01\x00\x01\x00\x80\x00\x00", 13)},
      {"/decks/logo.wbmp", std::string("\x00\x00\x08\x08\xff\xff\xff\xff\xff\xff\xff\xff", 12)},
      {"/decks/notes.txt", "just some text"},
      {"/decks/other.xml", "<?xml version=\"1.0\"?><catalog><item/></catalog>"},
      {"/decks/empty.wml", Deck("")},
  };
  agent_.SetLoader([&](const std::string& path, std::string& error) -> std::optional<std::string> {
    auto it = files.find(path);
    if (it == files.end()) {
      error = "Файл не найден: " + path;
      return std::nullopt;
    }
    return it->second;
  });
  std::string links;
  for (const auto& [path, bytes] : files)
    links += "<anchor>f<go href=\"" + path.substr(7) +
             "\"><setvar name=\"pending\" value=\"1\"/></go></anchor>\n";
  Open(R"w(<card id="a"><p><a href="#b">b</a></p></card>
<card id="b" ontimer="#a"><timer value="100"/><p>)w" +
           links + "</p></card>",
       "/decks/home.wml");
  SelectItem(0);
  ASSERT_EQ(agent_.CardId(), "b");
  agent_.SetVariable("kept", "yes");
  int index = 0;
  for (const auto& [path, bytes] : files) {
    SCOPED_TRACE(path);
    now_ += 10;
    SelectItem(index++);
    EXPECT_EQ(agent_.CardId(), "b");
    ASSERT_NE(agent_.Card(), nullptr);
    EXPECT_EQ(agent_.DeckPath(), "/decks/home.wml");
    EXPECT_EQ(agent_.HistoryDepth(), 2);
    EXPECT_EQ(agent_.Variables(), (std::map<std::string, std::string>{{"kept", "yes"}}));
    EXPECT_NE(agent_.Error().find(path.substr(7)), std::string::npos) << agent_.Error();
    EXPECT_EQ(agent_.Focusables().size(), files.size());
    EXPECT_TRUE(agent_.TimerDueInMs());  // the card's timer runs on
  }
  // The keys still work: back to the first card.
  agent_.Back();
  EXPECT_EQ(agent_.CardId(), "a");
}

// §10.3.1: a variable reference with no conversion is escaped in the
// attributes that hold an address (href, src, onenterforward,
// onenterbackward), and left as it is in text and other attributes; an
// explicit conversion is kept everywhere.
TEST_F(Wml11UserAgent, UnconvertedVariablesInAddressesAreEscaped) {
  Open(R"w(<card id="a" onenterforward="http://example.invalid/in?$(q)">
<p><img src="pic/$(q).wbmp" alt="$(q)"/></p></card>
<card id="b" onenterbackward="http://example.invalid/back?$q"><p><a href="#c">c</a>
<anchor>n<go href="http://example.invalid/n?$(q:n)"/></anchor></p></card>
<card id="c"><p>c</p></card>)w");
  agent_.SetVariable("q", "a b/д&");
  const std::string escaped = "a%20b%2F%D0%B4%26";
  const TNode* card = agent_.Deck().Cards[0];
  const TNode* img = card->Child("p")->Child("img");
  ASSERT_NE(img, nullptr);
  EXPECT_EQ(agent_.SubstituteAttribute(*img, "src"), "pic/" + escaped + ".wbmp");
  EXPECT_EQ(agent_.SubstituteAttribute(*img, "alt"), "a b/д&");
  EXPECT_EQ(agent_.SubstituteAttribute(*card, "onenterforward"),
            "http://example.invalid/in?" + escaped);
  EXPECT_EQ(TUserAgent::AttributeConversion("href"), TConversion::Escape);
  EXPECT_EQ(TUserAgent::AttributeConversion("onenterbackward"), TConversion::Escape);
  EXPECT_EQ(TUserAgent::AttributeConversion("title"), TConversion::None);
  // The events themselves: the request carries the escaped address.
  agent_.Open(Deck(R"w(<card id="s"><p><a href="#a">a</a> <a href="#b">b</a></p></card>
<card id="a" onenterforward="http://example.invalid/in?$(q)"/>
<card id="b" onenterbackward="http://example.invalid/back?$q"><p><a href="#c">c</a>
<anchor>n<go href="http://example.invalid/n?$(q:n)"/></anchor></p></card>
<card id="c"><p>c</p></card>)w"));
  agent_.SetVariable("q", "a b/д&");
  SelectItem(0);
  ASSERT_TRUE(agent_.Request());
  EXPECT_EQ(agent_.Request()->Url, "http://example.invalid/in?" + escaped);
  agent_.Back();  // the request screen closes on card a
  agent_.Back();
  ASSERT_EQ(agent_.CardId(), "s");
  SelectItem(1);
  ASSERT_EQ(agent_.CardId(), "b");
  SelectItem(1);
  ASSERT_TRUE(agent_.Request());
  EXPECT_EQ(agent_.Request()->Url, "http://example.invalid/n?a b/д&");
  agent_.Back();
  SelectItem(0);
  ASSERT_EQ(agent_.CardId(), "c");
  agent_.Back();
  ASSERT_TRUE(agent_.Request());
  EXPECT_EQ(agent_.Request()->Url, "http://example.invalid/back?" + escaped);
}

// §11.6.3: the format code N accepts a numeric character only: no sign, no
// decimal point.
TEST_F(Wml11UserAgent, FormatNNNNRefusesSignsAndPoint) {
  Open(R"w(<card id="a"><p><input name="pin" format="NNNN"/></p></card>)w");
  agent_.SetFocus(0);
  for (char32_t ch : {U'-', U'+', U'.', U',', U' ', U'e'})
    EXPECT_FALSE(FormatAllows("NNNN", 0, ch));
  agent_.Type("-+.");
  EXPECT_EQ(agent_.InputText(agent_.Focusables()[0].Node), "");
  agent_.Type("-1+2.3,4");
  EXPECT_EQ(agent_.InputText(agent_.Focusables()[0].Node), "1234");
  EXPECT_EQ(agent_.Variable("pin"), "1234");
  EXPECT_FALSE(FormatComplete("NNNN", U"-123"));
  EXPECT_FALSE(FormatComplete("NNNN", U"12.3"));
  EXPECT_TRUE(FormatComplete("NNNN", U"0000"));
}

}  // namespace
}  // namespace deckhand::wml
