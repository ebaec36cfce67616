#include "emulator/Deck.h"

#include <libxml/SAX2.h>
#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <cctype>

#include "emulator/EmulatorLimits.h"

namespace deckhand::wml {

const std::string* TNode::Attribute(std::string_view name) const {
  for (const auto& [key, value] : Attributes)
    if (key == name) return &value;
  return nullptr;
}

std::string TNode::AttributeOr(std::string_view name, std::string_view fallback) const {
  const std::string* value = Attribute(name);
  return value ? *value : std::string(fallback);
}

const TNode* TNode::Child(std::string_view name) const {
  for (const TNode& child : Children)
    if (child.IsElement(name)) return &child;
  return nullptr;
}

const TNode* TDeck::FindCard(std::string_view id) const {
  for (const TNode* card : Cards) {
    const std::string* cardId = card->Attribute("id");
    if (cardId && *cardId == id) return card;
  }
  return nullptr;
}

int TDeck::IndexOf(const TNode* card) const {
  auto it = std::find(Cards.begin(), Cards.end(), card);
  return it == Cards.end() ? -1 : static_cast<int>(it - Cards.begin());
}

bool IsValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    auto c = static_cast<unsigned char>(bytes[i]);
    int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (extra < 0 || c == 0xC0 || c == 0xC1) return false;
    if (i + extra >= bytes.size() && extra > 0) return false;
    for (int k = 1; k <= extra; ++k)
      if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return false;
    i += extra + 1;
  }
  return true;
}

