// Checks of a WML deck beyond the markup balance check: well-formedness and
// validity against WML 1.1, the size of the compiled (binary WML) deck, the
// phones that refuse it, and lint of links, cards and variables.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "wml/Phones.h"

namespace deckhand::wml {

enum class TSeverity { Error, Warning };

struct TFinding {
  TSeverity Severity;
  int Line;             // 1-based, as the status bar counts lines
  int Column;           // 1-based, as the status bar counts columns (bytes of the deck text)
  std::string Message;  // UTF-8, Russian
  // Where the finding stands as a byte offset into the deck, for putting the
  // caret there. Line and Column count lines ended by CR LF, LF or CR, which
  // is the status bar's count for text whose breaks are CR LF (all the
  // editor itself makes); Offset holds for any text.
  std::size_t Offset = 0;
};

struct TDeckReport {
  std::vector<TFinding> Findings;  // in order of line, then column
  bool WellFormed = false;
  bool Valid = false;  // valid WML 1.1
  std::optional<std::size_t>
      CompiledSize;  // compiled (WBXML) size; empty when the deck cannot be compiled
};

// Checks a deck given as the editor's bytes. phone: adds that phone's lint
// and limit findings; null: none.
// compiled: when given, receives the compiled deck (as CompileDeck gives it)
// from the same reading of the deck.
TDeckReport CheckDeck(std::string_view deck, const TPhoneProfile* phone = nullptr,
                      std::optional<std::string>* compiled = nullptr);

// The deck compiled to binary WML 1.1 (WBXML 1.1, UTF-8), the bytes of a
// .wmlc file; empty when the deck cannot be compiled (not well-formed, or an
// element or attribute WML 1.1 has no token for).
std::optional<std::string> CompileDeck(std::string_view deck);

// For a program about to exit once this check is done: the next decks'
// parse trees are left to the system at exit instead of being freed node by
// node, a tenth of the time of a large deck. For the last deck of a one-shot
// command only: each tree left stays in memory until the process ends.
// (Builds with a leak checker free them as usual.)
void LeaveParseTreesAtExit();

// A count of bytes in Russian, the noun in the form the number takes:
// "1 байт", "22 байта", "5 байт", "21 байт", "101 байт".
std::string ByteCount(std::size_t bytes);
// The same after "до", "больше", "не больше" (the genitive): "до 1 байта",
// "до 22 байт", "больше 21 байта", "до 1397 байт".
std::string ByteCountGenitive(std::size_t bytes);

// The phones whose compiled-deck limit is below compiledSize, smallest first.
std::vector<const TPhoneProfile*> PhonesRefusing(std::size_t compiledSize);

// Most findings one deck reports; a deck with more gets one closing finding
// that says how many were left out.
inline constexpr std::size_t kMaxFindings = 200;

}  // namespace deckhand::wml
