// What the byte-by-byte tests of the compiler share: the WML 1.1 prolog and
// compiled decks written out as hex.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "wml/DeckCheck.h"

namespace deckhand::wml::testing {

inline const std::string kProlog =
    "<?xml version=\"1.0\"?>\n"
    "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
    "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\n";

// bytes as hex, one space between bytes ("01 04 6A").
inline std::string Hex(std::string_view bytes) {
  std::string out;
  char buffer[4];
  for (const unsigned char c : bytes) {
    std::snprintf(buffer, sizeof buffer, "%02X ", c);
    out += buffer;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

// The compiled body of the deck (the prolog put before it) after its 4-byte
// header, which is checked, as hex; "(none)" when it does not compile.
inline std::string Body(const std::string& deck) {
  const auto bytes = CompileDeck(kProlog + deck);
  if (!bytes) return "(none)";
  EXPECT_EQ(bytes->substr(0, 4), std::string("\x01\x04\x6A\x00", 4));
  return Hex(bytes->substr(4));
}

}  // namespace deckhand::wml::testing
