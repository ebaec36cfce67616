#include "wml/DeckText.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace deckhand::wml {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// Length of the valid UTF-8 sequence at text[i], or 0 when it is not one
// (overlong forms, surrogates and code points past U+10FFFF included).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b0 = byte(i);
  if (b0 < 0x80) return 1;
  std::size_t length;
  unsigned char low = 0x80, high = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    if (b0 == 0xE0) low = 0xA0;
    if (b0 == 0xED) high = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    if (b0 == 0xF0) low = 0x90;
    if (b0 == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  }
  return length;
}

// Whether the bytes around offset look like Cyrillic Windows-1251 text
// (letters of the upper half in runs) rather than a Western single-byte
// text, which has lone accented letters among ASCII ones.
bool LooksCyrillic(std::string_view deck) {
  std::size_t run = 0, longRuns = 0, high = 0;
  for (unsigned char c : deck) {
    if (c >= 0xC0 || c == 0xA8 || c == 0xB8) {
      ++high;
      if (++run == 3) ++longRuns;
    } else {
      run = 0;
    }
  }
  return longRuns > 0 || high == 0;
}

std::string HexByte(unsigned char c) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "0x%02X", c);
  return buffer;
}

// The table of the encoding cd converts from, made once per encoding name;
// null for an encoding whose characters take more than one byte.
std::shared_ptr<const TByteTable> ByteTable(const std::string& name, iconv_t cd) {
  static std::mutex guard;
  static std::map<std::string, std::shared_ptr<const TByteTable>> tables;
  const std::string key = Lower(name);
  {
    std::lock_guard lock(guard);
    if (const auto found = tables.find(key); found != tables.end()) return found->second;
  }
  auto table = std::make_shared<TByteTable>();
  for (int b = 0; b < 256; ++b) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char in = static_cast<char>(b);
    char out[8];
    char* inPtr = &in;
    char* outPtr = out;
    std::size_t inLeft = 1, outLeft = sizeof out;
    const std::size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    if (result == static_cast<std::size_t>(-1) && errno == EINVAL) {
      table.reset();
      break;
    }
    table->Defined[b] = result != static_cast<std::size_t>(-1) && inLeft == 0 && outPtr - out <= 4;
    const std::string_view utf8 =
        table->Defined[b] ? std::string_view(out, static_cast<std::size_t>(outPtr - out))
                          : "\xEF\xBF\xBD";
    table->Length[b] = static_cast<unsigned char>(utf8.size());
    std::copy(utf8.begin(), utf8.end(), table->Utf8[b]);
  }
  std::lock_guard lock(guard);
  if (tables.size() < 64) tables.emplace(key, table);
  return table;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

TLineMap::TLineMap(std::string_view text) : Size(text.size()) {
  LineStarts.push_back(0);
  // The next CR and the next LF, each found by the C library a block of
  // bytes at a time; a line ends at CR LF, a lone CR or a lone LF.
  const char* const data = text.data();
  const std::size_t n = text.size();
  const auto next = [&](char c, std::size_t from) -> std::size_t {
    if (from >= n) return n;
    const void* at = std::memchr(data + from, c, n - from);
    return at == nullptr ? n : static_cast<std::size_t>(static_cast<const char*>(at) - data);
  };
  std::size_t cr = next('\r', 0), lf = next('\n', 0);
  while (cr < n || lf < n) {
    if (lf < cr) {
      LineStarts.push_back(lf + 1);
      lf = next('\n', lf + 1);
    } else {
      std::size_t start = cr + 1;
      if (start < n && data[start] == '\n') {
        ++start;
        lf = next('\n', start);
      }
      LineStarts.push_back(start);
      cr = next('\r', cr + 1);
    }
  }
}

TTextPosition TLineMap::PositionOf(std::size_t offset) const {
  offset = std::min(offset, Size);
  const auto next = std::upper_bound(LineStarts.begin(), LineStarts.end(), offset);
  const std::size_t line = static_cast<std::size_t>(next - LineStarts.begin()) - 1;
  return {static_cast<int>(line + 1), static_cast<int>(offset - LineStarts[line] + 1), offset};
}

