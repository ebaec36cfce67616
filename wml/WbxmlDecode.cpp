#include "wml/WbxmlDecode.h"

#include <iconv.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <unordered_set>

#include "wml/WbxmlDecodeInternal.h"
#include "wml/WbxmlTables.h"

namespace deckhand::wml {

namespace {

using namespace wbxml_detail;

// Global tokens of WBXML 1.3 §7.1, reserved in every code page of both code
// spaces.
enum : unsigned char {
  kSwitchPage = 0x00,
  kEnd = 0x01,
  kEntity = 0x02,
  kStrI = 0x03,
  kLiteral = 0x04,
  kExtI0 = 0x40,
  kExtI2 = 0x42,
  kPi = 0x43,
  kLiteralC = 0x44,
  kExtT0 = 0x80,
  kExtT2 = 0x82,
  kStrT = 0x83,
  kLiteralA = 0x84,
  kExt0 = 0xC0,
  kExt2 = 0xC2,
  kOpaque = 0xC3,
  kLiteralAc = 0xC4,
};

// Public identifiers of WML (WBXML 1.3 §7.2.1 and the WAP registry).
constexpr std::uint32_t kPublicIdUnknown = 1;
constexpr std::uint32_t kPublicIdWml10 = 2;
constexpr std::uint32_t kPublicIdWml11 = 4;
constexpr std::uint32_t kPublicIdWml12 = 9;
constexpr std::uint32_t kPublicIdWml13 = 0x0A;

struct TWmlVersion {
  int Version;
  std::string_view PublicId;
  std::string_view SystemId;
};

constexpr std::array kWmlVersions{
    TWmlVersion{11, "-//WAPFORUM//DTD WML 1.1//EN", "http://www.wapforum.org/DTD/wml_1.1.xml"},
    TWmlVersion{12, "-//WAPFORUM//DTD WML 1.2//EN", "http://www.wapforum.org/DTD/wml12.dtd"},
    TWmlVersion{13, "-//WAPFORUM//DTD WML 1.3//EN", "http://www.wapforum.org/DTD/wml13.dtd"},
};

// Character sets by IANA MIBenum, as the C library's converter names them.
struct TCharset {
  std::uint32_t MibEnum;
  const char* Name;
};

constexpr std::array kCharsets{
    TCharset{4, "ISO-8859-1"},   TCharset{5, "ISO-8859-2"},    TCharset{6, "ISO-8859-3"},
    TCharset{7, "ISO-8859-4"},   TCharset{8, "ISO-8859-5"},    TCharset{9, "ISO-8859-6"},
    TCharset{10, "ISO-8859-7"},  TCharset{11, "ISO-8859-8"},   TCharset{12, "ISO-8859-9"},
    TCharset{13, "ISO-8859-10"}, TCharset{17, "SHIFT_JIS"},    TCharset{18, "EUC-JP"},
    TCharset{38, "EUC-KR"},      TCharset{109, "ISO-8859-13"}, TCharset{111, "ISO-8859-15"},
    TCharset{113, "GBK"},        TCharset{2025, "GB2312"},     TCharset{2026, "BIG5"},
    TCharset{2084, "KOI8-R"},    TCharset{2088, "KOI8-U"},     TCharset{2250, "CP1250"},
    TCharset{2251, "CP1251"},    TCharset{2252, "CP1252"},     TCharset{2253, "CP1253"},
    TCharset{2254, "CP1254"},    TCharset{2255, "CP1255"},     TCharset{2256, "CP1256"},
    TCharset{2257, "CP1257"},    TCharset{2258, "CP1258"},
};

constexpr std::uint32_t kMibUnknown = 0, kMibAscii = 3, kMibUtf8 = 106;

// Tokens of code page 0 by value, built once from the shared tables.
struct TTokenMaps {
  std::array<const wbxml::TTag*, 64> Tags{};
  std::array<const wbxml::TAttributeStart*, 128> Starts{};
  std::array<const wbxml::TAttributeValue*, 256> Values{};
};

const TTokenMaps& Maps() {
  static const TTokenMaps maps = [] {
    TTokenMaps m;
    for (const auto& tag : wbxml::kTags) m.Tags[tag.Token & 0x3F] = &tag;
    for (const auto& start : wbxml::kAttributeStarts) m.Starts[start.Token] = &start;
    for (const auto& value : wbxml::kAttributeValues) m.Values[value.Token] = &value;
    return m;
  }();
  return maps;
}

class TDecoder {
 public:
  explicit TDecoder(std::string_view in) : In(in) {}
  ~TDecoder() {
    if (Converter != reinterpret_cast<iconv_t>(-1)) iconv_close(Converter);
  }
  TDecoder(const TDecoder&) = delete;
  TDecoder& operator=(const TDecoder&) = delete;

