#include "wml/DeckParse.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

#include "wml/WmlDtd.h"

namespace deckhand::wml {

namespace {

std::string Str(const char* text) { return text ? std::string(text) : std::string(); }

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

xmlExternalEntityLoader gPreviousLoader = nullptr;

// Whether a DOCTYPE's identifiers name WML 1.1. The public identifier is
// compared after its white space is normalised (XML 1.0 §4.2.2: runs of
// white space become one space, none at either end).
bool NamesWml11(const char* publicId, const char* systemId) {
  if (systemId != nullptr && kWml11SystemId == systemId) return true;
  if (publicId == nullptr) return false;
  std::string normal;
  for (const char* c = publicId; *c; ++c) {
    const bool space = *c == ' ' || *c == '\t' || *c == '\r' || *c == '\n';
    if (!space) {
      normal += *c;
    } else if (!normal.empty() && normal.back() != ' ') {
      normal += ' ';
    }
  }
  if (!normal.empty() && normal.back() == ' ') normal.pop_back();
  return normal == kWml11PublicId;
}

}  // namespace

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

namespace {

thread_local TParseRun* tRun = nullptr;

xmlParserInputPtr LoadDeckEntity(TParseRun* run, const char* url, const char* id,
                                 xmlParserCtxtPtr ctxt) {
  // While a deck is read on this thread every load is the deck's, also those
  // of the parser contexts it makes for external entities.
  const bool wml11 = NamesWml11(id, url);
  if (wml11 && !run->LoadedWml11) {
    const std::string_view dtd = Wml11Dtd();
    xmlParserInputBufferPtr buffer = xmlParserInputBufferCreateMem(
        dtd.data(), static_cast<int>(dtd.size()), XML_CHAR_ENCODING_UTF8);
    if (buffer == nullptr) return nullptr;
    xmlParserInputPtr input = xmlNewIOInputStream(ctxt, buffer, XML_CHAR_ENCODING_UTF8);
    if (input == nullptr) {
      xmlFreeParserInputBuffer(buffer);
      return nullptr;
    }
    input->filename = reinterpret_cast<const char*>(
        xmlStrdup(reinterpret_cast<const xmlChar*>(std::string(kWml11SystemId).c_str())));
    run->LoadedWml11 = true;
    return input;
  }
  // Nothing else is ever read: not a DTD of another WML version, not an
  // entity from a file or from the network.
  const std::string what = id ? Str(id) : Str(url);
  if (ctxt->myDoc != nullptr && ctxt->myDoc->intSubset != nullptr && run->RefusedDoctype.empty() &&
      ((id != nullptr && ctxt->myDoc->intSubset->ExternalID != nullptr &&
        std::strcmp(id, reinterpret_cast<const char*>(ctxt->myDoc->intSubset->ExternalID)) == 0) ||
       (id == nullptr && url != nullptr && ctxt->myDoc->intSubset->SystemID != nullptr &&
        std::strstr(url, reinterpret_cast<const char*>(ctxt->myDoc->intSubset->SystemID)) !=
            nullptr))) {
    run->RefusedDoctype = what.empty() ? std::string("?") : what;
    return nullptr;
  }
  run->RefusedEntity = true;
  run->Add(TSeverity::Error, run->CurrentOffset(),
           "Внешняя сущность «" + what +
               "» не загружается: колода должна обходиться без внешних файлов, кроме DTD WML 1.1");
  return nullptr;
}

xmlParserInputPtr LoadEntity(const char* url, const char* id, xmlParserCtxtPtr ctxt) {
  TParseRun* run = tRun;
  if (run == nullptr) return gPreviousLoader ? gPreviousLoader(url, id, ctxt) : nullptr;
  try {
    return LoadDeckEntity(run, url, id, ctxt);
  } catch (const std::bad_alloc&) {
    run->OutOfMemory = true;  // raised once the parser has returned
    return nullptr;
  }
}

// The WML 1.1 declarations, read once per thread: reading them for every
// deck would cost more than checking a small deck. Each deck's tree borrows
// them as its external subset and gives them back when it is freed.
class TWml11Declarations {
 public:
  ~TWml11Declarations() {
    if (Dtd != nullptr) xmlFreeDtd(Dtd);
  }
  xmlDtdPtr Get() {
    if (Dtd == nullptr) {
      const std::string_view text = Wml11Dtd();
      xmlParserInputBufferPtr buffer = xmlParserInputBufferCreateMem(
          text.data(), static_cast<int>(text.size()), XML_CHAR_ENCODING_UTF8);
      if (buffer == nullptr) throw std::bad_alloc();
      Dtd = xmlIOParseDTD(nullptr, buffer, XML_CHAR_ENCODING_UTF8);
      if (Dtd == nullptr) throw std::bad_alloc();
    }
    return Dtd;
  }

