// The markup check: a rough balance test of the WML code that counts double
// quotes, "<" and ">" over the whole text and gives one of two verdicts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/CodeBuffer.h"

namespace deckhand {

enum class TCheckVerdict { cvPossibleError, cvNoErrors };

struct TMarkupCheckResult {
  int32_t QuoteCount = 0;
  int32_t OpenCount = 0;
  int32_t CloseCount = 0;
  TCheckVerdict Verdict = TCheckVerdict::cvNoErrors;
};

// Progress of a run: position out of max, both between 0 and the text's length.
using TCheckProgress = std::function<void(int32_t position, int32_t max)>;

// Examines every byte of the buffer's text exactly once, whatever the
// selection. The selection, the text and the modified flag stay as they were.
// OnProgress (may be empty) receives (0, N) first, positions that never
// decrease, and (N, N) last, N being the text's length; at most N + 1 calls.
TMarkupCheckResult CheckMarkup(const TCodeBuffer& buffer, const TCheckProgress& OnProgress);

// The verdict from the counts: odd quotes, then unequal brackets, mean a
// possible error.
TCheckVerdict VerdictFromCounts(int32_t quotes, int32_t opens, int32_t closes);

// The text the check dialog shows for a verdict (UTF-8).
std::string VerdictText(TCheckVerdict verdict);

}  // namespace deckhand
