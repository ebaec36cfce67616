#include "core/CodeBuffer.h"

#include <algorithm>
#include <cstring>

#include "core/Errors.h"

namespace deckhand {

namespace {

const char kCapacityMessage[] = "Text exceeds memo capacity";

}  // namespace

std::string CutAtNul(const std::string& text) {
  const size_t nul = text.find('\0');
  return nul == std::string::npos ? text : text.substr(0, nul);
}

std::string AdjustLineBreaks(const std::string& text) {
  // Only the part before the first NUL survives, so adjust just that part.
  const size_t end = std::min(text.find('\0'), text.size());
  std::string out;
  out.reserve(end + end / 32 + 2);
  const char* const begin = text.data();
  const char* const stop = begin + end;
  // The next CR and the next LF, each found with memchr and looked up again
  // only once passed, so runs of ordinary text are copied in one piece.
  auto next = [stop](const char* from, char c) {
    const void* hit = std::memchr(from, c, static_cast<size_t>(stop - from));
    return hit != nullptr ? static_cast<const char*>(hit) : stop;
  };
  const char* p = begin;
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

std::string AppendedLineText(bool textEmptyOrEndsWithBreak, const std::string& line) {
  return textEmptyOrEndsWithBreak ? line + "\r\n" : "\r\n" + line;
}

TMemoryBuffer::TMemoryBuffer(TTextClipboard* clipboard, long long capacity)
    : clipboard_(clipboard), capacity_(std::min<long long>(capacity, kDefaultBufferCapacity)) {}

void TMemoryBuffer::CheckCapacity(size_t length) const {
  if (static_cast<unsigned long long>(length) > static_cast<unsigned long long>(capacity_)) {
    throw EInvalidOperation(kCapacityMessage);
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

void TMemoryBuffer::SetTextStr(const std::string& text) {
  // Adjusting only lengthens the text: refuse what cannot fit before copying.
  CheckCapacity(std::min(text.find('\0'), text.size()));
  std::string adjusted = AdjustLineBreaks(text);
  // A text holding a NUL never equals the held text (which holds none), so
  // the comparison may use the already cut text only when nothing was cut.
  const bool hadNul = text.find('\0') != std::string::npos;
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