 private:
  xmlDtdPtr Dtd = nullptr;
};

thread_local TWml11Declarations tWml11;

// Tells the parser which attributes are not CDATA, as reading the
// declarations would have, so that their values are normalised the same way.
void MarkTokenizedAttributes(xmlParserCtxtPtr ctxt, xmlDtdPtr dtd) {
  if (ctxt->attsSpecial == nullptr) ctxt->attsSpecial = xmlHashCreateDict(10, ctxt->dict);
  if (ctxt->attsSpecial == nullptr) return;
  xmlHashScan(
      static_cast<xmlHashTablePtr>(dtd->attributes),
      [](void* payload, void* data, const xmlChar*) {
        const auto* attribute = static_cast<const xmlAttribute*>(payload);
        if (attribute->atype == XML_ATTRIBUTE_CDATA) return;
        std::string name;
        if (attribute->prefix != nullptr)
          name = Str(reinterpret_cast<const char*>(attribute->prefix)) + ":";
        name += Str(reinterpret_cast<const char*>(attribute->name));
        xmlHashAddEntry2(static_cast<xmlParserCtxtPtr>(data)->attsSpecial, attribute->elem,
                         reinterpret_cast<const xmlChar*>(name.c_str()),
                         reinterpret_cast<void*>(static_cast<std::ptrdiff_t>(attribute->atype)));
      },
      ctxt);
}

void OnExternalSubset(void* ctx, const xmlChar* name, const xmlChar* externalId,
                      const xmlChar* systemId) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
  TParseRun* run = tRun;
  const bool wml11 = NamesWml11(reinterpret_cast<const char*>(externalId),
                                reinterpret_cast<const char*>(systemId));
  if (run != nullptr && externalId == nullptr && systemId == nullptr) run->NoExternalSubset = true;
  // A deck with declarations of its own, or one that says it stands alone,
  // has the WML 1.1 declarations read after its internal subset, as XML 1.0
  // orders them: the parser then finds an element declared twice (§3.2),
  // adds an internal ATTLIST's attributes to the element (§3.3), and tells
  // an attribute defaulted from the external subset of a standalone deck
  // (§2.9). Any other deck borrows the thread's declarations.
  const bool ownDeclarations = ctxt->myDoc != nullptr && ctxt->myDoc->intSubset != nullptr &&
                               ctxt->myDoc->intSubset->children != nullptr;
  if (run != nullptr && run->Wml11 != nullptr && wml11 && ctxt->wellFormed &&
      ctxt->myDoc != nullptr && ctxt->myDoc->extSubset == nullptr && !ownDeclarations &&
      ctxt->standalone != 1) {
    xmlDtdPtr dtd = run->Wml11;
    ctxt->myDoc->extSubset = dtd;
    run->LoadedWml11 = true;
    run->LendDtd(dtd);
    try {
      MarkTokenizedAttributes(ctxt, dtd);
    } catch (const std::bad_alloc&) {
      run->OutOfMemory = true;  // raised once the parser has returned
    }
    return;
  }
  xmlSAX2ExternalSubset(ctx, name, externalId, systemId);
}

void OnStructuredError(void*, xmlErrorPtr error) {
  if (tRun == nullptr || error == nullptr) return;
  // No exception may cross the parser's C frames: running out of memory
  // here is noted and raised once the parser has returned.
  try {
    tRun->OnError(*error);
  } catch (const std::bad_alloc&) {
    tRun->OutOfMemory = true;
  }
}

void OnStartElement(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar* uri,
                    int nbNamespaces, const xmlChar** namespaces, int nbAttributes, int nbDefaulted,
                    const xmlChar** attributes) {
  TParseRun* run = tRun;
  auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
  if (run == nullptr || ctxt->inputNr != 1) {
    // Inside an entity's text: the element has no tag of its own in the deck.
    if (run != nullptr)
      run->DefaultStartElement(ctx, localname, prefix, uri, nbNamespaces, namespaces, nbAttributes,
                               nbDefaulted, attributes);
    return;
  }
  // The tag's "<" is the last one before the parser's place: no attribute
  // value holds one.
  const std::size_t at = run->CurrentOffset();
  const std::string& text = run->Deck.Text().Utf8();
  const std::size_t last = text.empty() ? 0 : std::min(at, text.size() - 1);
  const void* start = text.empty() ? nullptr : memrchr(text.data(), '<', last + 1);
  run->TagStart = start == nullptr
                      ? 0
                      : static_cast<std::size_t>(static_cast<const char*>(start) - text.data());
  if (run->NoExternalSubset && ctxt->validate && ctxt->node == nullptr) {
    // XML 1.0 §2.8: a DOCTYPE with only an internal subset names no grammar
    // of WML 1.1; its declarations were checked, its elements are not.
    ctxt->validate = 0;
    ctxt->valid = 0;
    try {
      run->Add(TSeverity::Error, run->TagStart, run->NoWml11Message());
    } catch (const std::bad_alloc&) {
      run->OutOfMemory = true;  // raised once the parser has returned
    }
  }
  run->InStartTag = true;
  xmlNodePtr before = ctxt->node;
  run->DefaultStartElement(ctx, localname, prefix, uri, nbNamespaces, namespaces, nbAttributes,
                           nbDefaulted, attributes);
  run->InStartTag = false;
  if (ctxt->node != nullptr && ctxt->node != before) {
    ctxt->node->_private = reinterpret_cast<void*>(static_cast<std::uintptr_t>(run->TagStart + 1));
  }
}

// A CDATA section is character data: in an element whose declaration
// allows only elements it is invalid (XML 1.0 §3, VC: Element Valid), even
// when it holds only white space, which outside one would be ignorable.
void OnCdata(void* ctx, const xmlChar* value, int length) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
  TParseRun* run = tRun;
  const xmlNode* parent = ctxt->node;
  if (run != nullptr && ctxt->validate && parent != nullptr && parent->type == XML_ELEMENT_NODE &&
      ctxt->myDoc != nullptr) {
    xmlElementPtr declaration = nullptr;
    if (ctxt->myDoc->intSubset != nullptr)
      declaration = xmlGetDtdElementDesc(ctxt->myDoc->intSubset, parent->name);
    if ((declaration == nullptr || declaration->etype == XML_ELEMENT_TYPE_UNDEFINED) &&
        ctxt->myDoc->extSubset != nullptr)
      declaration = xmlGetDtdElementDesc(ctxt->myDoc->extSubset, parent->name);
    if (declaration != nullptr && declaration->etype == XML_ELEMENT_TYPE_ELEMENT) {
      ctxt->valid = 0;
      try {
        const std::size_t end = run->CurrentOffset();
        const std::string& text = run->Deck.Text().Utf8();
        const std::size_t at = end == 0 ? std::string::npos : text.rfind("<![CDATA[", end - 1);
        run->Add(TSeverity::Error, at == std::string::npos ? end : at,
                 "Раздел CDATA не может стоять прямо внутри <" +
                     Str(reinterpret_cast<const char*>(parent->name)) +
                     ">: в этом элементе допустимы только элементы");
      } catch (const std::bad_alloc&) {
        run->OutOfMemory = true;  // raised once the parser has returned
      }
    }
  }
  if (ctxt->sax->characters != nullptr) ctxt->sax->characters(ctx, value, length);
}

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

