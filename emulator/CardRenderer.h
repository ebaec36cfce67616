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
// from link to link and scroll where there is nothing to focus; the left and
// right keys scroll the lines of mode="nowrap" paragraphs sideways.
//
// Layout is bounded by the limits of EmulatorLimits.h (text, title, elements,
// images and their pixels): reaching one stops the layout where it is, draws
// a Russian message at the top of the screen, above what was laid out, and
// keeps the message for the caller (LimitMessage). Decoded images are kept between
// renders, by path, modification time and size.
#pragma once

#include <QImage>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "emulator/UserAgent.h"
#include "wml/Phones.h"

namespace deckhand::wml {

// Decodes a WBMP (type 0) picture; a null image when the bytes are not one.
QImage DecodeWbmp(const std::string& bytes);

// The work of the last layout, to keep it bounded.
struct TLayoutStats {
  std::size_t Elements = 0;       // elements laid out
  std::size_t TextBytes = 0;      // bytes of text laid out (the title's apart)
  std::size_t TitleBytes = 0;     // bytes of the title laid out
  std::size_t Images = 0;         // images placed
  std::size_t ImageDecodes = 0;   // image files read and decoded (not from the cache)
  std::size_t CutCharacters = 0;  // characters copied while cutting words longer than a line
  std::size_t Lines = 0;          // lines of content
};

// Decoded pictures by file, bounded by kMaxCachedImages.
class TImageCache {
 public:
  // The picture of a WBMP file, decoded once while the file's modification
  // time and size stay the same; null when it is not a picture. decoded tells
  // whether the file was read this time.
  QImage Get(const std::filesystem::path& path, bool& decoded);

 private:
  struct TEntry {
    std::filesystem::file_time_type Time;
    std::uintmax_t Size = 0;
    QImage Picture;
  };
  std::map<std::string, TEntry> entries_;
};

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
  // Scroll the lines of nowrap paragraphs in view sideways (WML 1.1
  // §11.8.3: the user can see the whole of such a line). false, and nothing
  // moves, when no line in view is wider than the screen.
  bool Left();
  bool Right();
  // How far nowrap lines are scrolled to the left, in pixels.
  int HorizontalScroll() const { return hScroll_; }
  // Back to the top of the card (after a new card is shown).
  void ResetScroll() { scroll_ = 0; }
  int Scroll() const { return scroll_; }

  // The message of the limit the last Render reached (Russian), empty when
  // it reached none. The same text is drawn on the screen.
  const std::string& LimitMessage() const { return limitMessage_; }
  const TLayoutStats& Stats() const { return stats_; }

  struct TFocusBox {
    int Focus;
    int Top;
    int Bottom;  // content coordinates, bottom excluded
  };

 private:
  TUserAgent& agent_;
  const TPhoneProfile* profile_;
  int scroll_ = 0;
  int hScroll_ = 0;
  int hScrollMost_ = 0;  // widest overflow of a nowrap line in view
  std::string limitMessage_;
  TLayoutStats stats_;
  TImageCache images_;
  int contentHeight_ = 0;
  int viewTop_ = 0;
  std::vector<TFocusBox> boxes_;
  std::string lastCard_;
  bool lastMenu_ = false;
  int lastFocus_ = -2;
};

}  // namespace deckhand::wml
