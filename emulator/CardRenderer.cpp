#include "emulator/CardRenderer.h"

#include <QPainter>
#include <algorithm>
#include <climits>
#include <filesystem>
#include <functional>
#include <optional>
#include <unordered_map>

#include "emulator/EmulatorLimits.h"
#include "emulator/PixelFontData.h"

namespace deckhand::wml {

QImage DecodeWbmp(const std::string& bytes) {
  std::size_t at = 0;
  auto number = [&](bool& ok) {
    std::uint32_t value = 0;
    for (int i = 0; i < 5; ++i) {
      if (at >= bytes.size()) break;
      auto byte = static_cast<unsigned char>(bytes[at++]);
      value = (value << 7) | (byte & 0x7F);
      if (!(byte & 0x80)) return value;
    }
    ok = false;
    return value;
  };
  bool ok = true;
  std::uint32_t type = number(ok);
  if (!ok || type != 0 || at >= bytes.size()) return {};
  auto fixHeader = static_cast<unsigned char>(bytes[at++]);
  if (fixHeader & 0x80) return {};  // extension headers: not type 0's
  std::uint32_t width = number(ok);
  std::uint32_t height = number(ok);
  if (!ok || width == 0 || height == 0 || width > 1024 || height > 1024) return {};
  std::size_t rowBytes = (width + 7) / 8;
  if (bytes.size() - at < rowBytes * height) return {};
  QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_Mono);
  image.setColor(0, qRgb(0, 0, 0));
  image.setColor(1, qRgb(255, 255, 255));
  for (std::uint32_t y = 0; y < height; ++y) {
    uchar* line = image.scanLine(static_cast<int>(y));
    std::copy_n(bytes.data() + at + y * rowBytes, rowBytes, reinterpret_cast<char*>(line));
  }
  return image;
}

namespace {

struct TColors {
  QRgb Background, Ink, Link, FocusBackground, FocusInk, TitleBackground, TitleInk;
};

// A screen under 64 rows is drawn as the monochrome displays of that size
// were: dark ink on a grey-green glass. Bigger screens are colour screens.
TColors ColorsFor(int height) {
  if (height < 64)
    return {qRgb(0xC4, 0xCF, 0xA1), qRgb(0x1C, 0x22, 0x18), qRgb(0x1C, 0x22, 0x18),
            qRgb(0x1C, 0x22, 0x18), qRgb(0xC4, 0xCF, 0xA1), qRgb(0xC4, 0xCF, 0xA1),
            qRgb(0x1C, 0x22, 0x18)};
  return {qRgb(0xFF, 0xFF, 0xFF), qRgb(0x00, 0x00, 0x00), qRgb(0x00, 0x00, 0xC0),
          qRgb(0x20, 0x48, 0xA8), qRgb(0xFF, 0xFF, 0xFF), qRgb(0x20, 0x48, 0xA8),
          qRgb(0xFF, 0xFF, 0xFF)};
}

enum TSize { kSmall, kNormal, kBig };

const TPixelFontData& FontOf(int size) {
  return size == kSmall ? kSmallFont : size == kBig ? kBigFont : kNormalFont;
}

const std::uint16_t* Glyph(const TPixelFontData& font, char32_t cp) {
  auto find = [&](char32_t code) -> const std::uint16_t* {
    const std::uint32_t* end = font.Codes + font.Count;
    const std::uint32_t* it = std::lower_bound(font.Codes, end, static_cast<std::uint32_t>(code));
    if (it == end || *it != code) return nullptr;
    return font.Rows + (it - font.Codes) * font.Height();
  };
  if (cp == 0xA0) cp = ' ';
  if (const std::uint16_t* rows = find(cp)) return rows;
  return find('?');
}

struct TStyle {
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool Link = false;
  int Size = kNormal;
  int Focus = -1;
};

int TextWidth(std::u32string_view text, const TStyle& style) {
  return static_cast<int>(text.size()) * FontOf(style.Size).Advance;
}

void DrawText(QImage& image, int x, int y, std::u32string_view text, const TStyle& style,
              QRgb color, const QRect& clip) {
  const TPixelFontData& font = FontOf(style.Size);
  for (char32_t cp : text) {
    if (x > clip.right()) break;  // the rest is beyond the clip
    if (cp == 0xAD) continue;     // soft hyphen: shown only where a line breaks
    if (x + font.Advance + 1 < clip.left()) {
      x += font.Advance;
      continue;
    }
    const std::uint16_t* rows = Glyph(font, cp);
    for (int r = 0; rows && r < font.Height(); ++r) {
      std::uint32_t bits = rows[r];
      if (style.Bold) bits |= bits >> 1;
      int shift = style.Italic && r < font.Ascent / 2 ? 1 : 0;
      int py = y + r;
      if (py < clip.top() || py > clip.bottom() || !bits) continue;
      auto* line = reinterpret_cast<QRgb*>(image.scanLine(py));
      for (int c = 0; c < 16; ++c) {
        if (!(bits & (0x8000u >> c))) continue;
        int px = x + c + shift;
        if (px >= clip.left() && px <= clip.right()) line[px] = color;
      }
    }
    if (style.Underline) {
      int py = y + font.Ascent + 1;
      if (py >= clip.top() && py <= clip.bottom()) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(py));
        for (int c = 0; c < font.Advance; ++c)
          if (x + c >= clip.left() && x + c <= clip.right()) line[x + c] = color;
      }
    }
    x += font.Advance;
  }
}

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

