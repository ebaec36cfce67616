#include "wmlscript/Value.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace deckhand::wmlscript {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

TValue TValue::Integer(std::int64_t v) {
  if (v > INT32_MAX || v < INT32_MIN) return Invalid();
  TValue r;
  r.Type = TType::Integer;
  r.Int = static_cast<std::int32_t>(v);
  return r;
}

TValue TValue::FloatValue(double v) {
  if (!std::isfinite(v)) return Invalid();
  TValue r;
  r.Type = TType::Float;
  // WAP-193 §6.2.7.2: a result too small to be represented is 0.0.
  r.Float = std::fabs(v) < FLT_MIN ? 0.0f : static_cast<float>(v);
  if (std::isinf(r.Float)) return Invalid();
  return r;
}

bool TValue::operator==(const TValue& o) const {
  if (Type != o.Type) return false;
  switch (Type) {
    case TType::Integer:
    case TType::Boolean:
      return Int == o.Int;
    case TType::Float:
      return Float == o.Float;
    case TType::String:
      return Str == o.Str;
    case TType::Invalid:
      return true;
  }
  return false;
}

std::string FloatText(float f) {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, f);
  std::string text(buffer, ec == std::errc() ? end : buffer);
  if (text.find_first_of(".en") == std::string::npos) text += ".0";
  return text;
}

std::optional<std::string> ToString(const TValue& v) {
  switch (v.Type) {
    case TType::Integer:
      return std::to_string(v.Int);
    case TType::Float:
      return FloatText(v.Float);
    case TType::String:
      return v.Str;
    case TType::Boolean:
      return std::string(v.Int ? "true" : "false");
    case TType::Invalid:
      return std::nullopt;
  }
  return std::nullopt;
}

std::optional<std::int32_t> ParseIntegerString(std::string_view s) {
  s = Trim(s);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > 2147483648LL) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::optional<double> ParseFloatString(std::string_view s) {
  s = Trim(s);
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t expDigits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++expDigits;
    if (expDigits == 0) return std::nullopt;
  }
  if (i != s.size()) return std::nullopt;
  const std::string text(s);
  return std::strtod(text.c_str(), nullptr);
}

std::optional<std::int32_t> ToInteger(const TValue& v) {
  switch (v.Type) {
    case TType::Integer:
    case TType::Boolean:
      return v.Int;
    case TType::String:
      return ParseIntegerString(v.Str);
    default:
      return std::nullopt;
  }
}

std::optional<float> ToFloat(const TValue& v) {
  switch (v.Type) {
    case TType::Integer:
    case TType::Boolean:
      return static_cast<float>(v.Int);
    case TType::Float:
      return v.Float;
    case TType::String: {
      const std::optional<double> d = ParseFloatString(v.Str);
      if (!d) return std::nullopt;
      const TValue f = TValue::FloatValue(*d);
      if (f.IsInvalid()) return std::nullopt;
      return f.Float;
    }
    case TType::Invalid:
      return std::nullopt;
  }
  return std::nullopt;
}

std::optional<bool> ToBoolean(const TValue& v) {
  switch (v.Type) {
    case TType::Integer:
    case TType::Boolean:
      return v.Int != 0;
    case TType::Float:
      return v.Float != 0.0f;
    case TType::String:
      return !v.Str.empty();
    case TType::Invalid:
      return std::nullopt;
  }
  return std::nullopt;
}

TValue ToNumber(const TValue& v) {
  switch (v.Type) {
    case TType::Integer:
    case TType::Float:
      return v;
    case TType::Boolean:
      return TValue::Integer(v.Int);
    case TType::String:
      if (const auto i = ParseIntegerString(v.Str)) return TValue::Integer(*i);
      if (const auto f = ToFloat(v)) {
        TValue r;
        r.Type = TType::Float;
        r.Float = *f;
        return r;
      }
      return TValue::Invalid();
    case TType::Invalid:
      return v;
  }
  return TValue::Invalid();
}

std::string Describe(const TValue& v) {
  switch (v.Type) {
    case TType::String:
      return "\"" + v.Str + "\"";
    case TType::Invalid:
      return "invalid";
    default:
      return *ToString(v);
  }
}

}  // namespace deckhand::wmlscript
