// A deck-like Windows-1251 text of a given size with CR LF line breaks, the
// document the file figures are measured on.
#pragma once

#include <string>

namespace deckhand::bench {

inline std::string DeckText(size_t size) {
  // "Привет всем!" in Windows-1251, so that high bytes are part of the load.
  const std::string card =
      "<card id=\"c\" title=\"T\"><p align=\"center\">\xCF\xF0\xE8\xE2\xE5\xF2 "
      "\xE2\xF1\xE5\xEC! <b>there</b></p></card>\r\n";
  std::string text;
  text.reserve(size + card.size());
  while (text.size() + card.size() <= size) text += card;
  text.append(size - text.size(), 'x');
  return text;
}

}  // namespace deckhand::bench
