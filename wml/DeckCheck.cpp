#include "wml/DeckCheck.h"

#include <algorithm>

#include "wml/DeckLint.h"
#include "wml/DeckParse.h"
#include "wml/Wbxml.h"

namespace deckhand::wml {

TDeckReport CheckDeck(std::string_view deck, const TPhoneProfile* phone) {
  TParsedDeck parsed(deck);
  TDeckReport report;
  report.WellFormed = parsed.IsWellFormed();
  report.Valid = parsed.IsValid();
  report.Findings = parsed.Findings();
  if (const xmlDoc* doc = parsed.Doc()) {
    if (const auto bytes = EncodeWbxml(doc)) report.CompiledSize = bytes->size();
    LintDeck(parsed, phone, report.CompiledSize, report.Findings);
  }
  std::stable_sort(report.Findings.begin(), report.Findings.end(),
                   [](const TFinding& a, const TFinding& b) {
                     return a.Line != b.Line ? a.Line < b.Line : a.Column < b.Column;
                   });
  if (report.Findings.size() > kMaxFindings) {
    const std::size_t more = report.Findings.size() - kMaxFindings;
    report.Findings.resize(kMaxFindings);
    const TFinding& last = report.Findings.back();
    report.Findings.push_back({TSeverity::Warning, last.Line, last.Column,
                               "И ещё " + std::to_string(more) + " замечаний после этого",
                               last.Offset});
  }
  return report;
}

std::optional<std::string> CompileDeck(std::string_view deck) {
  TParsedDeck parsed(deck);
  return EncodeWbxml(parsed.Doc());
}

std::vector<const TPhoneProfile*> PhonesRefusing(std::size_t compiledSize) {
  std::vector<const TPhoneProfile*> refusing;
  for (const TPhoneProfile& phone : PhoneProfiles()) {
    if (!phone.Accepts(compiledSize)) refusing.push_back(&phone);
  }
  return refusing;
}

}  // namespace deckhand::wml
