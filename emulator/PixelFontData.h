// The phone screen's bitmap fonts, converted at build time from the
// misc-fixed X11 fonts (xfonts-base, public domain): one glyph per code point,
// each a cell of the font's full height whose rows are bit masks (bit 15 the
// leftmost pixel), code points in ascending order.
#pragma once

#include <cstddef>
#include <cstdint>

namespace deckhand::wml {

struct TPixelFontData {
  int Ascent;
  int Descent;
  int Advance;  // every glyph of these fonts is this wide
  std::size_t Count;
  const std::uint32_t* Codes;
  const std::uint16_t* Rows;  // Count * (Ascent + Descent) rows

  int Height() const { return Ascent + Descent; }
};

extern const TPixelFontData kSmallFont;   // 5x8
extern const TPixelFontData kNormalFont;  // 6x10
extern const TPixelFontData kBigFont;     // 7x14

}  // namespace deckhand::wml
