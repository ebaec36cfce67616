// What the parts of the compiled-deck decoder share (wml/WbxmlDecode*.cpp):
// the rules of the XML text it writes. Not part of the decoder's interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace deckhand::wml::wbxml_detail {

// Elements of WML whose content model holds no text: white space between
// their children is not content (XML 1.0 §2.10), so each child goes on a
// line of its own.
bool HoldsNoText(std::string_view name);

// A character XML 1.0 allows (§2.2).
bool IsXmlChar(std::uint32_t c);

void AppendUtf8(std::string& out, std::uint32_t c);

// The offset of the first byte of text that is not UTF-8 or not an XML
// character, or npos.
std::size_t BadUtf8(std::string_view text);

// An XML Name (XML 1.0 fifth edition §2.3) of valid UTF-8 text.
bool IsXmlName(std::string_view name);

// A WML variable name (WML 1.1 §10.3.1): a letter or "_", then letters,
// digits and "_".
bool IsVariableName(std::string_view name);

// Where decoded text goes: element content, an attribute value in double
// quotes, or a processing instruction's data.
enum class TPlace { Text, Attribute, Instruction };

// Appends text escaped for its place: markup characters as references, "$"
// as "$$", the invisible no-break space and soft hyphen as "&#160;" and
// "&#173;".
void Escape(std::string_view text, TPlace place, std::string& out);

}  // namespace deckhand::wml::wbxml_detail
