// Feeds arbitrary bytes to the deck checks (parse, validate, compile, lint
// for a phone) and checks what every report must keep: findings inside the
// text and in order, a compiled size only for well-formed decks and equal
// to the compiled bytes, validity only with well-formedness.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "wml/DeckCheck.h"

using namespace deckhand::wml;

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view deck(reinterpret_cast<const char*>(data), size);
  int lines = 1;
  for (std::size_t i = 0; i < deck.size(); ++i) {
    if (deck[i] == '\n' || (deck[i] == '\r' && (i + 1 == deck.size() || deck[i + 1] != '\n')))
      ++lines;
  }
  const TDeckReport report = CheckDeck(deck, &DefaultPhone());
  Require(!report.Valid || report.WellFormed);
  Require(!report.CompiledSize || report.WellFormed);
  Require(report.Findings.size() <= kMaxFindings + 1);
  Require(report.WellFormed || !report.Findings.empty());
  for (std::size_t i = 0; i < report.Findings.size(); ++i) {
    const TFinding& f = report.Findings[i];
    Require(f.Line >= 1 && f.Line <= lines);
    Require(f.Column >= 1 && static_cast<std::size_t>(f.Column) <= deck.size() + 1);
    Require(!f.Message.empty());
    Require(f.Offset <= deck.size());
    Require(f.Line > 1 || f.Offset + 1 == static_cast<std::size_t>(f.Column));
    if (i > 0) {
      const TFinding& e = report.Findings[i - 1];
      Require(e.Line < f.Line || (e.Line == f.Line && e.Column <= f.Column));
    }
  }
  const auto bytes = CompileDeck(deck);
  Require(bytes.has_value() == report.CompiledSize.has_value());
  if (bytes) {
    Require(bytes->size() == *report.CompiledSize);
    Require(bytes->compare(0, 4, std::string_view("\x01\x04\x6A\x00", 4)) == 0);
  }
  return 0;
}