  bool Run() {
    if (!Header()) return false;
    while (Pos < In.size() && Byte(Pos) == kPi) {
      if (!Instruction()) return false;
      Out += '\n';
    }
    if (Pos >= In.size()) return Fail("в колоде нет ни одного элемента");
    if (!Element(1)) return false;
    while (Pos < In.size()) {
      At = Pos;
      if (Byte(Pos) != kPi) return Fail("лишние данные после корневого элемента");
      Out += '\n';
      if (!Instruction()) return false;
    }
    Out += '\n';
    return Limit(Out);
  }

  std::string Out;
  std::string Error;

 private:
  unsigned char Byte(std::size_t at) const { return static_cast<unsigned char>(In[at]); }

  bool Fail(const std::string& message) {
    Error = "Сжатая колода, байт " + std::to_string(At) + ": " + message;
    return false;
  }

  bool Truncated() { return Fail("данные обрываются раньше конца колоды"); }

  bool Next(unsigned char& c) {
    if (Pos >= In.size()) return Truncated();
    c = Byte(Pos++);
    return true;
  }

  // A multi-byte integer of WBXML 1.3 §5.1: seven bits a byte, most
  // significant first, the high bit set on all bytes but the last.
  bool Number(std::uint32_t& value) {
    value = 0;
    for (int i = 0; i < 5; ++i) {
      unsigned char c = 0;
      if (!Next(c)) return false;
      if (value > (UINT32_MAX >> 7)) break;
      value = (value << 7) | (c & 0x7F);
      if ((c & 0x80) == 0) return true;
    }
    return Fail("число длиннее 32 бит");
  }

  bool Header() {
    At = 0;
    unsigned char version = 0;
    if (!Next(version)) return false;
    if (version > 0x03) {
      return Fail("версия WBXML " + std::to_string((version >> 4) + 1) + "." +
                  std::to_string(version & 0x0F) + " не поддерживается (только 1.0-1.3)");
    }
    At = Pos;
    std::uint32_t publicId = 0, publicIdIndex = 0;
    if (!Number(publicId)) return false;
    const std::size_t publicIdAt = At;
    if (publicId == 0 && !Number(publicIdIndex)) return false;
    // WBXML 1.0 has no charset field; its strings are taken as UTF-8.
    std::uint32_t charset = kMibUtf8;
    At = Pos;
    if (version >= 0x01 && !Number(charset)) return false;
    if (!UseCharset(charset)) return false;
    At = Pos;
    std::uint32_t tableLength = 0;
    if (!Number(tableLength)) return false;
    if (tableLength > In.size() - Pos) return Fail("таблица строк длиннее самих данных");
    Table = In.substr(Pos, tableLength);
    Pos += tableLength;

    At = publicIdAt;
    const TWmlVersion* wml = nullptr;
    if (publicId == 0) {
      std::string_view name;
      if (!TableString(publicIdIndex, name)) return false;
      for (const TWmlVersion& v : kWmlVersions) {
        if (v.PublicId == name) wml = &v;
      }
      if (wml == nullptr) {
        std::string text;
        if (!Convert(name, text)) return false;
        return Fail("это не колода WML 1.1-1.3: публичный идентификатор «" + text + "»");
      }
    } else if (publicId == kPublicIdWml11 || publicId == kPublicIdUnknown) {
      wml = &kWmlVersions[0];
    } else if (publicId == kPublicIdWml12) {
      wml = &kWmlVersions[1];
    } else if (publicId == kPublicIdWml13) {
      wml = &kWmlVersions[2];
    } else if (publicId == kPublicIdWml10) {
      return Fail("колоды WML 1.0 не поддерживаются (только WML 1.1-1.3)");
    } else {
      return Fail("это не колода WML: публичный идентификатор " + std::to_string(publicId));
    }
    Out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE wml PUBLIC \"";
    Out += wml->PublicId;
    Out += "\" \"";
    Out += wml->SystemId;
    Out += "\">\n";
    return true;
  }