// What a deck holds where the parser found no markup at all: nothing but
// white space, zero bytes (a damaged or binary file), or text that is not
// markup, quoted from its start.
std::string NothingLikeMarkup(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() &&
         (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n'))
    ++at;
  if (at == text.size()) return "Колода пуста";
  if (text[at] == '\0') {
    return "Колода начинается нулевыми байтами (0x00), а не разметкой: это не текст WML — "
           "файл повреждён или двоичный (например, скомпилированная колода .wmlc)";
  }
  std::string start;
  for (std::size_t k = at; k < text.size() && k < at + 40 && text[k] != '\n' && text[k] != '\r';
       ++k) {
    const auto c = static_cast<unsigned char>(text[k]);
    start += c < 0x20 || c == 0x7F ? '?' : text[k];
  }
  // No half of a character at the cut: the last character's lead byte
  // tells how long it should be.
  std::size_t lead = start.size();
  while (lead > 0 && (static_cast<unsigned char>(start[lead - 1]) & 0xC0) == 0x80) --lead;
  if (lead > 0) {
    const auto c = static_cast<unsigned char>(start[lead - 1]);
    const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (lead - 1 + length > start.size()) start.resize(lead - 1);
  }
  return "Колода должна начинаться разметкой (<?xml …?>, <!DOCTYPE …> или <wml>), а начинается "
         "текстом «" +
         start + "»";
}

}  // namespace

