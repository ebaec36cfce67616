// Binary WML 1.1: a parsed deck encoded as WBXML 1.1 with the WML 1.1 token
// tables, as a WAP gateway sends it to a phone.
#pragma once

#include <libxml/tree.h>

#include <optional>
#include <string>

namespace deckhand::wml {

// WBXML 1.1 header of a WML 1.1 deck: version 1.1, public identifier 4
// (WML 1.1), charset 106 (UTF-8), an empty string table.
inline constexpr char kWbxmlHeader[] = {0x01, 0x04, 0x6A, 0x00};

// Global tokens of WBXML used by the encoder.
namespace wbxml {
inline constexpr unsigned char kEnd = 0x01;
inline constexpr unsigned char kStrI = 0x03;
inline constexpr unsigned char kExtI0 = 0x40;  // variable, escaped
inline constexpr unsigned char kExtI1 = 0x41;  // variable, unescaped
inline constexpr unsigned char kExtI2 = 0x42;  // variable, no conversion
inline constexpr unsigned char kHasAttributes = 0x80;
inline constexpr unsigned char kHasContent = 0x40;
}  // namespace wbxml

// The token of a WML 1.1 element, or 0 when WML 1.1 has none.
unsigned char WmlTagToken(std::string_view name);

// Encodes the tree of a well-formed deck (strings in UTF-8, every string
// inline, white space at the ends of text dropped); empty when an element or
// attribute has no WML 1.1 token. sizeHint: the bytes the result is likely
// to take at most (the deck's text), for room made at once.
std::optional<std::string> EncodeWbxml(const xmlDoc* doc, std::size_t sizeHint = 0);

}  // namespace deckhand::wml
