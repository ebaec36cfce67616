#include "wmlscript/Lexer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <unordered_set>

namespace deckhand::wmlscript {
namespace {

// Windows-1251 bytes 0x80..0xBF as Unicode (0x98 has no character).
constexpr std::array<std::uint16_t, 64> kCp1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

constexpr std::string_view kReserved[] = {
    // Keywords (WAP-193 §6.1.7).
    "access", "agent", "break", "continue", "div", "domain", "else", "equiv", "extern", "for",
    "function", "header", "http", "if", "isvalid", "meta", "name", "path", "return", "typeof",
    "url", "use", "user", "var", "while",
    // Literal names.
    "true", "false", "invalid",
    // Reserved for future use.
    "delete", "in", "lib", "new", "null", "this", "void", "with", "case", "catch", "class", "const",
    "debugger", "default", "do", "enum", "export", "extends", "finally", "import", "private",
    "public", "sizeof", "struct", "super", "switch", "throw", "try"};

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentPart(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class TLexer {
 public:
  TLexer(std::string_view src, TSourceCharset charset, std::vector<TDiagnostic>& diags)
      : Src(src), Charset(charset), Diags(diags) {}

  std::vector<TToken> Run() {
    std::vector<TToken> tokens;
    tokens.reserve(Src.size() / 4 + 1);
    for (;;) {
      if (!SkipSpaceAndComments()) {
        tokens.push_back(Make(TTokenKind::Error));
        break;
      }
      if (Pos >= Src.size()) break;
      tokens.push_back(Next());
      if (Diags.size() >= kMaxCompileErrors) break;
    }
    TToken end = Make(TTokenKind::End);
    tokens.push_back(end);
    return tokens;
  }

 private:
  std::string_view Src;
  TSourceCharset Charset;
  std::vector<TDiagnostic>& Diags;
  std::size_t Pos = 0;
  int Line = 1;
  std::size_t LineStart = 0;

  int Column() const { return static_cast<int>(Pos - LineStart) + 1; }
  TToken Make(TTokenKind kind) const {
    TToken t;
    t.Kind = kind;
    t.Line = Line;
    t.Column = Column();
    return t;
  }
  void Error(int line, int column, std::string message) {
    Diags.push_back({TSeverity::Error, line, column, std::move(message)});
  }
  char Peek(std::size_t ahead = 0) const {
    return Pos + ahead < Src.size() ? Src[Pos + ahead] : '\0';
  }
  void NewLine() {
    // CR LF, LF and CR each end a line.
    if (Src[Pos] == '\r' && Pos + 1 < Src.size() && Src[Pos + 1] == '\n') ++Pos;
    ++Pos;
    ++Line;
    LineStart = Pos;
  }

  bool SkipSpaceAndComments() {
    while (Pos < Src.size()) {
      const char c = Src[Pos];
      if (c == '\n' || c == '\r') {
        NewLine();
      } else if (c == ' ' || c == '\t' || c == '\v' || c == '\f') {
        ++Pos;
      } else if (c == '/' && Peek(1) == '/') {
        while (Pos < Src.size() && Src[Pos] != '\n' && Src[Pos] != '\r') ++Pos;
      } else if (c == '/' && Peek(1) == '*') {
        const int line = Line, column = Column();
        Pos += 2;
        for (;;) {
          if (Pos >= Src.size()) {
            Error(line, column, "комментарий /* не закрыт до конца файла");
            return false;
          }
          if (Src[Pos] == '*' && Peek(1) == '/') {
            Pos += 2;
            break;
          }
          if (Src[Pos] == '\n' || Src[Pos] == '\r') {
            NewLine();
          } else {
            ++Pos;
          }
        }
      } else {
        break;
      }
    }
    return true;
  }

  TToken Next() {
    const char c = Src[Pos];
    if (IsIdentStart(c)) return Word();
    if (std::isdigit(static_cast<unsigned char>(c)) ||
        (c == '.' && std::isdigit(static_cast<unsigned char>(Peek(1)))))
      return Number();
    if (c == '"' || c == '\'') return StringLiteral();
    return Punctuator();
  }

  TToken Word() {
    TToken t = Make(TTokenKind::Identifier);
    const std::size_t start = Pos;
    while (Pos < Src.size() && IsIdentPart(Src[Pos])) ++Pos;
    t.Text = std::string(Src.substr(start, Pos - start));
    if (t.Text == "div") {
      t.Kind = TTokenKind::Punct;
      if (Peek() == '=' && Peek(1) != '=') {
        ++Pos;
        t.Text = "div=";
      }
    } else if (IsReservedWord(t.Text)) {
      t.Kind = TTokenKind::Keyword;
    }
    return t;
  }

  TToken Number() {
    TToken t = Make(TTokenKind::Integer);
    const std::size_t start = Pos;
    bool isFloat = false;
    if (Src[Pos] == '0' && (Peek(1) == 'x' || Peek(1) == 'X')) {
      Pos += 2;
      std::uint64_t value = 0;
      const std::size_t digits = Pos;
      while (Pos < Src.size() && HexValue(Src[Pos]) >= 0) {
        value = std::min<std::uint64_t>(value * 16 + HexValue(Src[Pos]), 1ull << 40);
        ++Pos;
      }
      if (Pos == digits) Error(t.Line, t.Column, "в шестнадцатеричном числе нет цифр");
      t.Integer = static_cast<std::int64_t>(value);
    } else if (Src[Pos] == '0' && std::isdigit(static_cast<unsigned char>(Peek(1)))) {
      std::uint64_t value = 0;
      ++Pos;
      while (Pos < Src.size() && std::isdigit(static_cast<unsigned char>(Src[Pos]))) {
        if (Src[Pos] > '7') {
          Error(Line, Column(), "цифра " + std::string(1, Src[Pos]) + " в восьмеричном числе");
        }
        value = std::min<std::uint64_t>(value * 8 + (Src[Pos] - '0'), 1ull << 40);
        ++Pos;
      }
      t.Integer = static_cast<std::int64_t>(value);
    } else {
      while (Pos < Src.size() && std::isdigit(static_cast<unsigned char>(Src[Pos]))) ++Pos;
      if (Peek() == '.') {
        isFloat = true;
        ++Pos;
        while (Pos < Src.size() && std::isdigit(static_cast<unsigned char>(Src[Pos]))) ++Pos;
      }
      if (Peek() == 'e' || Peek() == 'E') {
        std::size_t save = Pos;
        ++Pos;
        if (Peek() == '+' || Peek() == '-') ++Pos;
        if (std::isdigit(static_cast<unsigned char>(Peek()))) {
          isFloat = true;
          while (Pos < Src.size() && std::isdigit(static_cast<unsigned char>(Src[Pos]))) ++Pos;
        } else {
          Pos = save;
        }
      }
      const std::string text(Src.substr(start, Pos - start));
      if (isFloat) {
        t.Kind = TTokenKind::Float;
        t.Float = std::strtod(text.c_str(), nullptr);
      } else {
        std::uint64_t value = 0;
        for (char d : text) value = std::min<std::uint64_t>(value * 10 + (d - '0'), 1ull << 40);
        t.Integer = static_cast<std::int64_t>(value);
      }
    }
    if (Pos < Src.size() && IsIdentPart(Src[Pos])) {
      Error(Line, Column(), "после числа сразу идёт буква или цифра");
      while (Pos < Src.size() && IsIdentPart(Src[Pos])) ++Pos;
    }
    return t;
  }

  void AppendSourceByte(std::string& out) {
    const auto byte = static_cast<unsigned char>(Src[Pos]);
    if (byte < 0x80 || Charset == TSourceCharset::Utf8) {
      out.push_back(static_cast<char>(byte));
    } else if (byte >= 0xC0) {
      AppendUtf8(out, 0x0410 + (byte - 0xC0));
    } else {
      AppendUtf8(out, kCp1251High[byte - 0x80]);
    }
    ++Pos;
  }

  TToken StringLiteral() {
    TToken t = Make(TTokenKind::String);
    const char quote = Src[Pos++];
    for (;;) {
      if (Pos >= Src.size() || Src[Pos] == '\n' || Src[Pos] == '\r') {
        Error(t.Line, t.Column, "строка не закрыта до конца строки");
        t.Kind = TTokenKind::Error;
        return t;
      }
      const char c = Src[Pos];
      if (c == quote) {
        ++Pos;
        return t;
      }
      if (c != '\\') {
        AppendSourceByte(t.Text);
        continue;
      }
      const int line = Line, column = Column();
      ++Pos;
      const char e = Peek();
      ++Pos;
      switch (e) {
        case '\'':
        case '"':
        case '\\':
        case '/':
          t.Text.push_back(e);
          break;
        case 'b':
          t.Text.push_back('\b');
          break;
        case 'f':
          t.Text.push_back('\f');
          break;
        case 'n':
          t.Text.push_back('\n');
          break;
        case 'r':
          t.Text.push_back('\r');
          break;
        case 't':
          t.Text.push_back('\t');
          break;
        case 'x':
        case 'u': {
          const int digits = e == 'x' ? 2 : 4;
          std::uint32_t value = 0;
          for (int i = 0; i < digits; ++i) {
            const int h = HexValue(Peek());
            if (h < 0) {
              Error(line, column,
                    std::string("после \\") + e + " должно быть " +
                        (digits == 2 ? "две" : "четыре") + " шестнадцатеричные цифры");
              value = 0xFFFD;
              break;
            }
            value = value * 16 + static_cast<std::uint32_t>(h);
            ++Pos;
          }
          AppendUtf8(t.Text, value);
          break;
        }
        default:
          if (e >= '0' && e <= '7') {
            std::uint32_t value = static_cast<std::uint32_t>(e - '0');
            for (int i = 0; i < 2 && Peek() >= '0' && Peek() <= '7' && value * 8 < 256; ++i) {
              value = value * 8 + static_cast<std::uint32_t>(Peek() - '0');
              ++Pos;
            }
            AppendUtf8(t.Text, value);
          } else {
            if (Pos > Src.size()) Pos = Src.size();
            Error(line, column, "неизвестная управляющая последовательность в строке");
          }
      }
    }
  }

  TToken Punctuator() {
    static constexpr std::array<std::string_view, 47> kPuncts = {
        ">>>=", "<<=", ">>=", ">>>", "==", "!=", "<=", ">=", "&&", "||", "++", "--",
        "+=",   "-=",  "*=",  "/=",  "%=", "&=", "|=", "^=", "<<", ">>", "=",  "<",
        ">",    "!",   "~",   "?",   ":",  ".",  ",",  ";",  "(",  ")",  "{",  "}",
        "+",    "-",   "*",   "/",   "%",  "&",  "|",  "^",  "#",  "[",  "]"};
    TToken t = Make(TTokenKind::Punct);
    for (std::string_view p : kPuncts) {
      if (p[0] == Src[Pos] && Src.substr(Pos, p.size()) == p) {
        t.Text = std::string(p);
        Pos += p.size();
        return t;
      }
    }
    const auto byte = static_cast<unsigned char>(Src[Pos]);
    if (byte >= 0x80) {
      Error(t.Line, t.Column, "буква не из ASCII вне строки и комментария");
    } else {
      Error(t.Line, t.Column, std::string("недопустимый символ «") + static_cast<char>(byte) + "»");
    }
    ++Pos;
    if (Charset == TSourceCharset::Utf8) {
      while (Pos < Src.size() && (static_cast<unsigned char>(Src[Pos]) & 0xC0) == 0x80) ++Pos;
    }
    t.Kind = TTokenKind::Error;
    return t;
  }
};

}  // namespace

bool IsReservedWord(std::string_view word) {
  static const std::unordered_set<std::string_view> kWords(std::begin(kReserved),
                                                           std::end(kReserved));
  return kWords.count(word) != 0;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool IsValidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    int n = 0;
    std::uint32_t cp = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      n = 1, cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      n = 2, cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      n = 3, cp = c & 0x07;
    } else {
      return false;
    }
    for (int k = 1; k <= n; ++k) {
      if (i + k >= s.size()) return false;
      const auto d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if ((n == 1 && cp < 0x80) || (n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) ||
        cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += n + 1;
  }
  return true;
}

std::string Cp1251ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte < 0x80) {
      out.push_back(ch);
    } else if (byte >= 0xC0) {
      AppendUtf8(out, 0x0410 + (byte - 0xC0));
    } else {
      AppendUtf8(out, kCp1251High[byte - 0x80]);
    }
  }
  return out;
}

