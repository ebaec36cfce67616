// User agent semantics, WML 1.1 §12: unknown elements (§12.4), the prev task
// (§12.5.2) and a task that fails (§12.5.5).
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <map>
#include <optional>
#include <string>

#include "AgentFixture.h"
#include "emulator/CardRenderer.h"

namespace deckhand::wml {
namespace {

class Wml11Semantics : public testing::TScreenFixture {
 protected:
  QImage Text(std::string_view text) {
    Open("<card id=\"a\"><p>" + std::string(text) + "</p></card><card id=\"b\"/>");
    TPhoneScreen screen(agent_, DefaultPhone());
    return screen.Render();
  }
};

// WML 1.1 §12.4: a deck of another DTD may hold elements and attributes the
// user agent does not know; it renders the deck "as if the unrecognised
// tags and attributes were not present", and their content is rendered.
TEST_F(Wml11Semantics, UnknownElementsAndAttributesAreAsIfTheirTagsWereNotThere) {
  EXPECT_EQ(Text("one <blink>two</blink> three"), Text("onetwothree"));
  EXPECT_EQ(Text("<x-box lang=\"en\"><i data-x=\"1\">ab</i></x-box>"), Text("<i>ab</i>"));
  // A link inside an unknown element takes the focus and is followed.
  Open(R"w(<card id="a"><p><x-box><a href="#b" x-kind="y">go</a></x-box></p></card>
<card id="b"/>)w");
  ASSERT_EQ(agent_.Focusables().size(), 1u);
  SelectItem(0);
  EXPECT_EQ(agent_.CardId(), "b");
}

// WML 1.1 §12.5.2 steps 5 to 7: a prev task runs the destination's
// onenterbackward and stops there; without one, the destination's timer is
// started and the card is shown.
TEST_F(Wml11Semantics, PrevStartsTheTimerOfTheCardItReturnsToUnlessItsOnenterbackwardRuns) {
  Open(R"w(<card id="a" ontimer="#c"><timer value="50"/><p><a href="#b">b</a></p></card>
<card id="b"><do type="prev"><prev/></do><p>b</p></card>
<card id="c"><p>c</p></card>)w");
  Wait(2000);
  SelectItem(0);
  ASSERT_EQ(agent_.CardId(), "b");
  EXPECT_FALSE(agent_.TimerDueInMs());
  agent_.Back();
  ASSERT_EQ(agent_.CardId(), "a");
  EXPECT_EQ(agent_.TimerDueInMs(), 5000);  // started afresh
  Wait(5000);
  EXPECT_EQ(agent_.CardId(), "c");

  Open(R"w(<card id="a" ontimer="#c" onenterbackward="#d"><timer value="50"/>
<p><a href="#b">b</a></p></card>
<card id="b"><p>b</p></card><card id="c"/><card id="d"><p>d</p></card>)w");
  SelectItem(0);
  agent_.Back();
  EXPECT_EQ(agent_.CardId(), "d");
  EXPECT_FALSE(agent_.TimerDueInMs());
}

// WML 1.1 §12.5.5: when a task cannot fetch its target, the user is told;
// the invoking card stays current, the context is unchanged (the task's
// setvar is not applied) and no intrinsic event binding runs (the card is
// not entered again).
TEST_F(Wml11Semantics, TaskThatCannotFetchItsTargetChangesNothingAndRunsNoEvent) {
  agent_.SetLoader([](const std::string& path, std::string& error) -> std::optional<std::string> {
    error = "Файл не найден: " + path;
    return std::nullopt;
  });
  Open(R"w(<card id="a"><p><a href="#b">b</a></p></card>
<card id="b"><onevent type="onenterforward"><refresh><setvar name="n" value="$(n)x"/></refresh>
</onevent><p><anchor>go<go href="missing.wml"><setvar name="pending" value="1"/></go></anchor>
</p></card>)w",
       "/decks/home.wml");
  SelectItem(0);
  ASSERT_EQ(agent_.CardId(), "b");
  ASSERT_EQ(agent_.Variable("n"), "x");
  const int depth = agent_.HistoryDepth();
  SelectItem(0);
  EXPECT_EQ(agent_.CardId(), "b");
  EXPECT_EQ(agent_.DeckPath(), "/decks/home.wml");
  EXPECT_EQ(agent_.HistoryDepth(), depth);
  EXPECT_EQ(agent_.Variable("pending"), "");
  EXPECT_EQ(agent_.Variable("n"), "x");  // onenterforward did not run again
  EXPECT_NE(agent_.Error().find("missing.wml"), std::string::npos) << agent_.Error();
}

}  // namespace
}  // namespace deckhand::wml
