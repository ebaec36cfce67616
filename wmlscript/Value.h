// WMLScript values and the automatic conversions between their types
// (WAP-193 §6.2 and §6.8): integer, floating-point, string, boolean, invalid.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace deckhand::wmlscript {

// The codes are those typeof gives (WAP-193 §6.3.11).
enum class TType : std::uint8_t { Integer = 0, Float = 1, String = 2, Boolean = 3, Invalid = 4 };

struct TValue {
  TType Type = TType::String;
  std::int32_t Int = 0;  // Integer; Boolean (0 or 1)
  float Float = 0;
  std::string Str;  // UTF-8

  static TValue Integer(std::int64_t v);  // invalid outside 32 bits
  static TValue FloatValue(double v);     // invalid when not finite or out of range
  static TValue String(std::string s) {
    TValue v;
    v.Str = std::move(s);
    return v;
  }
  static TValue Boolean(bool b) {
    TValue v;
    v.Type = TType::Boolean;
    v.Int = b;
    return v;
  }
  static TValue Invalid() {
    TValue v;
    v.Type = TType::Invalid;
    return v;
  }
  bool IsInvalid() const { return Type == TType::Invalid; }
  bool operator==(const TValue& other) const;
};

// The conversions; empty when the value cannot be converted.
std::optional<std::string> ToString(const TValue& v);
std::optional<std::int32_t> ToInteger(const TValue& v);  // floats do not convert
std::optional<float> ToFloat(const TValue& v);
std::optional<bool> ToBoolean(const TValue& v);
// A number: integer when the value converts to one, else float; invalid when
// neither (WAP-193 §6.8: "Integers or floats" operands).
TValue ToNumber(const TValue& v);

// A float as WMLScript shows it: the shortest text that reads back to the
// same value, with ".0" when it would look like an integer.
std::string FloatText(float f);

// The numeric string grammars: a decimal integer (sign allowed, surrounded
// by white space), and a decimal floating-point number.
std::optional<std::int32_t> ParseIntegerString(std::string_view s);
std::optional<double> ParseFloatString(std::string_view s);

// A value as the tests and the debugger print it: 12, 1.5, "text", true, invalid.
std::string Describe(const TValue& v);

}  // namespace deckhand::wmlscript