bool IsSpace(char32_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The length of the longest prefix of utf8 of at most limit bytes that ends
// on a character boundary.
std::size_t Utf8Prefix(std::string_view utf8, std::size_t limit) {
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

class TBuilder {
 public:
  TBuilder(const TUserAgent& agent, int width, bool tables, TLayoutState& state)
      : agent_(agent), width_(width), tables_(tables), state_(state) {}

  std::vector<TLine> Lines;
  int Y = 0;

  void Card(const TNode& card) {
    TStyle style;
    for (const TNode& child : card.Children) {
      if (state_.Stopped()) break;
      if (child.IsElement("p")) {
        Flush();
        if (!Count()) break;
        std::string mode = child.AttributeOr("mode");
        if (mode == "nowrap")
          wrap_ = false;
        else if (mode == "wrap")
          wrap_ = true;
        std::string align = child.AttributeOr("align");
        align_ = align == "center" ? 1 : align == "right" ? 2 : 0;
        Walk(child, style);
        Flush();
        align_ = 0;
      } else {
        Walk1(child, style);
      }
    }
    Flush();
  }

  void Text(std::string_view utf8, const TStyle& style) {
    if (state_.Stopped()) return;
    const std::size_t room = kMaxCardTextBytes - state_.Stats.TextBytes;
    const bool cut = utf8.size() > room;
    if (cut) utf8 = utf8.substr(0, Utf8Prefix(utf8, room));
    state_.Stats.TextBytes += utf8.size();
    std::u32string text = DecodeUtf8(utf8);
    std::size_t i = 0;
    while (i < text.size()) {
      if (IsSpace(text[i])) {
        while (i < text.size() && IsSpace(text[i])) ++i;
        Space(style);
        continue;
      }
      std::size_t start = i;
      while (i < text.size() && !IsSpace(text[i])) ++i;
      TAtom word;
      word.Text = text.substr(start, i - start);
      word.Style = style;
      Measure(word);
      atoms_.push_back(std::move(word));
    }
    if (cut) Stop(LimitText());
  }

  void Break(bool soft = false) {
    TAtom atom;
    atom.Kind = soft ? TAtom::TKind::SoftBreak : TAtom::TKind::Break;
    Measure(atom);
    atoms_.push_back(atom);
  }

  void Flush() {
    // Spaces at the ends of a paragraph are not shown.
    while (!atoms_.empty() && (atoms_.back().Kind == TAtom::TKind::Space ||
                               atoms_.back().Kind == TAtom::TKind::SoftBreak))
      atoms_.pop_back();
    if (atoms_.empty()) return;
    TLine line;
    int x = 0;
    int space = 0;
    auto endLine = [&](bool force) {
      if (line.Items.empty() && !force) return;
      if (line.Items.empty()) {
        line.Ascent = kNormalFont.Ascent;
        line.Descent = kNormalFont.Descent;
      }
      int offset = align_ == 1 ? (width_ - x) / 2 : align_ == 2 ? width_ - x : 0;
      if (offset > 0)
        for (TPlaced& placed : line.Items) placed.X += offset;
      line.Nowrap = !wrap_;
      line.Right = x + std::max(offset, 0);
      AddLine(std::move(line));
      line = TLine();
      x = 0;
      space = 0;
    };
    auto place = [&](TAtom atom) {
      line.Ascent = std::max(line.Ascent, atom.Ascent);
      line.Descent = std::max(line.Descent, atom.Descent);
      int width = atom.Width;
      line.Items.push_back({std::move(atom), x + space, width_ - 1});
      x += space + width;
      space = 0;
    };
    for (TAtom& atom : atoms_) {
      switch (atom.Kind) {
        case TAtom::TKind::Break:
          endLine(true);
          break;
        case TAtom::TKind::SoftBreak:
          endLine(false);
          break;
        case TAtom::TKind::Space:
          if (!line.Items.empty()) space = atom.Width;
          break;
        default: {
          if (wrap_ && !line.Items.empty() && x + space + atom.Width > width_) endLine(false);
          if (wrap_ && atom.Kind == TAtom::TKind::Word && atom.Width > width_) {
            // A word longer than the line is cut where the line ends; each
            // character is copied once.
            int advance = FontOf(atom.Style.Size).Advance;
            std::size_t fit = std::max<std::size_t>(1, width_ / advance);
            std::u32string text = std::move(atom.Text);
            std::size_t at = 0;
            while (text.size() - at > fit) {
              TAtom part;
              part.Kind = atom.Kind;
              part.Style = atom.Style;
              part.Ascent = atom.Ascent;
              part.Descent = atom.Descent;
              part.Text = text.substr(at, fit);
              part.Width = TextWidth(part.Text, part.Style);
              state_.Stats.CutCharacters += fit;
              place(std::move(part));
              endLine(false);
              at += fit;
            }
            atom.Text = text.substr(at);
            state_.Stats.CutCharacters += atom.Text.size();
            atom.Width = TextWidth(atom.Text, atom.Style);
          }
          place(std::move(atom));
          break;
        }
      }
    }
    endLine(false);
    atoms_.clear();
  }

  // A line built by hand (table rows, menu entries).
  void AddLine(TLine line) {
    if (line.Items.empty()) {
      line.Ascent = kNormalFont.Ascent;
      line.Descent = kNormalFont.Descent;
    }
    line.Top = Y;
    Y += line.Height();
    Lines.push_back(std::move(line));
  }

  void Field(std::u32string text, const TStyle& style, bool checkable) {
    Break(true);
    TAtom atom;
    atom.Kind = TAtom::TKind::Field;
    atom.Text = std::move(text);
    atom.Style = style;
    atom.Checkable = checkable;
    const TPixelFontData& font = FontOf(style.Size);
    atom.Width = width_;
    atom.Ascent = font.Ascent + (checkable ? 0 : 1);
    atom.Descent = font.Descent + (checkable ? 0 : 1);
    atoms_.push_back(std::move(atom));
    Break(true);
  }

  // Ends the layout here: what is laid out stays, the message follows it.
  void Stop(std::string message) {
    if (state_.Stopped()) return;
    state_.Message = std::move(message);
  }

  static std::string LimitText() {
    return "Текст карточки длиннее " + std::to_string(kMaxCardTextBytes / 1024) +
           " КБ, больше, чем держал телефон: дальше не показано.";
  }

 private:
  // Counts one element laid out; false (and the layout stops) past the limit.
  bool Count() {
    if (state_.Stopped()) return false;
    if (++state_.Stats.Elements > kMaxLaidOutElements) {
      Stop("В карточке больше " + std::to_string(kMaxLaidOutElements) +
           " элементов, больше, чем телефон мог разметить: дальше не показано.");
      return false;
    }
    return true;
  }

  void Space(const TStyle& style) {
    if (atoms_.empty() || atoms_.back().Kind == TAtom::TKind::Space ||
        atoms_.back().Kind == TAtom::TKind::Break || atoms_.back().Kind == TAtom::TKind::SoftBreak)
      return;
    TAtom atom;
    atom.Kind = TAtom::TKind::Space;
    atom.Style = style;
    atom.Style.Underline = atom.Style.Underline && style.Link;
    Measure(atom);
    atom.Width = FontOf(style.Size).Advance;
    atoms_.push_back(atom);
  }

  void Measure(TAtom& atom) {
    const TPixelFontData& font = FontOf(atom.Style.Size);
    atom.Width = TextWidth(atom.Text, atom.Style);
    atom.Ascent = font.Ascent;
    atom.Descent = font.Descent;
  }

  // Children of an element.
  void Walk(const TNode& node, const TStyle& style) {
    for (const TNode& child : node.Children) {
      if (state_.Stopped()) return;
      Walk1(child, style);
    }
  }

  void Walk1(const TNode& node, const TStyle& inherited) {
    if (state_.Stopped()) return;
    if (node.Kind == TNode::TKind::Text) {
      // Only a prefix of a text far over the limit is worth substituting.
      std::string_view raw = node.Text;
      const bool over = raw.size() > 2 * kMaxCardTextBytes;
      if (over) raw = raw.substr(0, 2 * kMaxCardTextBytes);
      Text(agent_.Substitute(raw), inherited);
      if (over) Stop(LimitText());
      return;
    }
    if (!Count()) return;
    if (depth_ >= kMaxElementDepth) {
      Stop("Элементы вложены глубже " + std::to_string(kMaxElementDepth) +
           " уровней: дальше не показано.");
      return;
    }
    struct TDepth {
      std::size_t& Depth;
      explicit TDepth(std::size_t& depth) : Depth(++depth) {}
      ~TDepth() { --Depth; }
    } nested(depth_);
    TStyle style = inherited;
    const std::string& name = node.Name;
    if (name == "b" || name == "strong") {
      style.Bold = true;
    } else if (name == "i" || name == "em") {
      style.Italic = true;
    } else if (name == "u") {
      style.Underline = true;
    } else if (name == "big") {
      style.Size = kBig;
    } else if (name == "small") {
      style.Size = kSmall;
    } else if (name == "a" || name == "anchor") {
      style.Link = true;
      style.Underline = true;
      style.Focus = agent_.FocusOf(&node);
    } else if (name == "br") {
      Break();
      return;
    } else if (name == "img") {
      Image(node, style);
      return;
    } else if (name == "input") {
      Input(node, style);
      return;
    } else if (name == "select") {
      Select(node, style);
      return;
    } else if (name == "table") {
      Table(node, style);
      return;
    } else if (name == "p") {
      Flush();
      Walk(node, style);
      Flush();
      return;
    } else if (name == "pre") {
      Flush();
      bool wrap = wrap_;
      wrap_ = false;
      Pre(node, style);
      Flush();
      wrap_ = wrap;
      return;
    } else if (name == "fieldset") {
      Break(true);
      Walk(node, style);
      Break(true);
      return;
    } else if (name == "do" || name == "onevent" || name == "timer" || name == "go" ||
               name == "prev" || name == "refresh" || name == "noop" || name == "setvar" ||
               name == "postfield" || name == "head" || name == "template" || name == "access" ||
               name == "meta") {
      return;
    }
    Walk(node, style);
  }

  void Pre(const TNode& node, const TStyle& style) {
    for (const TNode& child : node.Children) {
      if (state_.Stopped()) return;
      if (child.Kind != TNode::TKind::Text) {
        Walk1(child, style);
        continue;
      }
      std::string utf8 = agent_.Substitute(child.Text);
      const std::size_t room = kMaxCardTextBytes - state_.Stats.TextBytes;
      const bool cut = utf8.size() > room;
      if (cut) utf8.resize(Utf8Prefix(utf8, room));
      state_.Stats.TextBytes += utf8.size();
      std::u32string text = DecodeUtf8(utf8);
      std::u32string word;
      auto flushWord = [&] {
        if (word.empty()) return;
        TAtom atom;
        atom.Text = word;
        atom.Style = style;
        Measure(atom);
        atoms_.push_back(std::move(atom));
        word.clear();
      };
      for (char32_t c : text) {
        if (c == '\n') {
          flushWord();
          Break();
        } else if (c != '\r') {
          word.push_back(c == '\t' ? U' ' : c);
        }
      }
      flushWord();
      if (cut) Stop(LimitText());
    }
  }

  void Image(const TNode& node, const TStyle& style) {
    if (++state_.Stats.Images > kMaxImagesPerCard) {
      Stop("В карточке больше " + std::to_string(kMaxImagesPerCard) +
           " картинок, больше, чем показывал телефон: дальше не показано.");
      return;
    }
    std::string src = agent_.SubstituteAttribute(node, "src");
    std::string lower = src;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    // A deck from the network shows the pictures the agent fetched for its
    // card, never a file of this machine.
    const bool networkDeck = TUserAgent::IsNetworkAddress(agent_.DeckPath());
    QImage fetched;
    if (networkDeck) {
      const std::string url = agent_.ResolveAddress(src);
      if (const std::string* bytes = agent_.NetworkImage(url.substr(0, url.find('#'))))
        fetched = DecodeWbmp(*bytes);
    }
    if (!fetched.isNull()) {
      if (static_cast<std::uint64_t>(fetched.width()) * fetched.height() > kMaxImagePixels) {
        Stop("Картинка " + src + " больше " + std::to_string(kMaxImagePixels) +
             " точек, больше, чем показывал телефон: дальше не показано.");
        return;
      }
      TAtom atom;
      atom.Kind = TAtom::TKind::Image;
      atom.Picture = fetched;
      atom.Style = style;
      atom.Width = std::min(fetched.width(), width_);
      atom.Ascent = fetched.height();
      atom.Descent = 0;
      atoms_.push_back(std::move(atom));
      return;
    }
    if (!networkDeck && state_.Images && lower.size() > 5 &&
        lower.compare(lower.size() - 5, 5, ".wbmp") == 0 && src.find(':') == std::string::npos &&
        !agent_.DeckPath().empty()) {
      namespace fs = std::filesystem;
      fs::path path = fs::path(agent_.DeckPath()).parent_path() / UnescapeUrl(src);
      bool decoded = false;
      QImage picture = state_.Images->Get(path, decoded);
      if (decoded) ++state_.Stats.ImageDecodes;
      if (!picture.isNull()) {
        if (static_cast<std::uint64_t>(picture.width()) * picture.height() > kMaxImagePixels) {
          Stop("Картинка " + src + " больше " + std::to_string(kMaxImagePixels) +
               " точек, больше, чем показывал телефон: дальше не показано.");
          return;
        }
        TAtom atom;
        atom.Kind = TAtom::TKind::Image;
        atom.Picture = picture;
        atom.Style = style;
        atom.Width = std::min(picture.width(), width_);
        atom.Ascent = picture.height();
        atom.Descent = 0;
        atoms_.push_back(std::move(atom));
        return;
      }
    }
    Text(agent_.Substitute(node.AttributeOr("alt")), style);
  }

  void Input(const TNode& node, const TStyle& inherited) {
    TStyle style = inherited;
    style.Focus = agent_.FocusOf(&node);
    std::string utf8 = agent_.InputText(&node);
    utf8.resize(Utf8Prefix(utf8, kMaxCardTextBytes));
    std::u32string text = DecodeUtf8(utf8);
    if (node.AttributeOr("type") == "password") text.assign(text.size(), U'*');
    Field(std::move(text), style, false);
  }

  void Select(const TNode& node, const TStyle& inherited) {
    std::vector<bool> states = agent_.OptionStates(&node);
    bool multiple = node.AttributeOr("multiple") == "true";
    int index = 0;
    std::vector<const TNode*> options;
    CollectOptions(node, options, 0);
    for (const TNode* option : options) {
      if (!Count()) return;
      TStyle style = inherited;
      style.Focus = agent_.FocusOf(option);
      bool on = index < static_cast<int>(states.size()) && states[index];
      std::u32string text = multiple ? (on ? U"[x] " : U"[ ] ") : (on ? U"(*) " : U"( ) ");
      std::string label = option->AttributeOr("title");
      if (label.empty()) label = PlainText(*option);
      label = agent_.Substitute(label);
      const std::size_t room = kMaxCardTextBytes - state_.Stats.TextBytes;
      const bool cut = label.size() > room;
      if (cut) label.resize(Utf8Prefix(label, room));
      state_.Stats.TextBytes += label.size();
      text += DecodeUtf8(label);
      Field(std::move(text), style, true);
      if (cut) {
        Stop(LimitText());
        return;
      }
      ++index;
    }
  }

  static void CollectOptions(const TNode& node, std::vector<const TNode*>& options,
                             std::size_t depth) {
    if (depth > kMaxElementDepth) return;
    for (const TNode& child : node.Children) {
      if (child.IsElement("option"))
        options.push_back(&child);
      else if (child.IsElement("optgroup"))
        CollectOptions(child, options, depth + 1);
    }
  }

  // The text of an element, white space collapsed, at most the card's text
  // limit.
  std::string PlainText(const TNode& node) const {
    std::string raw;
    std::function<void(const TNode&, std::size_t)> gather = [&](const TNode& n, std::size_t depth) {
      if (depth > kMaxElementDepth) return;
      for (const TNode& child : n.Children) {
        if (raw.size() > kMaxCardTextBytes) return;
        if (child.Kind == TNode::TKind::Text)
          raw.append(child.Text, 0, kMaxCardTextBytes + 1 - raw.size());
        else if (!child.IsElement("onevent"))
          gather(child, depth + 1);
      }
    };
    gather(node, 0);
    std::string text;
    bool space = false;
    for (char c : raw) {
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        space = !text.empty();
        continue;
      }
      if (space) text += ' ';
      space = false;
      text += c;
    }
    return text;
  }

  // WML 1.1 §11.8.5: a row's cells side by side in columns of equal width;
  // cells beyond the table's columns are joined into the last one. Each cell
  // is laid out as a small card of its own (breaks, images, links).
  void Table(const TNode& table, const TStyle& style) {
    Flush();
    int columns = std::clamp(std::atoi(table.AttributeOr("columns", "1").c_str()), 1, 255);
    for (const TNode& row : table.Children) {
      if (state_.Stopped()) return;
      if (!row.IsElement("tr")) continue;
      if (!Count()) return;
      if (!tables_) {
        // A phone without tables shows the cells one under the other.
        for (const TNode& cell : row.Children) {
          if (!cell.IsElement("td")) continue;
          Walk(cell, style);
          Break(true);
        }
        Flush();
        continue;
      }
      const int cellWidth = std::max(1, width_ / columns);
      std::vector<std::vector<TLine>> cells;
      TBuilder* last = nullptr;
      std::optional<TBuilder> builder;
      int column = 0;
      auto finish = [&] {
        if (!builder) return;
        builder->Flush();
        cells.push_back(std::move(builder->Lines));
        builder.reset();
      };
      for (const TNode& cell : row.Children) {
        if (!cell.IsElement("td")) continue;
        if (state_.Stopped()) break;
        if (column < columns) {
          finish();
          builder.emplace(agent_, std::max(1, cellWidth - 1), tables_, state_);
          builder->wrap_ = wrap_;
          builder->depth_ = depth_;
          ++column;
        } else {
          builder->Space(style);  // a cell joined to the last column
        }
        last = &*builder;
        if (last->Count()) last->Walk(cell, style);
      }
      finish();
      // Line k of the row holds line k of every cell.
      std::size_t height = 0;
      for (const auto& lines : cells) height = std::max(height, lines.size());
      if (height == 0) {
        AddLine(TLine());
        continue;
      }
      for (std::size_t k = 0; k < height; ++k) {
        TLine line;
        for (std::size_t c = 0; c < cells.size(); ++c) {
          if (k >= cells[c].size()) continue;
          TLine& part = cells[c][k];
          const int x = static_cast<int>(c) * cellWidth;
          line.Ascent = std::max(line.Ascent, part.Ascent);
          line.Descent = std::max(line.Descent, part.Descent);
          for (TPlaced& placed : part.Items)
            line.Items.push_back({std::move(placed.Atom), x + placed.X, x + cellWidth - 2});
        }
        if (line.Items.empty()) {
          line.Ascent = kNormalFont.Ascent;
          line.Descent = kNormalFont.Descent;
        }
        AddLine(std::move(line));
      }
    }
  }

  const TUserAgent& agent_;
  int width_;
  bool tables_;
  TLayoutState& state_;
  bool wrap_ = true;
  int align_ = 0;
  std::size_t depth_ = 0;
  std::vector<TAtom> atoms_;
};

constexpr int kMarginLeft = 1;
constexpr int kScrollBarWidth = 3;

}  // namespace

