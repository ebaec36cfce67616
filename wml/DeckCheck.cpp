#include "wml/DeckCheck.h"

#include <algorithm>

#include "wml/DeckLint.h"
#include "wml/DeckParse.h"
#include "wml/Wbxml.h"

namespace deckhand::wml {

TDeckReport CheckDeck(std::string_view deck, const TPhoneProfile* phone,
                      std::optional<std::string>* compiled) {
  TParsedDeck parsed(deck);
  TDeckReport report;
  report.WellFormed = parsed.IsWellFormed();
  report.Valid = parsed.IsValid();
  report.Findings = parsed.Findings();
  if (const xmlDoc* doc = parsed.Doc()) {
    std::optional<std::string> bytes = EncodeWbxml(doc, parsed.Text().Utf8().size());
    if (bytes) report.CompiledSize = bytes->size();
    if (compiled != nullptr) *compiled = std::move(bytes);
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
  return EncodeWbxml(parsed.Doc(), parsed.Text().Utf8().size());
}

std::string ByteCount(std::size_t bytes) {
  const std::size_t lastTwo = bytes % 100, last = bytes % 10;
  // "байт" serves as the singular and as the genitive plural; the numbers
  // ending in 2, 3 and 4 (but not 12, 13, 14) take "байта".
  const bool few = last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14);
  return std::to_string(bytes) + (few ? " байта" : " байт");
}

std::string ByteCountGenitive(std::size_t bytes) {
  // Singular for the numbers ending in 1 (but not 11), plural for the rest.
  const bool one = bytes % 10 == 1 && bytes % 100 != 11;
  return std::to_string(bytes) + (one ? " байта" : " байт");
}

std::vector<const TPhoneProfile*> PhonesRefusing(std::size_t compiledSize) {
  std::vector<const TPhoneProfile*> refusing;
  for (const TPhoneProfile& phone : PhoneProfiles()) {
    if (!phone.Accepts(compiledSize)) refusing.push_back(&phone);
  }
  return refusing;
}

}  // namespace deckhand::wml
