// The lexical structure of WMLScript 1.1 (WAP-193 §6.1): tokens with their
// line and column, comments skipped, literals decoded.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "wmlscript/Compiler.h"

namespace deckhand::wmlscript {

enum class TTokenKind { End, Identifier, Keyword, Integer, Float, String, Punct, Error };

struct TToken {
  TTokenKind Kind = TTokenKind::End;
  std::string Text;          // identifier, keyword or punctuator; decoded UTF-8 for strings
  std::int64_t Integer = 0;  // integer literals, up to 2^32 (range checked by the parser)
  double Float = 0;
  int Line = 1;
  int Column = 1;
};

enum class TSourceCharset { Utf8, Windows1251 };

// The encoding of a source: the charset named in a `use meta` pragma before
// the first function, else UTF-8 when the bytes are valid UTF-8, else
// Windows-1251. Sets unsupported to the name when the pragma names another.
TSourceCharset DetectCharset(std::string_view source, std::string& unsupported);

// Splits the source into tokens, the last of kind End. Lexical errors are
// added to diagnostics (and an Error token stands in their place).
std::vector<TToken> Tokenize(std::string_view source, TSourceCharset charset,
                             std::vector<TDiagnostic>& diagnostics);

// Whether the word is a keyword, a reserved word, or a literal name
// (true, false, invalid) of WMLScript 1.1.
bool IsReservedWord(std::string_view word);

// Appends the code point as UTF-8.
void AppendUtf8(std::string& out, std::uint32_t codePoint);
// Whether the bytes are valid UTF-8.
bool IsValidUtf8(std::string_view text);
// Windows-1251 text as UTF-8.
std::string Cp1251ToUtf8(std::string_view text);

}  // namespace deckhand::wmlscript
