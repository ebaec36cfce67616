#include "wml/DeckLint.h"

#include <cstdlib>
#include <deque>
#include <map>
#include <set>
#include <string>

#include "wml/Variables.h"

namespace deckhand::wml {

namespace {

std::string_view Name(const xmlChar* name) {
  return name ? std::string_view(reinterpret_cast<const char*>(name)) : std::string_view();
}

bool Is(const xmlNode* node, std::string_view name) {
  return node != nullptr && node->type == XML_ELEMENT_NODE && Name(node->name) == name;
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

// Attributes whose value is an address a task or an event goes to.
constexpr const char* kAddressAttributes[] = {"href", "onenterforward", "onenterbackward",
                                              "ontimer", "onpick"};

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
      : Deck(deck), Phone(phone), Findings(findings) {}

  void Run(std::optional<std::size_t> compiledSize) {
    const xmlNode* root = xmlDocGetRootElement(Deck.Doc());
    if (!Is(root, "wml")) return;
    for (const xmlNode* child = root->children; child; child = child->next) {
      if (Is(child, "card")) Cards.push_back(child);
      if (Is(child, "template")) Template = child;
    }
    CardIds();
    Links(root);
    Reachability();
    WayBack();
    VariableReferences(root);
    if (Phone != nullptr) PhoneLimits(root, compiledSize);
  }

 private:
  void Warn(TTextPosition at, std::string message) {
    Findings.push_back(TParsedDeck::MakeFinding(TSeverity::Warning, at, std::move(message)));
  }

  void CardIds() {
    std::map<std::string, const xmlNode*> seen;
    for (const xmlNode* card : Cards) {
      if (!HasAttribute(card, "id")) continue;
      const std::string id = Attribute(card, "id");
      if (!seen.emplace(id, card).second && !Deck.ReadWithWml11()) {
        // With the WML 1.1 declarations the validator reports it already.
        Warn(Deck.PositionOfAttribute(card, "id"), "Карточка с id «" + id + "» уже есть в колоде");
      }
    }
    for (const auto& [id, card] : seen) CardById[id] = card;
  }

  // The card an address inside the deck leads to: "#id" with no variables.
  static std::optional<std::string> CardReference(const std::string& address) {
    if (address.size() < 2 || address[0] != '#' || HasDollar(address)) return std::nullopt;
    return address.substr(1);
  }

  void Links(const xmlNode* root) {
    const auto check = [&](const xmlNode* element) {
      for (const char* name : kAddressAttributes) {
        if (!HasAttribute(element, name)) continue;
        const auto id = CardReference(Attribute(element, name));
        if (id && !CardById.contains(*id)) {
          Warn(Deck.PositionOfAttribute(element, name),
               "Ссылка ведёт на карточку #" + *id + ", а карточки с таким id в колоде нет");
        }
      }
    };
    check(root);
    ForEachElement(root, check);
  }

  // Cards an element and everything inside it can lead to. An address of
  // another deck with a fragment ("deck.wml#id") counts when a card here has
  // that id: a deck often names itself so, and its own file name is unknown.
  void Targets(const xmlNode* element, std::set<std::string>& out) const {
    const auto add = [&](const xmlNode* node) {
      for (const char* name : kAddressAttributes) {
        if (!HasAttribute(node, name)) continue;
        const std::string address = Attribute(node, name);
        const std::size_t hash = address.find('#');
        if (hash != std::string::npos && !HasDollar(address)) out.insert(address.substr(hash + 1));
      }
    };
    add(element);
    ForEachElement(element, add);
  }

  void Reachability() {
    if (Cards.empty()) return;
    std::set<std::string> fromTemplate;
    if (Template) Targets(Template, fromTemplate);
    std::set<const xmlNode*> reached{Cards.front()};
    std::deque<const xmlNode*> queue{Cards.front()};
    while (!queue.empty()) {
      const xmlNode* card = queue.front();
      queue.pop_front();
      std::set<std::string> targets = fromTemplate;
      Targets(card, targets);
      for (const std::string& id : targets) {
        const auto found = CardById.find(id);
        if (found != CardById.end() && reached.insert(found->second).second)
          queue.push_back(found->second);
      }
    }
    for (const xmlNode* card : Cards) {
      if (reached.contains(card)) continue;
      const std::string id = Attribute(card, "id");
      Warn(Deck.PositionOf(card),
           (id.empty() ? std::string("Карточку без id") : "Карточку «" + id + "»") +
               " не открывает от первой карточки ни ссылка, ни go, ни do, ни таймер");
    }
  }

  static bool HasPrev(const xmlNode* element) {
    bool found = false;
    ForEachElement(element, [&](const xmlNode* node) { found = found || Is(node, "prev"); });
    return found;
  }

  void WayBack() {
    if (Template && HasPrev(Template)) return;
    for (const xmlNode* card : Cards) {
      if (HasPrev(card)) continue;
      const std::string id = Attribute(card, "id");
      Warn(Deck.PositionOf(card),
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
      Warn(position,
           "Неверная ссылка на переменную «" + reference.Reference +
               "»: пишется $имя, $(имя) или $(имя:e), $(имя:u), $(имя:n); знак $ — как $$");
    }
  }

  void VariableReferences(const xmlNode* root) {
    const auto check = [&](const xmlNode* element) {
      const std::size_t start = Deck.StartOffset(element);
      for (const xmlAttr* attribute = element->properties; attribute; attribute = attribute->next) {
        const std::string value =
            Attribute(element, reinterpret_cast<const char*>(attribute->name));
        if (HasDollar(value)) BadReferences(element, value, start);
      }
      std::string text;
      for (const xmlNode* child = element->children; child; child = child->next) {
        if (child->type == XML_TEXT_NODE && child->content) text += Name(child->content);
      }
      if (HasDollar(text)) BadReferences(element, text, start);
    };
    check(root);
    ForEachElement(root, check);
  }

  void PhoneLimits(const xmlNode* root, std::optional<std::size_t> compiledSize) {
    const std::string phone(Phone->Name);
    if (compiledSize && !Phone->Accepts(*compiledSize)) {
      Findings.push_back(TParsedDeck::MakeFinding(
          TSeverity::Error, Deck.PositionOf(root),
          "Скомпилированная колода занимает " + std::to_string(*compiledSize) + " байт, а " +
              phone + " принимает не больше " + std::to_string(Phone->MaxCompiledDeckBytes) +
              " байт"));
    }
    const int lineCharacters = Phone->HasScreen() ? Phone->ScreenWidth / kCharacterWidth : 0;
    const auto tooLong = [&](const xmlNode* element, const char* attribute, int most,
                             const char* what) {
      if (most <= 0 || !HasAttribute(element, attribute)) return;
      const std::string value = Attribute(element, attribute);
      const std::size_t length = CountCharacters(value);
      if (length > static_cast<std::size_t>(most)) {
        Warn(Deck.PositionOfAttribute(element, attribute),
             std::string(what) + " «" + value + "» длиннее, чем показывает " + phone +
                 ": знаков в нём " + std::to_string(length) + ", видно около " +
                 std::to_string(most));
      }
    };
    ForEachElement(root, [&](const xmlNode* element) {
      if (Is(element, "select")) {
        std::size_t options = 0;
        ForEachElement(element, [&](const xmlNode* node) { options += Is(node, "option"); });
        if (options > 9) {
          Warn(Deck.PositionOf(element), "В списке <select> пунктов больше девяти (" +
                                             std::to_string(options) + "): на " + phone +
                                             " пункт выбирают цифрой, и дальше девятого неудобно");
        }
      } else if (Is(element, "card")) {
        tooLong(element, "title", lineCharacters, "Заголовок карточки");
      } else if (Is(element, "do")) {
        tooLong(element, "label", lineCharacters / 2, "Надпись клавиши <do>");
      } else if (Is(element, "table") && Phone->Tables == TTableSupport::No) {
        Warn(Deck.PositionOf(element), phone + " не показывает таблицы <table>");
      } else if (Is(element, "img") && Phone->HasScreen() && HasAttribute(element, "width")) {
        const std::string width = Attribute(element, "width");
        char* end = nullptr;
        const long pixels = std::strtol(width.c_str(), &end, 10);
        if (end != width.c_str() && *end == '\0' && pixels > Phone->ScreenWidth) {
          Warn(Deck.PositionOfAttribute(element, "width"),
               "Картинка шире экрана " + phone + ": её ширина " + std::to_string(pixels) +
                   ", а ширина экрана " + std::to_string(Phone->ScreenWidth));
        }
      }
    });
  }

  const TParsedDeck& Deck;
  const TPhoneProfile* Phone;
  std::vector<TFinding>& Findings;
  std::vector<const xmlNode*> Cards;
  const xmlNode* Template = nullptr;
  std::map<std::string, const xmlNode*> CardById;
};

}  // namespace

void LintDeck(const TParsedDeck& deck, const TPhoneProfile* phone,
              std::optional<std::size_t> compiledSize, std::vector<TFinding>& findings) {
  TLint(deck, phone, findings).Run(compiledSize);
}

}  // namespace deckhand::wml
