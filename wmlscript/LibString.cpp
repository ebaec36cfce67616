// The String library (WAP-194 §9): strings are counted in characters.
#include <cmath>
#include <cstdio>

#include "wmlscript/Lexer.h"
#include "wmlscript/Library.h"

namespace deckhand::wmlscript {
namespace {

std::u32string Decode(const std::string& s) {
  std::u32string out;
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const int n = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    char32_t cp = n == 0 ? c : n == 1 ? (c & 0x1F) : n == 2 ? (c & 0x0F) : (c & 0x07);
    for (int k = 1; k <= n && i + k < s.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    }
    out.push_back(cp);
    i += n + 1;
  }
  return out;
}

std::string Encode(std::u32string_view s) {
  std::string out;
  for (char32_t c : s) AppendUtf8(out, c);
  return out;
}

// WAP-193 §6.1.2 white space.
bool IsWhite(char32_t c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\n' || c == '\r';
}

// An index argument: integers, and floats through Float.int.
std::optional<std::int64_t> Index(const TValue& v) {
  const TValue n = ToNumber(v);
  if (n.Type == TType::Integer) return n.Int;
  if (n.Type == TType::Float) return static_cast<std::int64_t>(std::trunc(n.Float));
  return std::nullopt;
}

std::vector<std::u32string> Split(const std::u32string& s, char32_t separator) {
  std::vector<std::u32string> parts(1);
  for (char32_t c : s) {
    if (c == separator)
      parts.emplace_back();
    else
      parts.back().push_back(c);
  }
  return parts;
}

std::u32string Join(const std::vector<std::u32string>& parts, char32_t separator) {
  std::u32string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) out.push_back(separator);
    out += parts[i];
  }
  return out;
}

std::size_t Clamp(std::int64_t index, std::size_t count) {
  if (index < 0) return 0;
  return static_cast<std::size_t>(
      std::min<std::int64_t>(index, static_cast<std::int64_t>(count) - 1));
}

// String.format: the first specifier %[width][.precision](d|f|s) takes the
// value, later ones become empty; %% is a percent sign.
TValue Format(const std::string& format, const TValue& value) {
  std::string out;
  bool used = false;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out.push_back(format[i]);
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out.push_back('%');
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    int width = 0, precision = -1;
    while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j]))) {
      width = std::min(width * 10 + (format[j++] - '0'), 1000);
    }
    if (j < format.size() && format[j] == '.') {
      precision = 0;
      ++j;
      while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j]))) {
        precision = std::min(precision * 10 + (format[j++] - '0'), 1000);
      }
    }
    if (j >= format.size() || (format[j] != 'd' && format[j] != 'f' && format[j] != 's')) {
      return TValue::Invalid();
    }
    const char type = format[j];
    i = j;
    if (used) continue;
    used = true;
    std::string text;
    if (type == 'd') {
      const TValue n = ToNumber(value);
      if (n.IsInvalid()) return n;
      const std::int64_t v =
          n.Type == TType::Integer ? n.Int : static_cast<std::int64_t>(std::trunc(n.Float));
      text = std::to_string(v < 0 ? -v : v);
      if (precision >= 0 && static_cast<int>(text.size()) < precision) {
        text.insert(0, precision - text.size(), '0');
      }
      if (precision == 0 && v == 0) text.clear();
      if (v < 0) text.insert(0, "-");
    } else if (type == 'f') {
      const std::optional<float> f = ToFloat(ToNumber(value));
      if (!f) return TValue::Invalid();
      char buffer[1100];
      std::snprintf(buffer, sizeof buffer, "%.*f", precision < 0 ? 6 : std::min(precision, 60),
                    static_cast<double>(*f));
      text = buffer;
    } else {
      const std::optional<std::string> s = ToString(value);
      if (!s) return TValue::Invalid();
      text = *s;
      if (precision >= 0) {
        const std::u32string chars = Decode(text);
        if (chars.size() > static_cast<std::size_t>(precision)) {
          text = Encode(std::u32string_view(chars).substr(0, precision));
        }
      }
    }
    const std::size_t length = CharacterCount(text);
    if (static_cast<std::size_t>(width) > length) text.insert(0, width - length, ' ');
    out += text;
  }
  return TValue::String(out);
}

}  // namespace

