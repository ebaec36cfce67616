// What the parts of the card renderer share (emulator/CardRenderer*.cpp): the
// bitmap text primitives, the atoms and lines of a layout, and the builder
// that lays a card out. Not part of the renderer's interface.
#pragma once

#include <QImage>
#include <QRect>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/CardRenderer.h"
#include "emulator/PixelFontData.h"

namespace deckhand::wml::render_detail {

// Drawing: the screen fonts and their glyphs (CardRendererText.cpp).

enum TSize { kSmall, kNormal, kBig };

const TPixelFontData& FontOf(int size);

struct TStyle {
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool Link = false;
  int Size = kNormal;
  int Focus = -1;
};

int TextWidth(std::u32string_view text, const TStyle& style);

// Draws text with its top left corner at (x, y), only inside clip.
void DrawText(QImage& image, int x, int y, std::u32string_view text, const TStyle& style,
              QRgb color, const QRect& clip);

// Layout: what a card becomes before it is painted.

struct TAtom {
  // A soft break ends the line when it holds anything; a break always does.
  enum class TKind { Word, Space, Break, SoftBreak, Image, Field } Kind = TKind::Word;
  std::u32string Text;
  TStyle Style;
  QImage Picture;
  int Width = 0;
  int Ascent = 0;
  int Descent = 0;
  bool Checkable = false;
};

struct TPlaced {
  TAtom Atom;
  int X;
  int ClipRight;  // last column the atom may draw into
};

struct TLine {
  int Top = 0;
  int Ascent = 0;
  int Descent = 0;
  // A line of a nowrap paragraph: it may be wider than the screen, and the
  // left and right keys scroll it.
  bool Nowrap = false;
  int Right = 0;  // right end of its last item
  std::vector<TPlaced> Items;
  int Height() const { return Ascent + Descent; }
};

inline bool IsSpace(char32_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// text without the XML white space at its ends (WML 1.1 §11.8.1).
std::string_view TrimXmlSpace(std::string_view text);

// The length of the longest prefix of utf8 of at most limit bytes that ends
// on a character boundary.
inline std::size_t Utf8Prefix(std::string_view utf8, std::size_t limit) {
  if (utf8.size() <= limit) return utf8.size();
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) --end;
  return end;
}

// What one layout shares between the card and its table cells: the limits'
// counts, the message of the limit reached, the image cache.
struct TLayoutState {
  TLayoutStats Stats;
  std::string Message;
  TImageCache* Images = nullptr;
  bool Stopped() const { return !Message.empty(); }
};

// Lays out a card, or a table cell, into lines of the given width: text and
// inline elements (CardRendererLayout.cpp), form controls
// (CardRendererForms.cpp), tables (CardRendererTables.cpp).
class TBuilder {
 public:
  TBuilder(const TUserAgent& agent, int width, bool tables, TLayoutState& state)
      : agent_(agent), width_(width), tables_(tables), state_(state) {}

  std::vector<TLine> Lines;
  int Y = 0;

  void Card(const TNode& card);
  void Text(std::string_view utf8, const TStyle& style);
  void Break(bool soft = false);
  void Flush();
  // A line built by hand (table rows, menu entries).
  void AddLine(TLine line);
  void Field(std::u32string text, const TStyle& style, bool checkable);
  // Ends the layout here: what is laid out stays, the message follows it.
  void Stop(std::string message);
  static std::string LimitText();

 private:
  // Counts one element laid out; false (and the layout stops) past the limit.
  bool Count();
  void Space(const TStyle& style);
  void Measure(TAtom& atom);
  // Children of an element.
  void Walk(const TNode& node, const TStyle& style);
  void Walk1(const TNode& node, const TStyle& inherited);
  void Pre(const TNode& node, const TStyle& style);
  void Image(const TNode& node, const TStyle& style);
  void Input(const TNode& node, const TStyle& inherited);
  void Select(const TNode& node, const TStyle& inherited);
  // The text of an element, white space collapsed, at most the card's text
  // limit.
  std::string PlainText(const TNode& node) const;
  void Table(const TNode& table, const TStyle& style);

  const TUserAgent& agent_;
  int width_;
  bool tables_;
  TLayoutState& state_;
  bool wrap_ = true;
  int align_ = 0;
  std::size_t depth_ = 0;
  std::vector<TAtom> atoms_;
};

struct TScreenText {
  std::u32string Title;
  std::vector<TLine> Lines;
};

// Lays out what the screen shows now into lines (content coordinates).
TScreenText BuildScreen(const TUserAgent& agent, int contentWidth, bool tables,
                        TLayoutState& state);

}  // namespace deckhand::wml::render_detail