  bool UseCharset(std::uint32_t mib) {
    if (mib == kMibUtf8 || mib == kMibAscii || mib == kMibUnknown) return true;
    for (const TCharset& charset : kCharsets) {
      if (charset.MibEnum != mib) continue;
      Converter = iconv_open("UTF-8", charset.Name);
      if (Converter == reinterpret_cast<iconv_t>(-1))
        return Fail(std::string("кодировка ") + charset.Name + " недоступна в системе");
      return true;
    }
    return Fail("кодировка с номером MIBenum " + std::to_string(mib) + " не поддерживается");
  }

  // A string of the deck's charset in UTF-8, refused when it is not text
  // XML can hold.
  bool Convert(std::string_view raw, std::string& text) {
    if (Converter == reinterpret_cast<iconv_t>(-1)) {
      text.assign(raw);
    } else {
      iconv(Converter, nullptr, nullptr, nullptr, nullptr);
      text.assign(raw.size() * 4 + 4, '\0');
      char* in = const_cast<char*>(raw.data());
      std::size_t inLeft = raw.size();
      char* out = text.data();
      std::size_t outLeft = text.size();
      if (iconv(Converter, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1) ||
          iconv(Converter, nullptr, nullptr, &out, &outLeft) == static_cast<std::size_t>(-1)) {
        return Fail("строка не в кодировке, которую объявляет колода");
      }
      text.resize(text.size() - outLeft);
    }
    const std::size_t bad = BadUtf8(text);
    if (bad == std::string_view::npos) return true;
    char code[8];
    std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned char>(text[bad]));
    return Fail(Converter == reinterpret_cast<iconv_t>(-1)
                    ? std::string("строка не в UTF-8 или содержит символ, недопустимый в XML (") +
                          code + ")"
                    : std::string("строка содержит символ, недопустимый в XML"));
  }

  // An inline string: the bytes up to the next zero byte.
  bool InlineString(std::string_view& raw) {
    const std::size_t end = In.find('\0', Pos);
    if (end == std::string_view::npos) return Fail("строка не закончена нулевым байтом");
    raw = In.substr(Pos, end - Pos);
    Pos = end + 1;
    return true;
  }

  bool TableString(std::uint32_t offset, std::string_view& raw) {
    if (offset >= Table.size()) {
      return Fail("ссылка на строку " + std::to_string(offset) + " за пределами таблицы строк (" +
                  std::to_string(Table.size()) + " байт)");
    }
    const std::size_t end = Table.find('\0', offset);
    if (end == std::string_view::npos)
      return Fail("строка таблицы строк не закончена нулевым байтом");
    raw = Table.substr(offset, end - offset);
    return true;
  }

  bool TableReference(std::string_view& raw) {
    std::uint32_t offset = 0;
    return Number(offset) && TableString(offset, raw);
  }

  // A string, variable or character after its token, written to out.
  bool Piece(unsigned char token, TPlace place, bool address, std::string& out) {
    std::string_view raw;
    std::string text;
    if (token == kEntity) {
      std::uint32_t code = 0;
      if (!Number(code)) return false;
      if (!IsXmlChar(code)) return Fail("символ " + std::to_string(code) + " недопустим в XML");
      AppendUtf8(text, code);
      Escape(text, place, out);
      return Limit(out);
    }
    if (token == kStrI || (token >= kExtI0 && token <= kExtI2)) {
      if (!InlineString(raw)) return false;
    } else if (!TableReference(raw)) {
      return false;
    }
    if (!Convert(raw, text)) return false;
    if (token == kStrI || token == kStrT) {
      Escape(text, place, out);
      return Limit(out);
    }
    if (!IsVariableName(text)) return Fail("«" + text + "» не имя переменной WML");
    // EXT_I_0 and EXT_T_0 escape, _1 unescape, _2 substitute as they are
    // (WML 1.1 §14.1.1).
    const int kind = token & 0x03;
    const int usual = address ? 0 : 2;
    out += "$(";
    out += text;
    if (kind != usual) out += kind == 0 ? ":escape" : kind == 1 ? ":unesc" : ":noesc";
    out += ')';
    return Limit(out);
  }

