#include "core/CodeBuffer.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/Errors.h"
#include "core/LargeBlocks.h"

namespace deckhand {

std::string CutAtNul(const std::string& text) {
  const size_t nul = text.find('\0');
  return nul == std::string::npos ? text : text.substr(0, nul);
}

size_t FirstNulOrLoneBreak(const char* text, size_t size) {
  auto isEvent = [text, size](size_t i) {
    switch (text[i]) {
      case '\0':
        return true;
      case '\r':
        return i + 1 == size || text[i + 1] != '\n';
      case '\n':
        return i == 0 || text[i - 1] != '\r';
      default:
        return false;
    }
  };
  auto scan = [&isEvent](size_t from, size_t to) {
    while (from < to && !isEvent(from)) ++from;
    return from;
  };
  if (size == 0 || isEvent(0)) return 0;
  size_t i = 0;
#if defined(__SSE2__)
  // Sixteen bytes at a time, four vectors per step: this runs over every
  // byte of a file being opened, so it has to keep up with the copy from the
  // page cache. A lane is marked where byte j is a NUL, or where "byte j is
  // a CR" differs from "byte j + 1 is an LF" (a lone CR at j or a lone LF at
  // j + 1); only a marked step is looked at byte by byte.
  const __m128i nul = _mm_setzero_si128();
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  auto marks = [&](size_t at) {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at + 1));
    return _mm_or_si128(_mm_cmpeq_epi8(here, nul),
                        _mm_xor_si128(_mm_cmpeq_epi8(here, cr), _mm_cmpeq_epi8(next, lf)));
  };
  // Each step reads bytes i to i + 64, so it needs one byte beyond its 64.
  for (; i + 65 <= size; i += 64) {
    const __m128i any = _mm_or_si128(_mm_or_si128(marks(i), marks(i + 16)),
                                     _mm_or_si128(marks(i + 32), marks(i + 48)));
    if (_mm_movemask_epi8(any) != 0) {
      const size_t hit = scan(i, i + 65);
      if (hit < i + 65) return hit;
    }
  }
#endif
  return scan(i, size);
}

namespace {

// The adjusted copy of the first end bytes of text, whose first NUL or lone
// break is at first (< end): the bytes before it are copied as they are.
std::string AdjustedCopy(const std::string& text, size_t first, size_t end) {
  std::string out;
  ReserveLarge(out, end + end / 32 + 2);
  out.append(text, 0, first);
  const char* const stop = text.data() + end;
  // The next CR and the next LF, each found with memchr and looked up again
  // only once passed, so runs of ordinary text are copied in one piece.
  auto next = [stop](const char* from, char c) {
    const void* hit = std::memchr(from, c, static_cast<size_t>(stop - from));
    return hit != nullptr ? static_cast<const char*>(hit) : stop;
  };
  const char* p = text.data() + first;
  const char* cr = next(p, '\r');
  const char* lf = next(p, '\n');
  while (p < stop) {
    const char* brk = std::min(cr, lf);
    out.append(p, static_cast<size_t>(brk - p));
    if (brk == stop) break;
    out += "\r\n";
    // CR LF counts as one break; a lone CR or LF is a break of its own.
    // (lf == stop means "no LF left", so it must not pair with a final CR.)
    p = (brk == cr && lf != stop && brk + 1 == lf) ? brk + 2 : brk + 1;
    if (cr < p) cr = next(p, '\r');
    if (lf < p) lf = next(p, '\n');
  }
  return out;
}

// Where text ends for SetTextStr (its first NUL, or its size), whether that
// is a NUL, and where its first NUL or lone break is.
struct TTextEnd {
  size_t first;
  size_t end;
  bool nul;
};

TTextEnd FindTextEnd(const std::string& text) {
  const size_t first = FirstNulOrLoneBreak(text.data(), text.size());
  const size_t nul = first < text.size() ? text.find('\0', first) : std::string::npos;
  return {first, nul != std::string::npos ? nul : text.size(), nul != std::string::npos};
}

// The text of SetTextStr: cut before its first NUL, line breaks adjusted. A
// text that needs no adjustment keeps its storage.
std::string AdjustedText(std::string text, const TTextEnd& where) {
  if (where.first == where.end) {
    text.resize(where.end);
    return text;
  }
  return AdjustedCopy(text, where.first, where.end);
}

}  // namespace

std::string AdjustLineBreaks(std::string text) {
  const TTextEnd where = FindTextEnd(text);
  return AdjustedText(std::move(text), where);
}

std::string AppendedLineText(bool textEmptyOrEndsWithBreak, const std::string& line) {
  return textEmptyOrEndsWithBreak ? line + "\r\n" : "\r\n" + line;
}

TMemoryBuffer::TMemoryBuffer(TMemoryClipboard* clipboard, long long capacity)
    : clipboard_(clipboard), capacity_(std::min<long long>(capacity, kDefaultBufferCapacity)) {}

