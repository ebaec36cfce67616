// The program's fonts. The window font is "MS Sans Serif", 11 pixels; the
// small labels use "Tahoma". Debian's fonts-wine ships both, with Cyrillic,
// in a folder fontconfig does not scan, so they are registered at start-up
// when present; otherwise Qt falls back to the system's sans-serif.
#pragma once

#include <QFont>

namespace deckhand {

// Registers the fonts that are present; returns how many files were added.
int RegisterProgramFonts();

// "MS Sans Serif" at the given pixel size, sans-serif where it is missing.
QFont WindowFont(int pixelSize = 11);
// "Tahoma" at the given pixel size, sans-serif where it is missing.
QFont TahomaFont(int pixelSize);

}  // namespace deckhand
