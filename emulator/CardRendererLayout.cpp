// The card renderer's layout of a card's text and inline elements (paragraphs,
// styles, links, breaks, pre, images) into lines, and of the screens that
// stand in for a card (a script's dialog, a request, the options menu).
#include <algorithm>
#include <cctype>
#include <filesystem>

#include "emulator/CardRendererInternal.h"
#include "emulator/EmulatorLimits.h"

namespace deckhand::wml::render_detail {

// WML 1.1 §11.8.1: white space immediately before and after an element is
// ignored. A text node is a run of text between two tags (comments left
// out), so the white space at both its ends goes, as the compiler drops it
// before the deck reaches a phone. What is left of the run is substituted
// afterwards: white space a variable's value brings is text, not markup, and
// stays (as one inter-word space). The no-break space is not white space.
std::string_view TrimXmlSpace(std::string_view text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && IsSpace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && IsSpace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

namespace {

// WML 1.1 §11.8.3: an empty paragraph, or one of white space only, is
// insignificant: it is not shown and does not change the wrap mode.
bool InsignificantParagraph(const TNode& p) {
  for (const TNode& child : p.Children) {
    if (child.Kind != TNode::TKind::Text || !TrimXmlSpace(child.Text).empty()) return false;
  }
  return true;
}

}  // namespace

void TBuilder::Card(const TNode& card) {
  TStyle style;
  for (const TNode& child : card.Children) {
    if (state_.Stopped()) break;
    if (child.IsElement("p")) {
      if (InsignificantParagraph(child)) continue;
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

void TBuilder::Text(std::string_view utf8, const TStyle& style) {
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

void TBuilder::Break(bool soft) {
  TAtom atom;
  atom.Kind = soft ? TAtom::TKind::SoftBreak : TAtom::TKind::Break;
  Measure(atom);
  atoms_.push_back(atom);
}

void TBuilder::Flush() {
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
  auto inWord = [](const TAtom& atom) {
    return atom.Kind == TAtom::TKind::Word || atom.Kind == TAtom::TKind::Image;
  };
  for (std::size_t i = 0; i < atoms_.size(); ++i) {
    TAtom& atom = atoms_[i];
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
        // WML 1.1 §11.8.3: only an inter-word space is a line break point.
        // Atoms with no space between them (text next to an element, an
        // image in a word) are one word, which goes to the next line whole
        // when it does not fit here but fits a line.
        int need = atom.Width;
        if (inWord(atom) && (i == 0 || !inWord(atoms_[i - 1]))) {
          int word = 0;
          for (std::size_t j = i; j < atoms_.size() && inWord(atoms_[j]) && word <= width_; ++j)
            word += atoms_[j].Width;
          if (word <= width_) need = word;
        }
        if (wrap_ && !line.Items.empty() && x + space + need > width_) endLine(false);
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

void TBuilder::AddLine(TLine line) {
  if (line.Items.empty()) {
    line.Ascent = kNormalFont.Ascent;
    line.Descent = kNormalFont.Descent;
  }
  line.Top = Y;
  Y += line.Height();
  Lines.push_back(std::move(line));
}

void TBuilder::Stop(std::string message) {
  if (state_.Stopped()) return;
  state_.Message = std::move(message);
}

std::string TBuilder::LimitText() {
  return "Текст карточки длиннее " + std::to_string(kMaxCardTextBytes / 1024) +
         " КБ, больше, чем держал телефон: дальше не показано.";
}

bool TBuilder::Count() {
  if (state_.Stopped()) return false;
  if (++state_.Stats.Elements > kMaxLaidOutElements) {
    Stop("В карточке больше " + std::to_string(kMaxLaidOutElements) +
         " элементов, больше, чем телефон мог разметить: дальше не показано.");
    return false;
  }
  return true;
}

void TBuilder::Space(const TStyle& style) {
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

void TBuilder::Measure(TAtom& atom) {
  const TPixelFontData& font = FontOf(atom.Style.Size);
  atom.Width = TextWidth(atom.Text, atom.Style);
  atom.Ascent = font.Ascent;
  atom.Descent = font.Descent;
}

void TBuilder::Walk(const TNode& node, const TStyle& style) {
  for (const TNode& child : node.Children) {
    if (state_.Stopped()) return;
    Walk1(child, style);
  }
}

void TBuilder::Walk1(const TNode& node, const TStyle& inherited) {
  if (state_.Stopped()) return;
  if (node.Kind == TNode::TKind::Text) {
    // Only a prefix of a text far over the limit is worth substituting.
    std::string_view raw = TrimXmlSpace(node.Text);
    const bool over = raw.size() > 2 * kMaxCardTextBytes;
    if (over) raw = raw.substr(0, 2 * kMaxCardTextBytes);
    Text(agent_.SubstituteShown(raw), inherited);
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

void TBuilder::Pre(const TNode& node, const TStyle& style) {
  for (const TNode& child : node.Children) {
    if (state_.Stopped()) return;
    if (child.Kind != TNode::TKind::Text) {
      Walk1(child, style);
      continue;
    }
    std::string utf8 = agent_.SubstituteShown(child.Text);
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

void TBuilder::Image(const TNode& node, const TStyle& style) {
  if (++state_.Stats.Images > kMaxImagesPerCard) {
    Stop("В карточке больше " + std::to_string(kMaxImagesPerCard) +
         " картинок, больше, чем показывал телефон: дальше не показано.");
    return;
  }
  std::string src = agent_.SubstituteAttribute(node, "src");
  std::string lower = src;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  // A deck from the network shows the pictures the agent fetched for its
  // card, never a file of this machine; a deck file, the WBMP files beside
  // it.
  QImage picture;
  if (TUserAgent::IsNetworkAddress(agent_.DeckPath())) {
    const std::string url = agent_.ResolveAddress(src);
    if (const std::string* bytes = agent_.NetworkImage(url.substr(0, url.find('#'))))
      picture = DecodeWbmp(*bytes);
  } else if (state_.Images && lower.size() > 5 &&
             lower.compare(lower.size() - 5, 5, ".wbmp") == 0 &&
             src.find(':') == std::string::npos && !agent_.DeckPath().empty()) {
    namespace fs = std::filesystem;
    fs::path path = fs::path(agent_.DeckPath()).parent_path() / UnescapeUrl(src);
    bool decoded = false;
    picture = state_.Images->Get(path, decoded);
    if (decoded) ++state_.Stats.ImageDecodes;
  }
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
  Text(agent_.SubstituteShown(node.AttributeOr("alt")), style);
}

TScreenText BuildScreen(const TUserAgent& agent, int contentWidth, bool tables,
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
  } else if (agent.Request() || agent.ErrorScreen()) {
    screen.Title = agent.Request() ? U"Запрос" : U"Ошибка";
    TStyle style;
    std::string text = agent.Request() ? agent.Request()->Describe() : *agent.ErrorScreen();
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
    std::string title = agent.SubstituteShown(raw.substr(0, 2 * kMaxTitleBytes + 1));
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

}  // namespace deckhand::wml::render_detail