TPhoneScreen::TPhoneScreen(TUserAgent& agent, const TPhoneProfile& profile)
    : agent_(agent), profile_(&profile) {}

void TPhoneScreen::SetProfile(const TPhoneProfile& profile) {
  profile_ = &profile;
  scroll_ = 0;
}

int TPhoneScreen::Width() const { return profile_->HasScreen() ? profile_->ScreenWidth : 128; }
int TPhoneScreen::Height() const { return profile_->HasScreen() ? profile_->ScreenHeight : 128; }

namespace {

struct TScreenText {
  std::u32string Title;
  std::vector<TLine> Lines;
};

}  // namespace

QImage TImageCache::Get(const std::filesystem::path& path, bool& decoded) {
  namespace fs = std::filesystem;
  decoded = false;
  std::error_code code;
  const fs::file_time_type time = fs::last_write_time(path, code);
  if (code) return {};
  const std::uintmax_t size = fs::file_size(path, code);
  if (code) return {};
  const std::string key = path.string();
  auto it = entries_.find(key);
  if (it != entries_.end() && it->second.Time == time && it->second.Size == size)
    return it->second.Picture;
  // A WBMP of the largest size DecodeWbmp takes (1024x1024) and its header.
  constexpr std::size_t kLargestWbmp = 1024 * 1024 / 8 + 16;
  std::string problem;
  QImage picture;
  if (auto bytes = ReadBoundedFile(key, problem, kLargestWbmp)) picture = DecodeWbmp(*bytes);
  decoded = true;
  if (it == entries_.end() && entries_.size() >= kMaxCachedImages) entries_.clear();
  entries_[key] = {time, size, picture};
  return picture;
}

