// The deck model: a WML deck parsed into a plain tree of elements and text,
// the way a phone's browser holds it.
//
// Parsing is tolerant, as phones were: libxml2 reads the deck in recovery
// mode, so a deck that is not well-formed still yields every element the
// parser could make sense of. Nothing is fetched: no DTD, no external
// entity. Text and attribute values are UTF-8 whatever the deck's encoding;
// a deck with no encoding declaration whose bytes are not UTF-8 is read as
// Windows-1251, the encoding of the editor's documents.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace deckhand::wml {

struct TNode {
  enum class TKind { Element, Text };
  TKind Kind = TKind::Element;
  // Element name as written (WML is case-sensitive: "card", not "CARD").
  std::string Name;
  // Text of a text node, UTF-8, white space as written.
  std::string Text;
  std::vector<std::pair<std::string, std::string>> Attributes;
  std::vector<TNode> Children;
  // Line of the element's start tag, 1-based; 0 when unknown.
  int Line = 0;

  bool IsElement(std::string_view name) const { return Kind == TKind::Element && Name == name; }
  // The attribute's value, or null when the element has none of that name.
  const std::string* Attribute(std::string_view name) const;
  // The attribute's value, or fallback.
  std::string AttributeOr(std::string_view name, std::string_view fallback = {}) const;
  // The first child element of that name, or null.
  const TNode* Child(std::string_view name) const;
};

struct TDeck {
  // The root element (normally "wml"); null when the parser found no element.
  std::shared_ptr<const TNode> Root;
  // The deck's cards in document order.
  std::vector<const TNode*> Cards;
  const TNode* Template = nullptr;
  // The parser's first complaint, empty when the deck parsed cleanly.
  std::string ParseProblem;

  // The card with that id, or null.
  const TNode* FindCard(std::string_view id) const;
  // Index of a card in Cards, -1 when it is not one of them.
  int IndexOf(const TNode* card) const;
};

// Readies libxml2 for parsing on several threads; call once on the main
// thread before ParseDeck runs on another.
void PrepareDeckParser();

// Parses the bytes of a deck. Never fails: the worst deck gives an empty
// model with ParseProblem saying why.
TDeck ParseDeck(std::string_view bytes);

// The deck's declared encoding (from the XML declaration), lower-case; empty
// when it declares none.
std::string DeclaredEncoding(std::string_view bytes);

// Whether bytes are valid UTF-8.
bool IsValidUtf8(std::string_view bytes);

}  // namespace deckhand::wml
