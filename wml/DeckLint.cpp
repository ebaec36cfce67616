#include "wml/DeckLint.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <unordered_map>

#include "wml/NameSlots.h"
#include "wml/Variables.h"

namespace deckhand::wml {

namespace {

std::string_view Name(const xmlChar* name) {
  return name ? std::string_view(reinterpret_cast<const char*>(name)) : std::string_view();
}

// Compared without measuring the node's name first: most names differ in
// their first letter.
inline bool Is(const xmlNode* node, std::string_view name) {
  if (node == nullptr || node->type != XML_ELEMENT_NODE || node->name == nullptr) return false;
  const auto* own = reinterpret_cast<const char*>(node->name);
  for (const char c : name) {
    if (*own++ != c) return false;
  }
  return *own == '\0';
}

std::string Attribute(const xmlNode* node, const char* name) {
  xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
  std::string out = value ? std::string(reinterpret_cast<const char*>(value)) : std::string();
  xmlFree(value);
  return out;
}

bool HasAttribute(const xmlNode* node, const char* name) {
  return xmlHasProp(node, reinterpret_cast<const xmlChar*>(name)) != nullptr;
}

std::size_t CountCharacters(std::string_view utf8) {
  std::size_t count = 0;
  for (char c : utf8) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

// The first characters of a value for a message, "…" where it is cut: a
// finding quotes what it is about, not a whole megabyte of title.
inline constexpr std::size_t kMostQuotedCharacters = 40;
std::string Quoted(std::string_view utf8) {
  std::size_t characters = 0;
  for (std::size_t at = 0; at < utf8.size(); ++at) {
    if ((static_cast<unsigned char>(utf8[at]) & 0xC0) == 0x80) continue;
    if (characters == kMostQuotedCharacters) return std::string(utf8.substr(0, at)) + "…";
    ++characters;
  }
  return std::string(utf8);
}

// Attributes whose value is an address a task or an event goes to.
constexpr std::string_view kAddressAttributes[] = {"href", "onenterforward", "onenterbackward",
                                                   "ontimer", "onpick"};

// The elements the checks look for, told apart once per name: a tree's
// names are shared strings of its dictionary, so a name's address stands for
// it.
enum class TKind : unsigned char {
  Other,
  Wml,
  Card,
  Template,
  Prev,
  Do,
  Access,
  Meta,
  Fieldset,
  Table,
  Option,
  Anchor,
  Onevent,
  Go,
  Refresh,
  Select,
  Img
};

TKind KindOfName(std::string_view name) {
  static constexpr std::pair<std::string_view, TKind> kKinds[] = {
      {"wml", TKind::Wml},
      {"card", TKind::Card},
      {"template", TKind::Template},
      {"prev", TKind::Prev},
      {"do", TKind::Do},
      {"access", TKind::Access},
      {"meta", TKind::Meta},
      {"fieldset", TKind::Fieldset},
      {"table", TKind::Table},
      {"option", TKind::Option},
      {"anchor", TKind::Anchor},
      {"onevent", TKind::Onevent},
      {"go", TKind::Go},
      {"refresh", TKind::Refresh},
      {"select", TKind::Select},
      {"img", TKind::Img},
  };
  for (const auto& [text, kind] : kKinds) {
    if (text == name) return kind;
  }
  return TKind::Other;
}

template <typename F>
void ForEachElement(const xmlNode* node, F&& visit) {
  for (const xmlNode* child = node ? node->children : nullptr; child; child = child->next) {
    if (child->type != XML_ELEMENT_NODE) continue;
    visit(child);
    ForEachElement(child, visit);
  }
}

// Average width of a character of a phone browser's font, in pixels: with
// it, a screen's width says how many characters a line shows.
constexpr int kCharacterWidth = 6;

class TLint {
 public:
  TLint(const TParsedDeck& deck, const TPhoneProfile* phone, std::vector<TFinding>& findings)
      : Deck(deck), Phone(phone), Findings(findings) {
    if (Phone != nullptr) {
      PhoneName = std::string(Phone->Name);
      LineCharacters = Phone->HasScreen() ? Phone->ScreenWidth / kCharacterWidth : 0;
    }
  }

  void Run(std::optional<std::size_t> compiledSize) {
    const xmlNode* root = xmlDocGetRootElement(Deck.Doc());
    if (Kind(root) != TKind::Wml) return;
    if (Phone != nullptr && compiledSize && !Phone->Accepts(*compiledSize)) {
      Findings.push_back(TParsedDeck::MakeFinding(
          TSeverity::Error, Deck.PositionOf(root),
          "Скомпилированная колода занимает " + ByteCount(*compiledSize) + ", а " + PhoneName +
              " принимает не больше " + ByteCountGenitive(Phone->MaxCompiledDeckBytes)));
    }
    XmlDeclaration();
    // One walk over the tree gathers what each card leads to and holds.
    Visit(root, nullptr);
    CardIds();
    DanglingLinks();
    Reachability();
    WayBack();
  }

 private:
  struct TCard {
    const xmlNode* Node;
    // Fragments of the addresses inside it: text of the tree, or of
    // OwnedTexts.
    std::vector<std::string_view> Targets;
    bool HasPrev = false;
    std::size_t Index = 0;  // its place in Cards
    std::set<std::string> DoNames = {};
  };

  struct TCardLink {
    const xmlNode* Element;
    std::string_view Attribute;  // a name of the tree
    std::string_view Id;         // text of the tree, or of OwnedTexts
  };

  void Warn(TTextPosition at, std::string message) {
    Findings.push_back(TParsedDeck::MakeFinding(TSeverity::Warning, at, std::move(message)));
  }

  static std::string Value(const xmlAttr* attribute) {
    const xmlNode* child = attribute->children;
    if (child == nullptr) return {};
    if (child->next == nullptr && child->type == XML_TEXT_NODE && child->content != nullptr) {
      return std::string(Name(child->content));
    }
    xmlChar* value = xmlNodeListGetString(attribute->doc, child, 1);
    std::string out = value ? std::string(Name(value)) : std::string();
    xmlFree(value);
    return out;
  }

  static bool IsAddressAttribute(std::string_view name) {
    for (const std::string_view address : kAddressAttributes) {
      if (name == address) return true;
    }
    return false;
  }

  TKind Kind(const xmlNode* node) {
    if (node == nullptr || node->type != XML_ELEMENT_NODE || node->name == nullptr)
      return TKind::Other;
    TNameSlot& slot = NameSlots[NameSlot<8>(node->name)];
    if (slot.Name != node->name) slot = {node->name, KindOfName(Name(node->name)), false};
    return slot.Kind;
  }

  bool IsAddressName(const xmlChar* name) {
    TNameSlot& slot = AttributeSlots[NameSlot<8>(name)];
    if (slot.Name != name) slot = {name, TKind::Other, IsAddressAttribute(Name(name))};
    return slot.Address;
  }

  void Visit(const xmlNode* element, TCard* owner) {
    const TKind kind = Kind(element);
    if (kind == TKind::Card && element->parent != nullptr && Kind(element->parent) == TKind::Wml) {
      Cards.push_back({element, {}, false, Cards.size()});
      owner = &Cards.back();
    } else if (kind == TKind::Template && element->parent != nullptr &&
               Kind(element->parent) == TKind::Wml) {
      owner = &Template;
    }
    if (owner != nullptr && kind == TKind::Prev) owner->HasPrev = true;
    if (owner != nullptr && kind == TKind::Do) DoName(element, *owner);
    StructureErrors(element, kind);
    if (kind == TKind::Card || kind == TKind::Template || kind == TKind::Option)
      EventBindings(element);
    if (kind == TKind::Anchor) AnchorTask(element);
    const std::size_t start = Deck.StartOffset(element);
    for (const xmlAttr* attribute = element->properties; attribute; attribute = attribute->next) {
      // Most values are one text node: read in place (and searched for a
      // "$" without being measured first), copied only when not.
      std::string owned;
      const char* raw = nullptr;
      bool dollar;
      const xmlNode* only = attribute->children;
      if (only != nullptr && only->next == nullptr && only->type == XML_TEXT_NODE &&
          only->content != nullptr) {
        raw = reinterpret_cast<const char*>(only->content);
        dollar = std::strchr(raw, '$') != nullptr;
      } else {
        owned = Value(attribute);
        dollar = HasDollar(owned);
      }
      if (!dollar && !IsAddressName(attribute->name)) continue;
      const std::string_view name = Name(attribute->name);
      const std::string_view value = raw != nullptr ? std::string_view(raw) : owned;
      if (dollar) {
        if (!ReferenceInPlainAttribute(element, name, value)) BadReferences(element, value, start);
        continue;
      }
      const std::size_t hash = value.find('#');
      if (hash == std::string_view::npos) continue;
      // An address of another deck with a fragment ("deck.wml#id") counts
      // toward reaching a card with that id: a deck often names itself so,
      // and its own file name is unknown here.
      // Kept where the tree keeps it, when it does.
      const std::string_view kept = raw != nullptr ? value : OwnedTexts.emplace_back(value);
      if (owner != nullptr) owner->Targets.push_back(kept.substr(hash + 1));
      if (hash == 0 && value.size() > 1) CardLinks.push_back({element, name, kept.substr(1)});
    }
    // The element's own text, joined only when some of it holds a "$".
    bool dollar = false;
    for (const xmlNode* child = element->children; child && !dollar; child = child->next) {
      dollar = child->type == XML_TEXT_NODE && child->content != nullptr &&
               std::strchr(reinterpret_cast<const char*>(child->content), '$') != nullptr;
    }
    if (dollar) {
      std::string text;
      for (const xmlNode* child = element->children; child; child = child->next) {
        if (child->type == XML_TEXT_NODE && child->content != nullptr) text += Name(child->content);
      }
      BadReferences(element, text, start);
    }
    if (Phone != nullptr) PhoneLimits(element, kind);
    for (const xmlNode* child = element->children; child; child = child->next) {
      if (child->type == XML_ELEMENT_NODE) Visit(child, owner);
    }
  }

  // WML 1.1 §9.7: two do elements of the same name (a do without a name
  // is named by its type) in one card, or in the template, are an error.
  void DoName(const xmlNode* element, TCard& owner) {
    const char* attribute = HasAttribute(element, "name") ? "name" : "type";
    const std::string name = Attribute(element, attribute);
    if (name.empty() || owner.DoNames.insert(name).second) return;
    Findings.push_back(TParsedDeck::MakeFinding(
        TSeverity::Error, Deck.PositionOfAttribute(element, attribute),
        std::string("Элемент do с именем «") + name + "» уже есть " +
            (owner.Node == nullptr ? "в шаблоне (template)" : "в этой карточке") +
            (HasAttribute(element, "name") ? "" : " (do без name называется по type)") +
            ": имена do в карточке и в шаблоне не должны повторяться"));
  }

  void Error(const xmlNode* element, const char* attribute, std::string message) {
    Findings.push_back(TParsedDeck::MakeFinding(
        TSeverity::Error,
        attribute ? Deck.PositionOfAttribute(element, attribute) : Deck.PositionOf(element),
        std::move(message)));
  }

  // WML 1.1 §11.1: a deck's prologue holds an XML declaration (XML 1.0
  // leaves it out at will; WML does not). The document type declaration
  // is the validator's to check.
  void XmlDeclaration() {
    std::string_view text = Deck.Text().Utf8();
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    if (text.starts_with("<?xml") && text.size() > 5 &&
        (text[5] == ' ' || text[5] == '\t' || text[5] == '\r' || text[5] == '\n'))
      return;
    // Reported where the declaration belongs: the deck's first character.
    Findings.push_back(TParsedDeck::MakeFinding(
        TSeverity::Error, TTextPosition{},
        "Колода начинается без XML-объявления <?xml version=\"1.0\"?>: в WML оно обязательно"));
  }

  // The errors of WML 1.1 §11 that its DTD does not make invalid.
  void StructureErrors(const xmlNode* element, TKind kind) {
    if (kind == TKind::Access) {
      // §11.3.1: one access element in a deck at most.
      if (++AccessElements == 2)
        Error(element, nullptr,
              "Элемент access в колоде уже есть: у колоды может быть только один access");
    } else if (kind == TKind::Meta) {
      // §11.3.2: exactly one of name and http-equiv names the property.
      const bool name = HasAttribute(element, "name");
      const bool httpEquiv = HasAttribute(element, "http-equiv");
      if (name && httpEquiv)
        Error(element, "http-equiv",
              "У элемента meta есть и name, и http-equiv: имя свойства задаёт только один из них");
      else if (!name && !httpEquiv)
        Error(element, nullptr,
              "У элемента meta нет ни name, ни http-equiv: имя свойства задаёт один из них");
    } else if (kind == TKind::Fieldset) {
      // §11.6.4: an empty fieldset is an error.
      bool empty = true;
      for (const xmlNode* child = element->children; child && empty; child = child->next) {
        if (child->type == XML_ELEMENT_NODE || child->type == XML_ENTITY_REF_NODE ||
            child->type == XML_CDATA_SECTION_NODE) {
          empty = false;
        } else if (child->type == XML_TEXT_NODE && child->content != nullptr) {
          for (const xmlChar* c = child->content; *c && empty; ++c)
            empty = *c == ' ' || *c == '\t' || *c == '\r' || *c == '\n';
        }
      }
      if (empty)
        Error(element, nullptr, "Пустой элемент fieldset: в нём должны быть поля или текст");
    } else if (kind == TKind::Table && HasAttribute(element, "columns")) {
      // §11.8.5: a table of zero columns is an error.
      const std::string columns = Attribute(element, "columns");
      if (!columns.empty() && columns.find_first_not_of('0') == std::string::npos)
        Error(element, "columns",
              "У таблицы columns=\"" + columns + "\": число столбцов не может быть нулём");
    }
  }

  // WML 1.1 §9.10: conflicting event bindings within an element are an
  // error: one intrinsic event bound twice, by the attribute and an onevent
  // or by two onevent elements.
  void EventBindings(const xmlNode* element) {
    // An attribute cannot be written twice: only an onevent can bind again.
    bool onevent = false;
    for (const xmlNode* child = element->children; child && !onevent; child = child->next)
      onevent = Kind(child) == TKind::Onevent;
    if (!onevent) return;
    std::set<std::string> bound;
    for (const xmlAttr* attribute = element->properties; attribute; attribute = attribute->next) {
      const std::string_view name = Name(attribute->name);
      if (name == "onenterforward" || name == "onenterbackward" || name == "ontimer" ||
          name == "onpick")
        bound.emplace(name);
    }
    for (const xmlNode* child = element->children; child; child = child->next) {
      if (!Is(child, "onevent")) continue;
      const std::string type = Attribute(child, "type");
      if (type.empty() || bound.insert(type).second) continue;
      const bool byAttribute = HasAttribute(element, type.c_str());
      const std::string where = Is(element, "card")       ? "в этой карточке"
                                : Is(element, "template") ? "в шаблоне (template)"
                                                          : "у этого пункта <option>";
      Findings.push_back(TParsedDeck::MakeFinding(
          TSeverity::Error, Deck.PositionOf(child),
          "Событие «" + type + "» " + where + " уже привязано " +
              (byAttribute ? "атрибутом " + type : std::string("другим <onevent>")) +
              ": одно событие элемента привязывают только один раз"));
    }
  }

  // WML 1.1 §9.8: an anchor holds exactly one task (go, prev or refresh).
  void AnchorTask(const xmlNode* anchor) {
    int tasks = 0;
    for (const xmlNode* child = anchor->children; child; child = child->next)
      tasks += Is(child, "go") || Is(child, "prev") || Is(child, "refresh");
    if (tasks == 1) return;
    const int last = tasks % 10;
    const bool few = last >= 2 && last <= 4 && (tasks % 100 < 12 || tasks % 100 > 14);
    const char* word = last == 1 && tasks % 100 != 11 ? " задача" : few ? " задачи" : " задач";
    Findings.push_back(TParsedDeck::MakeFinding(
        TSeverity::Error, Deck.PositionOf(anchor),
        (tasks == 0 ? std::string("В ссылке <anchor> нет задачи")
                    : "В ссылке <anchor> " + std::to_string(tasks) + word) +
            ", а нужна ровно одна — <go>, <prev> или <refresh>"));
  }

  // WML 1.1 §10.3.5: a variable reference stands only in text and in
  // attributes of type %vdata; or %HREF;. Those the WML 1.1 DTD declares
  // CDATA otherwise take "$$" for a dollar sign; an attribute the DTD does
  // not declare counts as %vdata; (§14.2.3.2). True when the value holds a
  // reference where none may stand (and the finding is made).
  bool ReferenceInPlainAttribute(const xmlNode* element, std::string_view name,
                                 std::string_view value) {
    static const std::map<std::string_view, std::set<std::string_view>> kPlain = {
        {"do", {"type"}},
        {"onevent", {"type"}},
        {"access", {"domain", "path"}},
        {"meta", {"http-equiv", "name", "content", "scheme"}},
        {"go", {"accept-charset"}},
        {"input", {"format"}},
        {"img", {"vspace", "hspace", "height", "width"}},
        {"table", {"align"}},
    };
    if (name != "class") {
      const auto found = kPlain.find(Name(element->name));
      if (found == kPlain.end() || !found->second.contains(name)) return false;
    }
    for (const TTextPiece& piece : SplitVariables(value)) {
      if (!piece.IsVariable) continue;
      Findings.push_back(TParsedDeck::MakeFinding(
          TSeverity::Error, Deck.PositionOfAttribute(element, name),
          "Переменная «" + piece.Text + "» в атрибуте " + std::string(name) +
              " не подставляется: переменные ставят только в текст и в атрибуты, которые их "
              "принимают (title, label, href, value…); знак $ здесь пишется $$"));
      return true;
    }
    return false;
  }

  void CardIds() {
    for (const TCard& card : Cards) {
      const xmlAttr* attribute = xmlHasProp(card.Node, reinterpret_cast<const xmlChar*>("id"));
      if (attribute == nullptr) continue;
      // The id read in place where it is one text node (it lives as long as
      // the tree), else kept here.
      const xmlNode* only = attribute->children;
      std::string_view id;
      if (attribute->type == XML_ATTRIBUTE_NODE && only != nullptr && only->next == nullptr &&
          only->type == XML_TEXT_NODE && only->content != nullptr) {
        id = Name(only->content);
      } else {
        id = OwnedIds.emplace_back(Attribute(card.Node, "id"));
      }
      if (!CardById.emplace(id, &card).second && !Deck.ReadWithWml11()) {
        // With the WML 1.1 declarations the validator reports it already.
        Warn(Deck.PositionOfAttribute(card.Node, "id"),
             "Карточка с id «" + std::string(id) + "» уже есть в колоде");
      }
    }
  }

  void DanglingLinks() {
    for (const TCardLink& link : CardLinks) {
      if (CardById.contains(link.Id)) continue;
      Warn(Deck.PositionOfAttribute(link.Element, link.Attribute),
           "Ссылка ведёт на карточку #" + std::string(link.Id) +
               ", а карточки с таким id в колоде нет");
    }
  }

  void Reachability() {
    if (Cards.empty()) return;
    // Reached cards are marked by their place in Cards (a deque: an index
    // is the card's position).
    std::vector<bool> reached(Cards.size(), false);
    const auto index = [&](const TCard* card) { return static_cast<std::size_t>(card->Index); };
    reached[0] = true;
    std::deque<const TCard*> queue{&Cards.front()};
    const auto follow = [&](const std::vector<std::string_view>& targets) {
      for (const std::string_view id : targets) {
        const auto found = CardById.find(id);
        if (found != CardById.end() && !reached[index(found->second)]) {
          reached[index(found->second)] = true;
          queue.push_back(found->second);
        }
      }
    };
    // The template's tasks are on every card, the first one included.
    follow(Template.Targets);
    while (!queue.empty()) {
      const TCard* card = queue.front();
      queue.pop_front();
      follow(card->Targets);
    }
    for (const TCard& card : Cards) {
      if (reached[index(&card)]) continue;
      const std::string id = Attribute(card.Node, "id");
      Warn(Deck.PositionOf(card.Node),
           (id.empty() ? std::string("Карточку без id") : "Карточку «" + id + "»") +
               " не открывает от первой карточки ни ссылка, ни go, ни do, ни таймер");
    }
  }

  void WayBack() {
    if (Template.HasPrev) return;
    for (const TCard& card : Cards) {
      // The deck's first card is where a phone enters it: there is nowhere
      // on the deck to go back to.
      if (card.HasPrev || &card == &Cards.front()) continue;
      const std::string id = Attribute(card.Node, "id");
      Warn(Deck.PositionOf(card.Node),
           (id.empty() ? std::string("На карточке без id") : "На карточке «" + id + "»") +
               " нет пути назад: ни <prev/> на ней, ни в <template> (у Nokia 7110 нет клавиши "
               "«назад»)");
    }
  }

  void BadReferences(const xmlNode* element, std::string_view text, std::size_t searchFrom) {
    std::vector<TBadReference> bad;
    SplitVariables(text, &bad);
    const std::string& decoded = Deck.Text().Utf8();
    for (const TBadReference& reference : bad) {
      const std::size_t at = decoded.find(reference.Reference, searchFrom);
      const TTextPosition position =
          at != std::string::npos ? Deck.Text().PositionOfUtf8(at) : Deck.PositionOf(element);
      if (at != std::string::npos) searchFrom = at + 1;
      // WML 1.1 §10.3.5: "The deck is in error if any variable reference
      // uses invalid syntax".
      Findings.push_back(TParsedDeck::MakeFinding(
          TSeverity::Error, position,
          "Неверная ссылка на переменную «" + reference.Reference +
              "»: пишется $имя, $(имя) или $(имя:e), $(имя:u), $(имя:n); знак $ — как $$"));
    }
  }

  void TooLong(const xmlNode* element, const char* attribute, int most, const char* what) {
    if (most <= 0 || !HasAttribute(element, attribute)) return;
    const std::string value = Attribute(element, attribute);
    const std::size_t length = CountCharacters(value);
    if (length > static_cast<std::size_t>(most)) {
      Warn(Deck.PositionOfAttribute(element, attribute),
           std::string(what) + " «" + Quoted(value) + "» длиннее, чем показывает " + PhoneName +
               ": знаков в нём " + std::to_string(length) + ", видно около " +
               std::to_string(most));
    }
  }

  void PhoneLimits(const xmlNode* element, TKind kind) {
    if (kind == TKind::Select) {
      std::size_t options = 0;
      ForEachElement(element, [&](const xmlNode* node) { options += Is(node, "option"); });
      if (options > 9) {
        Warn(Deck.PositionOf(element), "В списке <select> пунктов больше девяти (" +
                                           std::to_string(options) + "): на " + PhoneName +
                                           " пункт выбирают цифрой, и дальше девятого неудобно");
      }
    } else if (kind == TKind::Card) {
      TooLong(element, "title", LineCharacters, "Заголовок карточки");
    } else if (kind == TKind::Do) {
      TooLong(element, "label", LineCharacters / 2, "Надпись клавиши <do>");
    } else if (kind == TKind::Table && Phone->Tables == TTableSupport::No) {
      Warn(Deck.PositionOf(element), PhoneName + " не показывает таблицы <table>");
    } else if (kind == TKind::Img && Phone->HasScreen() && HasAttribute(element, "width")) {
      const std::string width = Attribute(element, "width");
      char* end = nullptr;
      const long pixels = std::strtol(width.c_str(), &end, 10);
      if (end != width.c_str() && *end == '\0' && pixels > Phone->ScreenWidth) {
        Warn(Deck.PositionOfAttribute(element, "width"),
             "Картинка шире экрана " + PhoneName + ": её ширина " + std::to_string(pixels) +
                 ", а ширина экрана " + std::to_string(Phone->ScreenWidth));
      }
    }
  }

  const TParsedDeck& Deck;
  const TPhoneProfile* Phone;
  std::vector<TFinding>& Findings;
  std::string PhoneName;
  int LineCharacters = 0;
  std::deque<TCard> Cards;  // a deque: cards keep their addresses as it grows
  TCard Template{nullptr, {}, false, 0};
  std::vector<TCardLink> CardLinks;
  int AccessElements = 0;
  std::deque<std::string> OwnedIds;  // ids that are not one text node of the tree
  // Addresses that are not one text node of the tree (a deque: its strings
  // stay where they are as it grows).
  std::deque<std::string> OwnedTexts;
  std::unordered_map<std::string_view, const TCard*> CardById;
  struct TNameSlot {
    const xmlChar* Name = nullptr;
    TKind Kind = TKind::Other;
    bool Address = false;
  };
  std::array<TNameSlot, 256> NameSlots{};
  std::array<TNameSlot, 256> AttributeSlots{};
};

}  // namespace

void LintDeck(const TParsedDeck& deck, const TPhoneProfile* phone,
              std::optional<std::size_t> compiledSize, std::vector<TFinding>& findings) {
  TLint(deck, phone, findings).Run(compiledSize);
}

}  // namespace deckhand::wml