// Lays out what the screen shows now into lines (content coordinates).
static TScreenText BuildScreen(const TUserAgent& agent, int contentWidth, bool tables,
                               TLayoutState& state) {
  TScreenText screen;
  TBuilder builder(agent, contentWidth, tables, state);
  if (const auto& dialog = agent.ScriptDialog()) {
    // A script's dialog in place of the card: its message, and a prompt's
    // field with the text typed so far; the soft keys answer it.
    using enum TScriptDialog::TKind;
    screen.Title = dialog->Kind == Prompt    ? U"Ввод"
                   : dialog->Kind == Confirm ? U"Вопрос"
                                             : U"Сообщение";
    TStyle style;
    std::size_t start = 0;
    const std::string& text = dialog->Message;
    while (start <= text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      builder.Text(text.substr(start, end - start), style);
      builder.Break();
      start = end + 1;
    }
    if (dialog->Kind == Prompt) {
      builder.Field(DecodeUtf8(dialog->Input), TStyle(), false);
    }
    builder.Flush();
  } else if (agent.Request()) {
    screen.Title = U"Запрос";
    TStyle style;
    std::string text = agent.Request()->Describe();
    std::size_t start = 0;
    while (start <= text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      builder.Text(text.substr(start, end - start), style);
      builder.Break();
      start = end + 1;
    }
    builder.Flush();
  } else if (agent.MenuOpen()) {
    screen.Title = U"Опции";
    for (std::size_t i = 0; i < agent.Focusables().size(); ++i) {
      TStyle style;
      style.Focus = static_cast<int>(i);
      builder.Field(DecodeUtf8(agent.DoLabel(agent.Focusables()[i].Node)), style, true);
    }
    builder.Flush();
  } else if (const TNode* card = agent.Card()) {
    std::string_view raw;
    if (const std::string* attribute = card->Attribute("title")) raw = *attribute;
    std::string title = agent.Substitute(raw.substr(0, 2 * kMaxTitleBytes + 1));
    if (title.size() > kMaxTitleBytes || raw.size() > 2 * kMaxTitleBytes) {
      title.resize(Utf8Prefix(title, kMaxTitleBytes));
      builder.Stop("Заголовок карточки длиннее " + std::to_string(kMaxTitleBytes) +
                   " байт, больше, чем показывал телефон: карточка не показана.");
    }
    state.Stats.TitleBytes = title.size();
    screen.Title = DecodeUtf8(title);
    builder.Card(*card);
  }
  builder.Flush();
  if (state.Stopped()) {
    // The limit's message heads the screen, above what was laid out, so it
    // is seen at once.
    TLayoutState own;
    TBuilder note(agent, contentWidth, tables, own);
    note.Text(state.Message, TStyle());
    note.Flush();
    for (TLine& line : builder.Lines) line.Top += note.Y;
    screen.Lines = std::move(note.Lines);
  }
  screen.Lines.insert(screen.Lines.end(), std::make_move_iterator(builder.Lines.begin()),
                      std::make_move_iterator(builder.Lines.end()));
  return screen;
}

