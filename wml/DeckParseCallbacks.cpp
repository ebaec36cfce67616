// The deck parser's callbacks: the external entities it may load (the WML 1.1
// declarations only), the declarations each deck borrows, and the start of
// every element, CDATA sections and errors as the parser meets them.
#include <libxml/SAX2.h>
#include <libxml/parserInternals.h>
#include <libxml/valid.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>

#include "wml/DeckParseInternal.h"
#include "wml/NameSlots.h"
#include "wml/WmlDtd.h"

namespace deckhand::wml::parse_detail {

thread_local TParseRun* tRun = nullptr;

namespace {

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

}  // namespace

void InstallEntityLoader() {
  static std::once_flag installLoader;
  std::call_once(installLoader, [] {
    xmlInitParser();
    gPreviousLoader = xmlGetExternalEntityLoader();
    xmlSetExternalEntityLoader(LoadEntity);
  });
}

xmlDtdPtr Wml11Declarations() { return tWml11.Get(); }

// Tells the parser which attributes are not CDATA, as reading the
// declarations would have, so that their values are normalised the same way.
static void MarkTokenizedAttributes(xmlParserCtxtPtr ctxt, xmlDtdPtr dtd) {
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
  if (error->code == XML_ERR_NO_MEMORY) {
    // The parser ran out of memory: not a fault of the deck. It is raised
    // once the parser has returned, and the deck is not judged.
    tRun->OutOfMemory = true;
    if (tRun->Ctxt != nullptr) xmlStopParser(tRun->Ctxt);
    return;
  }
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
  xmlSAX2Characters(ctx, value, length);
}

// White space between elements where the DTD allows only elements (a card,
// a select, the deck itself) means nothing to a reader (XML 1.0 §2.10), the
// compiler or the phone: after the element's first child it is not kept, so
// an indented deck's tree is smaller by a node a line. The first child is
// kept whatever it is, since having content at all marks a compiled element.
// In a deck that says standalone="yes" all of it is kept: there such white
// space can be an error (XML 1.0 §2.9), which the validator finds in the
// tree.
void OnCharacters(void* ctx, const xmlChar* value, int length) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
  const xmlNode* parent = ctxt->node;
  TParseRun* run = tRun;
  if (run != nullptr && parent != nullptr && parent->children != nullptr &&
      parent->type == XML_ELEMENT_NODE && ctxt->myDoc != nullptr && ctxt->myDoc->standalone != 1) {
    bool blank = true;
    for (int i = 0; i < length && blank; ++i)
      blank = value[i] == ' ' || value[i] == '\t' || value[i] == '\r' || value[i] == '\n';
    if (blank) {
      TParseRun::TContentSlot& content = run->ContentSlots[NameSlot<6>(parent->name)];
      if (content.Name != parent->name)
        content = {parent->name, xmlIsMixedElement(ctxt->myDoc, parent->name) == 0};
      if (content.ElementsOnly) return;
    }
  }
  xmlSAX2Characters(ctx, value, length);
}

}  // namespace deckhand::wml::parse_detail
