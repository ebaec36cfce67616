// The user agent's forms (WML 1.1 §11.6): input with its format masks,
// select and option, and what the keys can reach on a card.
#include "emulator/UserAgent.h"

#include <algorithm>
#include <limits>
#include <map>
#include <string>

#include "emulator/EmulatorLimits.h"
#include "emulator/UserAgentInternal.h"

namespace deckhand::wml {

using namespace agent_detail;

// ---------------------------------------------------------------- format masks

namespace {

struct TMaskItem {
  char Class;  // A a N X x M m, or 0 for a literal
  char32_t Literal = 0;
  std::size_t Min = 1;
  std::size_t Max = 1;
};

// The items of a mask, or nullopt when the mask is not one WML allows.
std::optional<std::vector<TMaskItem>> ParseMask(std::string_view format) {
  std::vector<TMaskItem> items;
  std::u32string mask = DecodeUtf8(format);
  auto isClass = [](char32_t c) {
    return c < 128 && std::string_view("AaNXxMm").find(char(c)) != std::string_view::npos;
  };
  for (std::size_t i = 0; i < mask.size(); ++i) {
    char32_t c = mask[i];
    if (c == '\\' && i + 1 < mask.size()) {
      items.push_back({0, mask[++i]});
    } else if (isClass(c)) {
      items.push_back({static_cast<char>(c)});
    } else if ((c == '*' || (c >= '1' && c <= '9')) && i + 1 < mask.size() &&
               isClass(mask[i + 1]) && i + 2 == mask.size()) {
      TMaskItem item{static_cast<char>(mask[i + 1])};
      item.Min = 0;
      item.Max = c == '*' ? std::numeric_limits<std::size_t>::max() : std::size_t(c - '0');
      items.push_back(item);
      ++i;
    } else {
      return std::nullopt;
    }
  }
  return items;
}

bool IsUpper(char32_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
         (c >= 0x400 && c <= 0x42F);
}
bool IsLower(char32_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 0xDF && c <= 0xFF && c != 0xF7) ||
         (c >= 0x430 && c <= 0x45F);
}
bool IsDigit(char32_t c) { return c >= '0' && c <= '9'; }
bool IsSymbol(char32_t c) { return !IsUpper(c) && !IsLower(c) && !IsDigit(c); }

bool ClassAllows(char cls, char32_t c) {
  switch (cls) {
    case 'A':
      return IsUpper(c) || IsSymbol(c);
    case 'a':
      return IsLower(c) || IsSymbol(c);
    case 'N':
      return IsDigit(c);
    case 'X':
      return IsUpper(c) || IsDigit(c) || IsSymbol(c);
    case 'x':
      return IsLower(c) || IsDigit(c) || IsSymbol(c);
    default:
      return true;  // M, m
  }
}

const TMaskItem* ItemAt(const std::vector<TMaskItem>& items, std::size_t pos) {
  std::size_t start = 0;
  for (const TMaskItem& item : items) {
    if (pos - start < item.Max) return &item;
    start += item.Max;
  }
  return nullptr;
}

}  // namespace

bool FormatAllows(std::string_view format, std::size_t pos, char32_t ch) {
  auto items = ParseMask(format);
  if (!items || items->empty()) return true;
  const TMaskItem* item = ItemAt(*items, pos);
  if (!item) return false;
  if (item->Class == 0) return item->Literal == ch;
  return ClassAllows(item->Class, ch);
}

char32_t FormatLiteral(std::string_view format, std::size_t pos) {
  auto items = ParseMask(format);
  if (!items) return 0;
  const TMaskItem* item = ItemAt(*items, pos);
  return item && item->Class == 0 ? item->Literal : 0;
}

bool FormatComplete(std::string_view format, std::u32string_view value) {
  auto items = ParseMask(format);
  if (!items || items->empty()) return true;
  std::size_t least = 0;
  for (const TMaskItem& item : *items) least += item.Min;
  if (value.size() < least) return false;
  for (std::size_t i = 0; i < value.size(); ++i)
    if (!FormatAllows(format, i, value[i])) return false;
  return true;
}

namespace {

// The input and select elements under node, in document order.
void FindFields(const TNode& node, std::vector<const TNode*>& out) {
  for (const TNode& child : node.Children) {
    if (child.Kind != TNode::TKind::Element) continue;
    if (child.Name == "input" || child.Name == "select") out.push_back(&child);
    FindFields(child, out);
  }
}

}  // namespace

void TUserAgent::InitCard() {
  focusables_.clear();
  inputText_.clear();
  selects_.clear();
  focus_ = -1;
  menuOpen_ = false;
  timer_ = nullptr;
  timerDue_.reset();
  if (!card_) return;
  // WML 1.1 §11.6.2.1, §11.6.3: the fields are initialised in the order
  // they stand in the card, each after what the ones before it set.
  std::vector<const TNode*> found;
  FindFields(*card_, found);
  for (const TNode* field : found) {
    if (field->Name == "input")
      InitInput(field);
    else
      InitSelect(field);
  }
  int optionIndex = 0;
  CollectFocusables(*card_, nullptr, optionIndex);
  if (!focusables_.empty()) focus_ = 0;
  FetchCardImages();
  StartTimer();
  // The card is displayed with the variables as they are now.
  shown_ = variables_;
}