  // out: the output itself, or a piece of it still being gathered.
  bool Limit(const std::string& out) {
    const std::size_t size = &out == &Out ? Out.size() : Out.size() + out.size();
    if (size <= kMaxDecodedSize) return true;
    return Fail("исходный текст колоды получается больше 4 МБ");
  }

  // Reads a name given by LITERAL (its string table reference).
  bool LiteralName(std::string& name) {
    std::string_view raw;
    if (!TableReference(raw) || !Convert(raw, name)) return false;
    if (!IsXmlName(name)) return Fail("«" + name + "» не может быть именем в XML");
    return true;
  }

  // Attribute-start token (or LITERAL) at the current position: the name and
  // the beginning of the value.
  bool AttributeStart(unsigned char token, std::string& name, std::string_view& prefix) {
    if (token == kLiteral) {
      prefix = {};
      return LiteralName(name);
    }
    const wbxml::TAttributeStart* start = AttributePage == 0 ? Maps().Starts[token] : nullptr;
    if (start == nullptr) return UnknownToken("атрибута", token, AttributePage);
    name = start->Name;
    prefix = start->ValuePrefix;
    return true;
  }

  bool UnknownToken(const char* what, unsigned char token, unsigned char page) {
    char code[8];
    std::snprintf(code, sizeof code, "0x%02X", token);
    return Fail(std::string("неизвестный код ") + what + " " + code + " (кодовая страница " +
                std::to_string(page) + ")");
  }

  bool SwitchPage(unsigned char& page) {
    At = Pos - 1;
    return Next(page);
  }

  // The attributes of an element, up to their END.
  bool Attributes() {
    std::unordered_set<std::string> names;
    bool open = false;
    bool address = false;
    while (true) {
      At = Pos;
      unsigned char token = 0;
      if (!Next(token)) return false;
      if (token == kEnd) break;
      if (token == kSwitchPage) {
        if (!SwitchPage(AttributePage)) return false;
        continue;
      }
      if (token == kEntity || token == kStrI || token == kStrT ||
          (token >= kExtI0 && token <= kExtI2) || (token >= kExtT0 && token <= kExtT2)) {
        if (!open) return Fail("значение атрибута без его имени");
        if (!Piece(token, TPlace::Attribute, address, Out)) return false;
        continue;
      }
      if (!Allowed(token, "в списке атрибутов")) return false;
      if (token == kLiteral || token < 0x80) {
        std::string name;
        std::string_view prefix;
        if (!AttributeStart(token, name, prefix)) return false;
        if (!names.insert(name).second) return Fail("атрибут " + name + " повторяется");
        if (open) Out += '"';
        Out += ' ';
        Out += name;
        Out += "=\"";
        Escape(prefix, TPlace::Attribute, Out);
        address = wbxml::IsAddressAttribute(name);
        open = true;
        continue;
      }
      if (!open) return Fail("значение атрибута без его имени");
      const wbxml::TAttributeValue* value = AttributePage == 0 ? Maps().Values[token] : nullptr;
      if (value == nullptr) return UnknownToken("значения атрибута", token, AttributePage);
      Escape(value->Text, TPlace::Attribute, Out);
    }
    if (open) Out += '"';
    return Limit(Out);
  }

  // Refuses the global tokens that have no place here.
  bool Allowed(unsigned char token, const char* where) {
    if (token == kOpaque) return Fail("данные OPAQUE в WML не используются");
    if (token >= kExt0 && token <= kExt2)
      return Fail("однобайтовые расширения EXT_0-EXT_2 в WML не используются");
    if (token == kPi || token == kLiteralC || token == kLiteralA || token == kLiteralAc) {
      char code[8];
      std::snprintf(code, sizeof code, "0x%02X", token);
      return Fail(std::string("код ") + code + " недопустим " + where);
    }
    return true;
  }