std::string TParseRun::Message(const xmlError& error, bool& attributeError,
                               std::string& attribute) const {
  const std::string s1 = Str(error.str1), s2 = Str(error.str2), s3 = Str(error.str3);
  const std::string own = Trimmed(Str(error.message));
  attributeError = false;
  switch (error.code) {
    case XML_DTD_NO_DTD:
      return NoWml11Message();
    case XML_DTD_UNKNOWN_ELEM:
      return "Элемента <" + s1 + "> нет в WML 1.1";
    case XML_DTD_ROOT_NAME:
      // "root and DTD name do not match '%s' and '%s'": the root, the DOCTYPE's name.
      if (s2 == "wml" || s2.empty())
        return "Корневой элемент колоды должен быть <wml>, а не <" + s1 + ">";
      return "Корневой элемент колоды <" + s1 + "> не совпадает с именем в <!DOCTYPE " + s2 +
             " …>: для WML 1.1 пишется <!DOCTYPE wml …>";
    case XML_DTD_UNKNOWN_ATTRIBUTE:
      attributeError = true;
      attribute = s1;
      return "У элемента <" + s2 + "> нет атрибута " + s1 + " в WML 1.1";
    case XML_DTD_MISSING_ATTRIBUTE:
      return "У элемента <" + s1 + "> нет обязательного атрибута " + s2;
    case XML_DTD_ATTRIBUTE_VALUE:
      attributeError = true;
      attribute = s1;
      if (own.find("enumerated") != std::string::npos) {
        // "Value "%s" for attribute %s of %s is not among the enumerated set"
        attribute = s2;
        return "Значение «" + s1 + "» атрибута " + s2 + " элемента <" + s3 +
               "> недопустимо в WML 1.1";
      }
      return "Значение атрибута " + s1 + " элемента <" + s2 + "> недопустимо в WML 1.1";
    case XML_DTD_INVALID_DEFAULT:
    case XML_DTD_ID_FIXED:
    case XML_DTD_ATTRIBUTE_DEFAULT:
      if (own.rfind("ID attribute", 0) == 0) {
        // "ID attribute %s of %s is not valid must be #IMPLIED or #REQUIRED"
        return "Атрибут " + s1 + " элемента <" + s2 +
               "> объявлен с типом ID: его значение по умолчанию может быть только #IMPLIED или "
               "#REQUIRED";
      }
      if (own.rfind("Value for attribute", 0) == 0) {
        // "Value for attribute %s of %s is different from default \"%s\""
        attributeError = true;
        attribute = s1;
        return "Атрибут " + s1 + " элемента <" + s2 +
               "> объявлен #FIXED: его значение может быть только «" + s3 + "»";
      }
      // "Attribute %s of %s: invalid default value": the element, then the attribute.
      return "Значение по умолчанию «" + s3 + "» атрибута " + s2 + " элемента <" + s1 +
             "> не подходит к его объявленному типу";
    case XML_DTD_MULTIPLE_ID:
    case XML_DTD_ID_SUBSET:
      return SecondIdMessage(s1);
    case XML_DTD_EMPTY_NOTATION:
      // "NOTATION attribute %s declared for EMPTY element %s"
      return "Атрибут " + s1 + " типа NOTATION нельзя объявить у элемента <" + s2 +
             ">: он пустой (EMPTY)";
    case XML_DTD_NOTATION_REDEFINED:
      return "Нотация " + s1 + " уже объявлена: объявлять её ещё раз нельзя";
    case XML_DTD_UNKNOWN_NOTATION:
    case XML_DTD_NOTATION_VALUE:
      if (own.rfind("NOTATION attribute", 0) == 0) {
        // "NOTATION attribute %s reference an unknown notation \"%s\""
        attributeError = true;
        attribute = s1;
        return "Атрибут " + s1 + " называет нотацию «" + s2 + "», которая не объявлена";
      }
      if (own.rfind("Value", 0) == 0) {
        // "Value \"%s\" for attribute %s of %s is not a declared Notation" (or not
        // among the notations the attribute lists)
        attributeError = true;
        attribute = s2;
        return "Значение «" + s1 + "» атрибута " + s2 + " элемента <" + s3 +
               "> должно быть одной из нотаций, перечисленных в его объявлении";
      }
      return "Нотация " + s1 + " не объявлена (<!NOTATION " + s1 + " …>)";
    case XML_DTD_UNKNOWN_ENTITY:
    case XML_DTD_ENTITY_TYPE:
      // "ENTITY attribute %s reference an unknown entity \"%s\"" (or ENTITIES, or
      // "an entity \"%s\" of wrong type")
      attributeError = true;
      attribute = s1;
      return "Значение «" + s2 + "» атрибута " + s1 +
             " должно быть именем необработанной сущности (<!ENTITY … NDATA …>), объявленной в "
             "колоде";
    case XML_DTD_UNKNOWN_ID:
      // "IDREF attribute %s references an unknown ID \"%s\"" (or IDREFS)
      attributeError = true;
      attribute = s1;
      return "Атрибут " + s1 + " ссылается на идентификатор «" + s2 +
             "», которого нет ни у одного элемента колоды";
    case XML_DTD_DUP_TOKEN:
      // "standalone: attribute enumeration value token %s duplicated" (or notation)
      return "Значение «" + s1 + "» перечислено в объявлении атрибута дважды";
    case XML_DTD_CONTENT_ERROR:
      if (own.rfind("Definition of", 0) == 0) {
        // "Definition of %s has duplicate references of %s"
        return "В объявлении элемента <" + s1 + "> элемент " + s2 + " назван дважды";
      }
      return "Объявление элемента <" + s1 + "> записано неверно";
    case XML_DTD_NOT_STANDALONE:
      // "standalone: %s on %s value had to be normalized based on external subset declaration"
      attributeError = true;
      attribute = s1;
      return "В колоде standalone=\"yes\", а значение атрибута " + s1 + " элемента <" + s2 +
             "> пришлось нормализовать по объявлению из DTD WML 1.1: уберите лишние пробелы или "
             "уберите standalone=\"yes\"";
    case XML_ERR_UNPARSED_ENTITY:
      return "Сущность &" + s1 +
             "; необработанная (NDATA): на неё нельзя ссылаться в тексте или в значении атрибута";
    case XML_ERR_ENTITY_IS_EXTERNAL:
      return "Внешняя сущность &" + s1 + "; не может стоять в значении атрибута";
    case XML_ERR_ENTITY_IS_PARAMETER:
      return "Параметрическая сущность %" + s1 + "; не может стоять в тексте колоды";
    case XML_ERR_PEREF_NO_NAME:
    case XML_ERR_PEREF_SEMICOL_MISSING:
    case XML_ERR_PEREF_IN_PROLOG:
    case XML_ERR_PEREF_IN_EPILOG:
    case XML_ERR_PEREF_IN_INT_SUBSET:
    case XML_ERR_ENTITY_PE_INTERNAL:
      return "Параметрическая сущность (%…;) записана или использована неверно: во внутреннем "
             "подмножестве DTD она может стоять только между объявлениями";
    case XML_DTD_STANDALONE_DEFAULTED:
      // "standalone: attribute %s on %s defaulted from external subset"
      attributeError = true;
      attribute = s1;
      return "В колоде standalone=\"yes\", а атрибут " + s1 + " элемента <" + s2 +
             "> получает значение по умолчанию из DTD WML 1.1: укажите его явно или уберите "
             "standalone=\"yes\"";
    case XML_DTD_ELEM_REDEFINED:
      return "Элемент <" + s1 +
             "> уже объявлен в DTD WML 1.1: объявлять его в колоде ещё раз нельзя";
    case XML_DTD_ID_REDEFINED:
      attributeError = true;
      attribute = "id";
      return "Идентификатор «" + s1 + "» уже есть в колоде: id должны быть разными";
    case XML_DTD_NOT_EMPTY:
      return "Элемент <" + s1 + "> в WML 1.1 пустой: у него не может быть содержимого";
    case XML_DTD_CONTENT_MODEL: {
      // "Element card content does not follow the DTD, expecting (...), got (...)"
      std::string message = "Содержимое элемента <" + s1 + "> не соответствует WML 1.1";
      const std::size_t expecting = own.find("expecting ");
      const std::size_t got = own.find(", got ");
      if (expecting != std::string::npos && got != std::string::npos && got > expecting) {
        message += ": допустимо " + own.substr(expecting + 10, got - expecting - 10) +
                   ", а стоит " + own.substr(got + 6);
      } else {
        const std::size_t misplaced = own.find("Misplaced ");
        if (misplaced != std::string::npos) {
          message = "Элемент <" + own.substr(misplaced + 10) + "> не может стоять здесь внутри <" +
                    s1 + ">";
        } else if (own.find("Expecting more child") != std::string::npos) {
          message += ": не хватает вложенных элементов";
        } else if (own.find("Character data is not allowed") != std::string::npos) {
          message = "Текст не может стоять прямо внутри <" + s1 + ">: поместите его в <p>";
        }
      }
      return message;
    }
    case XML_DTD_INVALID_CHILD:
      // "Element %s is not declared in %s list of possible children"
      return "Элемент <" + s1 + "> не может стоять внутри <" + s2 + ">";
    case XML_DTD_NOT_PCDATA:
      return "Текст не может стоять прямо внутри <" + s1 + ">";
    case XML_ERR_UNDECLARED_ENTITY:
    case XML_WAR_UNDECLARED_ENTITY:
      return "Сущность &" + s1 +
             "; не определена: в WML 1.1 есть только &amp; &lt; &gt; &quot; &apos; "
             "&nbsp; &shy; и числовые &#…;";
    case XML_ERR_ENTITYREF_SEMICOL_MISSING:
      return "Знак & должен быть записан как &amp; (в адресе — тоже: ?a=1&amp;b=2)";
    case XML_ERR_NAME_REQUIRED:
      if (own.find("EntityRef") != std::string::npos) {
        return "Знак & должен быть записан как &amp; (в адресе — тоже: ?a=1&amp;b=2)";
      }
      if (own.find("StartTag") != std::string::npos) {
        return "После знака < должно стоять имя элемента; знак < в тексте пишется как &lt;";
      }
      return "Здесь должно стоять имя (элемента, атрибута или сущности)";
    case XML_ERR_TAG_NAME_MISMATCH:
      return "Закрывающий тег </" + s2 + "> не соответствует открытому <" + s1 + ">";
    case XML_ERR_TAG_NOT_FINISHED: {
      // "Premature end of data in tag p line 3"
      const std::size_t line = own.rfind(" line ");
      return "Элемент <" + s1 + "> не закрыт до конца колоды" +
             (line != std::string::npos ? " (он начат в строке " + own.substr(line + 6) + ")"
                                        : std::string());
    }
    case XML_ERR_LT_IN_ATTRIBUTE:
      return "Знак < не может стоять в значении атрибута: запишите его как &lt;";
    case XML_ERR_LT_REQUIRED:
    case XML_ERR_GT_REQUIRED:
      return "Тег не закончен знаком >";
    case XML_ERR_ATTRIBUTE_WITHOUT_VALUE:
      return "У атрибута " + s1 + " нет значения: в XML пишется " + s1 + "=\"…\"";
    case XML_ERR_ATTRIBUTE_NOT_STARTED:
      return s1.empty()
                 ? std::string("Значение атрибута должно стоять в кавычках: имя=\"значение\"")
                 : "Значение атрибута " + s1 + " должно стоять в кавычках";
    case XML_ERR_ATTRIBUTE_REDEFINED:
      return "Атрибут " + s1 + " указан у элемента дважды";
    case XML_ERR_DOCUMENT_EMPTY:
      return NothingLikeMarkup(Deck.DeckText.Utf8());
    case XML_ERR_NOT_STANDALONE:
      // "Entity(%s) document marked standalone but requires external subset"
      return "В колоде standalone=\"yes\", а сущность &" + s1 +
             "; объявлена в DTD WML 1.1: запишите знак числовой ссылкой (&#160; вместо &nbsp;, "
             "&#173; вместо &shy;) или уберите standalone=\"yes\"";
    case XML_DTD_STANDALONE_WHITE_SPACE:
      // "standalone: %s declared in the external subset contains white spaces nodes"
      return "В колоде standalone=\"yes\", а между элементами внутри <" + s1 +
             "> стоят пробелы или переводы строк, которые DTD WML 1.1 не считает текстом: "
             "уберите их или уберите standalone=\"yes\"";
    case XML_ERR_DOCUMENT_END:
      return "После закрывающего </wml> ничего не может стоять, кроме комментариев";
    case XML_ERR_RESERVED_XML_NAME:
      return "Объявление <?xml …?> должно стоять в самом начале колоды, до любых других знаков";
    case XML_ERR_ENTITY_LOOP:
    case XML_ERR_ENTITY_BOUNDARY:
      return "Сущности колоды раскрываются без конца или в огромный текст: такая колода не "
             "проверяется";
    case XML_ERR_INVALID_CHAR:
      if (own.find("xmlParseCharRef") != std::string::npos) {
        return "Ссылка &#…; называет знак, которого не может быть в XML (код " +
               std::to_string(error.int1) + ")";
      }
      return error.int1 > 0 ? "Знак с кодом " + std::to_string(error.int1) + " недопустим в XML"
                            : std::string("В колоде стоит знак, недопустимый в XML");
    case XML_ERR_HYPHEN_IN_COMMENT:
      return "Внутри комментария <!-- … --> не может стоять «--»";
    case XML_ERR_UNSUPPORTED_ENCODING:
      return s1.empty() ? std::string("Кодировка колоды не поддерживается")
                        : "Кодировка «" + s1 + "» не поддерживается";
    default:
      break;
  }
  if (own.rfind("Excessive depth", 0) == 0) {
    return "Элементы вложены глубже 256 уровней: такая колода не проверяется";
  }
  if (own.rfind("Detected an entity reference loop", 0) == 0) {
    return "Сущности колоды раскрываются без конца или в огромный текст: такая колода не "
           "проверяется";
  }
  if (own.find("xmlParseInternalSubset") != std::string::npos) {
    // A parameter entity whose text is not whole declarations.
    return "Во внутреннем подмножестве DTD колоды может стоять только целое объявление "
           "(<!ELEMENT …>, <!ATTLIST …>, <!ENTITY …>, <!NOTATION …>), комментарий или ссылка на "
           "параметрическую сущность, текст которой — такие объявления";
  }
  switch (error.code) {
    case XML_ERR_ENTITY_NOT_STARTED:
    case XML_ERR_ENTITY_NOT_FINISHED:
    case XML_ERR_NOTATION_NOT_STARTED:
    case XML_ERR_NOTATION_NOT_FINISHED:
    case XML_ERR_ATTLIST_NOT_STARTED:
    case XML_ERR_ATTLIST_NOT_FINISHED:
    case XML_ERR_MIXED_NOT_STARTED:
    case XML_ERR_MIXED_NOT_FINISHED:
    case XML_ERR_ELEMCONTENT_NOT_STARTED:
    case XML_ERR_ELEMCONTENT_NOT_FINISHED:
    case XML_ERR_CONDSEC_NOT_STARTED:
    case XML_ERR_CONDSEC_NOT_FINISHED:
    case XML_ERR_CONDSEC_INVALID:
    case XML_ERR_CONDSEC_INVALID_KEYWORD:
    case XML_ERR_EXT_SUBSET_NOT_FINISHED:
    case XML_ERR_ENTITY_PROCESSING:
    case XML_ERR_NOTATION_PROCESSING:
      return "Объявление во внутреннем подмножестве DTD колоды записано неверно";
    case XML_WAR_ENTITY_REDEFINED:
      return "Сущность " + s1 + " уже объявлена: действует первое объявление";
    default:
      break;
  }
  // The parser's own text is English: the finding says what kind of fault it
  // is and its number, which names it in the parser's documentation.
  const std::string number = " (код " + std::to_string(error.code) + ")";
  if (error.domain == XML_FROM_VALID || error.domain == XML_FROM_DTD)
    return "Колода не соответствует объявлениям своего DTD" + number;
  return "Ошибка разметки XML" + number;
}

