// The phone screen of the emulator: lays out the user agent's current card
// and draws it into an image of exactly the phone profile's screen size,
// with the bitmap fonts of PixelFontData, so the picture is the same on
// every run and every machine.
//
// A title line (the card's title), then the card's paragraphs with their
// align and mode, br, the text styles (b, strong, i, em, u, big, small),
// links, input fields, the options of select elements, tables where the
// phone draws them (else one cell under the other), images (a WBMP file found
// next to the deck, else the alt text). The content scrolls under the title
// when it is taller than the screen; the up and down keys move the focus
// from link to link and scroll where there is nothing to focus.
#pragma once

#include <QImage>
#include <string>
#include <vector>

#include "wml/Phones.h"
#include "wml/UserAgent.h"

namespace deckhand::wml {

// Decodes a WBMP (type 0) picture; a null image when the bytes are not one.
QImage DecodeWbmp(const std::string& bytes);

class TPhoneScreen {
 public:
  TPhoneScreen(TUserAgent& agent, const TPhoneProfile& profile);

  void SetProfile(const TPhoneProfile& profile);
  const TPhoneProfile& Profile() const { return *profile_; }
  // Screen size in pixels (the profile's, or 128x128 when it records none).
  int Width() const;
  int Height() const;

  // Draws the agent's current screen. Keeps the focused item in view.
  QImage Render();

  // The navigation keys. They act on the layout of the last Render.
  void Up();
  void Down();
  // Back to the top of the card (after a new card is shown).
  void ResetScroll() { scroll_ = 0; }
  int Scroll() const { return scroll_; }

  struct TFocusBox {
    int Focus;
    int Top;
    int Bottom;  // content coordinates, bottom excluded
  };

 private:
  TUserAgent& agent_;
  const TPhoneProfile* profile_;
  int scroll_ = 0;
  int contentHeight_ = 0;
  int viewTop_ = 0;
  std::vector<TFocusBox> boxes_;
  std::string lastCard_;
  bool lastMenu_ = false;
  int lastFocus_ = -2;
};

}  // namespace deckhand::wml