namespace {

// The encoding a declaration names: the value's offset in text and the
// name, if "<?xml" and white space stand at start and the declaration names
// one.
struct TDeclaredEncoding {
  bool Declared = false;
  bool Names = false;
  std::size_t ValueOffset = 0;
  std::string Name;
};

TDeclaredEncoding ScanDeclaration(std::string_view text, std::size_t start) {
  TDeclaredEncoding found;
  if (text.substr(start, 5) != "<?xml" || start + 5 >= text.size() || !IsSpace(text[start + 5]))
    return found;
  found.Declared = true;
  const std::size_t end = text.find("?>", start);
  const std::string_view declaration = text.substr(
      start, end == std::string_view::npos ? std::min<std::size_t>(text.size() - start, 512)
                                           : end - start);
  std::size_t at = declaration.find("encoding");
  while (at != std::string_view::npos) {
    std::size_t k = at + 8;
    while (k < declaration.size() && IsSpace(declaration[k])) ++k;
    if (k < declaration.size() && declaration[k] == '=' && at > 0 && IsSpace(declaration[at - 1])) {
      ++k;
      while (k < declaration.size() && IsSpace(declaration[k])) ++k;
      if (k < declaration.size() && (declaration[k] == '"' || declaration[k] == '\'')) {
        const std::size_t close = declaration.find(declaration[k], k + 1);
        if (close != std::string_view::npos) {
          found.Names = true;
          found.ValueOffset = start + k + 1;
          found.Name = std::string(declaration.substr(k + 1, close - k - 1));
        }
      }
      break;
    }
    at = declaration.find("encoding", at + 1);
  }
  return found;
}

bool IsUtf16Name(const std::string& lower) {
  return lower == "utf-16" || lower == "utf16" || lower == "utf-16le" || lower == "utf-16be" ||
         lower == "iso-10646-ucs-2" || lower == "ucs-2";
}

}  // namespace

TDeckText::TDeckText(std::string_view deck) : Deck(deck), EncodingName("UTF-8"), Lines(deck) {
  const auto bytes = [&](std::size_t i) {
    return i < deck.size() ? static_cast<unsigned char>(deck[i]) : 0u;
  };
  const bool littleEndian16 = bytes(0) == 0xFF && bytes(1) == 0xFE;
  if (littleEndian16 || (bytes(0) == 0xFE && bytes(1) == 0xFF)) {
    EncodingName = "UTF-16";
    DecodeUtf16(!littleEndian16);
    // XML 1.0 §4.3.3: an entity with an encoding declaration presented in
    // another encoding than the one it names is in error; the byte order
    // mark says UTF-16.
    const TDeclaredEncoding declared = ScanDeclaration(Decoded, 0);
    Declared = declared.Declared;
    if (declared.Names) {
      DeclaresEncoding = true;
      EncodingValueOffset = SourceOffset(declared.ValueOffset);
      if (!IsUtf16Name(Lower(declared.Name)) && !FirstProblem) {
        FirstProblem = TEncodingProblem{
            EncodingValueOffset,
            "Колода записана в UTF-16 (она начинается меткой порядка байтов), а объявление XML "
            "называет кодировку " +
                declared.Name + "; замените её на encoding=\"UTF-16\""};
      }
    }
    return;
  }
  // The XML declaration: "<?xml" and white space at the very start (after a
  // UTF-8 byte order mark), up to "?>".
  const std::size_t start = (bytes(0) == 0xEF && bytes(1) == 0xBB && bytes(2) == 0xBF) ? 3 : 0;
  const TDeclaredEncoding declared = ScanDeclaration(deck, start);
  Declared = declared.Declared;
  if (declared.Names) {
    DeclaresEncoding = true;
    EncodingValueOffset = declared.ValueOffset;
    EncodingName = declared.Name;
  }
  const std::string lower = Lower(EncodingName);
  if (IsUtf16Name(lower)) {
    // XML 1.0 §4.3.3: a deck in UTF-16 begins with a byte order mark; one
    // in 8-bit characters that names UTF-16 is in error. It is read as
    // UTF-8, so that its other faults are found too.
    FirstProblem = TEncodingProblem{
        EncodingValueOffset,
        "Объявление XML называет кодировку " + EncodingName +
            ", но колода записана не в UTF-16 (в её начале нет метки порядка байтов); "
            "замените её на encoding=\"UTF-8\""};
    DecodeUtf8();
  } else if (lower == "utf-8" || lower == "utf8") {
    DecodeUtf8();
  } else {
    DecodeWithIconv(EncodingName);
  }
}

