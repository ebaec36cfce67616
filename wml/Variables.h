// WML variable references in text and attribute values: "$name",
// "$(name)", "$(name:conversion)", and "$$" for a dollar sign.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace deckhand::wml {

enum class TVariableConversion { None, Escape, Unescape, NoEscape };

struct TTextPiece {
  bool IsVariable = false;
  std::string Text;  // literal text, or the variable's name
  TVariableConversion Conversion = TVariableConversion::None;
};

struct TBadReference {
  std::size_t Offset = 0;  // of the "$" in the text
  std::string Reference;   // as written, up to the end of the reference
};

// Splits text into literal pieces and variable references. A "$" that
// starts no valid reference stays literal text and is listed in bad.
std::vector<TTextPiece> SplitVariables(std::string_view text,
                                       std::vector<TBadReference>* bad = nullptr);

// Whether text holds any "$" (a reference, a bad one or "$$").
inline bool HasDollar(std::string_view text) { return text.find('$') != std::string_view::npos; }

}  // namespace deckhand::wml
