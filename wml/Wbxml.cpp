#include "wml/Wbxml.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "wml/NameSlots.h"
#include "wml/Variables.h"
#include "wml/WbxmlTables.h"

namespace deckhand::wml {

namespace {

using wbxml::TAttributeStart;
using wbxml::TAttributeValue;
using wbxml::TTag;

// The attribute-start tokens of each attribute name, looked up once per
// attribute of the deck instead of a walk over the whole table.
const std::vector<const TAttributeStart*>* StartsOf(std::string_view name) {
  static const auto starts = [] {
    std::unordered_map<std::string_view, std::vector<const TAttributeStart*>> map;
    for (const TAttributeStart& start : wbxml::kAttributeStarts) {
      if (start.Since == 11) map[start.Name].push_back(&start);
    }
    return map;
  }();
  const auto found = starts.find(name);
  return found == starts.end() ? nullptr : &found->second;
}

// The attribute-value tokens that begin with each character.
using TValueTokenTable = std::array<std::vector<const TAttributeValue*>, 256>;
const TValueTokenTable& ValueTokensByFirstCharacter() {
  static const auto starts = [] {
    TValueTokenTable table;
    for (const TAttributeValue& value : wbxml::kAttributeValues)
      table[static_cast<unsigned char>(value.Text[0])].push_back(&value);
    return table;
  }();
  return starts;
}

std::string_view Name(const xmlChar* name) { return reinterpret_cast<const char*>(name); }

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsElement(const xmlNode* node, std::string_view name) {
  return node->type == XML_ELEMENT_NODE && node->ns == nullptr && Name(node->name) == name;
}

// WML 1.1 §11.3.2: a meta element whose forua is not "true" ("false" is the
// default) is for the gateway alone, which removes it before the deck goes
// to the phone; the compiled deck is what the phone gets. A head left with
// nothing else is removed with it (head holds at least one element).
bool ForUserAgent(const xmlNode* node) {
  if (IsElement(node, "meta")) {
    for (const xmlAttr* attribute = node->properties; attribute; attribute = attribute->next) {
      if (attribute->ns == nullptr && Name(attribute->name) == "forua") {
        const xmlNode* value = attribute->children;
        return value != nullptr && value->next == nullptr && value->type == XML_TEXT_NODE &&
               value->content != nullptr && Name(value->content) == "true";
      }
    }
    return false;
  }
  if (IsElement(node, "head")) {
    for (const xmlNode* child = node->children; child; child = child->next) {
      if (child->type == XML_ELEMENT_NODE && ForUserAgent(child)) return true;
    }
    return false;
  }
  return true;
}

class TEncoder {
 public:
  explicit TEncoder(const xmlDoc* doc) : Doc(doc) {}

  bool Element(const xmlNode* node) {
    const unsigned char tag = TagToken(node->name);
    if (tag == 0 || node->ns != nullptr) return false;
    unsigned char token = tag;
    if (node->properties != nullptr) token |= wbxml::kHasAttributes;
    // Any child, white space that is dropped included, marks the element as
    // one with content, as the common compilers do.
    if (node->children != nullptr) token |= wbxml::kHasContent;
    Byte(token);
    if (node->properties != nullptr) {
      for (const xmlAttr* attribute = node->properties; attribute; attribute = attribute->next) {
        if (!Attribute(attribute)) return false;
      }
      Byte(wbxml::kEnd);
    }
    if (node->children == nullptr) return true;
    const xmlNode* only = node->children;
    if (only->next == nullptr && only->type == XML_TEXT_NODE && only->content != nullptr) {
      // One text node, the most common content: read in place.
      Text(Name(only->content));
    } else {
      // Pending is empty here: whoever wrote this element wrote its own
      // text first.
      if (!Children(node->children, 0)) return false;
      Text(Pending);
      Pending.clear();
    }
    Byte(wbxml::kEnd);
    return true;
  }

  // The bytes written: Out up to Next, which is kept larger than that so
  // that writing a byte is a store, not a call.
  std::string Out;

  void Byte(unsigned char c) { *Room(1) = static_cast<char>(c); }
  void Byte(char c) { *Room(1) = c; }
  void Bytes(std::string_view text) {
    if (!text.empty()) std::memcpy(Room(text.size()), text.data(), text.size());
  }
  // Out, cut to the bytes written.
  std::string Finish() {
    Out.resize(static_cast<std::size_t>(Next - Out.data()));
    Next = Limit = nullptr;
    return std::move(Out);
  }

