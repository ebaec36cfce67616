// WMLScript in the emulator's user agent: a go to "file.wmls#function(args)"
// runs the script beside the deck through every library family, its
// WMLBrowser calls act on the browser context (go and prev once it
// returns), its dialogs are answered with the phone's keys, and compile
// errors, run-time failures and limits end up in Error() with the agent
// still usable.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "AgentFixture.h"
#include "emulator/CardRenderer.h"
#include "emulator/UserAgent.h"
#include "wmlscript/Compiler.h"

namespace deckhand::wml {
namespace {

namespace fs = std::filesystem;

using testing::Deck;

class UserAgentScripts : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("deckhand-scripts-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  void Script(const std::string& name, const std::string& source) {
    std::ofstream(dir_ / name, std::ios::binary) << source;
  }
  // Opens the deck as the editor's text of dir/deck.wml.
  void Open(TUserAgent& agent, std::string_view cards) {
    agent.Open(Deck(cards), (dir_ / "deck.wml").string());
  }
  static void SelectItem(TUserAgent& agent, int index) {
    agent.SetFocus(index);
    agent.Select();
  }
  fs::path dir_;
};

TEST_F(UserAgentScripts, WmlBrowserSetsVariablesAndNavigatesWhenTheScriptReturns) {
  Script("calc.wmls", R"s(
extern function add(a, b) {
  WMLBrowser.go("deck.wml#result");
  WMLBrowser.setVar("sum", a + b);
  // The go waits for the return: the card is still the caller.
  WMLBrowser.setVar("from", WMLBrowser.getCurrentCard());
}
extern function greet(who) {
  WMLBrowser.setVar("g", "Привет, " + who + "! " + String.length(who) + " " +
                    Lang.abs(-3) + " " + String.elementAt("a b c", 1, " ") + " " + Float.int(2.7));
}
extern function back() { WMLBrowser.prev(); }
extern function fresh() {
  WMLBrowser.newContext();
  WMLBrowser.setVar("only", WMLBrowser.getVar("sum") + "1");
}
extern function seen() { WMLBrowser.setVar("saw", WMLBrowser.getVar("p")); }
extern function entered() { WMLBrowser.setVar("entered", "yes"); WMLBrowser.refresh(); }
)s");
  TUserAgent agent;
  Open(agent, R"w(<card id="a"><p>
<a href="calc.wmls#add($(x), 2)">add</a>
<a href="calc.wmls#greet('$(name)')">greet</a>
<a href="calc.wmls#fresh()">fresh</a>
<anchor>seen<go href="calc.wmls#seen()"><setvar name="p" value="5"/></go></anchor>
</p></card>
<card id="result" onenterforward="calc.wmls#entered()"><p>$(sum)
<a href="calc.wmls#back()">back</a></p></card>)w");
  agent.SetVariable("x", "40");
  SelectItem(agent, 0);
  EXPECT_EQ(agent.Error(), "");
  EXPECT_EQ(agent.Variable("sum"), "42");
  EXPECT_EQ(agent.Variable("from"), "deck.wml#a");
  EXPECT_EQ(agent.CardId(), "result");
  EXPECT_EQ(agent.HistoryDepth(), 2);
  // The entered card's onenterforward called the script as well.
  EXPECT_EQ(agent.Variable("entered"), "yes");
  SelectItem(agent, 0);  // back(): prev
  EXPECT_EQ(agent.CardId(), "a");
  EXPECT_EQ(agent.HistoryDepth(), 1);

  // Variables are substituted (escaped in the address, unescaped for the
  // call); String, Lang and Float functions.
  agent.SetVariable("name", "Мир и мы");
  SelectItem(agent, 1);
  EXPECT_EQ(agent.Error(), "");
  EXPECT_EQ(agent.Variable("g"), "Привет, Мир и мы! 8 3 b 2");
  EXPECT_EQ(agent.CardId(), "a");

  // The go's setvars are set before the script runs.
  SelectItem(agent, 3);
  EXPECT_EQ(agent.Variable("saw"), "5");

  // newContext empties the variables and the history.
  SelectItem(agent, 2);
  EXPECT_EQ(agent.Error(), "");
  EXPECT_EQ(agent.Variables(), (std::map<std::string, std::string>{{"only", "1"}}));
  EXPECT_EQ(agent.HistoryDepth(), 1);
}

TEST_F(UserAgentScripts, DialogsAreShownAndAnsweredWithThePhonesKeys) {
  Script("ask.wmls", R"s(
extern function ask() {
  WMLBrowser.setVar("before", "1");
  var r = Lang.random(1000000);
  var who = Dialogs.prompt("Имя?", "Вася");
  var sure = Dialogs.confirm("Точно " + who + "?", "Да", "Нет");
  Dialogs.alert("Готово");
  WMLBrowser.setVar("name", who);
  WMLBrowser.setVar("sure", sure);
  WMLBrowser.setVar("r", r + "," + Lang.random(1000000));
  WMLBrowser.go("deck.wml#done");
}
extern function pair() {
  WMLBrowser.setVar("r", Lang.random(1000000) + "," + Lang.random(1000000));
}
)s");
  std::int64_t now = 0;
  TUserAgent agent{[&] { return now; }};
  agent.SetRandomSeed(7);
  Open(agent, R"w(<card id="a" ontimer="#late"><timer value="10"/>
<p><a href="ask.wmls#ask()">ask</a></p></card>
<card id="done"><p>$(name)</p></card><card id="late"><p>late</p></card>)w");
  SelectItem(agent, 0);
  ASSERT_TRUE(agent.ScriptDialog());
  // The card's timer does not fire under the dialog.
  now += 5000;
  EXPECT_FALSE(agent.TimerDueInMs());
  agent.Poll();
  EXPECT_EQ(agent.CardId(), "a");
  EXPECT_EQ(agent.ScriptDialog()->Kind, TScriptDialog::TKind::Prompt);
  EXPECT_EQ(agent.ScriptDialog()->Message, "Имя?");
  EXPECT_EQ(agent.ScriptDialog()->Input, "Вася");
  EXPECT_EQ(agent.SoftKeyLabel(0).Label, "OK");
  EXPECT_EQ(agent.SoftKeyLabel(1).Label, "Отмена");
  // Nothing the script did is applied while it waits.
  EXPECT_EQ(agent.Variable("before"), "");
  // The dialog is drawn in place of the card.
  TPhoneScreen screen(agent, DefaultPhone());
  const QImage dialog = screen.Render();
  EXPECT_TRUE(agent.Erase());
  EXPECT_TRUE(agent.Erase());
  agent.Type("ня");
  EXPECT_EQ(agent.ScriptDialog()->Input, "Ваня");
  EXPECT_NE(screen.Render(), dialog);
  agent.Select();
  ASSERT_TRUE(agent.ScriptDialog());
  EXPECT_EQ(agent.ScriptDialog()->Kind, TScriptDialog::TKind::Confirm);
  EXPECT_EQ(agent.ScriptDialog()->Message, "Точно Ваня?");
  EXPECT_EQ(agent.SoftKeyLabel(0).Label, "Да");
  EXPECT_EQ(agent.SoftKeyLabel(1).Label, "Нет");
  agent.SoftKey(1);  // "Нет"
  ASSERT_TRUE(agent.ScriptDialog());
  EXPECT_EQ(agent.ScriptDialog()->Kind, TScriptDialog::TKind::Alert);
  EXPECT_EQ(agent.ScriptDialog()->Message, "Готово");
  EXPECT_EQ(agent.SoftKeyLabel(1).Label, "");
  agent.SoftKey(1);  // an alert has no cancel: nothing happens
  ASSERT_TRUE(agent.ScriptDialog());
  agent.Select();
  EXPECT_FALSE(agent.ScriptDialog());
  EXPECT_EQ(agent.Error(), "");
  EXPECT_EQ(agent.CardId(), "done");
  EXPECT_EQ(agent.Variable("before"), "1");
  EXPECT_EQ(agent.Variable("name"), "Ваня");
  EXPECT_EQ(agent.Variable("sure"), "false");
  // Lang.random repeats from the seed, across the runs the answers caused.
  TUserAgent other;
  other.SetRandomSeed(7);
  Open(other, R"w(<card id="a"><p><a href="ask.wmls#pair()">pair</a></p></card>)w");
  SelectItem(other, 0);
  EXPECT_EQ(other.Error(), "");
  EXPECT_EQ(other.Variable("r"), agent.Variable("r"));
  EXPECT_NE(agent.Variable("r"), "");
}

TEST_F(UserAgentScripts, CompileErrorsFailuresAndLimitsLeaveTheAgentUsable) {
  Script("bad.wmls", "extern function main() {\n  var x = 1\n  return x;\n}\n");
  const std::string run = R"s(
extern function spin() { WMLBrowser.setVar("spun", "1"); while (true) {} }
extern function stop() { Lang.abort("нет связи"); }
extern function grow() { var s = "x"; while (true) { s = s + s; } }
extern function one(a) { return a; }
)s";
  Script("run.wmls", run);
  // The same script compiled elsewhere: its bytes carry no lines.
  Script("run.wmlsc", wmlscript::Compile(run).Unit.value());
  TUserAgent agent;
  Open(agent, R"w(<card id="a"><p>
<a href="bad.wmls#main()">0</a>
<a href="run.wmls#spin()">1</a>
<a href="run.wmls#stop()">2</a>
<a href="run.wmls#grow()">3</a>
<a href="run.wmls#none()">4</a>
<a href="run.wmls#one(x)">5</a>
<a href="run.wmls#one(1, 2)">6</a>
<a href="gone.wmls#one(1)">7</a>
<a href="run.wmls">8</a>
<a href="run.wmlsc#stop()">9</a>
<a href="run.wmlsc#spin()">10</a>
<a href="#b">11</a>
</p></card><card id="b"><p>b</p></card>)w");
  const auto expectAfter = [&](int link, const std::string& start, const std::string& part) {
    SelectItem(agent, link);
    EXPECT_EQ(agent.Error().rfind(start, 0), 0u) << link << ": " << agent.Error();
    EXPECT_NE(agent.Error().find(part), std::string::npos) << link << ": " << agent.Error();
    EXPECT_EQ(agent.CardId(), "a") << link;
    EXPECT_FALSE(agent.ScriptDialog());
  };
  // The file and place the error is about, for the editor's caret.
  const auto source = [&](const std::string& file, int line, int column) {
    const std::optional<TUserAgent::TErrorSource> at = agent.ErrorSource();
    ASSERT_TRUE(at) << agent.Error();
    EXPECT_EQ(at->Path, (dir_ / file).string());
    EXPECT_EQ(at->Line, line);
    EXPECT_EQ(at->Column, column);
  };
  // The compile error as the checker prints it: FILE:LINE:COLUMN.
  expectAfter(0, "bad.wmls:3:3: ошибка: ожидается «;»", "сценарий не выполнен");
  source("bad.wmls", 3, 3);
  // The instruction limit stops the endless loop; setVar before it holds.
  // Run-time errors of a script compiled from its source name its line,
  // as compile errors do: FILE:LINE.
  expectAfter(1, "run.wmls:2: ошибка: функция spin: ", "сценарий остановлен");
  EXPECT_EQ(agent.Variable("spun"), "1");
  expectAfter(2, "run.wmls:3: ошибка: функция stop прервана (Lang.abort): нет связи", "");
  source("run.wmls", 3, 0);
  expectAfter(3, "run.wmls:4: ошибка: функция grow: ", "сценарий остановлен");
  expectAfter(4, "Сценарий run.wmls, функция none: ", "нет функции extern «none»");
  expectAfter(5, "Сценарий run.wmls: вызов «one(x)» не разобран", "не литерал");
  EXPECT_FALSE(agent.ErrorSource());  // no script ran
  expectAfter(6, "Сценарий run.wmls, функция one: ", "передано 2");
  expectAfter(7, "Файл не найден: ", "сценарий не выполнен");
  expectAfter(8, "Сценарий run.wmls: в адресе нет вызова функции", "");
  // A compiled unit has no lines to name: the same errors without them.
  expectAfter(9, "Сценарий run.wmlsc, функция stop прервана (Lang.abort): нет связи", "");
  expectAfter(10, "Сценарий run.wmlsc, функция spin: ", "сценарий остановлен");
  source("run.wmlsc", 0, 0);
  // And the agent goes on.
  SelectItem(agent, 11);
  EXPECT_EQ(agent.Error(), "");
  EXPECT_FALSE(agent.ErrorSource());
  EXPECT_EQ(agent.CardId(), "b");

  // A deck not saved to a file has nothing to find a script from.
  TUserAgent unsaved;
  unsaved.Open(Deck(R"w(<card id="a"><p><a href="run.wmls#one(1)">x</a></p></card>)w"));
  SelectItem(unsaved, 0);
  EXPECT_NE(unsaved.Error().find("Колода не сохранена"), std::string::npos) << unsaved.Error();
}

}  // namespace
}  // namespace deckhand::wml
