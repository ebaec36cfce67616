// WML 1.1 (WAP-191) chapters 9 and 10 against the user agent and the deck
// checker: the history, tasks, shadowing, do, anchor and intrinsic events,
// the browser context and variables, each from the standard's own words.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AgentFixture.h"
#include "emulator/UserAgent.h"
#include "wml/DeckCheck.h"

namespace deckhand::wml {
namespace {

using testing::Deck;

class Wml11Navigation : public testing::TAgentFixture {
 protected:
  // The labels of the do elements on offer, in order.
  std::vector<std::string> Labels() const {
    std::vector<std::string> labels;
    for (const TNode* element : agent_.DoElements()) labels.push_back(agent_.DoLabel(element));
    return labels;
  }
  // The focus index of the n-th option of the card.
  int OptionFocus(int n) const {
    int seen = 0;
    const std::vector<TFocusable>& items = agent_.Focusables();
    for (int i = 0; i < static_cast<int>(items.size()); ++i)
      if (items[i].Kind == TFocusKind::Option && seen++ == n) return i;
    return -1;
  }
};

// The checker's error findings of a deck (its messages).
std::vector<std::string> Errors(std::string_view cards) {
  std::vector<std::string> errors;
  for (const TFinding& finding : CheckDeck(Deck(cards)).Findings)
    if (finding.Severity == TSeverity::Error) errors.push_back(finding.Message);
  return errors;
}

// §9.2: "an entry for the card is added to the history stack even if it is
// identical to the most recent entry"; variable references in the history
// data are replaced by their values before the entry is added, and prev pops
// the current card.
TEST_F(Wml11Navigation, EveryGoPushesAnEntryEvenForTheSameCardAndPrevPopsIt) {
  Open(R"w(<card id="a"><onevent type="onenterforward"><refresh>
<setvar name="t" value="b"/></refresh></onevent>
<do type="accept"><go href="#$(t)"><setvar name="t" value="a"/></go></do><p>a</p></card>
<card id="b"><do type="accept"><go href="#b"/></do><p>b</p></card>)w");
  agent_.SoftKey(0);
  ASSERT_EQ(agent_.CardId(), "b");
  EXPECT_EQ(agent_.Variable("t"), "a");
  agent_.SoftKey(0);
  EXPECT_EQ(agent_.CardId(), "b");
  ASSERT_EQ(agent_.HistoryDepth(), 3);
  // The entry holds the card the address named when it was followed, not
  // the reference: "t" now names card a.
  EXPECT_EQ(agent_.History()[1].CardId, "b");
  agent_.Back();
  EXPECT_EQ(agent_.CardId(), "b");
  EXPECT_EQ(agent_.HistoryDepth(), 2);
  agent_.Back();
  EXPECT_EQ(agent_.CardId(), "a");
  EXPECT_EQ(agent_.HistoryDepth(), 1);
}

// §9.5.1 sendreferer: the URI of the referring deck "must be the smallest
// relative URI possible if it can be relative at all" (an absolute path
// where that is shorter); a deck of another server is named by its absolute
// URI.
TEST_F(Wml11Navigation, SendrefererGivesTheSmallestRelativeUriOfTheDeck) {
  std::vector<std::string> referers;
  const std::string home = "http://example.test/a/b/deck.wml";
  agent_.SetNetwork([&](const TRequest& request) {
    TNetworkReply reply;
    if (request.Address != home) {
      referers.push_back(request.Referer);
      reply.Error = "Сервер ответил 404";
      return reply;
    }
    reply.Kind = TNetworkReply::TKind::Deck;
    reply.Url = home;
    reply.Body = Deck(R"w(<card id="c"><p>
<anchor>1<go href="next.wml" sendreferer="true"/></anchor>
<anchor>2<go href="/a/c/x.wml?q=1" sendreferer="true"/></anchor>
<anchor>3<go href="/x.wml" sendreferer="true"/></anchor>
<anchor>4<go href="https://example.test/a/b/y.wml" sendreferer="true"/></anchor>
<anchor>5<go href="http://EXAMPLE.test/a/b/c/d/z.wml" sendreferer="true"/></anchor>
<anchor>6<go href="next.wml"/></anchor></p></card>)w");
    return reply;
  });
  Open(R"w(<card><p><a href="http://example.test/a/b/deck.wml">go</a></p></card>)w");
  agent_.Select();
  ASSERT_EQ(agent_.CardId(), "c") << agent_.Error();
  for (int i = 0; i < 6; ++i) {
    SelectItem(i);
    agent_.Back();  // the error screen
  }
  EXPECT_EQ(referers,
            (std::vector<std::string>{"deck.wml", "../b/deck.wml", "a/b/deck.wml",
                                      "http://example.test/a/b/deck.wml", "/a/b/deck.wml", ""}));
}

// §9.5.3: "A refresh and its side effects must occur even if the elements
// have no setvar elements given that context may change by other means":
// the card is shown again from the context as it is now.
TEST_F(Wml11Navigation, RefreshWithoutSetvarShowsTheCardFromTheContextAsItIsNow) {
  Open(R"w(<card id="a"><do type="accept"><refresh/></do><p>
<select name="s"><option value="1">one</option><option value="2">two</option></select>
</p></card>)w");
  const TNode* select = agent_.Focusables().at(OptionFocus(0)).Select;
  EXPECT_EQ(agent_.OptionStates(select), (std::vector<bool>{true, false}));
  // Changed by other means than the card (the emulator's variables pane).
  agent_.SetVariable("s", "2");
  EXPECT_EQ(agent_.OptionStates(select), (std::vector<bool>{true, false}));
  agent_.SoftKey(0);
  select = agent_.Focusables().at(OptionFocus(0)).Select;
  EXPECT_EQ(agent_.OptionStates(select), (std::vector<bool>{false, true}));
}

// §9.6, with its example deck: a deck-level do applies to every card; a
// card-level do of the same name shadows it; one that binds noop masks the
// binding completely, and a noop that shadows nothing is masked too.
// §9.10.2: a card-level handler overrides the deck-level one of the same
// type "regardless of which syntax is used".
TEST_F(Wml11Navigation, CardBindingsShadowTheTemplatesAndNoopMasksThem) {
  const std::string kTemplate = R"w(<template>
<do type="options" name="do1" label="default"><prev/></do>
<onevent type="onenterbackward"><go href="#aaa"/></onevent></template>)w";
  Open(kTemplate + R"w(<card id="first"><p>1</p></card>)w");
  EXPECT_EQ(Labels(), (std::vector<std::string>{"default"}));
  Open(kTemplate + R"w(<card id="second"><do type="options" name="do1"><noop/></do>
<do type="accept" label="masked"><noop/></do><p>2</p></card>)w");
  EXPECT_TRUE(Labels().empty());
  Open(kTemplate + R"w(<card id="third"><do type="options" name="do1" label="options">
<go href="#next"/></do><p>3</p></card><card id="next"><p>n</p></card>)w");
  EXPECT_EQ(Labels(), (std::vector<std::string>{"options"}));
  agent_.SoftKey(0);
  EXPECT_EQ(agent_.CardId(), "next");
  // The template's onevent against the card's attribute, both ways back.
  Open(kTemplate + R"w(<card id="bbb0"><p><a href="#plain">p</a> <a href="#own">o</a></p></card>
<card id="plain"><p><a href="#z">z</a></p></card>
<card id="own" onenterbackward="#bbb"><p><a href="#z">z</a></p></card>
<card id="z"><p>z</p></card><card id="aaa"><p>a</p></card><card id="bbb"><p>b</p></card>)w");
  SelectItem(0);
  SelectItem(0);
  agent_.Back();
  EXPECT_EQ(agent_.CardId(), "aaa");
  Open(kTemplate + R"w(<card id="bbb0"><p><a href="#own">o</a></p></card>
<card id="own" onenterbackward="#bbb"><p><a href="#z">z</a></p></card>
<card id="z"><p>z</p></card><card id="aaa"><p>a</p></card><card id="bbb"><p>b</p></card>)w");
  SelectItem(0);
  SelectItem(0);
  agent_.Back();
  EXPECT_EQ(agent_.CardId(), "bbb");
  // A card-level onevent binding noop masks the template's event.
  Open(R"w(<template onenterforward="#x"/><card id="c">
<onevent type="onenterforward"><noop/></onevent><p>c</p></card><card id="x"><p>x</p></card>)w");
  EXPECT_EQ(agent_.CardId(), "c");
  // The template's ontimer is every card's; a card's noop masks it.
  const std::string kTimer = R"w(<template ontimer="#t"/>)w";
  const std::string kT = R"w(<card id="t"><p>t</p></card>)w";
  Open(kTimer + R"w(<card id="a"><timer value="1"/><p>a</p></card>)w" + kT);
  Wait(100);
  EXPECT_EQ(agent_.CardId(), "t");
  Open(kTimer + R"w(<card id="a"><onevent type="ontimer"><noop/></onevent><timer value="1"/>
<p>a</p></card>)w" +
       kT);
  Wait(100);
  EXPECT_EQ(agent_.CardId(), "a");
}

// §9.7: "User agents must accept any type"; experimental and vendor types
// are case-sensitive (VND-foo and vnd-foo are distinct); a do without name
// is named by its type; every active do not marked optional is presented,
// the deck-level ones as if at the end of the card's text flow.
TEST_F(Wml11Navigation, DoElementsOfAnyTypeAreOfferedCardFirstThenTemplate) {
  Open(R"w(<template><do type="help" label="t-help"><prev/></do>
<do type="x-Test" label="t-x"><prev/></do></template>
<card id="a"><p><do type="VND-foo" label="upper"><prev/></do></p>
<do type="vnd-foo" label="lower"><prev/></do><do type="x-Test" label="card-x"><prev/></do>
<do type="" label="empty"><prev/></do><do type="bogus" label="bogus"><prev/></do>
<p>a</p></card>)w");
  EXPECT_EQ(Labels(),
            (std::vector<std::string>{"upper", "lower", "card-x", "empty", "bogus", "t-help"}));
}

// §9.10: an event binding of a type that does not apply to its parent
// element "must be ignored" (§9.10.1: any onevent whose type is not a legal
// intrinsic event of the enclosing element); onpick occurs "when the user
// selects or deselects" the option.
TEST_F(Wml11Navigation, BindingsForEventsTheElementHasNotAreIgnoredAndOnpickFiresBothWays) {
  Open(R"w(<card id="a"><onevent type="onpick"><go href="#b"/></onevent>
<onevent type="onclick"><go href="#b"/></onevent><p>
<select name="s" multiple="true">
<option value="1"><onevent type="onenterforward"><go href="#b"/></onevent>one</option>
<option value="2"><onevent type="onpick"><refresh>
<setvar name="n" value="$(n)x"/></refresh></onevent>two</option></select>
</p></card><card id="b"><p>b</p></card>)w");
  EXPECT_EQ(agent_.CardId(), "a");
  SelectItem(OptionFocus(0));
  EXPECT_EQ(agent_.CardId(), "a");
  EXPECT_EQ(agent_.Variable("s"), "1");
  SelectItem(OptionFocus(1));
  EXPECT_EQ(agent_.Variable("s"), "1;2");
  EXPECT_EQ(agent_.Variable("n"), "x");
  SelectItem(OptionFocus(1));  // deselected
  EXPECT_EQ(agent_.Variable("s"), "1");
  EXPECT_EQ(agent_.Variable("n"), "xx");
  EXPECT_EQ(agent_.CardId(), "a");
}

// §10.3: a variable is set only when its value is not the empty string.
// §10.3.1: the name runs as far as name characters go ("$var." ends before
// the point); a conversion does not change the variable. §10.3.2: variables
// are parsed after XML, so "&#x24;X", "$&#x58;" and "&#36;&#x58;" all name
// X. §10.3.3: "$$" (also written with references) is one dollar sign.
TEST_F(Wml11Navigation, VariablesAreParsedAfterTheXmlAndEmptyMeansNotSet) {
  Open(R"w(<card id="a"><onevent type="onenterforward"><refresh>
<setvar name="X" value="v w"/><setvar name="e" value=""/></refresh></onevent>
<do type="accept"><refresh>
<setvar name="r1" value="&#x24;X"/><setvar name="r2" value="$&#x58;"/>
<setvar name="r3" value="&#36;&#x58;"/><setvar name="r4" value="&#x24;&#x24;X"/>
<setvar name="r5" value="$X.$(X:e)$$"/><setvar name="r6" value="[$(e)]"/>
</refresh></do><p><input name="e" value="default"/></p></card>)w");
  // Set to "" on entry, "e" was not set: the input's default took its place.
  EXPECT_EQ(agent_.Variable("e"), "default");
  agent_.SetVariable("e", "");
  EXPECT_EQ(agent_.Variables().count("e"), 0u);
  agent_.SoftKey(0);
  EXPECT_EQ(agent_.Variable("r6"), "[]");
  EXPECT_EQ(agent_.Variable("r1"), "v w");
  EXPECT_EQ(agent_.Variable("r2"), "v w");
  EXPECT_EQ(agent_.Variable("r3"), "v w");
  EXPECT_EQ(agent_.Variable("r4"), "$X");
  EXPECT_EQ(agent_.Variable("r5"), "v w.v%20w$");
  EXPECT_EQ(agent_.Variable("X"), "v w");
}

// §10.3.1: "All lexically sensitive characters defined in WML must be
// escaped, including all characters not in the unreserved set" of RFC 2396;
// unesc undoes it. "All attributes defined as %HREF; default to escape
// conversion": href, src and the events onenterforward, onenterbackward,
// ontimer and onpick; noesc disables it.
TEST_F(Wml11Navigation, EscapingKeepsOnlyUnreservedCharactersInEveryHrefAttribute) {
  const std::string raw = "aZ09-_.!~*'() \"#$%&+,/:;<=>?@[\\]^`{|}\xC3\xA9";
  const std::string escaped =
      "aZ09-_.!~*'()%20%22%23%24%25%26%2B%2C%2F%3A%3B%3C%3D%3E%3F%40%5B%5C%5D%5E%60%7B%7C%7D%C3%A9";
  Open(R"w(<card id="a"><p>x</p></card>)w");
  agent_.SetVariable("v", raw);
  EXPECT_EQ(agent_.Substitute("$(v:escape)"), escaped);
  agent_.SetVariable("w", escaped);
  EXPECT_EQ(agent_.Substitute("$(w:unesc)"), raw);
  EXPECT_EQ(agent_.Variable("v"), raw);
  // ontimer and onpick are addresses too.
  Open(R"w(<card id="a" ontimer="http://example.invalid/t?$(q)"><timer value="1"/>
<p>a</p></card>)w");
  agent_.SetVariable("q", "a b");
  Wait(100);
  ASSERT_TRUE(agent_.Request());
  EXPECT_EQ(agent_.Request()->Url, "http://example.invalid/t?a%20b");
  Open(R"w(<card id="a"><p><select name="s">
<option value="1" onpick="http://example.invalid/p?$q">one</option>
<option value="2" onpick="http://example.invalid/p?$(q:noesc)">two</option></select>
</p></card>)w");
  agent_.SetVariable("q", "a b");
  SelectItem(OptionFocus(0));
  ASSERT_TRUE(agent_.Request());
  EXPECT_EQ(agent_.Request()->Url, "http://example.invalid/p?a%20b");
  agent_.Back();
  SelectItem(OptionFocus(1));
  ASSERT_TRUE(agent_.Request());
  EXPECT_EQ(agent_.Request()->Url, "http://example.invalid/p?a b");
}

// §10.3.4: "The user agent must update all variables prior to the execution
// of any task": what is typed is in the input's variable when a do runs.
TEST_F(Wml11Navigation, TypedInputIsInItsVariableBeforeTheTaskRuns) {
  Open(R"w(<card id="a"><do type="accept"><go href="#b">
<setvar name="copy" value="$(n)"/></go></do><p><input name="n"/></p></card>
<card id="b"><p>$(copy)</p></card>)w");
  agent_.SetFocus(0);
  agent_.Type("ab");
  agent_.SoftKey(0);
  EXPECT_EQ(agent_.CardId(), "b");
  EXPECT_EQ(agent_.Variable("copy"), "ab");
}

// §10.4: navigating to a resource "that was not the result of an
// interaction with the content in the current context" establishes another
// context: opening a deck, or starting it again, starts with no variables
// and no history. §9.10: entering a card that way is entering it forward,
// as a go does: its onenterforward runs.
TEST_F(Wml11Navigation, OpeningADeckByTheUserStartsANewContext) {
  Open(R"w(<card id="a"><do type="accept"><go href="#b"><setvar name="x" value="1"/></go></do>
<p>a</p></card><card id="b"><p>b</p></card>)w");
  agent_.SoftKey(0);
  ASSERT_EQ(agent_.HistoryDepth(), 2);
  agent_.Restart();
  EXPECT_TRUE(agent_.Variables().empty());
  EXPECT_EQ(agent_.HistoryDepth(), 1);
  agent_.SoftKey(0);
  agent_.Open(Deck(R"w(<card id="c"><p>c</p></card>)w"));
  EXPECT_TRUE(agent_.Variables().empty());
  EXPECT_EQ(agent_.HistoryDepth(), 1);
  Open(R"w(<card id="c" onenterforward="#d"><p>c</p></card><card id="d"><p>d</p></card>)w");
  EXPECT_EQ(agent_.CardId(), "d");
}

// §9.10: "Conflicting event bindings within an element are an error": an
// event bound by the attribute and by an onevent, or by two onevent
// elements, of one card, the template or an option. A card binding the
// template's event shadows it and is no conflict.
TEST(Wml11DeckRules, ConflictingEventBindingsInOneElementAreAnError) {
  const std::vector<std::string> errors = Errors(R"w(<template ontimer="#a">
<onevent type="onenterforward"><noop/></onevent>
<onevent type="onenterforward"><prev/></onevent><onevent type="ontimer"><noop/></onevent>
</template>
<card id="a" onenterbackward="#a"><onevent type="onenterforward"><noop/></onevent>
<onevent type="onenterbackward"><noop/></onevent><p><select>
<option onpick="#a"><onevent type="onpick"><noop/></onevent>o</option>
<option onpick="#a">p</option></select></p></card>
<card id="b" ontimer="#a"><onevent type="onenterforward"><noop/></onevent>
<onevent type="onenterbackward"><noop/></onevent><timer value="5"/><p>b</p></card>)w");
  ASSERT_EQ(errors.size(), 4u) << ::testing::PrintToString(errors);
  EXPECT_EQ(errors[0],
            "Событие «onenterforward» в шаблоне (template) уже привязано другим "
            "<onevent>: одно событие элемента привязывают только один раз");
  EXPECT_EQ(errors[1],
            "Событие «ontimer» в шаблоне (template) уже привязано атрибутом ontimer: "
            "одно событие элемента привязывают только один раз");
  EXPECT_NE(errors[2].find("«onenterbackward» в этой карточке уже привязано атрибутом"),
            std::string::npos);
  EXPECT_NE(errors[3].find("«onpick» у этого пункта <option>"), std::string::npos);
  // The DTD allows all of it: the verdict stays the validator's.
  EXPECT_TRUE(CheckDeck(Deck(R"w(<card id="a" ontimer="#a">
<onevent type="ontimer"><noop/></onevent><p>a</p></card>)w"))
                  .Valid);
}

// §9.8: "It is an error to specify other than one task element (e.g., go,
// prev or refresh) in an anchor element." The DTD allows it: the finding
// says so.
TEST(Wml11DeckRules, AnAnchorHoldsExactlyOneTask) {
  std::string five = "<anchor>five";
  for (int i = 0; i < 5; ++i) five += "<prev/>";
  five += "</anchor>";
  const std::vector<std::string> errors =
      Errors(R"w(<card id="a"><p><anchor>none</anchor> <anchor>one<prev/></anchor>
<anchor>two<go href="#a"/><refresh/></anchor> <a href="#a">a</a>)w" +
             five + "</p></card>");
  EXPECT_EQ(errors, (std::vector<std::string>{
                        "В ссылке <anchor> нет задачи, а нужна ровно одна — <go>, <prev> или "
                        "<refresh>",
                        "В ссылке <anchor> 2 задачи, а нужна ровно одна — <go>, <prev> или "
                        "<refresh>",
                        "В ссылке <anchor> 5 задач, а нужна ровно одна — <go>, <prev> или "
                        "<refresh>"}));
  // §9.9: "It is invalid to nest a elements": the DTD gives a no a inside.
  EXPECT_TRUE(CheckDeck(Deck(R"w(<card><p><a href="#x">x</a></p></card>)w")).Valid);
  EXPECT_FALSE(
      CheckDeck(Deck(R"w(<card><p><a href="#x">x<a href="#y">y</a></a></p></card>)w")).Valid);
}

// §10.3.5: "Each reference must be placed either within a card's text
// (#PCDATA) or within %vdata or %HREF attribute values. Other CDATA attribute
// values must use escaped literal dollar sign"; the deck is in error
// otherwise. The standard's own example: type="x-$(type)" is bad placement,
// type="x-$$(type)" is right.
TEST(Wml11DeckRules, VariableReferencesStandOnlyInTextAndVdataAttributes) {
  const std::vector<std::string> errors = Errors(R"w(<card id="a" title="$t" class="c$(k)">
<do type="x-$(type)" label="$type"><go href="#$(t)" accept-charset="$cs"/></do>
<do type="x-$$(type)" label="$type"><noop/></do><p>$t
<input name="n" format="$f" value="$v" title="$t"/>
<img src="$(s)" alt="$a" width="$w"/></p></card>)w");
  ASSERT_EQ(errors.size(), 5u) << ::testing::PrintToString(errors);
  EXPECT_EQ(errors[0],
            "Переменная «k» в атрибуте class не подставляется: переменные ставят "
            "только в текст и в атрибуты, которые их принимают (title, label, href, "
            "value…); знак $ здесь пишется $$");
  EXPECT_NE(errors[1].find("«type» в атрибуте type"), std::string::npos);
  EXPECT_NE(errors[2].find("«cs» в атрибуте accept-charset"), std::string::npos);
  EXPECT_NE(errors[3].find("«f» в атрибуте format"), std::string::npos);
  EXPECT_NE(errors[4].find("«w» в атрибуте width"), std::string::npos);
  // "Balance left is $10.00" is bad variable syntax: "The deck is in error".
  bool reported = false;
  for (const TFinding& finding :
       CheckDeck(Deck(R"w(<card><p>Balance left is $10.00</p></card>)w")).Findings)
    reported |= finding.Severity == TSeverity::Error &&
                finding.Message.find("Неверная ссылка на переменную «$1»") != std::string::npos;
  EXPECT_TRUE(reported);
}

}  // namespace
}  // namespace deckhand::wml