QImage TPhoneScreen::Render() {
  const int width = Width();
  const int height = Height();
  const TColors colors = ColorsFor(height);
  bool tables = profile_->Tables != TTableSupport::No;
  // A card shown anew starts at its top; an edit of the deck (a new tree for
  // the same card) keeps the place.
  const std::string key = agent_.DeckPath() + '\n' + agent_.CardId() + '\n' +
                          std::to_string(agent_.Deck().IndexOf(agent_.Card())) + '\n' +
                          (agent_.Card() ? "card" : "none");
  const bool fresh = key != lastCard_ || agent_.MenuOpen() != lastMenu_;
  if (fresh) {
    scroll_ = 0;
    lastCard_ = key;
    lastMenu_ = agent_.MenuOpen();
  }
  if (fresh) hScroll_ = 0;
  int contentWidth = std::max(8, width - kMarginLeft - kScrollBarWidth);
  TLayoutState state;
  state.Images = &images_;
  TScreenText screen = BuildScreen(agent_, contentWidth, tables, state);
  state.Stats.Lines = screen.Lines.size();
  stats_ = state.Stats;
  limitMessage_ = state.Message;

  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colors.Background);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, false);
  const QRect all(0, 0, width, height);

  viewTop_ = 0;
  if (!screen.Title.empty()) {
    TStyle style;
    int titleHeight = kNormalFont.Height() + 2;
    bool mono = height < 64;
    if (!mono) painter.fillRect(0, 0, width, titleHeight - 1, QColor(colors.TitleBackground));
    painter.end();
    int textWidth = TextWidth(screen.Title, style);
    int x = std::max(kMarginLeft, (width - textWidth) / 2);
    DrawText(image, x, 0, screen.Title, style, colors.TitleInk,
             QRect(0, 0, width, titleHeight - 1));
    painter.begin(&image);
    painter.setPen(QColor(colors.Ink));
    if (mono) painter.drawLine(0, titleHeight - 1, width - 1, titleHeight - 1);
    viewTop_ = titleHeight + 1;
  }
  const int viewHeight = height - viewTop_;

  // Focus boxes and the content height.
  boxes_.clear();
  contentHeight_ = 0;
  std::unordered_map<int, std::size_t> boxOf;
  for (const TLine& line : screen.Lines) {
    contentHeight_ = std::max(contentHeight_, line.Top + line.Height());
    for (const TPlaced& placed : line.Items) {
      int focus = placed.Atom.Style.Focus;
      if (focus < 0) continue;
      auto [it, added] = boxOf.try_emplace(focus, boxes_.size());
      if (added)
        boxes_.push_back({focus, line.Top, line.Top + line.Height()});
      else
        boxes_[it->second].Bottom = std::max(boxes_[it->second].Bottom, line.Top + line.Height());
    }
  }
  // On a new card the focus starts on its first item only when that shows on
  // the first screen; else nothing has it until the down key reaches it.
  if (fresh) {
    for (const TFocusBox& box : boxes_)
      if (box.Focus == agent_.Focus() && box.Bottom > viewHeight) agent_.SetFocus(-1);
    lastFocus_ = agent_.Focus();
  }
  // Keep the focused item in view when the focus moved.
  if (agent_.Focus() != lastFocus_) {
    lastFocus_ = agent_.Focus();
    for (const TFocusBox& box : boxes_) {
      if (box.Focus != agent_.Focus()) continue;
      if (box.Bottom > scroll_ + viewHeight) scroll_ = box.Bottom - viewHeight;
      if (box.Top < scroll_) scroll_ = box.Top;
    }
  }
  scroll_ = std::clamp(scroll_, 0, std::max(0, contentHeight_ - viewHeight));

  // Nowrap lines in view that are wider than the screen scroll sideways
  // together, each no further than its own end.
  hScrollMost_ = 0;
  for (const TLine& line : screen.Lines) {
    int top = viewTop_ + line.Top - scroll_;
    if (top + line.Height() <= viewTop_ || top >= height || !line.Nowrap) continue;
    hScrollMost_ = std::max(hScrollMost_, line.Right - contentWidth);
  }
  hScroll_ = std::clamp(hScroll_, 0, hScrollMost_);

  const QRect view(0, viewTop_, width, viewHeight);
  for (const TLine& line : screen.Lines) {
    int top = viewTop_ + line.Top - scroll_;
    if (top + line.Height() <= viewTop_ || top >= height) continue;
    const int shift = line.Nowrap ? std::clamp(line.Right - contentWidth, 0, hScroll_) : 0;
    int previousFocus = -1;
    int previousRight = 0;
    for (const TPlaced& placed : line.Items) {
      const TAtom& atom = placed.Atom;
      int x = kMarginLeft + placed.X - shift;
      // The gap between two words of one link is part of it: highlighted and
      // underlined with it.
      const bool joined = atom.Style.Focus >= 0 && atom.Style.Focus == previousFocus &&
                          atom.Kind == TAtom::TKind::Word && x > previousRight;
      previousFocus = atom.Style.Focus;
      int y = top + line.Ascent - atom.Ascent;
      QRect clip = view.intersected(QRect(QPoint(shift > 0 ? kMarginLeft : 0, 0),
                                          QPoint(kMarginLeft + placed.ClipRight, height - 1)));
      bool focused = atom.Style.Focus >= 0 && atom.Style.Focus == agent_.Focus();
      QRgb ink = atom.Style.Link ? colors.Link : colors.Ink;
      switch (atom.Kind) {
        case TAtom::TKind::Word: {
          const int left = joined ? previousRight : x - 1;
          if (focused) {
            painter.fillRect(
                QRect(left, top, x + atom.Width - left, line.Height()).intersected(clip),
                QColor(colors.FocusBackground));
            ink = colors.FocusInk;
          }
          if (joined && atom.Style.Underline) {
            const int underline = y + FontOf(atom.Style.Size).Ascent + 1;
            painter.setPen(QColor(ink));
            painter.setClipRect(clip);
            painter.drawLine(previousRight, underline, x - 1, underline);
            painter.setClipping(false);
          }
          painter.end();
          DrawText(image, x, y, atom.Text, atom.Style, ink, clip);
          painter.begin(&image);
          break;
        }
        case TAtom::TKind::Field: {
          QRect box(x - 1, top, atom.Width + 1, line.Height());
          if (focused) {
            painter.fillRect(box.intersected(clip), QColor(colors.FocusBackground));
            ink = colors.FocusInk;
          } else if (!atom.Checkable) {
            painter.setPen(QColor(colors.Ink));
            painter.setClipRect(clip);
            painter.drawRect(box.adjusted(0, 0, -1, -1));
            painter.setClipping(false);
          }
          painter.end();
          DrawText(image, x + (atom.Checkable ? 0 : 1), y + (atom.Checkable ? 0 : 1), atom.Text,
                   atom.Style, ink, clip.intersected(box.adjusted(1, 0, -1, 0)));
          painter.begin(&image);
          break;
        }
        case TAtom::TKind::Image: {
          painter.setClipRect(clip);
          painter.drawImage(QPoint(x, y), atom.Picture);
          if (focused) {
            painter.setPen(QColor(colors.FocusBackground));
            painter.drawRect(QRect(x - 1, y - 1, atom.Width + 1, atom.Ascent + 1));
          }
          painter.setClipping(false);
          break;
        }
        default:
          break;
      }
      previousRight = x + atom.Width;
    }
  }

  // Scroll bar when the content is taller than the screen.
  if (contentHeight_ > viewHeight && viewHeight > 4) {
    int barX = width - 2;
    painter.setPen(QColor(colors.Ink));
    painter.drawLine(barX, viewTop_, barX, height - 1);
    int thumb = std::max(3, viewHeight * viewHeight / contentHeight_);
    int thumbTop =
        viewTop_ + (viewHeight - thumb) * scroll_ / std::max(1, contentHeight_ - viewHeight);
    painter.fillRect(QRect(barX - 1, thumbTop, 3, thumb), QColor(colors.Ink));
  }
  painter.end();
  return image;
}

