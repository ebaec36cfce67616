// Real phones' limits for WML decks: the largest compiled (binary WML) deck
// each phone's browser accepted, and the browser's screen.
//
// The deck checks compare a deck's compiled size with these limits; the
// phone emulator draws cards at these screen sizes.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace deckhand::wml {

// Whether a phone's browser draws WML tables.
enum class TTableSupport { Unknown, No, Yes };

struct TPhoneProfile {
  std::string_view Name;
  // Largest compiled deck, in bytes, that the phone accepted.
  std::size_t MaxCompiledDeckBytes;
  // Where the limit is recorded.
  std::string_view LimitSource;
  // Usable browser area in pixels; both 0 where it is not known.
  int ScreenWidth;
  int ScreenHeight;
  TTableSupport Tables;
  // The User-Agent header the phone's browser sent, as recorded in public
  // lists of real requests; empty where no recorded value was found (the
  // emulator then sends a User-Agent of its own).
  std::string_view UserAgent;
  // The Accept-Charset header the phone sent; empty where no recorded value
  // was found (the emulator then sends none).
  std::string_view AcceptCharset;

  bool HasScreen() const { return ScreenWidth > 0 && ScreenHeight > 0; }
  // Whether a deck of compiledBytes bytes fits this phone.
  bool Accepts(std::size_t compiledBytes) const { return compiledBytes <= MaxCompiledDeckBytes; }
};

// Every known phone, smallest deck limit first.
std::span<const TPhoneProfile> PhoneProfiles();

// The phone named name exactly, or null.
const TPhoneProfile* FindPhone(std::string_view name);

// The phone whose picture the main window shows (Motorola C380, 128x128):
// the emulator's default profile.
const TPhoneProfile& DefaultPhone();

}  // namespace deckhand::wml