 private:
  // Most entities one reference may pass through on its way to text; the
  // parser refuses deeper nesting long before.
  static constexpr int kMaxEntityDepth = 40;

  // Content nodes: text gathers in Pending until an element needs it
  // written (one buffer serves every element: each writes and empties it
  // before the next begins). A reference to a general entity stands for the
  // entity's parsed content, elements included (XML 1.0 §4.4.3,
  // "Included"), as if written in place.
  bool Children(const xmlNode* child, int depth) {
    for (; child; child = child->next) {
      switch (child->type) {
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
          if (child->content) Pending += Name(child->content);
          break;
        case XML_ENTITY_REF_NODE: {
          const auto* entity = reinterpret_cast<const xmlEntity*>(child->children);
          if (entity != nullptr && entity->type == XML_ENTITY_DECL && entity->children != nullptr &&
              depth < kMaxEntityDepth) {
            if (!Children(entity->children, depth + 1)) return false;
          } else {
            xmlChar* content = xmlNodeGetContent(child);
            if (content) Pending += Name(content);
            xmlFree(content);
          }
          break;
        }
        case XML_ELEMENT_NODE:
          if (!ForUserAgent(child)) break;
          Text(Pending);
          Pending.clear();
          if (!Element(child)) return false;
          break;
        default:  // comments and processing instructions are not sent
          break;
      }
    }
    return true;
  }

  void InlineString(std::string_view text) {
    if (text.empty()) return;
    char* at = Room(text.size() + 2);
    at[0] = static_cast<char>(wbxml::kStrI);
    std::memcpy(at + 1, text.data(), text.size());
    at[text.size() + 1] = '\0';
  }

  // address: the reference stands in an attribute of type %HREF;, where
  // WML 1.1 §10.3.1 makes URL escaping the default conversion.
  void Variable(const TTextPiece& piece, bool address = false) {
    TVariableConversion conversion = piece.Conversion;
    if (conversion == TVariableConversion::None && address)
      conversion = TVariableConversion::Escape;
    switch (conversion) {
      case TVariableConversion::Escape:
        Byte(wbxml::kExtI0);
        break;
      case TVariableConversion::Unescape:
        Byte(wbxml::kExtI1);
        break;
      default:
        Byte(wbxml::kExtI2);
        break;
    }
    Bytes(piece.Text);
    Byte('\0');
  }

  // Text content: its white space at both ends dropped, variables as
  // extension tokens, the rest inline strings.
  void Text(std::string_view text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && IsXmlSpace(text[begin])) ++begin;
    while (end > begin && IsXmlSpace(text[end - 1])) --end;
    text = text.substr(begin, end - begin);
    if (text.empty()) return;
    if (!HasDollar(text)) {
      InlineString(text);
      return;
    }
    for (const TTextPiece& piece : SplitVariables(text)) {
      if (piece.IsVariable) {
        Variable(piece);
      } else {
        InlineString(piece.Text);
      }
    }
  }

  // An attribute value's literal text: at each place the longest value
  // token that stands there, inline strings between them.
  void ValueText(std::string_view text) {
    const TValueTokenTable& tokens = ValueTokensByFirstCharacter();
    std::size_t pending = 0;
    std::size_t i = 0;
    while (i < text.size()) {
      const std::vector<const TAttributeValue*>& candidates =
          tokens[static_cast<unsigned char>(text[i])];
      if (candidates.empty()) {
        ++i;
        continue;
      }
      const TAttributeValue* best = nullptr;
      for (const TAttributeValue* value : candidates) {
        if (text.substr(i, value->Text.size()) == value->Text &&
            (best == nullptr || value->Text.size() > best->Text.size())) {
          best = value;
        }
      }
      if (best == nullptr) {
        ++i;
        continue;
      }
      InlineString(text.substr(pending, i - pending));
      Byte(best->Token);
      i += best->Text.size();
      pending = i;
    }
    InlineString(text.substr(pending));
  }

  void Value(std::string_view value, bool address) {
    if (!HasDollar(value)) {
      ValueText(value);
      return;
    }
    for (const TTextPiece& piece : SplitVariables(value)) {
      if (piece.IsVariable) {
        Variable(piece, address);
      } else {
        ValueText(piece.Text);
      }
    }
  }

  // A name's tag token, remembered by the name's address: a tree's names
  // are shared strings of its dictionary, so a deck has few distinct ones.
  unsigned char TagToken(const xmlChar* name) {
    TTagSlot& slot = TagSlots[NameSlot<8>(name)];
    if (slot.Name != name) slot = {name, WmlTagToken(Name(name))};
    return slot.Token;
  }