void TDeckText::DecodeUtf8() {
  Identity = true;
  std::size_t bad = 0;
  for (; bad < Deck.size();) {
    const std::size_t length = Utf8SequenceLength(Deck, bad);
    if (length == 0) break;
    bad += length;
  }
  if (bad == Deck.size()) {
    Decoded.assign(Deck);
    return;
  }
  const unsigned char c = static_cast<unsigned char>(Deck[bad]);
  std::string message = "Байт " + HexByte(c) + " не является символом UTF-8";
  const bool cyrillic = LooksCyrillic(Deck);
  const std::string fix = cyrillic ? "encoding=\"windows-1251\"" : "encoding=\"windows-1252\"";
  const std::string language = cyrillic ? "если колода набрана в Windows-1251 (кириллица), "
                                        : "если колода набрана в однобайтовой западной кодировке, ";
  if (!Declared) {
    message += ": у колоды нет объявления XML, поэтому она читается как UTF-8; " + language +
               "начните её строкой <?xml version=\"1.0\" " + fix + "?>";
  } else if (!DeclaresEncoding) {
    message += ": объявление XML не называет кодировку, поэтому колода читается как UTF-8; " +
               language + "добавьте в объявление " + fix;
  } else {
    message += ", а объявление XML называет кодировку " + EncodingName + "; " + language +
               "замените её на " + fix;
  }
  if (!FirstProblem) FirstProblem = TEncodingProblem{bad, message};
  // The parser reads on with the bad bytes replaced, so that the deck's
  // other faults are found as well; positions still lead to the deck's bytes.
  Identity = false;
  Decoded.reserve(Deck.size() + 16);
  Decoded.assign(Deck.substr(0, bad));
  Anchors.push_back({0, 0, false});
  for (std::size_t i = bad; i < Deck.size();) {
    const std::size_t length = Utf8SequenceLength(Deck, i);
    if (length == 0) {
      AddCharacter(i, 1, "\xEF\xBF\xBD");
      ++i;
    } else {
      AddCharacter(i, length, Deck.substr(i, length));
      i += length;
    }
  }
}

void TDeckText::AddCharacter(std::size_t sourceStart, std::size_t sourceLength,
                             std::string_view utf8) {
  const std::size_t utf8Start = Decoded.size();
  Decoded += utf8;
  if (sourceLength == utf8.size()) {
    if (!Anchors.empty() && Anchors.back().Whole) {
      Anchors.push_back({utf8Start, sourceStart, false});
    }
    return;
  }
  Anchors.push_back({utf8Start, sourceStart, true});
}

void TDeckText::ReportUndecodable(std::size_t offset, std::size_t length) {
  if (FirstProblem) return;
  std::string bytes;
  for (std::size_t k = 0; k < length && offset + k < Deck.size(); ++k) {
    if (k) bytes += ' ';
    bytes += HexByte(static_cast<unsigned char>(Deck[offset + k]));
  }
  FirstProblem =
      TEncodingProblem{offset, (length > 1 ? "Байты " + bytes + " не являются символом"
                                           : "Байт " + bytes + " не является символом") +
                                   " кодировки " + EncodingName +
                                   ", названной в объявлении XML; проверьте, в какой кодировке " +
                                   "сохранена колода, и назовите её в объявлении (encoding=\"…\")"};
}

void TDeckText::DecodeUtf16(bool bigEndian) {
  Identity = false;
  Anchors.push_back({0, 0, false});
  const auto unit = [&](std::size_t i) -> char32_t {
    const auto a = static_cast<unsigned char>(Deck[i]);
    const auto b = static_cast<unsigned char>(Deck[i + 1]);
    return bigEndian ? (a << 8 | b) : (b << 8 | a);
  };
  std::size_t i = 2;  // after the byte order mark
  Anchors.push_back({0, 2, true});
  while (i + 1 < Deck.size()) {
    char32_t cp = unit(i);
    std::size_t length = 2;
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 3 < Deck.size()) {
      const char32_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        length = 4;
      }
    }
    if (cp >= 0xD800 && cp <= 0xDFFF) {
      ReportUndecodable(i, 2);
      cp = 0xFFFD;
    }
    std::string utf8;
    AppendUtf8(utf8, cp);
    AddCharacter(i, length, utf8);
    i += length;
  }
  if (i < Deck.size()) ReportUndecodable(i, 1);
}

