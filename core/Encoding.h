// Conversion between the document's Windows-1251 bytes and Unicode.
//
// The document, its files, the clipboard text and every literal the program
// inserts are single-byte Windows-1251. Source files keep Russian literals as
// readable UTF-8 and convert them here.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace deckhand {

// Windows-1251 bytes to Unicode. Every byte maps to exactly one UTF-16 unit
// (the code page's one unassigned byte, 0x98, becomes U+0098), so the
// conversion back gives the same bytes.
QString Cp1251ToUnicode(std::string_view bytes);

// Unicode to Windows-1251 bytes. A character the code page cannot represent
// becomes a numeric character reference ("&#128512;"), so nothing is lost
// silently. representable, when given, is set to false if any was replaced.
std::string UnicodeToCp1251(const QString& text, bool* representable = nullptr);

// True when every character of text has a Windows-1251 byte.
bool IsCp1251Representable(const QString& text);

// A UTF-8 literal converted to Windows-1251 ("Привет" -> CF F0 E8 E2 E5 F2).
std::string Cp1251(std::string_view utf8);

}  // namespace deckhand