std::size_t CharacterCount(const std::string& s) {
  std::size_t n = 0;
  for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

TValue CallString(std::uint8_t function, TValue* args, TLibraryContext&) {
  if (function == 14) {  // toString: invalid gives "invalid"
    const std::optional<std::string> s = ToString(args[0]);
    return TValue::String(s ? *s : "invalid");
  }
  const std::optional<std::string> first = ToString(args[0]);
  if (!first) return TValue::Invalid();
  const std::u32string s = Decode(*first);
  switch (function) {
    case 0:
      return TValue::Integer(static_cast<std::int64_t>(s.size()));
    case 1:
      return TValue::Boolean(s.empty());
    case 2: {  // charAt
      const auto index = Index(args[1]);
      if (!index) return TValue::Invalid();
      if (*index < 0 || *index >= static_cast<std::int64_t>(s.size())) return TValue::String("");
      return TValue::String(Encode(s.substr(static_cast<std::size_t>(*index), 1)));
    }
    case 3: {  // subString
      auto start = Index(args[1]);
      const auto length = Index(args[2]);
      if (!start || !length) return TValue::Invalid();
      if (*start < 0) *start = 0;
      if (*length <= 0 || *start >= static_cast<std::int64_t>(s.size())) return TValue::String("");
      return TValue::String(Encode(std::u32string_view(s).substr(
          static_cast<std::size_t>(*start), static_cast<std::size_t>(*length))));
    }
    case 4: {  // find
      const std::optional<std::string> sub = ToString(args[1]);
      if (!sub || sub->empty()) return TValue::Invalid();
      const std::size_t at = s.find(Decode(*sub));
      return TValue::Integer(at == std::u32string::npos ? -1 : static_cast<std::int64_t>(at));
    }
    case 5: {  // replace
      const std::optional<std::string> from = ToString(args[1]), to = ToString(args[2]);
      if (!from || !to || from->empty()) return TValue::Invalid();
      const std::u32string f = Decode(*from), t = Decode(*to);
      std::u32string out;
      std::size_t pos = 0;
      for (std::size_t at; (at = s.find(f, pos)) != std::u32string::npos; pos = at + f.size()) {
        out += s.substr(pos, at - pos);
        out += t;
      }
      out += s.substr(pos);
      return TValue::String(Encode(out));
    }
    case 6: {  // elements
      const std::optional<std::string> sep = ToString(args[1]);
      if (!sep || sep->empty()) return TValue::Invalid();
      return TValue::Integer(static_cast<std::int64_t>(Split(s, Decode(*sep)[0]).size()));
    }
    case 7:    // elementAt(string, index, separator)
    case 8: {  // removeAt(string, index, separator)
      const auto index = Index(args[1]);
      const std::optional<std::string> sep = ToString(args[2]);
      if (!index || !sep || sep->empty()) return TValue::Invalid();
      const char32_t separator = Decode(*sep)[0];
      std::vector<std::u32string> parts = Split(s, separator);
      const std::size_t i = Clamp(*index, parts.size());
      if (function == 7) return TValue::String(Encode(parts[i]));
      parts.erase(parts.begin() + static_cast<std::ptrdiff_t>(i));
      return TValue::String(Encode(Join(parts, separator)));
    }
    case 9:     // replaceAt(string, element, index, separator)
    case 10: {  // insertAt(string, element, index, separator)
      const std::optional<std::string> element = ToString(args[1]);
      const auto index = Index(args[2]);
      const std::optional<std::string> sep = ToString(args[3]);
      if (!element || !index || !sep || sep->empty()) return TValue::Invalid();
      const char32_t separator = Decode(*sep)[0];
      std::vector<std::u32string> parts = Split(s, separator);
      if (function == 9) {
        parts[Clamp(*index, parts.size())] = Decode(*element);
      } else if (s.empty()) {
        parts[0] = Decode(*element);
      } else {
        const std::size_t at = *index < 0 ? 0
                                          : static_cast<std::size_t>(std::min<std::int64_t>(
                                                *index, static_cast<std::int64_t>(parts.size())));
        parts.insert(parts.begin() + static_cast<std::ptrdiff_t>(at), Decode(*element));
      }
      return TValue::String(Encode(Join(parts, separator)));
    }
    case 11: {  // squeeze: every run of white space becomes one space
      std::u32string out;
      for (std::size_t i = 0; i < s.size(); ++i) {
        if (IsWhite(s[i])) {
          if (i == 0 || !IsWhite(s[i - 1])) out.push_back(U' ');
        } else {
          out.push_back(s[i]);
        }
      }
      return TValue::String(Encode(out));
    }
    case 12: {  // trim
      std::size_t b = 0, e = s.size();
      while (b < e && IsWhite(s[b])) ++b;
      while (e > b && IsWhite(s[e - 1])) --e;
      return TValue::String(Encode(std::u32string_view(s).substr(b, e - b)));
    }
    case 13: {  // compare
      const std::optional<std::string> other = ToString(args[1]);
      if (!other) return TValue::Invalid();
      const int c = first->compare(*other);
      return TValue::Integer(c < 0 ? -1 : c > 0 ? 1 : 0);
    }
    case 15:
      return Format(*first, args[1]);
    default:
      return TValue::Invalid();
  }
}

}  // namespace deckhand::wmlscript