// The deck declares no WML 1.1 grammar: another document type, or none.
std::string TParseRun::NoWml11Message() const {
  if (!RefusedDoctype.empty()) {
    return "Колода объявляет тип документа «" + RefusedDoctype +
           "», а не WML 1.1: её нельзя проверить по WML 1.1; для WML 1.1 нужен <!DOCTYPE wml "
           "PUBLIC \"" +
           std::string(kWml11PublicId) + "\" \"" + std::string(kWml11SystemId) + "\">";
  }
  return "У колоды нет объявления <!DOCTYPE wml PUBLIC \"" + std::string(kWml11PublicId) + "\" \"" +
         std::string(kWml11SystemId) + "\">, поэтому её нельзя проверить по WML 1.1";
}

// XML 1.0 §3.3.1, VC: One ID per Element Type: names the ID attributes the
// element has in WML 1.1 and those the deck declares for it.
std::string TParseRun::SecondIdMessage(const std::string& element) const {
  const auto idsOf = [&](xmlDtd* dtd) {
    std::vector<std::string> names;
    if (dtd == nullptr || dtd->attributes == nullptr) return names;
    struct TScan {
      const std::string* Element;
      std::vector<std::string>* Names;
    } scan{&element, &names};
    xmlHashScan(
        static_cast<xmlHashTablePtr>(dtd->attributes),
        [](void* payload, void* data, const xmlChar*) {
          const auto* attribute = static_cast<const xmlAttribute*>(payload);
          auto* scan = static_cast<TScan*>(data);
          if (attribute->atype == XML_ATTRIBUTE_ID &&
              Str(reinterpret_cast<const char*>(attribute->elem)) == *scan->Element)
            scan->Names->push_back(Str(reinterpret_cast<const char*>(attribute->name)));
        },
        &scan);
    std::sort(names.begin(), names.end());
    return names;
  };
  const std::vector<std::string> wml = idsOf(Wml11);
  const std::vector<std::string> own = Ctxt != nullptr && Ctxt->myDoc != nullptr
                                           ? idsOf(Ctxt->myDoc->intSubset)
                                           : std::vector<std::string>();
  std::string ownList;
  for (const std::string& name : own) ownList += (ownList.empty() ? "" : ", ") + name;
  std::string message = "У элемента <" + element + "> может быть только один атрибут типа ID";
  if (!wml.empty()) message += ": в WML 1.1 это " + wml.front();
  if (!ownList.empty())
    message += (wml.empty() ? ": колода объявляет " : ", а колода объявляет ещё ") + ownList;
  return message;
}

