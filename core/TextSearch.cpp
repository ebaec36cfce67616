#include "core/TextSearch.h"

#include <QChar>
#include <QString>
#include <algorithm>
#include <array>
#include <climits>

#include "core/Encoding.h"

namespace deckhand {

namespace {

struct TByteClasses {
  std::array<unsigned char, 256> Lower{};
  std::array<bool, 256> Word{};
};

// The lower-case byte of each Windows-1251 byte, and whether it is a word
// character, from the characters the code page maps the bytes to.
const TByteClasses& ByteClasses() {
  static const TByteClasses classes = [] {
    TByteClasses result;
    for (int b = 0; b < 256; ++b) {
      const char byte = static_cast<char>(b);
      const QString character = Cp1251ToUnicode(std::string_view(&byte, 1));
      result.Lower[static_cast<size_t>(b)] = static_cast<unsigned char>(b);
      if (character.size() != 1) continue;
      const QChar c = character.at(0);
      result.Word[static_cast<size_t>(b)] = c.isLetterOrNumber() || c == QLatin1Char('_');
      bool representable = false;
      const std::string lower = UnicodeToCp1251(QString(c.toLower()), &representable);
      if (representable && lower.size() == 1) {
        result.Lower[static_cast<size_t>(b)] = static_cast<unsigned char>(lower[0]);
      }
    }
    return result;
  }();
  return classes;
}

unsigned char Fold(const TByteClasses& classes, char c) {
  return classes.Lower[static_cast<unsigned char>(c)];
}

bool IsWordByte(const TByteClasses& classes, char c) {
  return classes.Word[static_cast<unsigned char>(c)];
}

// Whether a match at [position, position + length) stands as a whole word.
bool StandsAlone(const TByteClasses& classes, std::string_view text, size_t position,
                 size_t length) {
  if (position > 0 && IsWordByte(classes, text[position - 1])) return false;
  const size_t end = position + length;
  return end >= text.size() || !IsWordByte(classes, text[end]);
}

bool EqualAt(const TByteClasses& classes, std::string_view text, std::string_view needle,
             size_t position, bool matchCase) {
  if (position > text.size() || text.size() - position < needle.size()) return false;
  if (matchCase) return text.compare(position, needle.size(), needle) == 0;
  for (size_t i = 0; i < needle.size(); ++i) {
    if (Fold(classes, text[position + i]) != Fold(classes, needle[i])) return false;
  }
  return true;
}

// The first position at or after from where needle's bytes match, ignoring
// the whole-word rule; npos when there is none. Case-sensitive searches use
// the library's find (a byte scan for the first byte); folded ones a
// Boyer-Moore-Horspool search over folded bytes, so that a search through
// 20 MB takes a few tens of milliseconds either way.
size_t ScanForward(const TByteClasses& classes, std::string_view text, std::string_view needle,
                   size_t from, bool matchCase) {
  if (from > text.size()) return std::string_view::npos;
  if (matchCase) return text.find(needle, from);
  const size_t m = needle.size();
  if (text.size() - from < m) return std::string_view::npos;
  std::string folded(m, '\0');
  for (size_t i = 0; i < m; ++i) folded[i] = static_cast<char>(Fold(classes, needle[i]));
  // Horspool's shift for each folded byte under the window's last byte.
  std::array<size_t, 256> shift;
  shift.fill(m);
  for (size_t i = 0; i + 1 < m; ++i) shift[static_cast<unsigned char>(folded[i])] = m - 1 - i;
  const auto last = static_cast<unsigned char>(folded[m - 1]);
  for (size_t at = from; at + m <= text.size();) {
    const unsigned char tail = Fold(classes, text[at + m - 1]);
    if (tail == last) {
      size_t i = 0;
      while (i + 1 < m && Fold(classes, text[at + i]) == static_cast<unsigned char>(folded[i])) ++i;
      if (i + 1 >= m) return at;
    }
    at += shift[tail];
  }
  return std::string_view::npos;
}

}  // namespace

bool MatchesAt(std::string_view text, std::string_view needle, size_t position,
               const TSearchOptions& options) {
  if (needle.empty()) return false;
  const TByteClasses& classes = ByteClasses();
  return EqualAt(classes, text, needle, position, options.MatchCase) &&
         (!options.WholeWord || StandsAlone(classes, text, position, needle.size()));
}

std::optional<size_t> FindIn(std::string_view text, std::string_view needle, size_t from,
                             const TSearchOptions& options) {
  if (needle.empty() || needle.size() > text.size()) return std::nullopt;
  const TByteClasses& classes = ByteClasses();
  if (!options.Backward) {
    for (size_t at = ScanForward(classes, text, needle, from, options.MatchCase);
         at != std::string_view::npos;
         at = ScanForward(classes, text, needle, at + 1, options.MatchCase)) {
      if (!options.WholeWord || StandsAlone(classes, text, at, needle.size())) return at;
    }
    return std::nullopt;
  }
  // Backward: candidates start at from - size at the latest.
  if (from < needle.size()) return std::nullopt;
  size_t at = std::min(from, text.size()) - needle.size();
  for (;;) {
    if (options.MatchCase) {
      at = text.rfind(needle, at);
      if (at == std::string_view::npos) return std::nullopt;
    } else {
      const unsigned char first = Fold(classes, needle[0]);
      while (Fold(classes, text[at]) != first || !EqualAt(classes, text, needle, at, false)) {
        if (at == 0) return std::nullopt;
        --at;
      }
    }
    if (!options.WholeWord || StandsAlone(classes, text, at, needle.size())) return at;
    if (at == 0) return std::nullopt;
    --at;
  }
}

TReplaceAllResult ReplaceAllIn(std::string_view text, std::string_view needle,
                               std::string_view replacement, const TSearchOptions& options) {
  TReplaceAllResult result;
  TSearchOptions forward = options;
  forward.Backward = false;
  size_t copied = 0;
  for (std::optional<size_t> at = FindIn(text, needle, 0, forward); at;
       at = FindIn(text, needle, *at + needle.size(), forward)) {
    if (result.Count == 0) {
      result.First = *at;
      copied = *at;
    }
    result.Replaced.append(text.substr(copied, *at - copied));
    result.Replaced.append(replacement);
    copied = *at + needle.size();
    result.End = copied;
    ++result.Count;
  }
  return result;
}

bool FindNext(TCodeBuffer& buffer, std::string_view needle, const TSearchOptions& options) {
  if (needle.empty()) return false;
  const std::string text = buffer.GetText();
  const size_t start = static_cast<size_t>(buffer.GetSelStart());
  const size_t end = start + static_cast<size_t>(buffer.GetSelLength());
  std::optional<size_t> found;
  if (options.Backward) {
    found = FindIn(text, needle, start, options);
    if (!found) found = FindIn(text, needle, text.size(), options);
  } else {
    found = FindIn(text, needle, end, options);
    if (!found) found = FindIn(text, needle, 0, options);
  }
  if (!found) return false;
  // Positions of a text the buffer holds fit its int positions.
  buffer.SetSelStart(static_cast<int>(*found));
  buffer.SetSelLength(static_cast<int>(needle.size()));
  return true;
}

bool ReplaceNext(TCodeBuffer& buffer, std::string_view needle, std::string_view replacement,
                 const TSearchOptions& options) {
  if (needle.empty()) return false;
  if (static_cast<size_t>(buffer.GetSelLength()) == needle.size()) {
    const std::string text = buffer.GetText();
    if (MatchesAt(text, needle, static_cast<size_t>(buffer.GetSelStart()), options)) {
      const int start = buffer.GetSelStart();
      buffer.SetSelText(std::string(replacement));
      // Backward, the next match is sought before the replacement.
      if (options.Backward) buffer.SetSelStart(start);
    }
  }
  return FindNext(buffer, needle, options);
}

size_t ReplaceAll(TCodeBuffer& buffer, std::string_view needle, std::string_view replacement,
                  const TSearchOptions& options) {
  if (needle.empty()) return 0;
  TReplaceAllResult result;
  buffer.ReadText(
      [&](std::string_view text) { result = ReplaceAllIn(text, needle, replacement, options); });
  if (result.Count == 0) return 0;
  buffer.SetSelStart(static_cast<int>(result.First));
  buffer.SetSelLength(static_cast<int>(result.End - result.First));
  buffer.SetSelText(result.Replaced);
  return result.Count;
}

std::optional<int> PositionOfLineColumn(const TCodeBuffer& buffer, int line, int column) {
  if (line < 1 || column < 1) return std::nullopt;
  const int start = buffer.LineIndex(line - 1);
  if (start < 0) return std::nullopt;
  const int next = buffer.LineIndex(line);
  int end = 0;
  if (next >= 0) {
    end = next - 2;  // before the CR LF
  } else {
    buffer.ReadText([&end](std::string_view text) { end = static_cast<int>(text.size()); });
  }
  return start + std::min(column - 1, std::max(0, end - start));
}

std::optional<size_t> NextStop(const std::vector<size_t>& positions, size_t caret, bool backward) {
  if (positions.empty()) return std::nullopt;
  if (backward) {
    const auto before = std::lower_bound(positions.begin(), positions.end(), caret);
    return before == positions.begin() ? positions.back() : *(before - 1);
  }
  const auto after = std::upper_bound(positions.begin(), positions.end(), caret);
  return after == positions.end() ? positions.front() : *after;
}

}  // namespace deckhand