std::string DeclaredEncoding(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  if (bytes.substr(0, 5) != "<?xml") return {};
  std::size_t end = bytes.find("?>");
  std::string_view decl = bytes.substr(0, end == std::string_view::npos ? bytes.size() : end);
  std::size_t at = decl.find("encoding");
  if (at == std::string_view::npos) return {};
  at = decl.find_first_of("\"'", at);
  if (at == std::string_view::npos) return {};
  std::size_t close = decl.find(decl[at], at + 1);
  if (close == std::string_view::npos) return {};
  std::string name(decl.substr(at + 1, close - at - 1));
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

namespace {

// The entities of the WML DTD that are not XML's own. No DTD is loaded, so
// the parser leaves these as references and the model fills them in.
const char* WmlEntity(const char* name) {
  std::string_view n(name);
  if (n == "nbsp") return "\xC2\xA0";
  if (n == "shy") return "\xC2\xAD";
  return nullptr;
}

void AppendText(TNode& parent, std::string_view text) {
  if (text.empty()) return;
  if (!parent.Children.empty() && parent.Children.back().Kind == TNode::TKind::Text)
    parent.Children.back().Text.append(text);
  else {
    TNode node;
    node.Kind = TNode::TKind::Text;
    node.Text = std::string(text);
    parent.Children.push_back(std::move(node));
  }
}

// Entity references expanded in one deck, against decks whose references
// multiply their text (a 25 KB deck can name an entity of a kilobyte eight
// thousand times).
struct TExpansion {
  std::size_t Bytes = 0;
  std::size_t Count = 0;
  bool Over = false;
};

// The text an entity reference stands for: WML's nbsp and shy, or the
// literal text of an entity of the deck's internal subset (not expanded
// further, so nested entities cannot multiply). Empty, and the deck marked
// as over its limits, once the references of the deck expand too far.
std::string_view EntityText(xmlNodePtr reference, TExpansion& expansion) {
  std::string_view text;
  if (const char* wml = WmlEntity(reinterpret_cast<const char*>(reference->name)))
    text = wml;
  else if (reference->children && reference->children->type == XML_ENTITY_DECL) {
    auto* entity = reinterpret_cast<xmlEntityPtr>(reference->children);
    if (entity->content && xmlStrlen(entity->content) < 4096)
      text = reinterpret_cast<const char*>(entity->content);
  }
  if (expansion.Over) return {};
  expansion.Bytes += text.size();
  if (++expansion.Count > kMaxEntityExpansions || expansion.Bytes > kMaxExpandedDeckBytes) {
    expansion.Over = true;
    return {};
  }
  return text;
}

// An attribute's value with its entity references expanded, in one pass:
// libxml2's own xmlNodeListGetString appends each reference's text to the
// whole value so far, which costs the square of the value's length.
std::string AttributeValue(xmlAttrPtr attr, TExpansion& expansion) {
  std::string value;
  for (xmlNodePtr part = attr->children; part; part = part->next) {
    if (part->type == XML_TEXT_NODE || part->type == XML_CDATA_SECTION_NODE) {
      if (part->content) value += reinterpret_cast<const char*>(part->content);
    } else if (part->type == XML_ENTITY_REF_NODE) {
      value += EntityText(part, expansion);
    }
  }
  return value;
}

void Convert(xmlNodePtr from, TNode& to, int depth, TExpansion& expansion) {
  to.Kind = TNode::TKind::Element;
  to.Name = reinterpret_cast<const char*>(from->name);
  to.Line = static_cast<int>(xmlGetLineNo(from));
  for (xmlAttrPtr attr = from->properties; attr; attr = attr->next)
    to.Attributes.emplace_back(reinterpret_cast<const char*>(attr->name),
                               AttributeValue(attr, expansion));
  if (depth > 200) return;
  for (xmlNodePtr child = from->children; child && !expansion.Over; child = child->next) {
    switch (child->type) {
      case XML_ELEMENT_NODE: {
        to.Children.emplace_back();
        Convert(child, to.Children.back(), depth + 1, expansion);
        break;
      }
      case XML_TEXT_NODE:
      case XML_CDATA_SECTION_NODE:
        if (child->content) AppendText(to, reinterpret_cast<const char*>(child->content));
        break;
      case XML_ENTITY_REF_NODE:
        AppendText(to, EntityText(child, expansion));
        break;
      default:
        break;
    }
  }
}

void CollectCards(const TNode& root, TDeck& deck) {
  for (const TNode& child : root.Children) {
    if (child.IsElement("card"))
      deck.Cards.push_back(&child);
    else if (child.IsElement("template") && !deck.Template)
      deck.Template = &child;
  }
  // A deck whose root is not "wml" (or a bare card) still shows its cards.
  if (deck.Cards.empty() && root.IsElement("card")) deck.Cards.push_back(&root);
}

struct TErrorSink {
  std::string First;
};

void OnStructuredError(void* userData, xmlErrorPtr error) {
  auto* sink = static_cast<TErrorSink*>(userData);
  if (!sink->First.empty() || !error || !error->message) return;
  sink->First = error->message;
  while (!sink->First.empty() && (sink->First.back() == '\n' || sink->First.back() == ' '))
    sink->First.pop_back();
  sink->First = std::to_string(error->line) + ": " + sink->First;
}

void OnGenericError(void*, const char*, ...) {}

// The parser asks here for every entity. Besides XML's own and the deck's,
// WML's nbsp and shy are known without the DTD, as phones knew them. They are
// general entities, not predefined ones: libxml2 copies only the first byte
// of a predefined entity into an attribute value, which cut the two bytes of
// their UTF-8 in half; the model fills in their text (WmlEntity).
xmlEntityPtr GetEntity(void* context, const xmlChar* name) {
  if (xmlEntityPtr predefined = xmlGetPredefinedEntity(name)) return predefined;
  static xmlEntityPtr const nbsp = xmlNewEntity(
      nullptr, BAD_CAST "nbsp", XML_INTERNAL_GENERAL_ENTITY, nullptr, nullptr, BAD_CAST "\xC2\xA0");
  static xmlEntityPtr const shy = xmlNewEntity(nullptr, BAD_CAST "shy", XML_INTERNAL_GENERAL_ENTITY,
                                               nullptr, nullptr, BAD_CAST "\xC2\xAD");
  if (xmlEntityPtr declared = xmlSAX2GetEntity(context, name)) return declared;
  if (xmlStrEqual(name, BAD_CAST "nbsp")) return nbsp;
  if (xmlStrEqual(name, BAD_CAST "shy")) return shy;
  return nullptr;
}

}  // namespace

void PrepareDeckParser() { xmlInitParser(); }

TDeck ParseDeck(std::string_view bytes) {
  TDeck deck;
  if (bytes.empty()) {
    deck.ParseProblem = "пустая колода";
    return deck;
  }
  // Bytes of value 0 are no text at all: say what is there (libxml2 calls
  // such a deck empty).
  if (bytes.front() == '\0') {
    const std::size_t zeros = std::min(bytes.find_first_not_of('\0'), bytes.size());
    if (zeros == bytes.size()) {
      deck.ParseProblem = "в колоде одни нулевые байты (" + std::to_string(zeros) +
                          "), а не текст: файл повреждён или ещё не записан";
    } else if (zeros == 1 && bytes.size() > 1 && bytes[1] != '\0') {
      deck.ParseProblem =
          "колода начинается с нулевого байта, а через байт идёт текст: похоже, она записана в "
          "UTF-16 без метки порядка байтов; сохраните её в UTF-8 или Windows-1251";
    } else {
      deck.ParseProblem = "колода начинается с нулевых байтов (" + std::to_string(zeros) +
                          " подряд), а не с текста: файл повреждён или записан не в той "
                          "кодировке";
    }
    return deck;
  }
  const char* encoding = nullptr;
  // The editor holds Windows-1251: a deck that declares UTF-8 (or nothing)
  // but is not UTF-8 is read as Windows-1251, so its text still shows; the
  // deck checks report the encoding.
  std::string declared = DeclaredEncoding(bytes);
  if ((declared.empty() || declared == "utf-8" || declared == "utf8") && !IsValidUtf8(bytes))
    encoding = "windows-1251";

  xmlParserCtxtPtr context = xmlNewParserCtxt();
  if (!context) {
    deck.ParseProblem = "не хватает памяти";
    return deck;
  }
  context->sax->getEntity = GetEntity;
  TErrorSink sink;
  xmlSetStructuredErrorFunc(&sink, OnStructuredError);
  xmlSetGenericErrorFunc(nullptr, OnGenericError);
  const int options = XML_PARSE_RECOVER | XML_PARSE_NONET | XML_PARSE_NOWARNING;
  xmlDocPtr doc = xmlCtxtReadMemory(context, bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                    encoding, options);
  xmlSetStructuredErrorFunc(nullptr, nullptr);
  xmlSetGenericErrorFunc(nullptr, nullptr);
  deck.ParseProblem = sink.First;
  if (doc) {
    xmlNodePtr root = xmlDocGetRootElement(doc);
    if (root) {
      auto tree = std::make_shared<TNode>();
      TExpansion expansion;
      Convert(root, *tree, 0, expansion);
      if (expansion.Over) {
        deck.ParseProblem = "ссылки на сущности разворачиваются в текст больше " +
                            std::to_string(kMaxExpandedDeckBytes / (1024 * 1024)) +
                            " МБ (или больше " + std::to_string(kMaxEntityExpansions) +
                            " раз), больше, чем держал телефон: колода не показана";
      } else {
        deck.Root = tree;
        CollectCards(*tree, deck);
      }
    }
    xmlFreeDoc(doc);
  }
  xmlFreeParserCtxt(context);
  if (!deck.Root && deck.ParseProblem.empty())
    deck.ParseProblem = "в колоде нет ни одного элемента";
  return deck;
}

}  // namespace deckhand::wml