void TPhoneScreen::Down() {
  const int viewHeight = Height() - viewTop_;
  const int step = kNormalFont.Height();
  int next = agent_.Focus() + 1;
  for (const TFocusBox& box : boxes_) {
    if (box.Focus != next) continue;
    if (box.Top < scroll_ + viewHeight + step) {
      agent_.SetFocus(next);
      return;
    }
  }
  int most = std::max(0, contentHeight_ - viewHeight);
  scroll_ = std::min(most, scroll_ + step);
}

bool TPhoneScreen::Right() {
  if (hScrollMost_ <= 0) return false;
  const int step = std::max(kNormalFont.Advance, (Width() - kMarginLeft - kScrollBarWidth) / 2);
  hScroll_ = std::min(hScrollMost_, hScroll_ + step);
  return true;
}

bool TPhoneScreen::Left() {
  if (hScrollMost_ <= 0) return false;
  const int step = std::max(kNormalFont.Advance, (Width() - kMarginLeft - kScrollBarWidth) / 2);
  hScroll_ = std::max(0, hScroll_ - step);
  return true;
}

void TPhoneScreen::Up() {
  const int step = kNormalFont.Height();
  int previous = agent_.Focus() - 1;
  for (const TFocusBox& box : boxes_) {
    if (box.Focus != previous || previous < 0) continue;
    if (box.Bottom > scroll_ - step) {
      agent_.SetFocus(previous);
      return;
    }
  }
  scroll_ = std::max(0, scroll_ - step);
}

}  // namespace deckhand::wml