void TParseRun::OnError(const xmlError& error) {
  const std::optional<TEncodingProblem>& problem = Deck.DeckText.Problem();
  std::size_t offset = CurrentOffset();
  if (problem && Deck.DeckText.SourceOffset(offset) > problem->Offset) {
    // The parser stops at the first character that is not one of the
    // deck's encoding; what it finds beyond was never read by a phone.
    return;
  }
  // After the first fault of well-formedness the parser reads on only to
  // report more, mostly the same fault seen from further on: one is said.
  if (SawFatal) return;
  if (error.level == XML_ERR_FATAL) SawFatal = true;
  bool attributeError = false;
  std::string attribute;
  std::string message = Message(error, attributeError, attribute);
  const xmlNode* node = static_cast<const xmlNode*>(error.node);
  const bool validity = error.domain == XML_FROM_VALID || error.domain == XML_FROM_DTD;
  if (validity && InStartTag) {
    // Found in a start tag: at the attribute, else at the tag.
    offset = attributeError ? Deck.AttributeOffset(TagStart, attribute) : TagStart;
  } else if (validity && node != nullptr && node->type == XML_ELEMENT_NODE && !attributeError) {
    // Found when an element ends (its content): at its end tag, where the
    // parser saw the content whole, naming the line its start tag is on.
    const std::string& text = Deck.DeckText.Utf8();
    const std::size_t tag = offset == 0 ? std::string::npos : text.rfind('<', offset - 1);
    if (tag != std::string::npos) offset = tag;
    if (node->_private != nullptr) {
      const std::size_t start = reinterpret_cast<std::uintptr_t>(node->_private) - 1;
      const TTextPosition startAt = Deck.DeckText.PositionOfUtf8(start);
      if (startAt.Line != Deck.DeckText.PositionOfUtf8(offset).Line) {
        message += " (элемент <" + Str(reinterpret_cast<const char*>(node->name)) +
                   "> начат в строке " + std::to_string(startAt.Line) + ")";
      }
    }
  }
  if (error.code == XML_ERR_UNDECLARED_ENTITY || error.code == XML_WAR_UNDECLARED_ENTITY ||
      error.code == XML_ERR_ENTITYREF_SEMICOL_MISSING ||
      (error.code == XML_ERR_NAME_REQUIRED &&
       Str(error.message).find("EntityRef") != std::string::npos) ||
      (error.code == XML_ERR_INVALID_CHAR &&
       Str(error.message).find("CharRef") != std::string::npos)) {
    // At the "&" that begins the reference, not past its name.
    const std::string& text = Deck.DeckText.Utf8();
    const std::size_t amp = offset == 0 ? std::string::npos : text.rfind('&', offset - 1);
    if (amp != std::string::npos && offset - amp < 256) offset = amp;
  }
  if (error.code == XML_DTD_STANDALONE_DEFAULTED) {
    // Found before the element is made, once its tag is read: at the tag.
    const std::string& text = Deck.DeckText.Utf8();
    const std::size_t tag = offset == 0 ? std::string::npos : text.rfind('<', offset - 1);
    if (tag != std::string::npos) offset = tag;
  }
  // Declarations checked once the internal subset is read (or when the root
  // element starts): at the deck's own declaration they are about.
  const auto declaration = [&](std::string_view keyword, const std::string& name) {
    const std::size_t at = Deck.DeclarationOffset(keyword, name, offset);
    if (at != std::string::npos) offset = at;
  };
  switch (error.code) {
    case XML_DTD_ELEM_REDEFINED:
      declaration("<!ELEMENT", Str(error.str1));
      break;
    case XML_DTD_MULTIPLE_ID:
    case XML_DTD_ID_SUBSET:
      declaration("<!ATTLIST", Str(error.str1));
      break;
    case XML_DTD_EMPTY_NOTATION:
      declaration("<!ATTLIST", Str(error.str2));
      break;
    case XML_DTD_NOTATION_REDEFINED:
      declaration("<!NOTATION", Str(error.str1));
      break;
    default:
      break;
  }
  if (validity && node != nullptr && node->type == XML_ELEMENT_NODE && attributeError &&
      !InStartTag && node->_private != nullptr) {
    // Found once the whole deck is read (an IDREF naming no ID): at the
    // attribute of the element.
    offset = Deck.AttributeOffset(Deck.StartOffset(node), attribute);
  }
  if (error.code == XML_ERR_TAG_NAME_MISMATCH) {
    // At the end tag that does not match.
    const std::string& text = Deck.DeckText.Utf8();
    const std::size_t tag = offset == 0 ? std::string::npos : text.rfind("</", offset - 1);
    if (tag != std::string::npos && offset - tag < 1024) offset = tag;
  }
  const TSeverity severity = error.level == XML_ERR_WARNING ? TSeverity::Warning : TSeverity::Error;
  const TTextPosition at = Deck.DeckText.PositionOfUtf8(offset);
  // The parser repeats itself on some faults (an entity loop, once per
  // reference it unwinds; a second ID attribute, once per check that finds
  // it): one finding says it.
  const std::size_t recent = std::min<std::size_t>(Deck.ParserFindings.size(), 8);
  for (auto f = Deck.ParserFindings.end() - static_cast<std::ptrdiff_t>(recent);
       f != Deck.ParserFindings.end(); ++f) {
    if (f->Line == at.Line && f->Column == at.Column && f->Message == message) return;
  }
  Deck.ParserFindings.push_back(TParsedDeck::MakeFinding(severity, at, std::move(message)));
}

TParsedDeck::TParsedDeck(std::string_view deck) : DeckText(deck) {
  static std::once_flag installLoader;
  std::call_once(installLoader, [] {
    xmlInitParser();
    gPreviousLoader = xmlGetExternalEntityLoader();
    xmlSetExternalEntityLoader(LoadEntity);
  });
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
  run.Wml11 = tWml11.Get();
  // The tree stays this object's whatever the parse finds: the parser
  // frees a tree it calls broken only through its read functions, which
  // would free the borrowed declarations with it.
  xmlParserCtxtPtr ctxt = xmlCreateMemoryParserCtxt(text.data(), static_cast<int>(text.size()));
  if (ctxt == nullptr) throw std::bad_alloc();
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
  if (run.OutOfMemory) throw std::bad_alloc();
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

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kLeakChecked = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kLeakChecked = true;
#else
constexpr bool kLeakChecked = false;
#endif
#else
constexpr bool kLeakChecked = false;
#endif

}  // namespace

void LeaveParseTreesAtExit() { gLeaveTreesAtExit = !kLeakChecked; }

TParsedDeck::~TParsedDeck() {
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
  if (gLeaveTreesAtExit) (void)Tree.release();  // the process ends right after
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