void TMemoryBuffer::CheckCapacity(size_t length) const {
  if (static_cast<unsigned long long>(length) > static_cast<unsigned long long>(capacity_)) {
    throw EInvalidOperation(kTextExceedsCapacityMessage);
  }
}

void TMemoryBuffer::Clear() {
  text_.clear();
  anchor_ = caret_ = 0;
  modified_ = false;
}

void TMemoryBuffer::Add(const std::string& line) {
  const bool endsWithBreak =
      text_.empty() || (text_.size() >= 2 && text_.compare(text_.size() - 2, 2, "\r\n") == 0);
  anchor_ = caret_ = Length();
  ReplaceSelection(AppendedLineText(endsWithBreak, CutAtNul(line)));
}

std::string TMemoryBuffer::GetText() const { return LargeCopy(text_); }

void TMemoryBuffer::SetTextStr(std::string text) {
  const TTextEnd where = FindTextEnd(text);
  // Adjusting only lengthens the text: refuse what cannot fit before copying.
  CheckCapacity(where.end);
  std::string adjusted = AdjustedText(std::move(text), where);
  // A text holding a NUL never equals the held text (which holds none), so
  // the comparison may use the already cut text only when nothing was cut.
  const bool hadNul = where.nul;
  if (!hadNul && adjusted == text_) return;
  CheckCapacity(adjusted.size());
  if (adjusted != text_) modified_ = false;
  text_ = std::move(adjusted);
  anchor_ = caret_ = 0;
}

void TMemoryBuffer::SetText(const std::string& text) {
  std::string cut = CutAtNul(text);
  if (cut == text_) return;
  CheckCapacity(cut.size());
  text_ = std::move(cut);
  anchor_ = caret_ = 0;
  modified_ = false;
}

int TMemoryBuffer::GetSelStart() const { return std::min(anchor_, caret_); }

int TMemoryBuffer::GetSelLength() const { return std::abs(anchor_ - caret_); }

void TMemoryBuffer::SetSelStart(int position) {
  if (position == -1) {
    anchor_ = caret_;
    return;
  }
  position = std::clamp(position, 0, Length());
  anchor_ = caret_ = position;
}

void TMemoryBuffer::SetSelLength(int length) {
  const int start = GetSelStart();
  length = std::max(length, 0);
  anchor_ = start;
  caret_ = static_cast<int>(std::min<long long>(static_cast<long long>(start) + length, Length()));
}

void TMemoryBuffer::Select(int anchor, int caret) {
  anchor_ = std::clamp(anchor, 0, Length());
  caret_ = std::clamp(caret, 0, Length());
}

std::string TMemoryBuffer::GetSelText() const {
  return text_.substr(static_cast<size_t>(GetSelStart()), static_cast<size_t>(GetSelLength()));
}

void TMemoryBuffer::ReplaceSelection(const std::string& text) {
  const size_t start = static_cast<size_t>(GetSelStart());
  const size_t length = static_cast<size_t>(GetSelLength());
  CheckCapacity(text_.size() - length + text.size());
  text_.replace(start, length, text);
  anchor_ = caret_ = static_cast<int>(start + text.size());
}

void TMemoryBuffer::SetSelText(const std::string& text) {
  ReplaceSelection(CutAtNul(text));
  modified_ = true;
}

void TMemoryBuffer::CutToClipboard() {
  if (clipboard_ == nullptr || GetSelLength() == 0) return;
  clipboard_->SetText(GetSelText());
  SetSelText(std::string());
}

void TMemoryBuffer::CopyToClipboard() {
  if (clipboard_ == nullptr || GetSelLength() == 0) return;
  clipboard_->SetText(GetSelText());
}

void TMemoryBuffer::PasteFromClipboard() {
  if (clipboard_ == nullptr) return;
  const std::optional<std::string> text = clipboard_->GetText();
  if (!text || text->empty()) return;
  SetSelText(*text);
}

int TMemoryBuffer::LineFromChar(int position) const {
  position = std::clamp(position, 0, Length());
  // A pair counts when both of its bytes lie before position.
  int line = 0;
  const char* p = text_.data();
  const char* end = p + position;
  while (p + 1 < end) {
    const void* cr = std::memchr(p, '\r', static_cast<size_t>(end - p - 1));
    if (cr == nullptr) break;
    p = static_cast<const char*>(cr);
    if (p[1] == '\n') {
      ++line;
      p += 2;
    } else {
      ++p;
    }
  }
  return line;
}

int TMemoryBuffer::LineIndex(int line) const {
  if (line < 0) return -1;
  size_t pos = 0;
  for (int i = 0; i < line; ++i) {
    const size_t br = text_.find("\r\n", pos);
    if (br == std::string::npos) return -1;
    pos = br + 2;
  }
  return static_cast<int>(pos);
}

}  // namespace deckhand