void TDeckText::DecodeWithIconv(const std::string& name) {
  Identity = false;
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    Unknown = true;
    Decoded.assign(Deck);
    Identity = true;
    FirstProblem = TEncodingProblem{
        EncodingValueOffset, "Кодировка «" + name + "», названная в объявлении XML, неизвестна; " +
                                 "для русского текста укажите encoding=\"windows-1251\", " +
                                 "для любого другого — encoding=\"UTF-8\""};
    return;
  }
  SingleByte = ByteTable(name, cd);
  if (SingleByte) {
    // Every byte is one character: the decoded text's offset at the start
    // of each block of bytes is all the way back needs.
    const TByteTable& table = *SingleByte;
    // ASCII stays itself in every such encoding this program meets; the
    // loop copies it straight and looks up only the other bytes.
    bool asciiSame = true;
    for (int c = 0; c < 0x80 && asciiSame; ++c)
      asciiSame = table.Defined[c] && table.Length[c] == 1 && table.Utf8[c][0] == c;
    const auto* in = reinterpret_cast<const unsigned char*>(Deck.data());
    // Eight ASCII bytes at a time where the encoding keeps ASCII as it is.
    constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
    const auto asciiWord = [&](std::size_t i, std::size_t end) {
      if (!asciiSame || i + 8 > end) return false;
      std::uint64_t word;
      std::memcpy(&word, in + i, 8);
      return (word & kHighBits) == 0;
    };
    // One pass: room for the longest characters is made block by block
    // (reserved at once, zeroed as it is taken), and cut to what was
    // written at the end.
    Decoded.clear();
    Decoded.reserve(Deck.size() * 2 + 16);
    BlockStarts.reserve(Deck.size() / kBlock + 1);
    std::size_t used = 0;
    const auto decode = [&](std::size_t i, char*& out) {
      const unsigned char c = in[i];
      if (c < 0x80 && asciiSame) {
        *out++ = static_cast<char>(c);
        return;
      }
      if (!table.Defined[c]) ReportUndecodable(i, 1);
      // Each character is stored as the table's four bytes at once, of
      // which the next one overwrites the rest.
      std::memcpy(out, table.Utf8[c], 4);
      out += table.Length[c];
    };
    for (std::size_t block = 0; block < Deck.size(); block += kBlock) {
      BlockStarts.push_back(used);
      const std::size_t end = std::min(Deck.size(), block + kBlock);
      const std::size_t most = used + (end - block) * 4;
      if (Decoded.size() < most)
        Decoded.resize(std::max(most, Decoded.size() + Decoded.size() / 8));
      char* out = Decoded.data() + used;
      std::size_t i = block;
      for (; i + 8 <= end; i += 8) {
        if (asciiWord(i, end)) {
          std::memcpy(out, in + i, 8);
          out += 8;
        } else {
          for (std::size_t k = i; k < i + 8; ++k) decode(k, out);
        }
      }
      for (; i < end; ++i) decode(i, out);
      used = static_cast<std::size_t>(out - Decoded.data());
    }
    Decoded.resize(used);
    iconv_close(cd);
    return;
  }
  Decoded.reserve(Deck.size() + Deck.size() / 2);
  Anchors.push_back({0, 0, false});
  // A multi-byte encoding: convert one character at a time, growing the
  // input until it holds a whole character, so that each character's output
  // knows the input bytes it came from.
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::size_t i = 0;
  while (i < Deck.size()) {
    bool done = false;
    const std::size_t most = std::min<std::size_t>(Deck.size() - i, 6);
    for (std::size_t length = 1; length <= most && !done; ++length) {
      char* inPtr = const_cast<char*>(Deck.data() + i);
      std::size_t inLeft = length;
      char out[16];
      char* outPtr = out;
      std::size_t outLeft = sizeof out;
      const std::size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
      if (result == static_cast<std::size_t>(-1) && errno == EINVAL) continue;
      if (result == static_cast<std::size_t>(-1) && inLeft == length) break;
      AddCharacter(i, length - inLeft,
                   std::string_view(out, static_cast<std::size_t>(outPtr - out)));
      i += length - inLeft;
      done = true;
    }
    if (!done) {
      ReportUndecodable(i, 1);
      AddCharacter(i, 1, "\xEF\xBF\xBD");
      ++i;
    }
  }
  iconv_close(cd);
}

std::size_t TDeckText::SourceOffset(std::size_t utf8Offset) const {
  if (Identity) return std::min(utf8Offset, Deck.size());
  if (utf8Offset >= Decoded.size()) return Deck.size();
  if (SingleByte) {
    const auto next = std::upper_bound(BlockStarts.begin(), BlockStarts.end(), utf8Offset);
    const std::size_t block = static_cast<std::size_t>(next - BlockStarts.begin()) - 1;
    std::size_t source = block * kBlock, decoded = BlockStarts[block];
    for (; source < Deck.size(); ++source) {
      const std::size_t length = SingleByte->Length[static_cast<unsigned char>(Deck[source])];
      if (decoded + length > utf8Offset) return source;
      decoded += length;
    }
    return Deck.size();
  }
  const auto next = std::upper_bound(
      Anchors.begin(), Anchors.end(), utf8Offset,
      [](std::size_t offset, const TAnchor& anchor) { return offset < anchor.Utf8; });
  if (next == Anchors.begin()) return utf8Offset;
  const TAnchor& anchor = *(next - 1);
  if (anchor.Whole) return anchor.Source;
  return anchor.Source + (utf8Offset - anchor.Utf8);
}

std::optional<std::size_t> EncodingDeclarationOffset(const TDeckText& text) {
  if (!text.DeclaresEncoding) return std::nullopt;
  return text.EncodingValueOffset;
}

}  // namespace deckhand::wml
