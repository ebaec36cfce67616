// The Lang and Float libraries (WAP-194 §7 and §8).
#include <cfloat>
#include <cmath>
#include <cstdlib>

#include "wmlscript/Library.h"

namespace deckhand::wmlscript {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The longest prefix of s, after white space, that is a decimal integer:
// parsing ends at the first character that is not a leading sign or a
// digit (WAP-194 Lang.parseInt). Empty when there is none or it overflows.
std::optional<std::int32_t> IntegerPrefix(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size() && IsSpace(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  const std::size_t start = i;
  std::int64_t value = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    value = value * 10 + (s[i++] - '0');
    if (value > 2147483648LL) return std::nullopt;
  }
  if (i == start) return std::nullopt;
  if (negative) value = -value;
  if (value > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

// The longest prefix that is a decimal floating-point number
// (WAP-194 Lang.parseFloat).
std::optional<double> FloatPrefix(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size() && IsSpace(s[i])) ++i;
  const std::size_t start = i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    std::size_t j = i + 1, fraction = 0;
    while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j, ++fraction;
    if (digits + fraction > 0) i = j, digits += fraction;
  }
  if (digits == 0) return std::nullopt;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    const std::size_t expStart = j;
    while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
    if (j > expStart) i = j;
  }
  return std::strtod(s.substr(start, i - start).c_str(), nullptr);
}

// Float.int of a number: the integer part; empty when out of range.
std::optional<std::int32_t> Truncate(const TValue& number) {
  if (number.Type == TType::Integer) return number.Int;
  const double t = std::trunc(number.Float);
  if (t < INT32_MIN || t > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(t);
}

TValue FromDouble(double d) {
  if (d < INT32_MIN || d > INT32_MAX) return TValue::Invalid();
  return TValue::Integer(static_cast<std::int64_t>(d));
}

}  // namespace

TValue CallLang(std::uint8_t function, TValue* args, TLibraryContext& context) {
  switch (function) {
    case 0: {  // abs
      const TValue n = ToNumber(args[0]);
      if (n.Type == TType::Integer) return TValue::Integer(std::llabs(std::int64_t{n.Int}));
      if (n.Type == TType::Float) return TValue::FloatValue(std::fabs(n.Float));
      return TValue::Invalid();
    }
    case 1:    // min
    case 2: {  // max
      const TValue a = ToNumber(args[0]), b = ToNumber(args[1]);
      if (a.IsInvalid() || b.IsInvalid()) return TValue::Invalid();
      const double x = a.Type == TType::Float ? a.Float : a.Int;
      const double y = b.Type == TType::Float ? b.Float : b.Int;
      // Equal values select the first; the selected number keeps its type
      // (WAP-194 §7.2: min(45, 45.0) is 45).
      const bool second = function == 1 ? y < x : y > x;
      return second ? b : a;
    }
    case 3: {  // parseInt
      const std::optional<std::string> s = ToString(args[0]);
      if (!s) return TValue::Invalid();
      const auto v = IntegerPrefix(*s);
      return v ? TValue::Integer(*v) : TValue::Invalid();
    }
    case 4: {  // parseFloat
      const std::optional<std::string> s = ToString(args[0]);
      if (!s) return TValue::Invalid();
      const auto v = FloatPrefix(*s);
      return v ? TValue::FloatValue(*v) : TValue::Invalid();
    }
    case 5:    // isInt
    case 6: {  // isFloat
      const std::optional<std::string> s = ToString(args[0]);
      if (!s) return TValue::Invalid();
      if (function == 5) return TValue::Boolean(IntegerPrefix(*s).has_value());
      const auto v = FloatPrefix(*s);
      return TValue::Boolean(v && !TValue::FloatValue(*v).IsInvalid());
    }
    case 7:
      return TValue::Integer(INT32_MAX);
    case 8:
      return TValue::Integer(INT32_MIN);
    case 9:
      return TValue::Boolean(true);  // float: floats are supported
    case 10:                         // exit
      context.Result.Status = TRunStatus::Returned;
      context.Result.Value = args[0];
      context.Stop = true;
      return TValue::String("");
    case 11: {  // abort
      const std::optional<std::string> s = ToString(args[0]);
      context.Result.Status = TRunStatus::Aborted;
      context.Result.Message = s ? *s : "invalid";
      context.Stop = true;
      return TValue::String("");
    }
    case 12: {  // random
      const TValue n = ToNumber(args[0]);
      if (n.IsInvalid()) return n;
      const std::optional<std::int32_t> bound = Truncate(n);
      if (!bound || *bound < 0) return TValue::Invalid();
      if (*bound == 0) return TValue::Integer(0);
      return TValue::Integer(context.Random.Next() % (static_cast<std::uint32_t>(*bound) + 1u));
    }
    case 13: {  // seed
      const TValue n = ToNumber(args[0]);
      if (n.IsInvalid()) return n;
      const std::optional<std::int32_t> seed = Truncate(n);
      if (!seed) return TValue::Invalid();
      context.Random.Seed(*seed >= 0 ? static_cast<std::uint64_t>(*seed)
                                     : context.Random.SystemSeed);
      return TValue::String("");
    }
    case 14:
      return TValue::Integer(kMibUtf8);  // characterSet
    default:
      return TValue::Invalid();
  }
}

TValue CallFloat(std::uint8_t function, TValue* args, TLibraryContext&) {
  if (function == 6) return TValue::FloatValue(FLT_MAX);
  if (function == 7) return TValue::FloatValue(FLT_MIN);
  const TValue n = ToNumber(args[0]);
  if (n.IsInvalid()) return n;
  const double x = n.Type == TType::Float ? n.Float : n.Int;
  switch (function) {
    case 0: {  // int
      const auto v = Truncate(n);
      return v ? TValue::Integer(*v) : TValue::Invalid();
    }
    case 1:
      return n.Type == TType::Integer ? n : FromDouble(std::floor(x));
    case 2:
      return n.Type == TType::Integer ? n : FromDouble(std::ceil(x));
    case 3: {  // pow
      const TValue m = ToNumber(args[1]);
      if (m.IsInvalid()) return m;
      const double y = m.Type == TType::Float ? m.Float : m.Int;
      if (x == 0 && y < 0) return TValue::Invalid();
      if (x < 0 && y != std::trunc(y)) return TValue::Invalid();
      return TValue::FloatValue(std::pow(x, y));
    }
    case 4:  // round: halves go to the larger integer
      return n.Type == TType::Integer ? n : FromDouble(std::floor(x + 0.5));
    case 5:  // sqrt
      if (x < 0) return TValue::Invalid();
      return TValue::FloatValue(std::sqrt(x));
    default:
      return TValue::Invalid();
  }
}

TValue CallLibrary(std::uint16_t library, std::uint8_t function, TValue* args,
                   TLibraryContext& context) {
  switch (library) {
    case 0:
      return CallLang(function, args, context);
    case 1:
      return CallFloat(function, args, context);
    case 2:
      return CallString(function, args, context);
    case 3:
      return CallUrl(function, args, context);
    case 4:
      return CallBrowser(function, args, context);
    case 5:
      return CallDialogs(function, args, context);
    default:
      return TValue::Invalid();
  }
}

}  // namespace deckhand::wmlscript
