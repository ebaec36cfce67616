// The emulator's user agent, one small deck per WML construct: which card
// shows after which keys, what the variables hold after setvar, input and
// select, timers, the history and newcontext.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "AgentFixture.h"
#include "emulator/EmulatorLimits.h"
#include "emulator/UserAgent.h"

namespace deckhand::wml {
namespace {

using testing::Deck;

class UserAgentTest : public testing::TAgentFixture {};

TEST_F(UserAgentTest, LinksGoToCardsAndPrevWalksTheHistoryBack) {
  Open(R"w(<card id="a"><p><a href="#b">to b</a> <anchor>to c<go href="#c"/></anchor></p></card>
<card id="b"><p><a href="#c">to c</a></p></card>
<card id="c"><p>end</p></card>)w");
  EXPECT_EQ(agent_.CardId(), "a");
  ASSERT_EQ(agent_.Focusables().size(), 2u);
  SelectItem(0);
  EXPECT_EQ(agent_.CardId(), "b");
  SelectItem(0);
  EXPECT_EQ(agent_.CardId(), "c");
  EXPECT_EQ(agent_.HistoryDepth(), 3);
  agent_.Back();
  EXPECT_EQ(agent_.CardId(), "b");
  agent_.Back();
  EXPECT_EQ(agent_.CardId(), "a");
  agent_.Back();  // nothing before the first card
  EXPECT_EQ(agent_.CardId(), "a");
  SelectItem(1);  // the anchor's go
  EXPECT_EQ(agent_.CardId(), "c");
  EXPECT_TRUE(agent_.Error().empty()) << agent_.Error();
}

TEST_F(UserAgentTest, AMissingCardIsAnErrorAndTheScreenStays) {
  Open(R"w(<card id="a"><p><a href="#nowhere">x</a></p></card>)w");
  SelectItem(0);
  EXPECT_EQ(agent_.CardId(), "a");
  EXPECT_NE(agent_.Error().find("nowhere"), std::string::npos);
}

TEST_F(UserAgentTest, SetvarAndVariableConversions) {
  Open(R"w(<card id="a"><do type="accept"><go href="#b"><setvar name="who" value="Иван Петров"/>
<setvar name="q" value="a%20b"/></go></do></card>
<card id="b"><p>$(who) $who $$ $(q:u) $(q:n) $(who:e)</p>
<do type="accept"><go href="#c?x=$(who)"/></do></card>
<card id="c"><p>c</p></card>)w");
  EXPECT_EQ(agent_.SoftKeyLabel(0).Label, "OK");
  agent_.SoftKey(0);
  EXPECT_EQ(agent_.CardId(), "b");
  EXPECT_EQ(agent_.Variable("who"), "Иван Петров");
  EXPECT_EQ(agent_.Substitute("$(who) $who $$ $(q:u) $(q:unesc) $(q:n) $(q:noesc)"),
            "Иван Петров Иван Петров $ a b a b a%20b a%20b");
  EXPECT_EQ(agent_.Substitute("$(who:e)"),
            "%D0%98%D0%B2%D0%B0%D0%BD%20%D0%9F%D0%B5%D1%82%D1%80%D0%BE%D0%B2");
  EXPECT_EQ(agent_.Substitute("$(who:escape)"), agent_.Substitute("$(who:E)"));
  // A conversion WML does not know, and a bad name, stay as written.
  EXPECT_EQ(agent_.Substitute("$(who:unescape) $(na#me) $"), "$(who:unescape) $(na#me) $");
  // In an address the default is escaping; an unset variable is empty.
  EXPECT_EQ(agent_.Substitute("$(nobody)|$nobody"), "|");
}

TEST_F(UserAgentTest, InputFollowsFormatMaxlengthAndEmptyok) {
  Open(R"w(<card id="a"><p>
<input name="pin" format="NNNN"/>
<input name="code" format="\+NNN" maxlength="4"/>
<input name="name" maxlength="3" value="Ann"/>
<input name="pw" type="password" emptyok="true" format="*a"/>
</p></card>)w");
  ASSERT_EQ(agent_.Focusables().size(), 4u);
  EXPECT_EQ(agent_.Variable("name"), "Ann");  // value attribute
  agent_.SetFocus(0);
  agent_.Type("12a3");  // a letter does not fit N
  EXPECT_EQ(agent_.InputText(agent_.Focusables()[0].Node), "123");
  EXPECT_EQ(agent_.Variable("pin"), "");  // incomplete: not committed
  EXPECT_FALSE(agent_.InputAcceptable(agent_.Focusables()[0].Node));
  agent_.Type("45");
  EXPECT_EQ(agent_.Variable("pin"), "1234");  // the fifth digit does not fit the mask
  EXPECT_TRUE(agent_.Erase());
  EXPECT_EQ(agent_.InputText(agent_.Focusables()[0].Node), "123");

  agent_.SetFocus(1);
  agent_.Type("7777");  // the literal "+" is put in for the user
  EXPECT_EQ(agent_.Variable("code"), "+777");

  agent_.SetFocus(2);
  agent_.Type("x");  // maxlength 3 reached
  EXPECT_EQ(agent_.Variable("name"), "Ann");
  while (agent_.Erase()) {
  }
  EXPECT_FALSE(agent_.Erase());
  agent_.Type("Яна");
  EXPECT_EQ(agent_.Variable("name"), "Яна");

  agent_.SetFocus(3);
  EXPECT_TRUE(agent_.InputAcceptable(agent_.Focusables()[3].Node));  // emptyok
  agent_.Type("abc1");
  EXPECT_EQ(agent_.Variable("pw"), "abc");
}

TEST_F(UserAgentTest, FormatMasks) {
  EXPECT_TRUE(FormatComplete("NNN", U"123"));
  EXPECT_FALSE(FormatComplete("NNN", U"12"));
  EXPECT_TRUE(FormatComplete("A*a", U"Яблоко"));
  EXPECT_FALSE(FormatComplete("A*a", U"яблоко"));
  EXPECT_TRUE(FormatComplete("3N", U""));
  EXPECT_TRUE(FormatComplete("3N", U"12"));
  EXPECT_FALSE(FormatComplete("3N", U"1234"));
  EXPECT_TRUE(FormatAllows("X", 0, U'5'));
  EXPECT_FALSE(FormatAllows("x", 0, U'Q'));
  EXPECT_TRUE(FormatAllows("M", 0, U'щ'));
  EXPECT_EQ(FormatLiteral("NN\\-NN", 2), U'-');
  // A mask WML does not allow ("*" before the end) restricts nothing.
  EXPECT_TRUE(FormatComplete("*NA", U"anything"));
}

TEST_F(UserAgentTest, SelectSingleMultipleInameAndOnpick) {
  Open(R"w(<card id="a"><p>
<select name="drink" iname="di" value="tea">
<option value="coffee">Кофе</option><option value="tea">Чай</option>
<option value="milk" onpick="#milk">Молоко</option></select>
<select name="extra" multiple="true" ivalue="1;3">
<optgroup title="g"><option value="s">sugar</option><option value="l">lemon</option></optgroup>
<option value="c">cream</option></select>
</p></card>
<card id="milk"><p>milk</p></card>)w");
  EXPECT_EQ(agent_.Variable("drink"), "tea");  // from value
  EXPECT_EQ(agent_.Variable("di"), "2");
  EXPECT_EQ(agent_.Variable("extra"), "s;c");  // from ivalue
  ASSERT_EQ(agent_.Focusables().size(), 6u);
  SelectItem(0);
  EXPECT_EQ(agent_.Variable("drink"), "coffee");
  EXPECT_EQ(agent_.Variable("di"), "1");
  SelectItem(4);  // lemon on
  SelectItem(3);  // sugar off
  EXPECT_EQ(agent_.Variable("extra"), "l;c");
  EXPECT_EQ(agent_.OptionStates(agent_.Focusables()[3].Select),
            (std::vector<bool>{false, true, true}));
  SelectItem(2);  // milk: onpick goes to its card
  EXPECT_EQ(agent_.CardId(), "milk");
  EXPECT_EQ(agent_.Variable("drink"), "milk");
  agent_.Back();
  // Back on the first card the select shows what the variables hold.
  EXPECT_EQ(agent_.OptionStates(agent_.Focusables()[0].Select),
            (std::vector<bool>{false, false, true}));
}

TEST_F(UserAgentTest, TimersFireInOrderAndChainToTheFourthCard) {
  Open(R"w(<card id="c1" ontimer="#c2"><timer value="10"/><p>1</p></card>
<card id="c2" ontimer="#c3"><timer value="5"/><p>2</p></card>
<card id="c3"><onevent type="ontimer"><go href="#c4"/></onevent><timer name="t" value="20"/><p>3</p></card>
<card id="c4"><p>4</p></card>)w");
  EXPECT_EQ(agent_.CardId(), "c1");
  EXPECT_EQ(agent_.TimerDueInMs(), 1000);
  Wait(999);
  EXPECT_EQ(agent_.CardId(), "c1");
  Wait(1);
  EXPECT_EQ(agent_.CardId(), "c2");
  Wait(500);
  EXPECT_EQ(agent_.CardId(), "c3");
  EXPECT_EQ(agent_.Variable("t"), "20");
  Wait(1999);
  EXPECT_EQ(agent_.CardId(), "c3");
  Wait(1);
  EXPECT_EQ(agent_.CardId(), "c4");
  EXPECT_EQ(agent_.Variable("t"), "0");
  EXPECT_FALSE(agent_.TimerDueInMs());
  Wait(100000);
  EXPECT_EQ(agent_.CardId(), "c4");
}

TEST_F(UserAgentTest, LeavingACardKeepsTheTimersRestInItsVariable) {
  Open(R"w(<card id="a" ontimer="#b"><timer name="left" value="50"/><p><a href="#b">b</a></p></card>
<card id="b"><p>b</p></card>)w");
  now_ += 2000;
  SelectItem(0);
  EXPECT_EQ(agent_.Variable("left"), "30");
  agent_.Back();  // the timer starts again from the variable
  EXPECT_EQ(agent_.TimerDueInMs(), 3000);
}

TEST_F(UserAgentTest, EnterEventsAndTemplate) {
  Open(R"w(<template><do type="prev" label="Назад"><prev/></do>
<onevent type="onenterbackward"><refresh><setvar name="back" value="yes"/></refresh></onevent></template>
<card id="a" onenterforward="#b"><p>a</p></card>
<card id="b"><p><a href="#c">c</a></p></card>
<card id="c"><do type="prev" label="Hidden"><noop/></do><do type="accept"><prev/></do><p>c</p></card>)w");
  EXPECT_EQ(agent_.CardId(), "b");                   // onenterforward went on at once
  EXPECT_EQ(agent_.SoftKeyLabel(0).Label, "Назад");  // the template's do
  SelectItem(0);
  EXPECT_EQ(agent_.CardId(), "c");
  // The card's noop do shadows and hides the template's prev.
  ASSERT_EQ(agent_.DoElements().size(), 1u);
  agent_.SoftKey(0);
  EXPECT_EQ(agent_.CardId(), "b");
  EXPECT_EQ(agent_.Variable("back"), "yes");  // the template's onenterbackward
}

TEST_F(UserAgentTest, EndlessEventChainsStop) {
  Open(R"w(<card id="a" onenterforward="#b"><p>a</p></card>
<card id="b" onenterforward="#a"><p>b</p></card>)w");
  EXPECT_FALSE(agent_.Error().empty());
  EXPECT_NE(agent_.Card(), nullptr);
}

TEST_F(UserAgentTest, NewcontextClearsVariablesAndHistory) {
  Open(
      R"w(<card id="a"><do type="accept"><go href="#b"><setvar name="x" value="1"/></go></do></card>
<card id="b"><do type="accept"><go href="#c"><setvar name="y" value="2"/></go></do><p>$x</p></card>
<card id="c" newcontext="true"><p>c</p></card>)w");
  agent_.SoftKey(0);
  EXPECT_EQ(agent_.Variable("x"), "1");
  EXPECT_EQ(agent_.HistoryDepth(), 2);
  agent_.SoftKey(0);
  EXPECT_EQ(agent_.CardId(), "c");
  EXPECT_EQ(agent_.Variable("x"), "");
  // WML 1.1 §12.5.1: the go's setvar is applied, then the new context unsets it.
  EXPECT_EQ(agent_.Variable("y"), "");
  EXPECT_EQ(agent_.HistoryDepth(), 1);
  agent_.Back();
  EXPECT_EQ(agent_.CardId(), "c");
}

TEST_F(UserAgentTest, SoftKeysAndTheOptionsMenu) {
  Open(R"w(<card id="a"><do type="accept" label="Один"><go href="#b"/></do>
<do type="options" label="Два"><go href="#c"/></do><do type="help"><go href="#d"/></do><p>a</p></card>
<card id="b"/><card id="c"/><card id="d"/>)w");
  EXPECT_EQ(agent_.SoftKeyLabel(0).Label, "Один");
  EXPECT_EQ(agent_.SoftKeyLabel(1).Label, "Опции");
  agent_.SoftKey(1);
  ASSERT_TRUE(agent_.MenuOpen());
  ASSERT_EQ(agent_.Focusables().size(), 2u);
  EXPECT_EQ(agent_.DoLabel(agent_.Focusables()[1].Node), "Справка");
  agent_.Back();
  EXPECT_FALSE(agent_.MenuOpen());
  agent_.SoftKey(1);
  SelectItem(1);
  EXPECT_EQ(agent_.CardId(), "d");
}

TEST_F(UserAgentTest, NetworkAddressesBecomeRequestsAndNothingIsSent) {
  Open(R"w(<card id="a"><p><input name="q"/>
<anchor>find<go href="http://example.invalid/s?q=$(q)" method="post"><postfield name="q" value="$q"/>
<postfield name="n" value="1"/></go></anchor></p></card>)w");
  agent_.SetFocus(0);
  agent_.Type("wap сайт");
  SelectItem(1);
  ASSERT_TRUE(agent_.Request());
  EXPECT_EQ(agent_.Request()->Method, "POST");
  EXPECT_EQ(agent_.Request()->Url, "http://example.invalid/s?q=wap%20%D1%81%D0%B0%D0%B9%D1%82");
  EXPECT_EQ(agent_.Request()->Describe(),
            "POST http://example.invalid/s?q=wap%20%D1%81%D0%B0%D0%B9%D1%82\nq=wap сайт\nn=1");
  EXPECT_EQ(agent_.CardId(), "a");
  agent_.Back();
  EXPECT_FALSE(agent_.Request());
}

TEST_F(UserAgentTest, GoToAnotherDeckFileNextToTheDeck) {
  auto dir = std::filesystem::temp_directory_path() /
             ("deckhand-ua-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
              std::to_string(reinterpret_cast<std::uintptr_t>(this)));
  std::filesystem::create_directories(dir / "sub");
  std::ofstream(dir / "sub" / "two.wml") << Deck(R"w(<card id="x"><p>x</p></card>
<card id="y"><p><a href="../one.wml#b">back</a></p></card>)w");
  std::string one = (dir / "one.wml").string();
  Open(R"w(<card id="a"><p><a href="sub/two.wml#y">two</a> <a href="gone.wml">gone</a></p></card>
<card id="b"><p>b</p></card>)w",
       one);
  // one.wml itself is the editor's text, not the file: it need not exist.
  SelectItem(0);
  EXPECT_EQ(agent_.CardId(), "y");
  EXPECT_EQ(agent_.DeckPath(), (dir / "sub" / "two.wml").string());
  agent_.Back();  // back into the editor's deck
  EXPECT_EQ(agent_.CardId(), "a");
  EXPECT_EQ(agent_.DeckPath(), one);
  SelectItem(0);
  SelectItem(0);  // ../one.wml#b from sub/two.wml
  EXPECT_EQ(agent_.CardId(), "b");
  EXPECT_EQ(agent_.HistoryDepth(), 3);
  EXPECT_TRUE(agent_.Error().empty()) << agent_.Error();

  Open(R"w(<card id="a"><p><a href="gone.wml">gone</a></p></card>)w", one);
  SelectItem(0);
  EXPECT_EQ(agent_.CardId(), "a");
  EXPECT_NE(agent_.Error().find("gone.wml"), std::string::npos);

  Open(R"w(<card id="a"><p><a href="two.wml">two</a></p></card>)w");  // no file yet
  SelectItem(0);
  EXPECT_EQ(agent_.CardId(), "a");
  EXPECT_FALSE(agent_.Error().empty());
  std::filesystem::remove_all(dir);
}

TEST_F(UserAgentTest, ReloadStaysOnTheCardWithItsVariables) {
  Open(
      R"w(<card id="a"><do type="accept"><go href="#b"><setvar name="v" value="1"/></go></do></card>
<card id="b"><p>old</p></card>)w");
  agent_.SoftKey(0);
  agent_.Reload(Deck(R"w(<card id="a"/><card id="b"><p>new</p></card>)w"));
  EXPECT_EQ(agent_.CardId(), "b");
  EXPECT_EQ(agent_.Variable("v"), "1");
  agent_.Reload("<wml><car");  // mid-edit: no cards for a moment
  EXPECT_EQ(agent_.Card(), nullptr);
  agent_.Reload(Deck(R"w(<card id="a"/><card id="b"><p>back</p></card>)w"));
  EXPECT_EQ(agent_.CardId(), "b");
  EXPECT_EQ(agent_.Variable("v"), "1");
  agent_.Reload(Deck(R"w(<card id="a"/><card id="c"/>)w"));  // b is gone: the first card
  EXPECT_EQ(agent_.CardId(), "a");
  agent_.Restart();
  EXPECT_EQ(agent_.Variable("v"), "");
  // A running timer survives an edit of its card, and a card that goes away
  // with its timer running leaves nothing behind.
  agent_.Open(
      Deck(R"w(<card id="t" ontimer="#u"><timer value="10"/><p>t</p></card><card id="u"/>)w"));
  now_ += 400;
  agent_.Reload(
      Deck(R"w(<card id="t" ontimer="#u"><timer value="10"/><p>t2</p></card><card id="u"/>)w"));
  EXPECT_EQ(agent_.TimerDueInMs(), 600);
  agent_.Reload(Deck(R"w(<card id="x"/>)w"));
  EXPECT_EQ(agent_.CardId(), "x");
  EXPECT_FALSE(agent_.TimerDueInMs());
}

TEST_F(UserAgentTest, BrokenDecksShowWhatTheyCan) {
  // Not well-formed, Windows-1251 with no declaration, unknown entity.
  agent_.Open(
      "<wml><card id=\"a\" title=\"\xcf\xf0\xe8\xe2\xe5\xf2\"><p>one &nbsp; &bogus; "
      "two<br></p></card>");
  ASSERT_NE(agent_.Card(), nullptr);
  EXPECT_EQ(agent_.Card()->AttributeOr("title"), "Привет");
  EXPECT_FALSE(agent_.Deck().ParseProblem.empty());
  // Declared UTF-8, typed in the editor's Windows-1251: the text still shows.
  agent_.Open(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><wml><card id=\"a\"><p>\xc4\xe0</p></card></wml>");
  ASSERT_NE(agent_.Card(), nullptr);
  EXPECT_EQ(agent_.Card()->Child("p")->Children.at(0).Text, "Да");
  agent_.Open("");
  EXPECT_EQ(agent_.Card(), nullptr);
  EXPECT_FALSE(agent_.Error().empty());
  agent_.Open(std::string("\x00\x01\xff binary", 10));
  EXPECT_EQ(agent_.Card(), nullptr);
}

TEST_F(UserAgentTest, RefreshAndPrevCarryTheirSetvars) {
  Open(R"w(<card id="a"><do type="accept"><go href="#b"/></do>
<p><a href="#a">self</a></p></card>
<card id="b" ontimer="#c"><timer name="t" value="$(delay)"/>
<do type="accept" label="R"><refresh><setvar name="who" value="Ann"/><setvar name="delay" value="7"/></refresh></do>
<do type="options" label="P"><prev><setvar name="from" value="b"/></prev></do>
<p><input name="who"/></p></card>
<card id="c"/>)w");
  agent_.SetVariable("delay", "30");
  agent_.SoftKey(0);
  ASSERT_EQ(agent_.CardId(), "b");
  EXPECT_EQ(agent_.TimerDueInMs(), 3000);  // the timer's value from a variable
  now_ += 1000;
  agent_.SoftKey(
      0);  // refresh: the field shows the new value, the timer goes on from what it had left
  EXPECT_EQ(agent_.InputText(agent_.Focusables()[0].Node), "Ann");
  EXPECT_EQ(agent_.TimerDueInMs(), 2000);
  agent_.SoftKey(1);  // prev with a setvar
  EXPECT_EQ(agent_.CardId(), "a");
  EXPECT_EQ(agent_.Variable("from"), "b");
}

TEST_F(UserAgentTest, SelectStartsFromItsInameVariable) {
  Open(
      R"w(<card id="a"><do type="accept"><go href="#b"><setvar name="i" value="3"/></go></do></card>
<card id="b"><p><select name="v" iname="i" value="x">
<option value="x">X</option><option value="y">Y</option><option value="z">Z</option></select></p></card>)w");
  agent_.SoftKey(0);
  EXPECT_EQ(agent_.Variable("i"), "3");
  EXPECT_EQ(agent_.Variable("v"), "z");  // iname wins over value
}

TEST_F(UserAgentTest, DeckModelEntitiesAndHostileInternalSubsets) {
  TDeck deck = ParseDeck(
      "<?xml version=\"1.0\"?><!DOCTYPE wml [<!ENTITY a \"xx\"><!ENTITY b "
      "\"&a;&a;&a;&a;&a;&a;&a;\">"
      "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;\">]>"
      "<wml><card id=\"k\"><p>1&nbsp;2&shy;3 &d; &a;</p></card></wml>");
  ASSERT_EQ(deck.Cards.size(), 1u);
  const std::string& text = deck.Cards[0]->Child("p")->Children.at(0).Text;
  // nbsp and shy come from WML; a deck's own entities give their literal text
  // and are not expanded further, so nothing multiplies.
  EXPECT_EQ(text.substr(0, 7),
            "1\xC2\xA0"
            "2\xC2\xAD"
            "3");
  EXPECT_LT(text.size(), 200u);
  // The same without any DOCTYPE, and with WML's own.
  for (const char* prolog : {"",
                             "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
                             "\"http://www.wapforum.org/DTD/wml_1.1.xml\">"}) {
    TDeck plain = ParseDeck(std::string(prolog) + "<wml><card><p>1&nbsp;2&amp;3</p></card></wml>");
    ASSERT_EQ(plain.Cards.size(), 1u) << prolog;
    EXPECT_EQ(plain.Cards[0]->Child("p")->Children.at(0).Text,
              "1\xC2\xA0"
              "2&3")
        << prolog;
  }
}

// WML 1.1 §12.5.5 for prev: a previous deck that can no longer be read or
// holds no card leaves the current card, its history and its variables.
TEST_F(UserAgentTest, PrevIntoADeckThatCannotBeReadKeepsTheCard) {
  std::map<std::string, std::string> files = {
      {"/d/two.wml", Deck(R"w(<card id="t"><p><a href="three.wml">3</a></p></card>)w")},
      {"/d/three.wml", Deck(R"w(<card id="c"><p>c</p></card>)w")}};
  agent_.SetLoader([&](const std::string& path, std::string& error) -> std::optional<std::string> {
    auto it = files.find(path);
    if (it == files.end()) {
      error = "Файл не найден: " + path;
      return std::nullopt;
    }
    return it->second;
  });
  Open(R"w(<card id="a"><p><a href="two.wml">2</a></p></card>)w", "/d/one.wml");
  SelectItem(0);
  SelectItem(0);
  ASSERT_EQ(agent_.CardId(), "c");
  agent_.SetVariable("v", "1");
  for (std::string replacement : {std::string(), std::string("plain text")}) {
    if (replacement.empty())
      files.erase("/d/two.wml");
    else
      files["/d/two.wml"] = replacement;
    agent_.Back();
    EXPECT_EQ(agent_.CardId(), "c");
    EXPECT_EQ(agent_.DeckPath(), "/d/three.wml");
    EXPECT_EQ(agent_.HistoryDepth(), 3);
    EXPECT_EQ(agent_.Variable("v"), "1");
    EXPECT_NE(agent_.Error().find("two.wml"), std::string::npos) << agent_.Error();
  }
  ASSERT_EQ(agent_.History().size(), 3u);
  EXPECT_EQ(agent_.History()[1].DeckPath, "/d/two.wml");
  EXPECT_EQ(agent_.History()[1].CardId, "t");
}

// The limits a phone had, enforced by the agent: each stops its step with a
// Russian message, throws nothing and leaves the agent usable.
class UserAgentLimits : public UserAgentTest {
 protected:
  std::size_t ContextBytes() const {
    std::size_t bytes = 0;
    for (const auto& [name, value] : agent_.Variables()) bytes += name.size() + value.size();
    return bytes;
  }
};

TEST_F(UserAgentLimits, DoublingVariableStopsAtTheLimit) {
  Open(
      R"w(<card id="a" ontimer="#a"><onevent type="onenterforward"><refresh><setvar name="x" value="$(x:n)$(x:n)ab"/></refresh></onevent><timer value="1"/><p>$(x)</p></card>)w");
  for (int tick = 0; tick < 100; ++tick) EXPECT_NO_THROW(Wait(100));
  EXPECT_EQ(agent_.CardId(), "a");
  EXPECT_LE(agent_.Variable("x").size(), kMaxVariableBytes);
  EXPECT_GE(agent_.Variable("x").size(), kMaxVariableBytes / 2);
  EXPECT_NE(agent_.Error().find("«x»"), std::string::npos) << agent_.Error();
  EXPECT_LE(agent_.HistoryDepth(), static_cast<int>(kMaxHistoryDepth));
  agent_.Restart();
  EXPECT_EQ(agent_.CardId(), "a");
  EXPECT_EQ(agent_.Variable("x"), "ab");
  EXPECT_TRUE(agent_.Error().empty()) << agent_.Error();
}

TEST_F(UserAgentLimits, ContextAndValuesStayWithinTheirLimits) {
  std::string setvars;
  for (int i = 0; i < 40; ++i)
    setvars += "<setvar name=\"v" + std::to_string(i) + "\" value=\"$(big)\"/>";
  Open("<card id=\"a\"><do type=\"accept\"><go href=\"#b\">" + setvars +
       "</go></do><p>a</p></card><card id=\"b\"><p>b</p></card>");
  agent_.SetVariable("big", std::string(kMaxVariableBytes + 1, 'z'));  // too long: refused
  EXPECT_EQ(agent_.Variable("big"), "");
  EXPECT_NE(agent_.Error().find("«big»"), std::string::npos) << agent_.Error();
  agent_.SetVariable("big", std::string(kMaxVariableBytes - 10, 'z'));
  EXPECT_EQ(agent_.Variable("big").size(), kMaxVariableBytes - 10);
  // 40 copies would take far more than the context may hold: the go stops
  // before it changes anything.
  agent_.SoftKey(0);
  EXPECT_EQ(agent_.CardId(), "a");
  EXPECT_FALSE(agent_.Error().empty());
  EXPECT_EQ(agent_.Variables().size(), 1u);
  EXPECT_LE(ContextBytes(), kMaxContextBytes);
  // Typing stops at the value's limit too.
  Open(R"w(<card id="t"><p><input name="in"/></p></card>)w");
  agent_.SetFocus(0);
  for (int i = 0; i < 10; ++i) agent_.Type(std::string(kMaxVariableBytes / 4, 'q'));
  EXPECT_LE(agent_.Variable("in").size(), kMaxVariableBytes);
  EXPECT_FALSE(agent_.Error().empty());
}

TEST_F(UserAgentLimits, EndlessTaskChainsStopAtTheStepLimit) {
  Open(
      R"w(<card id="a"><onevent type="onenterforward"><go href="#b"><setvar name="n" value="$(n)1"/></go></onevent><p>a</p></card>
<card id="b"><onevent type="onenterforward"><go href="#a"><setvar name="n" value="$(n)1"/></go></onevent><p>b</p></card>)w");
  EXPECT_NE(agent_.Error().find("без конца"), std::string::npos) << agent_.Error();
  EXPECT_NE(agent_.Card(), nullptr);
  // Every step of the chain ran, up to the limit, and no further.
  EXPECT_GT(agent_.Variable("n").size(), static_cast<std::size_t>(kMaxTaskSteps) / 2);
  EXPECT_LE(agent_.Variable("n").size(), static_cast<std::size_t>(kMaxTaskSteps));
  // Each user action has its own budget: a refresh still works.
  Open(
      R"w(<card id="a"><do type="accept"><refresh><setvar name="k" value="1"/></refresh></do></card>)w");
  agent_.SoftKey(0);
  EXPECT_EQ(agent_.Variable("k"), "1");
  EXPECT_TRUE(agent_.Error().empty()) << agent_.Error();
}

TEST_F(UserAgentLimits, HistoryKeepsTheNewestCardsUpToTheLimit) {
  Open(R"w(<card id="a" ontimer="#b"><timer value="1"/><p>a</p></card>
<card id="b" ontimer="#a"><timer value="1"/><p>b</p></card>)w");
  const int ticks = static_cast<int>(kMaxHistoryDepth) * 3 + 1;
  for (int tick = 0; tick < ticks; ++tick) Wait(100);
  EXPECT_EQ(agent_.CardId(), "b");  // every tick went forward
  EXPECT_EQ(agent_.HistoryDepth(), static_cast<int>(kMaxHistoryDepth));
  EXPECT_NE(agent_.Error().find("История"), std::string::npos) << agent_.Error();
  for (int back = 1; back < static_cast<int>(kMaxHistoryDepth); ++back) agent_.Back();
  EXPECT_EQ(agent_.HistoryDepth(), 1);
  std::string oldest = agent_.CardId();
  agent_.Back();
  EXPECT_EQ(agent_.CardId(), oldest);
}

TEST_F(UserAgentLimits, AllocationFailureInAStepLeavesTheAgentUsable) {
  auto dir = std::filesystem::temp_directory_path() /
             ("deckhand-ua-oom-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "two.wml") << Deck(R"w(<card id="x"><p><a href="#y">y</a></p></card>
<card id="y"><p>y</p></card>)w");
  Open(R"w(<card id="a"><p><a href="#b">b</a> <a href="two.wml">two</a></p></card>
<card id="b"><p>b</p></card>)w",
       (dir / "one.wml").string());
  // Every point where a step can fail, one after the other: the first task
  // step, and the middle of a go to another deck file (its tree replaced,
  // the card not yet entered).
  for (int failAt = 1; failAt <= 2; ++failAt) {
    SCOPED_TRACE(failAt);
    agent_.Restart();
    int calls = 0;
    agent_.SetStepHook([&] {
      if (++calls == failAt) throw std::bad_alloc();
    });
    EXPECT_NO_THROW(SelectItem(1));
    agent_.SetStepHook({});
    EXPECT_NE(agent_.Error().find("памяти"), std::string::npos) << agent_.Error();
    // Whatever the screen shows now is a card of the deck held, and the
    // keys work on it.
    if (agent_.Card()) {
      EXPECT_GE(agent_.Deck().IndexOf(agent_.Card()), 0);
    }
    EXPECT_NO_THROW(SelectItem(0));
    EXPECT_NO_THROW(agent_.Back());
    agent_.Restart();
    EXPECT_EQ(agent_.CardId(), "a");
    SelectItem(1);
    EXPECT_EQ(agent_.CardId(), "x");
    EXPECT_TRUE(agent_.Error().empty()) << agent_.Error();
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace deckhand::wml