  // A processing instruction: PI, an attribute start giving its target and
  // the beginning of its data, values, END (WBXML 1.3 §5.8.4.3).
  bool Instruction() {
    At = Pos;
    ++Pos;  // PI
    std::string target, data;
    std::string_view prefix;
    unsigned char token = 0;
    while (true) {
      At = Pos;
      if (!Next(token)) return false;
      if (token != kSwitchPage) break;
      if (!SwitchPage(AttributePage)) return false;
    }
    if (token != kLiteral &&
        (token >= 0x80 || token < 0x05 || (token >= kExtI0 && token <= kLiteralC)))
      return Fail("в инструкции обработки нет её имени");
    if (!AttributeStart(token, target, prefix)) return false;
    if (target.size() == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' &&
        (target[2] | 0x20) == 'l') {
      return Fail("инструкция обработки не может называться xml");
    }
    data.assign(prefix);
    while (true) {
      At = Pos;
      if (!Next(token)) return false;
      if (token == kEnd) break;
      if (token == kSwitchPage) {
        if (!SwitchPage(AttributePage)) return false;
        continue;
      }
      if (token == kEntity || token == kStrI || token == kStrT ||
          (token >= kExtI0 && token <= kExtI2) || (token >= kExtT0 && token <= kExtT2)) {
        if (!Piece(token, TPlace::Instruction, false, data)) return false;
        continue;
      }
      if (!Allowed(token, "в инструкции обработки")) return false;
      const wbxml::TAttributeValue* value =
          token >= 0x80 && AttributePage == 0 ? Maps().Values[token] : nullptr;
      if (value == nullptr) return UnknownToken("значения атрибута", token, AttributePage);
      data += value->Text;
    }
    if (data.find("?>") != std::string::npos) return Fail("в инструкции обработки стоит «?>»");
    Out += "<?";
    Out += target;
    if (!data.empty()) {
      Out += ' ';
      Out += data;
    }
    Out += "?>";
    return Limit(Out);
  }

  void Indent(int depth) {
    Out += '\n';
    Out.append(static_cast<std::size_t>(2 * depth), ' ');
  }

  bool Element(int depth) {
    if (depth > kMaxDecodedDepth) {
      At = Pos;
      return Fail("элементы вложены глубже " + std::to_string(kMaxDecodedDepth) + " уровней");
    }
    unsigned char token = 0;
    while (true) {
      At = Pos;
      if (!Next(token)) return false;
      if (token != kSwitchPage) break;
      if (!SwitchPage(TagPage)) return false;
    }
    std::string name;
    const unsigned char code = token & 0x3F;
    if (code == kLiteral) {
      if (!LiteralName(name)) return false;
    } else {
      if (!Allowed(token, "на месте элемента")) return false;
      const wbxml::TTag* tag = TagPage == 0 && code > kLiteral ? Maps().Tags[code] : nullptr;
      if (tag == nullptr) return UnknownToken("элемента", code, TagPage);
      name = tag->Name;
    }
    Out += '<';
    Out += name;
    if ((token & 0x80) != 0 && !Attributes()) return false;
    if ((token & 0x40) == 0) {
      Out += "/>";
      return true;
    }
    Out += '>';
    const bool layout = HoldsNoText(name);
    bool children = false;
    while (true) {
      At = Pos;
      if (!Next(token)) return false;
      if (token == kEnd) break;
      if (token == kSwitchPage) {
        if (!SwitchPage(TagPage)) return false;
        continue;
      }
      if (token == kEntity || token == kStrI || token == kStrT ||
          (token >= kExtI0 && token <= kExtI2) || (token >= kExtT0 && token <= kExtT2)) {
        if (!Piece(token, TPlace::Text, false, Out)) return false;
        continue;
      }
      --Pos;
      if (layout) Indent(depth);
      children = true;
      if (token == kPi) {
        if (!Instruction()) return false;
      } else if (!Element(depth + 1)) {
        return false;
      }
      if (!Limit(Out)) return false;
    }
    if (layout && children) Indent(depth - 1);
    Out += "</";
    Out += name;
    Out += '>';
    return Limit(Out);
  }

  std::string_view In;
  std::size_t Pos = 0;
  std::size_t At = 0;  // where the token being read begins, for messages
  std::string_view Table;
  iconv_t Converter = reinterpret_cast<iconv_t>(-1);
  unsigned char TagPage = 0;
  unsigned char AttributePage = 0;
};

}  // namespace

std::optional<std::string> DecodeWmlc(std::string_view bytes, std::string& error) {
  TDecoder decoder(bytes);
  if (!decoder.Run()) {
    error = std::move(decoder.Error);
    return std::nullopt;
  }
  error.clear();
  return std::move(decoder.Out);
}

}  // namespace deckhand::wml
