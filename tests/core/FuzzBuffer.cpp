// Drives random operation sequences on the in-memory buffer and checks the
// invariants that every operation must keep.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/CodeBuffer.h"
#include "core/Errors.h"
#include "core/MarkupCheck.h"
#include "core/MarkupCommands.h"

using namespace deckhand;

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckInvariants(const TMemoryBuffer& b) {
  const std::string text = b.GetText();
  const int length = static_cast<int>(text.size());
  Require(b.Anchor() >= 0 && b.Anchor() <= length);
  Require(b.Caret() >= 0 && b.Caret() <= length);
  Require(b.GetSelStart() + b.GetSelLength() <= length);
  Require(static_cast<int>(b.GetSelText().size()) == b.GetSelLength());
  Require(text.find('\0') == std::string::npos);
  Require(b.LineIndex(0) == 0);
  const int line = b.LineFromChar(b.GetSelStart());
  Require(b.LineIndex(line) >= 0 && b.LineIndex(line) <= b.GetSelStart());
}

// The first NUL or lone break, byte by byte: the vector scan must agree.
size_t FirstEventByBytes(const char* text, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    if (text[i] == '\0') return i;
    if (text[i] == '\r' && (i + 1 == size || text[i + 1] != '\n')) return i;
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return i;
  }
  return size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The whole input as one text, long enough to reach the vector steps.
  const auto* bytes = reinterpret_cast<const char*>(data);
  Require(FirstNulOrLoneBreak(bytes, size) == FirstEventByBytes(bytes, size));
  TMemoryClipboard clipboard;
  TMemoryBuffer b(&clipboard, 4096);
  size_t i = 0;
  auto next = [&]() -> int { return i < size ? data[i++] : 0; };
  auto chunk = [&]() {
    const size_t n = std::min<size_t>(static_cast<size_t>(next()) % 16, size - std::min(i, size));
    std::string s(reinterpret_cast<const char*>(data + i), n);
    i += n;
    return s;
  };
  while (i < size) {
    try {
      switch (next() % 16) {
        case 0:
          b.Clear();
          break;
        case 1:
          b.Add(chunk());
          break;
        case 2: {
          const std::string s = chunk();
          b.SetTextStr(s);
          const std::string once = AdjustLineBreaks(s);
          Require(AdjustLineBreaks(once) == once);
          Require(b.GetText().find('\0') == std::string::npos);
          break;
        }
        case 3:
          b.SetText(chunk());
          break;
        case 4:
          b.SetSelStart(next() - 2);
          break;
        case 5:
          b.SetSelLength(next());
          break;
        case 6:
          b.SetSelText(chunk());
          break;
        case 7:
          b.CutToClipboard();
          break;
        case 8:
          b.CopyToClipboard();
          break;
        case 9:
          b.PasteFromClipboard();
          break;
        case 10:
          b.Select(next() - 2, next() - 2);
          break;
        case 11:
          BoldText(b);
          break;
        case 12:
          InsertNewCard(b);
          break;
        case 13:
          ApplyNewDocumentTemplate(b);
          break;
        case 14: {
          const std::string before = b.GetText();
          const int anchor = b.Anchor(), caret = b.Caret();
          const bool modified = b.GetModified();
          CheckMarkup(b, nullptr);
          Require(b.GetText() == before && b.Anchor() == anchor && b.Caret() == caret &&
                  b.GetModified() == modified);
          break;
        }
        default:
          b.LineIndex(next());
          break;
      }
    } catch (const EInvalidOperation&) {
      // Capacity exceeded: the buffer must be left intact, checked below.
    }
    CheckInvariants(b);
  }
  return 0;
}
