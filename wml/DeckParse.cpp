#include "wml/DeckParse.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/valid.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>

#include "core/Sanitizers.h"
#include "wml/DeckParseInternal.h"

namespace deckhand::wml {

using namespace parse_detail;

namespace {

// Counts the text a deck's entity references stand for, each reference
// counted whole, as a reader that replaces them (the compiler, the phone)
// would make it, and stops counting at a limit: entities that refer to
// others several times grow that text as a power of the deck's size.
class TExpansionCount {
 public:
  explicit TExpansionCount(std::size_t limit) : Limit(limit) {}

  // Adds the references below node (its attributes and content); false,
  // with Over set to the reference that passed the limit, once it is
  // passed.
  bool AddTree(const xmlNode* node) {
    for (; node != nullptr; node = node->next) {
      if (node->type == XML_ENTITY_REF_NODE) {
        Total += Expanded(reinterpret_cast<const xmlEntity*>(node->children), 0);
        if (Total > Limit) {
          Over = node;
          return false;
        }
      } else if (node->type == XML_ELEMENT_NODE) {
        for (const xmlAttr* attribute = node->properties; attribute; attribute = attribute->next) {
          if (!AddTree(attribute->children)) return false;
        }
        if (!AddTree(node->children)) return false;
      }
    }
    return true;
  }

  std::size_t Total = 0;
  const xmlNode* Over = nullptr;

 private:
  std::size_t Expanded(const xmlEntity* entity, int depth) {
    if (entity == nullptr || entity->type != XML_ENTITY_DECL) return 0;
    if (const auto found = Sizes.find(entity); found != Sizes.end()) return found->second;
    std::size_t size = 0;
    if (entity->children == nullptr || depth > 40) {
      size = static_cast<std::size_t>(std::max(entity->length, 0));
    } else {
      size = Content(entity->children, depth);
    }
    Sizes.emplace(entity, size);
    return size;
  }

  std::size_t Content(const xmlNode* node, int depth) {
    std::size_t size = 0;
    for (; node != nullptr && size <= Limit; node = node->next) {
      if (node->type == XML_ENTITY_REF_NODE) {
        size += Expanded(reinterpret_cast<const xmlEntity*>(node->children), depth + 1);
      } else if (node->type == XML_ELEMENT_NODE) {
        for (const xmlAttr* attribute = node->properties; attribute; attribute = attribute->next)
          size += Content(attribute->children, depth);
        size += Content(node->children, depth);
      } else if (node->content != nullptr) {
        size += static_cast<std::size_t>(xmlStrlen(node->content));
      }
    }
    return size;
  }

  std::size_t Limit;
  std::unordered_map<const xmlEntity*, std::size_t> Sizes;
};

// The deck's text handed to the parser as a file's content would be.
struct TTextReader {
  std::string_view Text;
  std::size_t Done = 0;

