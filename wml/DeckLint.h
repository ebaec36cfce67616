// Lint of a well-formed deck, beyond what the WML 1.1 DTD checks.
// Warnings: links to cards that do not exist, duplicate card ids, cards
// nothing leads to, cards with no way back, and, for a chosen phone, what
// that phone cannot show. Errors, where WML 1.1 says the deck is in error
// though its DTD lets it pass: bad variable references and references where
// none may stand, two do elements of one name, events bound twice, anchors
// without exactly one task, a missing XML declaration, a second access, a
// meta without exactly one of name and http-equiv, an empty fieldset, a
// table of no columns; and a deck larger than the chosen phone takes.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "wml/DeckCheck.h"
#include "wml/DeckParse.h"

namespace deckhand::wml {

void LintDeck(const TParsedDeck& deck, const TPhoneProfile* phone,
              std::optional<std::size_t> compiledSize, std::vector<TFinding>& findings);

}  // namespace deckhand::wml
