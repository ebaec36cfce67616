// Lint of a well-formed deck, as warnings: links to cards that do not
// exist, duplicate card ids, cards nothing leads to, cards with no way back,
// bad variable references, and, for a chosen phone, what that phone cannot
// show or take.
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
