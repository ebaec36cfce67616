#include "core/MarkupCheck.h"

#include <algorithm>

namespace deckhand {

namespace {

// Bytes counted between two progress reports: small enough for a smooth bar
// on a large text, large enough that the callback costs nothing measurable.
constexpr int32_t kProgressStep = 64 * 1024;

}  // namespace

TCheckVerdict VerdictFromCounts(int32_t quotes, int32_t opens, int32_t closes) {
  if (quotes % 2 != 0) return TCheckVerdict::cvPossibleError;
  if (opens != closes) return TCheckVerdict::cvPossibleError;
  return TCheckVerdict::cvNoErrors;
}

TMarkupCheckResult CheckMarkup(const TCodeBuffer& buffer, const TCheckProgress& OnProgress) {
  const std::string text = buffer.GetText();
  const int32_t total = static_cast<int32_t>(text.size());
  if (OnProgress) OnProgress(0, total);

  TMarkupCheckResult result;
  const unsigned char* data = reinterpret_cast<const unsigned char*>(text.data());
  int32_t position = 0;
  while (position < total) {
    const int32_t end = std::min(total, position + kProgressStep);
    int32_t quotes = 0, opens = 0, closes = 0;
    for (int32_t i = position; i < end; ++i) {
      const unsigned char c = data[i];
      quotes += c == '"';
      opens += c == '<';
      closes += c == '>';
    }
    result.QuoteCount += quotes;
    result.OpenCount += opens;
    result.CloseCount += closes;
    position = end;
    if (OnProgress) OnProgress(position, total);
  }
  result.Verdict = VerdictFromCounts(result.QuoteCount, result.OpenCount, result.CloseCount);
  return result;
}

std::string VerdictText(TCheckVerdict verdict) {
  return verdict == TCheckVerdict::cvPossibleError
             ? "Результат проверки: Есть вероятность ошибки кода!"
             : "Результат проверки: Ошибки не найдены";
}

}  // namespace deckhand
