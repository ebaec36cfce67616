// The WML 1.1 document type, carried inside the program so that a deck is
// validated without reading anything from the disk or the network.
#pragma once

#include <string_view>

namespace deckhand::wml {

// Public identifier of WML 1.1 decks.
inline constexpr std::string_view kWml11PublicId = "-//WAPFORUM//DTD WML 1.1//EN";
// System identifier that WML 1.1 decks name in their DOCTYPE.
inline constexpr std::string_view kWml11SystemId = "http://www.wapforum.org/DTD/wml_1.1.xml";

// The declarations of WML 1.1 (elements, attributes, entities) as DTD text.
std::string_view Wml11Dtd();

}  // namespace deckhand::wml