  static int Read(void* context, char* buffer, int size) {
    auto* reader = static_cast<TTextReader*>(context);
    const std::size_t count =
        std::min(reader->Text.size() - reader->Done, static_cast<std::size_t>(std::max(size, 0)));
    std::memcpy(buffer, reader->Text.data() + reader->Done, count);
    reader->Done += count;
    return static_cast<int>(count);
  }
};

}  // namespace

TParsedDeck::TParsedDeck(std::string_view deck) : DeckText(deck) {
  InstallEntityLoader();
  if (DeckText.UnknownEncoding()) {
    const TEncodingProblem& problem = *DeckText.Problem();
    ParserFindings.push_back(
        MakeFinding(TSeverity::Error, DeckText.PositionOfSource(problem.Offset), problem.Message));
    return;
  }
  const std::string& text = DeckText.Utf8();
  if (text.empty()) {
    ParserFindings.push_back(MakeFinding(TSeverity::Error, {1, 1}, "Колода пуста"));
    return;
  }
  if (text.size() > static_cast<std::size_t>(INT_MAX)) {
    ParserFindings.push_back(
        MakeFinding(TSeverity::Error, {1, 1},
                    "Колода слишком велика для проверки: " + ByteCount(text.size()) + " в UTF-8"));
    return;
  }
  TParseRun run(*this);
  // Read before the parse: nothing may throw inside the parser's callbacks.
  run.Wml11 = Wml11Declarations();
  // The tree stays this object's whatever the parse finds: the parser
  // frees a tree it calls broken only through its read functions, which
  // would free the borrowed declarations with it.
  // The parser reads the text a few kilobytes at a time, as it reads a
  // file, and lets go of what it has read: given the whole text at once, it
  // would keep a copy of it, as large again, for the whole parse.
  xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
  if (ctxt == nullptr) throw std::bad_alloc();
  TTextReader reader{text};
  xmlParserInputBufferPtr buffer =
      xmlParserInputBufferCreateIO(TTextReader::Read, nullptr, &reader, XML_CHAR_ENCODING_NONE);
  xmlParserInputPtr input =
      buffer != nullptr ? xmlNewIOInputStream(ctxt, buffer, XML_CHAR_ENCODING_NONE) : nullptr;
  if (input == nullptr) {
    if (buffer != nullptr) xmlFreeParserInputBuffer(buffer);
    xmlFreeParserCtxt(ctxt);
    throw std::bad_alloc();
  }
  inputPush(ctxt, input);
  // XML_PARSE_COMPACT keeps short text inside its node, not in a block of
  // its own: the tree is only read once made.
  constexpr int kOptions = XML_PARSE_NONET | XML_PARSE_DTDLOAD | XML_PARSE_DTDVALID |
                           XML_PARSE_IGNORE_ENC | XML_PARSE_NOCDATA | XML_PARSE_COMPACT;
  xmlCtxtUseOptions(ctxt, kOptions);
  run.Ctxt = ctxt;
  run.DefaultStartElement = ctxt->sax->startElementNs;
  ctxt->sax->externalSubset = OnExternalSubset;
  ctxt->sax->startElementNs = OnStartElement;
  ctxt->sax->serror = OnStructuredError;
  ctxt->sax->cdataBlock = OnCdata;  // XML_PARSE_NOCDATA passes CDATA on as text
  // Both: with one function for the two, the parser does not look up for
  // every run of white space whether it stands in element content.
  ctxt->sax->characters = OnCharacters;
  ctxt->sax->ignorableWhitespace = OnCharacters;
  ctxt->vctxt.error = nullptr;
  ctxt->vctxt.warning = nullptr;
  TParseRun* outer = tRun;
  tRun = &run;
  // Some faults the parser reports with no parser context at hand (a
  // notation declared twice, an IDREF checked once the deck is read): they
  // come to the thread's handler, which would print them in English.
  const xmlStructuredErrorFunc outerHandler = xmlStructuredError;
  void* const outerContext = xmlStructuredErrorContext;
  xmlSetStructuredErrorFunc(nullptr, OnStructuredError);
  xmlParseDocument(ctxt);
  xmlSetStructuredErrorFunc(outerContext, outerHandler);
  tRun = outer;
  Tree.reset(ctxt->myDoc);
  ctxt->myDoc = nullptr;
  WellFormed = Tree != nullptr && ctxt->wellFormed && !DeckText.Problem();
  DtdLoaded = run.LoadedWml11;
  Valid = WellFormed && ctxt->valid && run.LoadedWml11 && !run.RefusedEntity;
  xmlFreeParserCtxt(ctxt);
  try {
    if (run.OutOfMemory) throw std::bad_alloc();
    CheckTree();
  } catch (...) {
    // The tree is freed as this object's member is: without the borrowed
    // declarations, which the next deck on this thread reads with.
    GiveBackDeclarations();
    throw;
  }
}

void TParsedDeck::CheckTree() {
  const std::string& text = DeckText.Utf8();
  const bool ownEntities =
      Tree != nullptr && Tree->intSubset != nullptr && Tree->intSubset->entities != nullptr;
  if (WellFormed && ownEntities) {
    // Entities whose text grows far beyond the deck are refused, as the
    // parser does when it replaces references (libxml2's amplification
    // check): the compiled deck and the phone's memory stay bounded. The
    // entities of WML 1.1 itself (&nbsp; &shy;) stand for less text than
    // their references take.
    const std::size_t limit = kMaxEntityExpansionRatio * text.size() + kMaxEntityExpansionExtra;
    TExpansionCount count(limit);
    if (!count.AddTree(xmlDocGetRootElement(Tree.get()))) {
      const xmlNode* element = count.Over;
      while (element != nullptr &&
             (element->type != XML_ELEMENT_NODE || element->_private == nullptr))
        element = element->parent;
      ParserFindings.push_back(
          MakeFinding(TSeverity::Error, PositionOf(element),
                      "Сущности колоды раскрываются в огромный текст (больше " +
                          ByteCountGenitive(limit) + " из колоды в " + ByteCount(text.size()) +
                          "): такая колода не проверяется и не компилируется"));
      WellFormed = false;
    }
  }
  if (WellFormed && Tree->intSubset != nullptr) CheckNotationAttributes();
  if (WellFormed && Tree->standalone == 1 && Tree->extSubset != nullptr)
    CheckStandaloneNormalisation(xmlDocGetRootElement(Tree.get()));
  if (const auto& problem = DeckText.Problem()) {
    TFinding finding =
        MakeFinding(TSeverity::Error, DeckText.PositionOfSource(problem->Offset), problem->Message);
    // Before the parser's findings from the same place on.
    auto at = ParserFindings.begin();
    while (at != ParserFindings.end() &&
           (at->Line < finding.Line || (at->Line == finding.Line && at->Column < finding.Column))) {
      ++at;
    }
    ParserFindings.insert(at, std::move(finding));
  }
  if (!WellFormed) Valid = false;
}

namespace {

std::atomic<bool> gLeaveTreesAtExit{false};

constexpr bool kLeakChecked = kAddressSanitizer;

}  // namespace

void LeaveParseTreesAtExit() { gLeaveTreesAtExit = !kLeakChecked; }

TParsedDeck::~TParsedDeck() {
  GiveBackDeclarations();
  if (gLeaveTreesAtExit) (void)Tree.release();  // the process ends right after
}

void TParsedDeck::GiveBackDeclarations() noexcept {
  if (BorrowedDtd != nullptr && Tree) {
    // The entities' parsed text belongs to this tree (its nodes and its
    // dictionary): drop it, so the next deck parses it for itself.
    xmlHashScan(
        static_cast<xmlHashTablePtr>(BorrowedDtd->entities),
        [](void* payload, void*, const xmlChar*) {
          auto* entity = static_cast<xmlEntity*>(payload);
          if (entity->children != nullptr && entity->owner) xmlFreeNodeList(entity->children);
          entity->children = nullptr;
          entity->last = nullptr;
          entity->owner = 0;
          entity->checked = 0;
        },
        nullptr);
    if (Tree && Tree->extSubset == BorrowedDtd) Tree->extSubset = nullptr;
  }
  BorrowedDtd = nullptr;
}

TFinding TParsedDeck::MakeFinding(TSeverity severity, TTextPosition at, std::string message) {
  return TFinding{severity, at.Line, at.Column, std::move(message), at.Offset};
}

std::size_t TParsedDeck::StartOffset(const xmlNode* element) const {
  if (element == nullptr || element->_private == nullptr) return 0;
  return reinterpret_cast<std::uintptr_t>(element->_private) - 1;
}

std::size_t TParsedDeck::AttributeOffset(std::size_t tagStart, std::string_view name) const {
  const std::string& text = DeckText.Utf8();
  const std::size_t end = text.find('>', tagStart);
  const std::string_view tag = std::string_view(text).substr(
      tagStart, end == std::string::npos ? std::string::npos : end - tagStart);
  if (name.empty()) return tagStart;
  for (std::size_t at = tag.find(name); at != std::string_view::npos; at = tag.find(name, at + 1)) {
    const char before = at > 0 ? tag[at - 1] : '<';
    if (before != ' ' && before != '\t' && before != '\r' && before != '\n') continue;
    std::size_t k = at + name.size();
    while (k < tag.size() && (tag[k] == ' ' || tag[k] == '\t' || tag[k] == '\r' || tag[k] == '\n'))
      ++k;
    if (k < tag.size() && tag[k] == '=') return tagStart + at;
  }
  return tagStart;
}

// XML 1.0 §3.3.1, VC: One Notation Per Element Type: "An element type MUST
// NOT have more than one NOTATION attribute specified." The WML 1.1 DTD
// declares none, so only the deck's internal subset can; the parser does not
// check it.
void TParsedDeck::CheckNotationAttributes() {
  std::map<std::string, std::string, std::less<>> first;  // element -> its NOTATION attribute
  for (const xmlNode* node = Tree->intSubset->children; node; node = node->next) {
    if (node->type != XML_ATTRIBUTE_DECL) continue;
    const auto* declared = reinterpret_cast<const xmlAttribute*>(node);
    if (declared->atype != XML_ATTRIBUTE_NOTATION || declared->elem == nullptr ||
        declared->name == nullptr)
      continue;
    const std::string element = reinterpret_cast<const char*>(declared->elem);
    const std::string name = reinterpret_cast<const char*>(declared->name);
    const auto [it, added] = first.emplace(element, name);
    if (added) continue;
    // At the attribute list that declares the second one: the last list of
    // that element naming it.
    const std::string& text = DeckText.Utf8();
    std::size_t at = DeclarationOffset("<!ATTLIST", element, text.size());
    for (std::size_t before = text.size(); at != std::string::npos;) {
      const std::size_t end = text.find('>', at);
      if (text.substr(at, end == std::string::npos ? std::string::npos : end - at).find(name) !=
          std::string::npos)
        break;
      before = at;
      at = DeclarationOffset("<!ATTLIST", element, before);
    }
    ParserFindings.push_back(
        MakeFinding(TSeverity::Error, DeckText.PositionOfUtf8(at == std::string::npos ? 0 : at),
                    "У элемента <" + element + "> уже есть атрибут типа NOTATION (" + it->second +
                        "): второй, " + name + ", объявить нельзя"));
    Valid = false;
  }
}

namespace {

// An attribute value as written in a start tag, from its name on: the text
// between its quotes; nullopt when the text there is not one.
std::optional<std::string_view> WrittenValue(std::string_view text, std::size_t at) {
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (at < text.size() && !space(text[at]) && text[at] != '=') ++at;
  while (at < text.size() && space(text[at])) ++at;
  if (at >= text.size() || text[at] != '=') return std::nullopt;
  ++at;
  while (at < text.size() && space(text[at])) ++at;
  if (at >= text.size() || (text[at] != '"' && text[at] != '\'')) return std::nullopt;
  const std::size_t end = text.find(text[at], at + 1);
  if (end == std::string_view::npos) return std::nullopt;
  return text.substr(at + 1, end - at - 1);
}

// Whether a written value of a tokenised or enumerated type changes when
// it is normalised (XML 1.0 §3.3.3): white space characters and references
// to them become spaces, then spaces at the ends are dropped and runs of
// them become one.
bool ChangesUnderNormalisation(std::string_view written) {
  std::string spaces;  // ' ' for a space after the first step, 'x' for anything else
  for (std::size_t i = 0; i < written.size(); ++i) {
    const char c = written[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      spaces += ' ';
    } else if (c == '&') {
      const std::size_t end = written.find(';', i);
      if (end == std::string_view::npos) break;
      const std::string_view reference = written.substr(i + 1, end - i - 1);
      const bool white = reference == "#32" || reference == "#x20" || reference == "#9" ||
                         reference == "#x9" || reference == "#10" || reference == "#xA" ||
                         reference == "#xa" || reference == "#13" || reference == "#xD" ||
                         reference == "#xd";
      spaces += white ? ' ' : 'x';
      i = end;
    } else {
      spaces += 'x';
    }
  }
  if (spaces.empty()) return false;
  return spaces.front() == ' ' || spaces.back() == ' ' || spaces.find("  ") != std::string::npos;
}

}  // namespace

// XML 1.0 §2.9, VC: Standalone Document Declaration: a deck that says it
// stands alone may not hold "attributes with values subject to
// normalization, where the attribute appears in the document with a value
// which will change as a result of normalization", when their type is
// declared in the external subset (for a deck, the WML 1.1 DTD). The parser
// normalises such values as it reads them and reports this only for values
// with entity references.
void TParsedDeck::CheckStandaloneNormalisation(const xmlNode* element) {
  for (; element != nullptr; element = element->next) {
    if (element->type != XML_ELEMENT_NODE) continue;
    for (const xmlAttr* attribute = element->properties; attribute; attribute = attribute->next) {
      const xmlAttributePtr declared =
          xmlGetDtdAttrDesc(Tree->extSubset, element->name, attribute->name);
      if (declared == nullptr || declared->atype == XML_ATTRIBUTE_CDATA) continue;
      // A declaration of the deck's own comes first and binds.
      if (Tree->intSubset != nullptr &&
          xmlGetDtdAttrDesc(Tree->intSubset, element->name, attribute->name) != nullptr)
        continue;
      const std::string name = reinterpret_cast<const char*>(attribute->name);
      const std::size_t at = AttributeOffset(StartOffset(element), name);
      const std::optional<std::string_view> written = WrittenValue(DeckText.Utf8(), at);
      if (!written || !ChangesUnderNormalisation(*written)) continue;
      TFinding finding = MakeFinding(
          TSeverity::Error, DeckText.PositionOfUtf8(at),
          "В колоде standalone=\"yes\", а значение атрибута " + name + " элемента <" +
              reinterpret_cast<const char*>(element->name) +
              "> пришлось нормализовать по объявлению из DTD WML 1.1: уберите лишние пробелы "
              "или уберите standalone=\"yes\"");
      // The parser says so itself for a value with references.
      if (std::none_of(ParserFindings.begin(), ParserFindings.end(), [&](const TFinding& f) {
            return f.Line == finding.Line && f.Message == finding.Message;
          }))
        ParserFindings.push_back(std::move(finding));
      Valid = false;
    }
    CheckStandaloneNormalisation(element->children);
  }
}

std::size_t TParsedDeck::DeclarationOffset(std::string_view keyword, std::string_view name,
                                           std::size_t before) const {
  const std::string& text = DeckText.Utf8();
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  std::size_t found = std::string::npos;
  for (std::size_t at = text.find(keyword); at != std::string::npos && at < before;
       at = text.find(keyword, at + 1)) {
    std::size_t k = at + keyword.size();
    if (k >= text.size() || !space(text[k])) continue;
    while (k < text.size() && space(text[k])) ++k;
    if (text.compare(k, name.size(), name) == 0 && k + name.size() < text.size() &&
        (space(text[k + name.size()]) || text[k + name.size()] == '>'))
      found = at;  // the last one before: a later declaration repeats an earlier one
  }
  return found;
}

TTextPosition TParsedDeck::PositionOf(const xmlNode* element) const {
  return DeckText.PositionOfUtf8(StartOffset(element));
}

TTextPosition TParsedDeck::PositionOfAttribute(const xmlNode* element,
                                               std::string_view name) const {
  return DeckText.PositionOfUtf8(AttributeOffset(StartOffset(element), name));
}

}  // namespace deckhand::wml
