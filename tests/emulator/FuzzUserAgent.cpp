// Runs arbitrary decks through the phone emulator: the user agent with a
// fake clock, driven by a script of keys, soft keys and clock advances, and
// the card renderer after every step. The input is the deck, then a zero
// byte, then one action per byte (the byte modulo 13 chooses it; for a clock
// advance, 0x80 moves to the timer's due time, else the high bits count
// seconds). Whatever the deck does, every step ends,
// the screen keeps the phone's size and memory stays within the fuzzer's
// -rss_limit_mb.
#include <QGuiApplication>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "emulator/CardRenderer.h"

using namespace deckhand::wml;

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QGuiApplication app(*argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = std::min(input.find('\0'), input.size());
  const std::string deck(input.substr(0, split));
  // At most 256 actions: enough for any path through a card, few enough that
  // the fuzzer tries many decks.
  const std::string_view script =
      split < input.size() ? input.substr(split + 1, 256) : std::string_view();

  std::int64_t now = 0;
  TUserAgent agent([&now] { return now; });
  // Every deck file the deck names is the deck itself: no file of this
  // machine is read.
  agent.SetLoader(
      [&deck](const std::string& path, std::string& error) -> std::optional<std::string> {
        if (path.size() > 4 && path.compare(path.size() - 4, 4, ".wml") == 0) return deck;
        error = "Файл не найден: " + path;
        return std::nullopt;
      });
  agent.Open(deck, "/nonexistent/deck.wml");
  const bool small = !script.empty() && (script[0] & 1);
  const TPhoneProfile* phone = small ? FindPhone("Nokia 7110") : &DefaultPhone();
  Require(phone != nullptr);
  TPhoneScreen screen(agent, *phone);
  auto render = [&] {
    const QImage image = screen.Render();
    Require(image.width() == screen.Width() && image.height() == screen.Height());
    Require(screen.Stats().TextBytes <= kMaxCardTextBytes);
    Require(screen.Stats().TitleBytes <= kMaxTitleBytes);
    Require(screen.Stats().Elements <= kMaxLaidOutElements + 1);
    Require(screen.Stats().Images <= kMaxImagesPerCard + 1);
  };
  render();
  for (unsigned char action : script) {
    switch (action % 13) {
      case 0:
        screen.Up();
        break;
      case 1:
        screen.Down();
        break;
      case 2:
        agent.Select();
        break;
      case 3:
        agent.Back();
        break;
      case 4:
        agent.SoftKey(0);
        break;
      case 5:
        agent.SoftKey(1);
        break;
      case 6:
      case 7:
        // The clock moves on: up to 15 seconds, or to the timer's due time.
        if (auto due = agent.TimerDueInMs(); due && action & 0x80)
          now += std::max<std::int64_t>(0, std::min<std::int64_t>(*due, 3600 * 1000));
        else
          now += (action >> 4) * 1000;
        agent.Poll();
        break;
      case 8:
        agent.Type(action & 0x10 ? "7" : "ж");
        break;
      case 9:
        agent.Erase();
        break;
      case 10:
        screen.Left();
        break;
      case 11:
        screen.Right();
        break;
      case 12:
        if (action & 0x80)
          agent.Restart();
        else
          agent.Reload(deck);
        break;
    }
    render();
  }
  return 0;
}
