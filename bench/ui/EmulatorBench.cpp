// The phone emulator: what one pause after an edit costs on a 3 KB deck
// (deck checks, user agent reload, screen drawing), and the editor's
// keystroke on a 2 MB document with the emulator window open and closed
// (open, a keystroke only restarts the 300 ms pause).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTest>
#include <QThread>
#include <ctime>
#include <string>

#include "assets/Assets.h"
#include "core/Encoding.h"
#include "emulator/CardRenderer.h"
#include "emulator/UserAgent.h"
#include "preview/WebEngineSetup.h"
#include "ui/Fonts.h"
#include "ui/Unit1.h"
#include "ui/Unit7.h"
#include "wml/DeckCheck.h"

namespace {

using namespace deckhand;

// A deck of a menu card, a form and `stories` text cards: about 3 KB with 15.
std::string DeckOf(int stories) {
  std::string deck =
      "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n"
      "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
      "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\r\n<wml>\r\n"
      "<template><do type=\"prev\" label=\"Back\"><prev/></do></template>\r\n"
      "<card id=\"menu\" title=\"Menu\"><p align=\"center\"><b>News</b></p><p>\r\n";
  for (int i = 1; i <= 15; ++i)
    deck += "<a href=\"#c" + std::to_string(i) + "\">Story number " + std::to_string(i) +
            "</a><br/>\r\n";
  deck +=
      "</p></card>\r\n<card id=\"form\" title=\"Form\"><p>Name: <input name=\"n\" "
      "format=\"*M\"/><select name=\"s\"><option value=\"1\">One</option><option "
      "value=\"2\">Two</option></select></p></card>\r\n";
  for (int i = 1; i <= stories; ++i)
    deck += "<card id=\"c" + std::to_string(i) + "\" title=\"Story " + std::to_string(i) +
            "\"><p>\xD2\xE5\xEA\xF1\xF2 \xED\xEE\xE2\xEE\xF1\xF2\xE8 $(n) with <i>some</i> "
            "<u>words</u> to wrap over the small screen of the phone.</p></card>\r\n";
  deck += "</wml>\r\n";
  return deck;
}

std::string Deck3KB() { return DeckOf(15); }
// One well-formed deck of 2 MB.
std::string Deck2MB() { return DeckOf(2 * 1024 * 1024 / 150); }

void BM_EmulatorCheckAndRedrawAfterEdit3KB(benchmark::State& state) {
  std::string deck = Deck3KB();
  wml::TUserAgent agent;
  agent.Open(deck);
  wml::TPhoneScreen screen(agent, wml::DefaultPhone());
  const std::size_t at = deck.find("Story number 3");
  char flip = 'a';
  for (auto _ : state) {
    deck[at] = flip;  // one keystroke's change
    flip = flip == 'a' ? 'b' : 'a';
    wml::TDeckReport report = wml::CheckDeck(deck, &wml::DefaultPhone());
    agent.Reload(deck);
    benchmark::DoNotOptimize(screen.Render());
    benchmark::DoNotOptimize(report.CompiledSize);
  }
  state.counters["bytes"] = static_cast<double>(deck.size());
}
BENCHMARK(BM_EmulatorCheckAndRedrawAfterEdit3KB)->Unit(benchmark::kMillisecond);

void BM_EmulatorRedrawOnly3KB(benchmark::State& state) {
  std::string deck = Deck3KB();
  wml::TUserAgent agent;
  agent.Open(deck);
  wml::TPhoneScreen screen(agent, wml::DefaultPhone());
  for (auto _ : state) {
    agent.Reload(deck);
    benchmark::DoNotOptimize(screen.Render());
  }
}
BENCHMARK(BM_EmulatorRedrawOnly3KB)->Unit(benchmark::kMicrosecond);

// What one pause costs the editor on a 2 MB deck: the emulator reads the
// editor's text and hands it to its worker, which parses, checks, runs and
// lays it out; the GUI thread shows the finished frame. Timed: the GUI
// thread's own processor time, from the edit's pause to the redrawn screen,
// waiting for the worker excluded.
void BM_EmulatorRefresh2MB(benchmark::State& state) {
  TMain window;
  window.SetShowSplash(false);
  window.FormCreate(&window);
  window.Buffer().SetTextStr(Deck2MB());
  window.N50Click(&window);
  TEmulator* emulator = window.Emulator();
  while (emulator->Checking()) QApplication::processEvents(QEventLoop::AllEvents, 10);
  const auto threadTime = [] {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
  };
  for (auto _ : state) {
    const double start = threadTime();
    emulator->Refresh();
    while (emulator->Checking()) {
      QThread::msleep(2);  // sleeping, not spinning: only the GUI's work counts
      QApplication::processEvents();
    }
    state.SetIterationTime(threadTime() - start);
  }
  emulator->close();
  window.Buffer().Clear();
  window.close();
}
BENCHMARK(BM_EmulatorRefresh2MB)->UseManualTime()->Unit(benchmark::kMillisecond);

// A keystroke in the editor of the main window holding a 2 MB document;
// argument 1: the emulator window is open.
void BM_EditorKeystroke2MB(benchmark::State& state) {
  TMain window;
  window.SetShowSplash(false);
  window.FormCreate(&window);
  window.show();
  const std::string text = Deck2MB();
  window.Buffer().SetTextStr(text);
  state.counters["bytes"] = static_cast<double>(text.size());
  if (state.range(0) == 1) {
    window.N50Click(&window);
    QApplication::processEvents();
  }
  window.Memo()->setFocus();
  window.Buffer().SetSelStart(static_cast<int>(text.size() / 2));
  for (auto _ : state) {
    QTest::keyClick(window.Memo(), Qt::Key_X);
  }
  if (TEmulator* emulator = window.Emulator()) {
    // The pause is still running: nothing was redrawn during the typing.
    state.counters["refreshes_during_typing"] = emulator->RefreshCount() - 1;
    emulator->close();
  }
  window.Buffer().Clear();
  window.close();
}
BENCHMARK(BM_EditorKeystroke2MB)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  deckhand::PrepareWebEngine();
  QApplication app(argc, argv);
  deckhand::InitAssets();
  deckhand::RegisterProgramFonts();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
