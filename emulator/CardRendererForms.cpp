// The card renderer's form controls: input fields and the options of select
// elements (optgroups flattened), each a field on a line of its own.
#include <functional>

#include "emulator/CardRendererInternal.h"
#include "emulator/EmulatorLimits.h"

namespace deckhand::wml::render_detail {

namespace {

// The options of a select, those of its optgroups in their place.
void CollectOptions(const TNode& node, std::vector<const TNode*>& options, std::size_t depth) {
  if (depth > kMaxElementDepth) return;
  for (const TNode& child : node.Children) {
    if (child.IsElement("option"))
      options.push_back(&child);
    else if (child.IsElement("optgroup"))
      CollectOptions(child, options, depth + 1);
  }
}

}  // namespace

void TBuilder::Field(std::u32string text, const TStyle& style, bool checkable) {
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

void TBuilder::Input(const TNode& node, const TStyle& inherited) {
  TStyle style = inherited;
  style.Focus = agent_.FocusOf(&node);
  std::string utf8 = agent_.InputText(&node);
  utf8.resize(Utf8Prefix(utf8, kMaxCardTextBytes));
  std::u32string text = DecodeUtf8(utf8);
  if (node.AttributeOr("type") == "password") text.assign(text.size(), U'*');
  Field(std::move(text), style, false);
}

void TBuilder::Select(const TNode& node, const TStyle& inherited) {
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
    label = agent_.SubstituteShown(label);
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

std::string TBuilder::PlainText(const TNode& node) const {
  std::string raw;
  std::function<void(const TNode&, std::size_t)> gather = [&](const TNode& n, std::size_t depth) {
    if (depth > kMaxElementDepth) return;
    for (const TNode& child : n.Children) {
      if (raw.size() > kMaxCardTextBytes) return;
      if (child.Kind == TNode::TKind::Text) {
        // Each run of text between tags without the white space at its
        // ends (WML 1.1 §11.8.1), as for the card's text.
        std::string_view run = TrimXmlSpace(child.Text);
        raw.append(run.substr(0, kMaxCardTextBytes + 1 - raw.size()));
      } else if (!child.IsElement("onevent")) {
        gather(child, depth + 1);
      }
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

}  // namespace deckhand::wml::render_detail
