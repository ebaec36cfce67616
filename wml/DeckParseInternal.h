// What the parts of the deck parser share (wml/DeckParse*.cpp): the state of
// one run of the parser over a deck, and the parser's callbacks that report
// to it. Not part of the parser's interface.
#pragma once

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <array>
#include <cstddef>
#include <string>

#include "wml/DeckParse.h"

namespace deckhand::wml {

// One run of the parser over a deck: receives the parser's errors and the
// start of every element, and answers its requests for external entities.
struct TParseRun {
  TParsedDeck& Deck;
  xmlParserCtxtPtr Ctxt = nullptr;
  startElementNsSAX2Func DefaultStartElement = nullptr;
  bool InStartTag = false;
  std::size_t TagStart = 0;
  bool LoadedWml11 = false;
  std::string RefusedDoctype;     // public or system identifier of a DOCTYPE not served
  bool RefusedEntity = false;     // an external entity other than the DTD was asked for
  bool NoExternalSubset = false;  // the DOCTYPE names no external subset at all
  bool SawFatal = false;          // a fault of well-formedness was reported
  xmlDtd* Wml11 = nullptr;        // the thread's WML 1.1 declarations
  bool OutOfMemory = false;       // a finding could not be made
  // Whether elements allow only elements by their declarations, by the
  // address of their name (a tree's names are shared strings).
  struct TContentSlot {
    const xmlChar* Name = nullptr;
    bool ElementsOnly = false;
  };
  std::array<TContentSlot, 64> ContentSlots{};

  explicit TParseRun(TParsedDeck& deck) : Deck(deck) {}
  void LendDtd(xmlDtd* dtd) { Deck.BorrowedDtd = dtd; }

  std::size_t CurrentOffset() const {
    if (Ctxt == nullptr || Ctxt->inputNr == 0) return 0;
    const xmlParserInput* input = Ctxt->inputTab[0];
    if (input->base == nullptr || input->cur == nullptr) return 0;
    return static_cast<std::size_t>(input->consumed) +
           static_cast<std::size_t>(input->cur - input->base);
  }

  void Add(TSeverity severity, std::size_t utf8Offset, std::string message) {
    Deck.ParserFindings.push_back(TParsedDeck::MakeFinding(
        severity, Deck.DeckText.PositionOfUtf8(utf8Offset), std::move(message)));
  }

  void OnError(const xmlError& error);
  std::string Message(const xmlError& error, bool& attributeError, std::string& attribute) const;
  std::string SecondIdMessage(const std::string& element) const;
  std::string NoWml11Message() const;
};

}  // namespace deckhand::wml

namespace deckhand::wml::parse_detail {

inline std::string Str(const char* text) { return text ? std::string(text) : std::string(); }

inline std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// The run of the parser on this thread; null when no deck is being read.
extern thread_local TParseRun* tRun;

// Routes the parser's requests for external entities through the runs of
// this thread, once per process (DeckParseCallbacks.cpp).
void InstallEntityLoader();

// The WML 1.1 declarations of this thread, read at the first call.
xmlDtdPtr Wml11Declarations();

// The parser's callbacks while a deck is read; each reports to tRun.
void OnExternalSubset(void* ctx, const xmlChar* name, const xmlChar* externalId,
                      const xmlChar* systemId);
void OnStartElement(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar* uri,
                    int nbNamespaces, const xmlChar** namespaces, int nbAttributes, int nbDefaulted,
                    const xmlChar** attributes);
void OnCdata(void* ctx, const xmlChar* value, int length);
void OnCharacters(void* ctx, const xmlChar* value, int length);
void OnStructuredError(void*, xmlErrorPtr error);

}  // namespace deckhand::wml::parse_detail