  // An attribute name's start tokens and whether it is an address,
  // remembered by the name's address as tag tokens are.
  struct TAttributeKind {
    const xmlChar* Name = nullptr;
    const std::vector<const TAttributeStart*>* Starts = nullptr;
    bool Address = false;
  };
  const TAttributeKind& KindOf(const xmlChar* name) {
    TAttributeKind& slot = AttributeSlots[NameSlot<8>(name)];
    if (slot.Name != name) {
      const std::string_view text = Name(name);
      slot = {name, StartsOf(text), wbxml::IsAddressAttribute(text)};
    }
    return slot;
  }

  bool Attribute(const xmlAttr* attribute) {
    const bool prefixed = attribute->ns != nullptr && attribute->ns->prefix != nullptr;
    // Most values are one text node: read in place, copied only when not.
    std::string owned;
    std::string_view value;
    const xmlNode* child = attribute->children;
    if (child != nullptr && child->next == nullptr && child->type == XML_TEXT_NODE &&
        child->content) {
      value = Name(child->content);
    } else if (child != nullptr) {
      xmlChar* raw = xmlNodeListGetString(const_cast<xmlDoc*>(Doc), child, 1);
      owned = raw ? std::string(Name(raw)) : std::string();
      xmlFree(raw);
      value = owned;
    }
    const TAttributeStart* best = nullptr;
    const std::vector<const TAttributeStart*>* starts;
    bool address;
    if (prefixed) {
      const std::string name =
          std::string(Name(attribute->ns->prefix)) + ":" + std::string(Name(attribute->name));
      starts = StartsOf(name);
      address = wbxml::IsAddressAttribute(name);
    } else {
      const TAttributeKind& kind = KindOf(attribute->name);
      starts = kind.Starts;
      address = kind.Address;
    }
    if (starts == nullptr) return false;
    for (const TAttributeStart* start : *starts) {
      if (value.substr(0, start->ValuePrefix.size()) == start->ValuePrefix &&
          (best == nullptr || start->ValuePrefix.size() > best->ValuePrefix.size())) {
        best = start;
      }
    }
    if (best == nullptr) return false;
    Byte(best->Token);
    Value(value.substr(best->ValuePrefix.size()), address);
    return true;
  }

  char* Room(std::size_t size) {
    if (static_cast<std::size_t>(Limit - Next) < size) [[unlikely]]
      Grow(size);
    char* at = Next;
    Next += size;
    return at;
  }

  [[gnu::noinline]] void Grow(std::size_t size) {
    const std::size_t used = Next != nullptr ? static_cast<std::size_t>(Next - Out.data()) : 0;
    // In steps of an eighth at least: each step writes zeros over the new
    // room first.
    Out.resize(used + std::max({size, std::size_t{4096}, used / 8}));
    Next = Out.data() + used;
    Limit = Out.data() + Out.size();
  }

  const xmlDoc* Doc;
  char* Next = nullptr;   // where the next byte of Out goes
  char* Limit = nullptr;  // the end of Out's room
  std::string Pending;    // text not yet written
  struct TTagSlot {
    const xmlChar* Name = nullptr;
    unsigned char Token = 0;
  };
  std::array<TTagSlot, 256> TagSlots{};
  std::array<TAttributeKind, 256> AttributeSlots{};
};

}  // namespace

unsigned char WmlTagToken(std::string_view name) {
  if (name.empty()) return 0;
  for (const TTag& tag : wbxml::kTags) {
    if (tag.Since == 11 && tag.Name[0] == name[0] && tag.Name == name) return tag.Token;
  }
  return 0;
}

std::optional<std::string> EncodeWbxml(const xmlDoc* doc, std::size_t sizeHint) {
  const xmlNode* root = doc ? xmlDocGetRootElement(doc) : nullptr;
  if (root == nullptr) return std::nullopt;
  TEncoder encoder(doc);
  // Room for the whole deck at once: growing by doubling would copy it
  // again and again. Room not written to costs no memory.
  encoder.Out.reserve(std::max(sizeHint, sizeof kWbxmlHeader));
  encoder.Bytes(std::string_view(kWbxmlHeader, sizeof kWbxmlHeader));
  if (!encoder.Element(root)) return std::nullopt;
  return encoder.Finish();
}

}  // namespace deckhand::wml
