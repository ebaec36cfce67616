// The emulator's offer to declare the deck's encoding: a deck without an
// encoding declaration is read as UTF-8 (XML 1.0 §4.3.3), so Windows-1251
// letters in it are wrong bytes to a phone. The editor writes Windows-1251,
// so the declaration it offers is encoding="windows-1251".
#pragma once

#include <optional>
#include <string>

namespace deckhand {

// The text of the offer in the findings list.
inline constexpr const char* kEncodingOfferText = "Добавить encoding=\"windows-1251\"";

// What the offer inserts, and where (a byte position of the text).
struct TEncodingInsertion {
  int Position = 0;
  std::string Text;
};

// Whether text needs the offer: it holds bytes outside ASCII and declares no
// encoding (no XML declaration, or one without an encoding), and has no
// UTF-8 byte-order mark.
bool NeedsEncodingDeclaration(const std::string& text);

// The one insertion that declares windows-1251: the attribute after the
// version of an XML declaration that has none, or a whole declaration and
// CR LF at the start when there is no declaration. nullopt when the text
// needs none.
std::optional<TEncodingInsertion> EncodingInsertion(const std::string& text);

}  // namespace deckhand
