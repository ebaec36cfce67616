// Compiled WML decks (application/vnd.wap.wmlc) back to WML source: a
// decoder of WBXML 1.0 to 1.3 with the WML 1.1, 1.2 and 1.3 token tables.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace deckhand::wml {

// Largest source text the decoder writes; a deck that would decode to more
// is refused (string table references can repeat a long string many times).
inline constexpr std::size_t kMaxDecodedSize = 4 * 1024 * 1024;

// Deepest nesting of elements the decoder accepts.
inline constexpr int kMaxDecodedDepth = 200;

// Decodes a compiled WML deck into WML source text.
//
// The text is always UTF-8, whatever charset the deck declares (its strings
// are converted), and begins with an XML declaration saying so and with the
// DOCTYPE of the WML version its public identifier names (WML 1.1 when the
// identifier is "unknown"). Elements whose content holds no text (wml, card,
// do, select...) put each child on a line of its own, indented by two
// spaces; other content is written as it was compiled. Variables come back
// as "$(name)" where that is the conversion the place gives by default (an
// address attribute escapes, other places do not, WML 1.1 §10.3.1), else
// with the conversion spelt out: "$(name:escape)", "$(name:unesc)",
// "$(name:noesc)". A dollar sign of the text is written "$$"; the invisible
// no-break space and soft hyphen are written "&#160;" and "&#173;".
//
// Refused with a message in error (and nothing returned): anything that is
// not a WML 1.1-1.3 deck in WBXML, input that ends early or holds bytes the
// format does not allow there, string table references outside the table,
// OPAQUE data, nesting deeper than kMaxDecodedDepth, text that XML cannot
// hold, and output over kMaxDecodedSize.
std::optional<std::string> DecodeWmlc(std::string_view bytes, std::string& error);

}  // namespace deckhand::wml
