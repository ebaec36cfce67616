// Find and replace on the document's Windows-1251 text.
//
// Positions and lengths count bytes, as every position of the code buffer
// does. A search matches the bytes of what is sought exactly, or, without
// "match case", with the letters of both sides folded to lower case by the
// Windows-1251 code page's own letters (Latin, Cyrillic with Ё and the other
// letters of the page). "Whole word" accepts only a match that no word
// character (a letter, a digit or "_") touches on either side. A line break
// in what is sought is CR LF, as the text holds it.
//
// The buffer commands search from the selection in the chosen direction and
// go round the end of the text once: forward from the end of the selection to
// the end of the text, then from its start; backward from the start of the
// selection to the start of the text, then from its end. What is found is
// selected (forward: anchor at its start, caret at its end).
//
// Replacing all is one SetSelText over the span from the first match to the
// end of the last, so that the editor takes it back with one undo and the
// text outside that span is untouched.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/CodeBuffer.h"

namespace deckhand {

struct TSearchOptions {
  bool MatchCase = false;
  bool WholeWord = false;
  bool Backward = false;
};

// Whether needle matches text at position under the options (direction
// aside). An empty needle matches nowhere.
bool MatchesAt(std::string_view text, std::string_view needle, size_t position,
               const TSearchOptions& options);

// Forward (options.Backward false): the first match that starts at or after
// from. Backward: the last match that ends at or before from. Nothing when
// there is none, or when needle is empty. Does not go round the end.
std::optional<size_t> FindIn(std::string_view text, std::string_view needle, size_t from,
                             const TSearchOptions& options);

// Every match of needle in text, left to right, none overlapping, replaced by
// replacement. Count is 0 and Replaced empty when there is none; otherwise
// First is the first match's position, End the end of the last, and Replaced
// the text that takes the place of text[First, End).
struct TReplaceAllResult {
  size_t Count = 0;
  size_t First = 0;
  size_t End = 0;
  std::string Replaced;
};
TReplaceAllResult ReplaceAllIn(std::string_view text, std::string_view needle,
                               std::string_view replacement, const TSearchOptions& options);

// Searches the buffer from its selection (see above) and selects the match.
// Returns false, leaving the selection as it was, when there is none.
bool FindNext(TCodeBuffer& buffer, std::string_view needle, const TSearchOptions& options);

// Replace: when the selection is a match of needle, replaces it by
// replacement (one SetSelText). Then finds the next match as FindNext does.
// Returns whether a next match was found.
bool ReplaceNext(TCodeBuffer& buffer, std::string_view needle, std::string_view replacement,
                 const TSearchOptions& options);

// Replaces every match in the whole text, whatever the direction, as one
// SetSelText (see above); the caret then stands after the last replacement.
// Returns the number of matches replaced; 0 leaves the buffer untouched.
size_t ReplaceAll(TCodeBuffer& buffer, std::string_view needle, std::string_view replacement,
                  const TSearchOptions& options);

// The position of a line and column counted from 1, as the status bar counts
// them: the start of that line plus column - 1, a column beyond the line's
// end standing at its end (before its CR LF). Nothing when line is below 1
// or beyond the last line, or column below 1.
std::optional<int> PositionOfLineColumn(const TCodeBuffer& buffer, int line, int column);

// Of the positions given (in ascending order), the first one after caret or,
// backward, the last one before it; round the end when there is none that
// way. Nothing when there are no positions.
std::optional<size_t> NextStop(const std::vector<size_t>& positions, size_t caret, bool backward);

}  // namespace deckhand
