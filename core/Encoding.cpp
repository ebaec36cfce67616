#include "core/Encoding.h"

#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/LargeBlocks.h"

namespace deckhand {

namespace {

constexpr const char* kCodecName = "windows-1251";

// Windows-1251 byte of every UTF-16 unit, plus one; 0 where the code page has
// none. Made once from the decoder, so that both directions agree byte for
// byte (0x98, which the code page leaves unassigned, maps to U+0098 and back).
class TEncodeTable {
 public:
  TEncodeTable() {
    char all[256];
    for (int b = 0; b < 256; ++b) all[b] = static_cast<char>(b);
    const QString unicode = Cp1251ToUnicode(std::string_view(all, sizeof all));
    for (int b = 0; b < 256 && b < unicode.size(); ++b) {
      bytePlusOne_[unicode[b].unicode()] = static_cast<uint16_t>(b + 1);
    }
  }
  // The byte of unit, or -1.
  int Byte(char16_t unit) const { return static_cast<int>(bytePlusOne_[unit]) - 1; }

 private:
  std::array<uint16_t, 65536> bytePlusOne_{};
};

const TEncodeTable& EncodeTable() {
  static const TEncodeTable table;
  return table;
}

// Encodes units from the start of source into target, one byte each, up to
// the first unit the code page lacks; returns how many were encoded. Runs of
// ASCII go eight units at a time: this keeps up with copying the text.
size_t EncodeRun(const char16_t* source, size_t size, char* target, const TEncodeTable& table) {
  size_t i = 0;
  while (i < size) {
#if defined(__SSE2__)
    const __m128i nonAscii = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i zero = _mm_setzero_si128();
    for (; i + 8 <= size; i += 8) {
      const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(units, nonAscii), zero)) != 0xFFFF) {
        break;
      }
      _mm_storel_epi64(reinterpret_cast<__m128i*>(target + i), _mm_packus_epi16(units, units));
    }
#endif
    // Up to eight units one at a time (Cyrillic, punctuation), then back to
    // the runs.
    const size_t stop = std::min(size, i + 8);
    for (; i < stop; ++i) {
      const char16_t unit = source[i];
      if (unit < 0x80) {
        target[i] = static_cast<char>(unit);
        continue;
      }
      const int byte = table.Byte(unit);
      if (byte < 0) return i;
      target[i] = static_cast<char>(byte);
    }
  }
  return size;
}

// The numeric character reference of a code point.
void AppendReference(std::string& out, size_t& length, char32_t codePoint) {
  char digits[16];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + codePoint % 10);
    codePoint /= 10;
  } while (codePoint != 0);
  out[length++] = '&';
  out[length++] = '#';
  while (count > 0) out[length++] = digits[--count];
  out[length++] = ';';
}

}  // namespace

QString Cp1251ToUnicode(std::string_view bytes) {
  QStringDecoder decoder(kCodecName, QStringConverter::Flag::Stateless);
  return decoder(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string UnicodeToCp1251(const QString& text, bool* representable) {
  const TEncodeTable& table = EncodeTable();
  const auto* source = reinterpret_cast<const char16_t*>(text.utf16());
  const auto size = static_cast<size_t>(text.size());
  // A little room beyond one byte a character, so that a few references
  // fit without moving the text.
  std::string out;
  ReserveLarge(out, size + size / 64 + 64);
  out.resize(size);
  size_t done = EncodeRun(source, size, out.data(), table);
  if (representable) *representable = done == size;
  if (done == size) return out;

  // From the first character the code page lacks on, each such character
  // becomes a numeric character reference (one per code point, a surrogate
  // pair included); the runs between them are encoded as above.
  size_t length = done;
  // The longest reference, "&#1114111;".
  constexpr size_t kLongestReference = 10;
  while (done < size) {
    char32_t codePoint = source[done];
    size_t units = 1;
    if (QChar::isHighSurrogate(codePoint) && done + 1 < size &&
        QChar::isLowSurrogate(source[done + 1])) {
      codePoint = QChar::surrogateToUcs4(source[done], source[done + 1]);
      units = 2;
    }
    const size_t needed = length + kLongestReference + (size - done);
    if (out.size() < needed) {
      if (needed > out.capacity()) ReserveLarge(out, std::max(needed, out.capacity() * 2));
      out.resize(needed);
    }
    AppendReference(out, length, codePoint);
    done += units;
    const size_t run = EncodeRun(source + done, size - done, out.data() + length, table);
    done += run;
    length += run;
  }
  out.resize(length);
  return out;
}

bool IsCp1251Representable(const QString& text) {
  const TEncodeTable& table = EncodeTable();
  for (const QChar c : text) {
    if (c.unicode() >= 0x80 && table.Byte(c.unicode()) < 0) return false;
  }
  return true;
}

std::string Cp1251(std::string_view utf8) {
  return UnicodeToCp1251(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

}  // namespace deckhand