void TUserAgent::InitInput(const TNode* input) {
  std::string name = input->AttributeOr("name");
  std::string format = input->AttributeOr("format");
  std::string value = Variable(name);
  auto acceptable = [&](const std::string& text) {
    if (text.empty()) return true;
    return FormatComplete(format, DecodeUtf8(text));
  };
  if (value.empty() || !acceptable(value)) {
    value = Substitute(input->AttributeOr("value"));
    if (!acceptable(value)) value.clear();
  }
  if (const std::string* max = input->Attribute("maxlength")) {
    std::size_t limit = static_cast<std::size_t>(std::max(0, std::atoi(max->c_str())));
    std::u32string chars = DecodeUtf8(value);
    if (limit > 0 && chars.size() > limit) value = EncodeUtf8(chars.substr(0, limit));
  }
  Assign(name, value);
  inputText_[input] = value;
}

std::string TUserAgent::OptionValue(const TNode* option) const {
  // WML 1.1 §11.6.2: the value is substituted before it is stored.
  return Substitute(option->AttributeOr("value"));
}

void TUserAgent::InitSelect(const TNode* select) {
  // WML 1.1 §11.6.2.1: the default option index, from the first of the
  // iname variable, ivalue, the name variable and value that gives one.
  std::vector<const TNode*> options;
  Flatten(*select, options);
  bool multiple = select->AttributeOr("multiple") == "true";
  std::vector<bool> chosen(options.size(), false);
  // A multiple select's list keeps its valid indices, each once; a single
  // select's value must be one valid index.
  auto byIndices = [&](const std::string& list) {
    if (!multiple) {
      std::size_t index = ValidIndex(list, options.size());
      if (index) chosen[index - 1] = true;
      return index > 0;
    }
    bool any = false;
    for (const std::string& part : Split(list, ';')) {
      if (std::size_t index = ValidIndex(part, options.size())) {
        chosen[index - 1] = true;
        any = true;
      }
    }
    return any;
  };
  // Each value picks the first option of that value; a single select's
  // value is matched whole (it may hold ';').
  std::vector<std::string> values;
  for (const TNode* option : options) values.push_back(OptionValue(option));
  auto byValues = [&](const std::string& list) {
    bool any = false;
    for (const std::string& part : multiple ? Split(list, ';') : std::vector<std::string>{list}) {
      auto it = std::find(values.begin(), values.end(), part);
      if (it == values.end()) continue;
      chosen[it - values.begin()] = true;
      any = true;
    }
    return any;
  };
  std::string iname = select->AttributeOr("iname");
  std::string name = select->AttributeOr("name");
  bool done = false;
  if (!iname.empty() && !Variable(iname).empty()) done = byIndices(Variable(iname));
  if (!done && select->Attribute("ivalue"))
    done = byIndices(Substitute(select->AttributeOr("ivalue")));
  if (!done && !name.empty() && !Variable(name).empty()) done = byValues(Variable(name));
  if (!done && select->Attribute("value"))
    done = byValues(Substitute(select->AttributeOr("value")));
  // No default: a single select takes option 1, a multiple one nothing.
  if (!done && !multiple && !options.empty()) chosen[0] = true;
  selects_[select] = std::move(chosen);
  CommitSelect(select);
}

void TUserAgent::CommitSelect(const TNode* select) {
  std::vector<const TNode*> options;
  Flatten(*select, options);
  const std::vector<bool>& chosen = selects_[select];
  std::string values, indices;
  for (std::size_t i = 0; i < options.size() && i < chosen.size(); ++i) {
    if (!chosen[i]) continue;
    if (!indices.empty()) indices += ';';
    indices += std::to_string(i + 1);
    // WML 1.1 §11.6.2.1: empty values are left out of the list.
    std::string value = OptionValue(options[i]);
    if (value.empty()) continue;
    if (!values.empty()) values += ';';
    values += value;
  }
  // Nothing chosen is the option index zero.
  if (indices.empty()) indices = "0";
  if (const std::string* name = select->Attribute("name")) Assign(*name, values);
  if (const std::string* iname = select->Attribute("iname")) Assign(*iname, indices);
}

void TUserAgent::CollectFocusables(const TNode& node, const TNode* select, int& optionIndex) {
  for (const TNode& child : node.Children) {
    if (child.Kind != TNode::TKind::Element) continue;
    if (child.Name == "a" || child.Name == "anchor") {
      focusables_.push_back({TFocusKind::Link, &child});
    } else if (child.Name == "input") {
      focusables_.push_back({TFocusKind::Input, &child});
    } else if (child.Name == "select") {
      int index = 0;
      CollectFocusables(child, &child, index);
    } else if (child.Name == "option" && select) {
      focusables_.push_back({TFocusKind::Option, &child, select, optionIndex++});
    } else if (child.Name == "do" || child.Name == "onevent" || child.Name == "timer") {
      continue;
    } else {
      CollectFocusables(child, select, optionIndex);
    }
  }
}

