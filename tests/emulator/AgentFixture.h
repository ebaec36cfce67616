// What the user agent's tests share: a WML 1.1 deck around some cards, an
// agent on a clock the test moves, and the toolkit's application object that
// drawing the phone's screen needs.
#pragma once

#include <gtest/gtest.h>

#include <QGuiApplication>

#include <cstdint>
#include <string>
#include <string_view>

#include "emulator/UserAgent.h"

namespace deckhand::wml::testing {

// A WML 1.1 deck (prolog and document type) holding the cards.
inline std::string Deck(std::string_view cards) {
  return std::string(
             "<?xml version=\"1.0\"?>\n<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
             "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\n<wml>\n") +
         std::string(cards) + "\n</wml>\n";
}

// An agent whose clock stands still until Wait moves it.
class TAgentFixture : public ::testing::Test {
 protected:
  std::int64_t now_ = 1000;
  TUserAgent agent_{[this] { return now_; }};

  void Open(std::string_view cards, std::string path = {}) { agent_.Open(Deck(cards), path); }
  // Moves the focus to the n-th focusable item and presses select.
  void SelectItem(int index) {
    agent_.SetFocus(index);
    agent_.Select();
  }
  // Moves the clock on and lets a timer that is due fire.
  void Wait(int milliseconds) {
    now_ += milliseconds;
    agent_.Poll();
  }
};

// Makes the toolkit's application object, once for the whole test program,
// before anything draws the phone's screen.
inline void EnsureGuiApplication() {
  static int argc = 1;
  static char arg0[] = "emulator_tests";
  static char* argv[] = {arg0, nullptr};
  if (!QGuiApplication::instance()) new QGuiApplication(argc, argv);
}

// An agent whose card the tests draw on the phone's screen.
class TScreenFixture : public TAgentFixture {
 protected:
  static void SetUpTestSuite() { EnsureGuiApplication(); }
};

}  // namespace deckhand::wml::testing
