// Rules of WML 1.1 (WAP-191) for the user agent: newcontext (§10.2),
// variable names (§10.3), the input's initial value (§11.6.3), the steps of
// the go task (§12.5.1) and the noop task (§12.5.3). Each deck is driven through TUserAgent as the
// emulator's keys drive it.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <string>

#include "AgentFixture.h"
#include "emulator/CardRenderer.h"
#include "emulator/UserAgent.h"

namespace deckhand::wml {
namespace {

using testing::Deck;

class Wml11Rules : public testing::TAgentFixture {};

// A card with newcontext="true" re-initialises the browser context when a go
// task enters it. Coming back to the card by prev, or showing it again by
// refresh, is not such an entry: the variables and the history stay.
TEST_F(Wml11Rules, NewcontextActsOnlyWhenTheCardIsEnteredByGo) {
  Open(R"w(<card id="a"><do type="accept"><go href="#b"/></do></card>
<card id="b" newcontext="true">
<do type="accept"><go href="#c"><setvar name="y" value="2"/></go></do>
<do type="options" label="R"><refresh><setvar name="z" value="3"/></refresh></do><p>b</p></card>
<card id="c"><do type="accept"><prev/></do><p>c</p></card>)w");
  agent_.SetVariable("x", "1");
  agent_.SoftKey(0);
  ASSERT_EQ(agent_.CardId(), "b");
  EXPECT_EQ(agent_.Variable("x"), "");  // entered by go: a new context
  EXPECT_EQ(agent_.HistoryDepth(), 1);

  agent_.SoftKey(0);
  ASSERT_EQ(agent_.CardId(), "c");
  EXPECT_EQ(agent_.HistoryDepth(), 2);
  agent_.SoftKey(0);  // prev back into the newcontext card
  ASSERT_EQ(agent_.CardId(), "b");
  EXPECT_EQ(agent_.Variable("y"), "2");
  EXPECT_EQ(agent_.HistoryDepth(), 1);

  agent_.SoftKey(0);  // to c again, so the history holds two cards
  agent_.SoftKey(0);
  agent_.SoftKey(1);  // refresh on the newcontext card
  EXPECT_EQ(agent_.CardId(), "b");
  EXPECT_EQ(agent_.Variable("y"), "2");
  EXPECT_EQ(agent_.Variable("z"), "3");
  EXPECT_EQ(agent_.HistoryDepth(), 1);
  EXPECT_TRUE(agent_.Error().empty()) << agent_.Error();
}

// Variable names are case-sensitive: $Name and $name are two variables.
TEST_F(Wml11Rules, VariableNamesAreCaseSensitive) {
  Open(R"w(<card id="a"><do type="accept"><go href="#b">
<setvar name="Name" value="upper"/><setvar name="name" value="lower"/><setvar name="NAME" value="all"/>
</go></do></card>
<card id="b"><p>$Name $(name) $(NAME:n) $(nAmE)</p></card>)w");
  agent_.SoftKey(0);
  ASSERT_EQ(agent_.CardId(), "b");
  EXPECT_EQ(agent_.Variable("Name"), "upper");
  EXPECT_EQ(agent_.Variable("name"), "lower");
  EXPECT_EQ(agent_.Variable("NAME"), "all");
  EXPECT_EQ(agent_.Variable("nAmE"), "");
  EXPECT_EQ(agent_.Substitute("$Name $(name) $(NAME:n) [$(nAmE)]"), "upper lower all []");
}

// §12.5.1 step 1: the names and values of the go's setvars are substituted in
// the context as it was before the task, all of them before any is set; the
// href is substituted before the setvars are applied.
TEST_F(Wml11Rules, GoSubstitutesEverySetvarAndTheHrefBeforeApplyingAny) {
  Open(R"w(<card id="a"><do type="accept"><go href="#$(page)">
<setvar name="first" value="$(second)"/><setvar name="second" value="$(first)"/>
<setvar name="$(which)" value="named by a variable"/><setvar name="page" value="bad"/>
</go></do><p>a</p></card>
<card id="good"><p>good</p></card>
<card id="bad"><p>bad</p></card>)w");
  agent_.SetVariable("first", "1");
  agent_.SetVariable("second", "2");
  agent_.SetVariable("which", "target");
  agent_.SetVariable("page", "good");
  agent_.SoftKey(0);
  EXPECT_EQ(agent_.CardId(), "good");  // not "bad": the href came first
  EXPECT_EQ(agent_.Variable("first"), "2");
  EXPECT_EQ(agent_.Variable("second"), "1");  // swapped, not "2" twice
  EXPECT_EQ(agent_.Variable("target"), "named by a variable");
  EXPECT_EQ(agent_.Variable("page"), "bad");
  EXPECT_TRUE(agent_.Error().empty()) << agent_.Error();
}

// §12.5.1 step 4: the destination card is the one the fragment names; an
// address without a fragment shows the first card of the destination deck.
TEST_F(Wml11Rules, AddressWithoutAFragmentShowsTheFirstCardOfTheDeck) {
  int reads = 0;
  agent_.SetLoader(
      [&reads](const std::string& path, std::string& error) -> std::optional<std::string> {
        ++reads;
        if (path == "/decks/two.wml")
          return Deck(R"w(<card id="first"><p>1</p></card><card id="second"><p>2</p></card>)w");
        error = "no such deck " + path;
        return std::nullopt;
      });
  Open(R"w(<card id="a"><p><a href="two.wml">two</a> <a href="two.wml#second">second</a>
</p></card><card id="b"><p>b</p></card>)w",
       "/decks/one.wml");
  agent_.SetFocus(0);
  agent_.Select();
  EXPECT_EQ(agent_.CardId(), "first");
  EXPECT_EQ(agent_.DeckPath(), "/decks/two.wml");
  EXPECT_EQ(agent_.HistoryDepth(), 2);
  agent_.Back();
  ASSERT_EQ(agent_.CardId(), "a");
  agent_.SetFocus(1);
  agent_.Select();
  EXPECT_EQ(agent_.CardId(), "second");
  EXPECT_GE(reads, 2);
  EXPECT_TRUE(agent_.Error().empty()) << agent_.Error();
}

// §12.5.1 steps 7 and 8: the destination card is pushed onto the history
// before its onenterforward task runs; that task's go pushes its own
// destination in turn. prev from there comes back to the card whose
// onenterforward went on, entered backward, so it stays.
TEST_F(Wml11Rules, GoPushesTheDestinationBeforeItsOnenterforwardRuns) {
  Open(R"w(<card id="a"><p><a href="#b">b</a></p></card>
<card id="b" onenterforward="#c"><p>b</p></card>
<card id="c"><do type="accept"><prev/></do><p>c</p></card>)w");
  agent_.SetFocus(0);
  agent_.Select();
  ASSERT_EQ(agent_.CardId(), "c");
  EXPECT_EQ(agent_.HistoryDepth(), 3);
  agent_.SoftKey(0);
  EXPECT_EQ(agent_.CardId(), "b");
  EXPECT_EQ(agent_.HistoryDepth(), 2);
  EXPECT_TRUE(agent_.Error().empty()) << agent_.Error();
}

// §11.6.3: an input's name variable whose value does not fit the format is
// unset, and the variable is initialised from the value attribute instead;
// a value attribute that does not fit either leaves the variable unset. A
// value that fits is kept.
TEST_F(Wml11Rules, InputVariableThatDoesNotFitTheFormatGivesWayToTheValue) {
  Open(R"w(<card id="a"><do type="accept"><go href="#b"/></do><p>a</p></card>
<card id="b"><p><input name="pin" format="NNN" value="999"/>
<input name="code" format="NN" value="ab"/>
<input name="kept" format="NNN" value="000"/></p></card>)w");
  agent_.SetVariable("pin", "12a");
  agent_.SetVariable("code", "1x");
  agent_.SetVariable("kept", "123");
  agent_.SoftKey(0);
  ASSERT_EQ(agent_.CardId(), "b");
  EXPECT_EQ(agent_.Variable("pin"), "999");
  EXPECT_EQ(agent_.InputText(agent_.Focusables()[0].Node), "999");
  EXPECT_EQ(agent_.Variable("code"), "");
  EXPECT_EQ(agent_.InputText(agent_.Focusables()[1].Node), "");
  EXPECT_EQ(agent_.Variable("kept"), "123");
}

// §12.5.3: noop does nothing. Whatever event holds it (entry, timer, pick),
// the card, the variables and the history stay as they were.
TEST_F(Wml11Rules, NoopDoesNothingWhateverEventHoldsIt) {
  Open(R"w(<card id="a"><do type="accept"><go href="#b"/></do><p>a</p></card>
<card id="b">
<onevent type="onenterforward"><noop/></onevent>
<onevent type="ontimer"><noop/></onevent>
<timer name="t" value="10"/>
<p><select name="s"><option value="one"><onevent type="onpick"><noop/></onevent>1</option>
<option value="two">2</option></select></p></card>)w");
  agent_.SoftKey(0);
  ASSERT_EQ(agent_.CardId(), "b");  // the noop onenterforward: the card is shown
  EXPECT_EQ(agent_.HistoryDepth(), 2);
  ASSERT_EQ(agent_.Focusables().size(), 2u);
  const auto variables = agent_.Variables();

  agent_.SetFocus(0);
  agent_.Select();  // picking the option sets its value; its noop onpick does nothing more
  EXPECT_EQ(agent_.CardId(), "b");
  EXPECT_EQ(agent_.Variable("s"), "one");
  EXPECT_EQ(agent_.HistoryDepth(), 2);

  Wait(1000);  // the timer expires into noop
  EXPECT_EQ(agent_.CardId(), "b");
  EXPECT_EQ(agent_.HistoryDepth(), 2);
  EXPECT_EQ(agent_.Variable("t"), "0");
  EXPECT_EQ(agent_.Variables().size(), variables.size());
  EXPECT_TRUE(agent_.Error().empty()) << agent_.Error();
}

// The card as the Nokia 7110's screen shows it.
QImage Screen(const std::string& cards) {
  testing::EnsureGuiApplication();
  TUserAgent agent([] { return std::int64_t{0}; });
  agent.Open(Deck(cards));
  const TPhoneProfile* phone = FindPhone("Nokia 7110");
  EXPECT_NE(phone, nullptr);
  TPhoneScreen screen(agent, phone ? *phone : DefaultPhone());
  return screen.Render();
}

// §11.8.3: a paragraph without a mode attribute keeps the line-wrap mode of
// the paragraph before it in the card; the first paragraph of a card wraps.
// align is the paragraph's own: without it the lines are left-aligned.
TEST_F(Wml11Rules, ParagraphWithoutModeTakesThePreviousParagraphsMode) {
  const std::string longText = "Очень длинная строка, которая шире экрана телефона";
  const std::string card = "<card id=\"a\"><p mode=\"nowrap\">1</p><p MODE>" + longText +
                           "</p><p mode=\"wrap\">2</p><p MODE>" + longText + "</p></card>";
  auto with = [&](const std::string& second, const std::string& fourth) {
    std::string text = card;
    text.replace(text.find("<p MODE>"), 8, "<p" + second + ">");
    text.replace(text.find("<p MODE>"), 8, "<p" + fourth + ">");
    return Screen(text);
  };
  const QImage inherited = with("", "");
  EXPECT_EQ(inherited, with(" mode=\"nowrap\"", " mode=\"wrap\""));
  EXPECT_NE(inherited, with(" mode=\"wrap\"", " mode=\"wrap\""));  // the long line wrapped

  EXPECT_EQ(Screen("<card id=\"a\"><p>" + longText + "</p></card>"),
            Screen("<card id=\"a\"><p mode=\"wrap\">" + longText + "</p></card>"));
  EXPECT_EQ(Screen("<card id=\"a\"><p align=\"right\">1</p><p>2</p></card>"),
            Screen("<card id=\"a\"><p align=\"right\">1</p><p align=\"left\">2</p></card>"));
}

}  // namespace
}  // namespace deckhand::wml
