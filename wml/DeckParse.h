// Reading a deck with the XML parser: well-formedness and WML 1.1 validity
// with findings placed at the deck's own lines and columns, and the tree
// the compiler and the lint walk.
#pragma once

#include <libxml/tree.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "wml/DeckCheck.h"
#include "wml/DeckText.h"

namespace deckhand::wml {

struct TXmlDocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

// The most text a deck's entity references may stand for, all references
// counted: this many times the deck's size, and this many bytes more.
inline constexpr std::size_t kMaxEntityExpansionRatio = 10;
inline constexpr std::size_t kMaxEntityExpansionExtra = 1 << 20;

class TParsedDeck {
 public:
  explicit TParsedDeck(std::string_view deck);
  ~TParsedDeck();
  TParsedDeck(const TParsedDeck&) = delete;
  TParsedDeck& operator=(const TParsedDeck&) = delete;

  const TDeckText& Text() const { return DeckText; }
  // The tree; null when the deck is not well-formed.
  xmlDoc* Doc() const { return WellFormed ? Tree.get() : nullptr; }
  bool IsWellFormed() const { return WellFormed; }
  bool IsValid() const { return Valid; }
  // Whether the deck was read with the WML 1.1 declarations (its DOCTYPE
  // names WML 1.1), so that the validator has checked its ids.
  bool ReadWithWml11() const { return DtdLoaded; }
  // Findings of the parser and the validator, in the order they were met.
  const std::vector<TFinding>& Findings() const { return ParserFindings; }

  // Where an element's start tag begins ("<"), and where one of its
  // attributes' names begins (the tag's start when it is not found).
  TTextPosition PositionOf(const xmlNode* element) const;
  TTextPosition PositionOfAttribute(const xmlNode* element, std::string_view name) const;
  // Offset of the start tag's "<" in the decoded text.
  std::size_t StartOffset(const xmlNode* element) const;

  // Adds a finding at a position of the deck.
  static TFinding MakeFinding(TSeverity severity, TTextPosition at, std::string message);

 private:
  friend struct TParseRun;
  std::size_t AttributeOffset(std::size_t tagStart, std::string_view name) const;
  // Offset of the last declaration "<!KEYWORD name" that begins before an
  // offset; npos when there is none.
  std::size_t DeclarationOffset(std::string_view keyword, std::string_view name,
                                std::size_t before) const;
  // Adds a finding for each element type of the internal subset given a
  // second NOTATION attribute.
  void CheckNotationAttributes();
  // Adds a finding for each attribute of a standalone deck whose written
  // value normalisation by an external declaration changes.
  void CheckStandaloneNormalisation(const xmlNode* element);
  // Gives the thread's WML 1.1 declarations back from the tree, which must
  // not free them with itself.
  void GiveBackDeclarations() noexcept;
  // The work on the tree once it is read (may run out of memory).
  void CheckTree();

  TDeckText DeckText;
  std::unique_ptr<xmlDoc, TXmlDocFree> Tree;
  bool WellFormed = false;
  bool Valid = false;
  bool DtdLoaded = false;
  xmlDtd* BorrowedDtd = nullptr;  // the thread's WML 1.1 declarations, lent to Tree
  std::vector<TFinding> ParserFindings;
};

}  // namespace deckhand::wml