int TUserAgent::FocusOf(const TNode* node) const {
  for (std::size_t i = 0; i < focusables_.size(); ++i)
    if (focusables_[i].Node == node) return static_cast<int>(i);
  return -1;
}

void TUserAgent::SetFocus(int index) {
  if (index >= -1 && index < static_cast<int>(focusables_.size())) focus_ = index;
}

std::string TUserAgent::InputText(const TNode* input) const {
  auto it = inputText_.find(input);
  return it == inputText_.end() ? std::string() : it->second;
}

bool TUserAgent::InputAcceptable(const TNode* input) const {
  std::string text = InputText(input);
  // WML 1.1 §11.6.3: emptyok, when given, says whether an empty entry is
  // accepted; else the format does (an implied or "*f" mask allows it).
  if (text.empty()) {
    if (const std::string* emptyok = input->Attribute("emptyok")) {
      if (*emptyok == "true") return true;
      if (*emptyok == "false") return false;
    }
  }
  return FormatComplete(input->AttributeOr("format"), DecodeUtf8(text));
}

void TUserAgent::RejectIncompleteEntries() {
  // WML 1.1 §11.6.3: input that does not conform to the mask is not
  // committed (Type commits only what fits), and the user is notified that
  // it was rejected. An empty entry is no input; the text itself is not
  // quoted, as it may be a password.
  for (const TFocusable& item : focusables_) {
    if (item.Kind != TFocusKind::Input || InputText(item.Node).empty() ||
        InputAcceptable(item.Node)) {
      continue;
    }
    Note("Ввод в поле " + item.Node->AttributeOr("name") + " не принят: он не подходит к формату " +
         item.Node->AttributeOr("format"));
    return;
  }
}

void TUserAgent::Type(std::string_view text) {
  Guarded([&] {
    if (dialog_) {
      // A prompt's answer is held to what a variable may hold.
      if (dialog_->Kind == TScriptDialog::TKind::Prompt) {
        std::string typed = dialog_->Input + std::string(text);
        if (typed.size() > kMaxVariableBytes)
          Fail("Поле не вмещает больше " + Kilobytes(kMaxVariableBytes) + ": ввод остановлен");
        else
          dialog_->Input = std::move(typed);
      }
      return;
    }
    if (focus_ < 0 || focus_ >= static_cast<int>(focusables_.size())) return;
    const TFocusable& item = focusables_[focus_];
    if (item.Kind != TFocusKind::Input) return;
    const TNode* input = item.Node;
    std::string format = input->AttributeOr("format");
    int maxLength = std::atoi(input->AttributeOr("maxlength", "0").c_str());
    std::u32string value = DecodeUtf8(inputText_[input]);
    std::size_t bytes = inputText_[input].size();
    // A field holds no more than a variable may.
    const auto add = [&](char32_t ch) {
      if (bytes + Utf8Length(ch) > kMaxVariableBytes) {
        Fail("Поле не вмещает больше " + Kilobytes(kMaxVariableBytes) + ": ввод остановлен");
        return false;
      }
      bytes += Utf8Length(ch);
      value.push_back(ch);
      return true;
    };
    bool full = false;
    for (char32_t ch : DecodeUtf8(text)) {
      // Literals of the mask are put in for the user.
      bool typed = false;
      while (char32_t literal = FormatLiteral(format, value.size())) {
        if (maxLength > 0 && static_cast<int>(value.size()) >= maxLength) break;
        if (!add(literal)) {
          full = true;
          break;
        }
        if (literal == ch) {
          typed = true;
          break;
        }
      }
      if (full) break;
      if (typed) continue;
      if (maxLength > 0 && static_cast<int>(value.size()) >= maxLength) break;
      if (!FormatAllows(format, value.size(), ch)) continue;
      if (!add(ch)) break;
    }
    inputText_[input] = EncodeUtf8(value);
    if (InputAcceptable(input)) Assign(input->AttributeOr("name"), inputText_[input]);
  });
}

bool TUserAgent::Erase() {
  bool result = false;
  Guarded([&] {
    result = [&]() -> bool {
      if (dialog_) {
        std::u32string value = DecodeUtf8(dialog_->Input);
        if (dialog_->Kind != TScriptDialog::TKind::Prompt || value.empty()) return false;
        value.pop_back();
        dialog_->Input = EncodeUtf8(value);
        return true;
      }
      if (focus_ < 0 || focus_ >= static_cast<int>(focusables_.size())) return false;
      const TFocusable& item = focusables_[focus_];
      if (item.Kind != TFocusKind::Input) return false;
      std::u32string value = DecodeUtf8(inputText_[item.Node]);
      if (value.empty()) return false;
      value.pop_back();
      inputText_[item.Node] = EncodeUtf8(value);
      if (InputAcceptable(item.Node)) Assign(item.Node->AttributeOr("name"), inputText_[item.Node]);
      return true;
    }();
  });
  return result;
}

std::vector<bool> TUserAgent::OptionStates(const TNode* select) const {
  auto it = selects_.find(select);
  return it == selects_.end() ? std::vector<bool>() : it->second;
}

}  // namespace deckhand::wml