TSourceCharset DetectCharset(std::string_view source, std::string& unsupported) {
  unsupported.clear();
  std::size_t head = source.find("function");
  if (head == std::string_view::npos) head = source.size();
  std::string lower(source.substr(0, head));
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  });
  const std::size_t meta = lower.find("meta");
  const std::size_t at = meta == std::string::npos ? meta : lower.find("charset", meta);
  if (at != std::string::npos) {
    std::size_t p = at + 7;
    while (p < lower.size() && (lower[p] == ' ' || lower[p] == '=')) ++p;
    std::size_t end = p;
    while (end < lower.size() && (std::isalnum(static_cast<unsigned char>(lower[end])) ||
                                  lower[end] == '-' || lower[end] == '_'))
      ++end;
    const std::string name = lower.substr(p, end - p);
    if (name == "utf-8" || name == "utf8") return TSourceCharset::Utf8;
    if (name == "windows-1251" || name == "cp1251" || name == "win-1251") {
      return TSourceCharset::Windows1251;
    }
    if (!name.empty() && name != "us-ascii") unsupported = source.substr(at + (p - at), end - p);
  }
  return IsValidUtf8(source) ? TSourceCharset::Utf8 : TSourceCharset::Windows1251;
}

std::vector<TToken> Tokenize(std::string_view source, TSourceCharset charset,
                             std::vector<TDiagnostic>& diagnostics) {
  return TLexer(source, charset, diagnostics).Run();
}

}  // namespace deckhand::wmlscript
