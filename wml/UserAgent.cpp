#include "wml/UserAgent.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "wml/DeckText.h"
#include "wml/EmulatorLimits.h"

namespace deckhand::wml {

TClock SteadyClock() {
  return [] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  };
}

// ---------------------------------------------------------------- text helpers

std::u32string DecodeUtf8(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    auto c = static_cast<unsigned char>(text[i]);
    int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (extra < 0 || i + extra >= text.size() + (extra == 0 ? 1 : 0)) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (next & 0x3F);
    }
    out.push_back(ok ? cp : 0xFFFD);
    i += ok ? extra + 1 : 1;
  }
  return out;
}

std::string EncodeUtf8(std::u32string_view text) {
  std::string out;
  for (char32_t cp : text) AppendUtf8(out, cp);
  return out;
}

std::string EscapeUrl(std::string_view text) {
  static const char* kHex = "0123456789ABCDEF";
  std::string out;
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    if (std::isalnum(c) && c < 0x80) {
      out += ch;
    } else if (std::string_view("-_.!~*'()").find(ch) != std::string_view::npos) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string UnescapeUrl(std::string_view text) {
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
      out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string TRequest::Describe() const {
  std::string text = Method + " " + Url;
  if (!Referer.empty()) text += "\nReferer: " + Referer;
  // A GET carries its fields in the address already.
  if (Method != "GET")
    for (const auto& [name, value] : Fields) text += "\n" + name + "=" + value;
  return text;
}

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

// ---------------------------------------------------------------- the agent

namespace {

bool IsNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

bool HasScheme(std::string_view url) {
  std::size_t colon = url.find(':');
  if (colon == std::string_view::npos || colon < 2) return false;  // "c:" is no scheme
  if (!std::isalpha(static_cast<unsigned char>(url[0]))) return false;
  for (std::size_t i = 1; i < colon; ++i) {
    char c = url[i];
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
      return false;
  }
  return true;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

void Flatten(const TNode& node, std::vector<const TNode*>& options) {
  for (const TNode& child : node.Children) {
    if (child.IsElement("option"))
      options.push_back(&child);
    else if (child.IsElement("optgroup"))
      Flatten(child, options);
  }
}

std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(separator, start);
    if (end == std::string_view::npos) end = text.size();
    parts.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

void FindAll(const TNode& node, std::string_view name, std::vector<const TNode*>& out) {
  for (const TNode& child : node.Children) {
    if (child.Kind != TNode::TKind::Element) continue;
    if (child.Name == name) out.push_back(&child);
    FindAll(child, name, out);
  }
}

std::size_t Utf8Length(char32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

std::string Kilobytes(std::size_t bytes) { return std::to_string(bytes / 1024) + " КБ"; }

// A legal variable name (WML 1.1 §10.3): a letter or "_", then letters,
// digits and "_".
bool IsVariableName(std::string_view name) {
  return !name.empty() && IsNameStart(name[0]) && std::all_of(name.begin(), name.end(), IsNameChar);
}

// A positive integral number of digits only (WML 1.1 §11.7 timer values),
// or nullopt. Values beyond a day are held at a day: no phone counted
// further.
std::optional<long long> PositiveInteger(std::string_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value <= 0) return std::nullopt;
  return std::min<long long>(value, 864000);
}

// One valid 1-based index of count options (WML 1.1 §11.6.2.1, "validate a
// single-choice index"), or 0.
std::size_t ValidIndex(std::string_view text, std::size_t count) {
  std::optional<long long> index = PositiveInteger(text);
  return index && static_cast<std::size_t>(*index) <= count ? static_cast<std::size_t>(*index) : 0;
}

// A file URI for a local path, each segment escaped.
std::string FileUri(const std::string& path) {
  std::string uri = "file://";
  if (path.empty() || path[0] != '/') uri += '/';
  bool first = true;
  for (const std::string& segment : Split(path, '/')) {
    if (!first) uri += '/';
    first = false;
    uri += EscapeUrl(segment);
  }
  return uri;
}

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() &&
         Lower(std::string(text.substr(text.size() - tail.size()))) == tail;
}

// What a file that holds no deck is, for the message: a script, a picture
// or something else.
std::string NotADeckReason(const std::string& path, const std::string& bytes, const TDeck& deck) {
  if (EndsWith(path, ".wmls") || EndsWith(path, ".wmlsc"))
    return "это сценарий WMLScript, а не колода WML";
  const auto starts = [&](std::string_view magic) {
    return bytes.compare(0, magic.size(), magic) == 0;
  };
  if (starts("GIF8") || starts("\x89PNG") || starts("\xFF\xD8\xFF") || starts("BM") ||
      EndsWith(path, ".wbmp") || EndsWith(path, ".gif") || EndsWith(path, ".png") ||
      EndsWith(path, ".jpg") || EndsWith(path, ".jpeg") || EndsWith(path, ".bmp"))
    return "это картинка, а не колода WML";
  if (deck.Root && deck.Root->Name == "wml") return "в колоде нет ни одной карты";
  return "в файле нет колоды WML (нет элемента wml с картами)";
}

}  // namespace

TUserAgent::TUserAgent(TClock clock) : clock_(std::move(clock)), loader_(ReadDeckFile) {}

std::string TUserAgent::CardId() const { return card_ ? card_->AttributeOr("id") : std::string(); }

std::string TUserAgent::Variable(std::string_view name) const {
  auto it = variables_.find(std::string(name));
  return it == variables_.end() ? std::string() : it->second;
}

void TUserAgent::SetVariable(const std::string& name, const std::string& value) {
  Guarded([&] {
    error_.clear();
    Assign(name, value);
  });
}

void TUserAgent::SetValue(const std::string& name, const std::string& value) {
  if (name.empty()) return;
  if (value.empty())
    variables_.erase(name);
  else
    variables_[name] = value;
}

std::string TUserAgent::Substitute(std::string_view text, TConversion fallback) const {
  return SubstituteUpTo(text, fallback, std::string::npos);
}

std::string TUserAgent::SubstituteUpTo(std::string_view text, TConversion fallback,
                                       std::size_t limit) const {
  std::string out;
  out.reserve(std::min(text.size(), limit));
  for (std::size_t i = 0; i < text.size() && out.size() <= limit; ++i) {
    if (text[i] != '$') {
      out += text[i];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '$') {
      out += '$';
      ++i;
      continue;
    }
    std::string name;
    TConversion conversion = fallback;
    std::size_t end = i;
    if (i + 1 < text.size() && text[i + 1] == '(') {
      std::size_t close = text.find(')', i + 2);
      if (close == std::string_view::npos) {
        out += text[i];
        continue;
      }
      std::string_view inside = text.substr(i + 2, close - i - 2);
      std::size_t colon = inside.find(':');
      std::string_view namePart = inside.substr(0, colon);
      while (!namePart.empty() && namePart.front() == ' ') namePart.remove_prefix(1);
      while (!namePart.empty() && namePart.back() == ' ') namePart.remove_suffix(1);
      name = std::string(namePart);
      if (colon != std::string_view::npos) {
        std::string how = Lower(std::string(inside.substr(colon + 1)));
        while (!how.empty() && how.back() == ' ') how.pop_back();
        while (!how.empty() && how.front() == ' ') how.erase(0, 1);
        if (how == "e" || how == "escape")
          conversion = TConversion::Escape;
        else if (how == "u" || how == "unesc")
          conversion = TConversion::Unescape;
        else if (how == "n" || how == "noesc")
          conversion = TConversion::None;
        else
          name.clear();  // a conversion WML does not know: left as written
      }
      end = close;
    } else {
      std::size_t j = i + 1;
      if (j < text.size() && IsNameStart(text[j])) {
        while (j < text.size() && IsNameChar(text[j])) ++j;
        name = std::string(text.substr(i + 1, j - i - 1));
      }
      end = j - 1;
    }
    bool valid =
        !name.empty() && IsNameStart(name[0]) && std::all_of(name.begin(), name.end(), IsNameChar);
    if (!valid) {
      out += text.substr(i, end - i + 1);
      i = end;
      continue;
    }
    std::string value = Variable(name);
    switch (conversion) {
      case TConversion::Escape:
        out += EscapeUrl(value);
        break;
      case TConversion::Unescape:
        out += UnescapeUrl(value);
        break;
      case TConversion::None:
        out += value;
        break;
    }
    i = end;
  }
  return out;
}

std::string TUserAgent::SubstituteAttribute(const TNode& element,
                                            std::string_view attribute) const {
  return Substitute(element.AttributeOr(attribute), AttributeConversion(attribute));
}

TConversion TUserAgent::AttributeConversion(std::string_view attribute) {
  // WML 1.1 §10.3.1: in the attributes that hold an address a reference is
  // escaped unless it names its conversion; elsewhere it is put in as is.
  for (std::string_view address :
       {"href", "src", "onenterforward", "onenterbackward", "ontimer", "onpick"})
    if (attribute == address) return TConversion::Escape;
  return TConversion::None;
}

void TUserAgent::Fail(std::string message) {
  if (!error_.empty() && !errorIsNote_) return;
  error_ = std::move(message);
  errorIsNote_ = false;
}

void TUserAgent::Note(std::string message) {
  if (!error_.empty()) return;
  error_ = std::move(message);
  errorIsNote_ = true;
}

template <typename TAction>
void TUserAgent::Guarded(TAction&& action) {
  if (inAction_) {
    action();
    return;
  }
  inAction_ = true;
  steps_ = 0;
  try {
    action();
  } catch (const std::bad_alloc&) {
    Recover("Эмулятору не хватило памяти: шаг остановлен. «Сначала» начнёт колоду заново");
  } catch (const std::exception& problem) {
    Recover(std::string("Эмулятор остановил шаг из-за внутренней ошибки (") + problem.what() +
            "). «Сначала» начнёт колоду заново");
  }
  inAction_ = false;
}

void TUserAgent::Recover(std::string message) {
  error_ = std::move(message);
  menuOpen_ = false;
  // A step may have failed between replacing the deck and entering its
  // card: nothing may point into a tree that is gone.
  if (card_ && deck_.IndexOf(card_) < 0) card_ = nullptr;
  try {
    InitCard();
  } catch (const std::exception&) {
    focusables_.clear();
    focus_ = -1;
    inputText_.clear();
    selects_.clear();
    timer_ = nullptr;
    timerDue_.reset();
  }
}

void TUserAgent::Step() {
  if (stepHook_) stepHook_();
}

bool TUserAgent::Assign(const std::string& name, const std::string& value) {
  return Fits({{name, value}}) && (SetValue(name, value), true);
}

bool TUserAgent::Fits(const std::vector<std::pair<std::string, std::string>>& assignments) {
  std::map<std::string_view, std::size_t> sizes;
  for (const auto& [name, value] : assignments) {
    if (value.size() > kMaxVariableBytes) {
      Fail("Значение переменной «" + name + "» длиннее " + Kilobytes(kMaxVariableBytes) +
           " — столько не вмещал ни один телефон: шаг остановлен");
      return false;
    }
    sizes[name] = value.size();
  }
  std::size_t total = 0;
  for (const auto& [name, value] : variables_) total += name.size() + value.size();
  for (const auto& [name, size] : sizes) {
    auto it = variables_.find(std::string(name));
    if (it != variables_.end()) total -= name.size() + it->second.size();
    if (size > 0) total += name.size() + size;
  }
  if (total > kMaxContextBytes) {
    Fail("Переменные заняли бы больше " + Kilobytes(kMaxContextBytes) +
         " — столько не вмещал ни один телефон: шаг остановлен");
    return false;
  }
  return true;
}

void TUserAgent::PushHistory(const TNode* card) {
  history_.push_back({deckPath_, card->AttributeOr("id"), deck_.IndexOf(card)});
  if (history_.size() > kMaxHistoryDepth) {
    // As a phone's history did: the oldest card is forgotten.
    history_.erase(history_.begin());
    Note("История переходов достигла " + std::to_string(kMaxHistoryDepth) +
         " карт: самая старая забыта");
  }
}

std::vector<TUserAgent::THistoryItem> TUserAgent::History() const {
  std::vector<THistoryItem> items;
  for (const THistoryEntry& entry : history_)
    items.push_back({entry.DeckPath, entry.CardId, entry.CardIndex});
  return items;
}

void TUserAgent::Open(std::string_view bytes, std::string path, std::optional<TDeck> parsed) {
  Guarded([&] {
    LeaveCard();
    variables_.clear();
    history_.clear();
    request_.reset();
    error_.clear();
    deckPath_ = std::move(path);
    bytes_ = std::string(bytes);
    homePath_ = deckPath_;
    homeBytes_ = bytes_;
    deck_ = parsed ? std::move(*parsed) : ParseDeck(bytes_);
    card_ = nullptr;
    if (deck_.Cards.empty()) {
      Fail("В колоде нет ни одной карты");
      InitCard();
      return;
    }
    history_.push_back({deckPath_, deck_.Cards[0]->AttributeOr("id"), 0});
    Enter(deck_.Cards[0], true);
  });
}

void TUserAgent::SetDeckPath(std::string path) {
  for (THistoryEntry& entry : history_)
    if (entry.DeckPath == homePath_) entry.DeckPath = path;
  if (deckPath_ == homePath_) deckPath_ = path;
  homePath_ = std::move(path);
}

void TUserAgent::Restart() {
  Guarded([&] {
    std::string bytes = homeBytes_;
    std::string path = homePath_;
    Open(bytes, path);
  });
}

void TUserAgent::Reload(std::string_view bytes, std::optional<TDeck> parsed) {
  Guarded([&] {
    homeBytes_ = std::string(bytes);
    // Away in another deck file: the edit waits until the user comes back.
    if (deckPath_ != homePath_) return;
    // A card lost to an edit that left no cards at all is looked for again.
    std::string id = card_ ? CardId() : lostCardId_;
    int index = card_ ? deck_.IndexOf(card_) : lostCardIndex_;
    int focus = focus_;
    // The timer keeps running across an edit: only its card may change.
    auto due = timerDue_;
    // Nothing may point into the old tree once it is replaced.
    timer_ = nullptr;
    timerDue_.reset();
    focusables_.clear();
    focus_ = -1;
    bytes_ = std::string(bytes);
    deck_ = parsed ? std::move(*parsed) : ParseDeck(bytes_);
    error_.clear();
    card_ = nullptr;
    const TNode* card = nullptr;
    if (!id.empty())
      card = deck_.FindCard(id);
    else if (index >= 0 && index < static_cast<int>(deck_.Cards.size()) &&
             !deck_.Cards[index]->Attribute("id"))
      card = deck_.Cards[index];
    if (!card) {
      if (deck_.Cards.empty()) {
        // Mid-edit (the user is typing the markup around the cards): keep the
        // context until the cards are back.
        lostCardId_ = id;
        lostCardIndex_ = index;
        Fail("В колоде нет ни одной карты");
        InitCard();
        return;
      }
      std::string copy = bytes_;
      Open(copy, deckPath_, std::move(deck_));
      return;
    }
    card_ = card;
    if (!history_.empty()) history_.back().CardIndex = deck_.IndexOf(card);
    InitCard();
    if (due && timer_) timerDue_ = due;
    if (focus >= 0 && focus < static_cast<int>(focusables_.size())) focus_ = focus;
  });
}

// The task element of a do, anchor or onevent.
TUserAgent::TTask TUserAgent::TaskOf(const TNode* holder) const {
  TTask task;
  if (!holder) return task;
  for (const TNode& child : holder->Children) {
    if (child.Kind != TNode::TKind::Element) continue;
    if (child.Name == "go") {
      task.Kind = TTask::TKind::Go;
      task.Href = child.AttributeOr("href");
    } else if (child.Name == "prev") {
      task.Kind = TTask::TKind::Prev;
    } else if (child.Name == "refresh") {
      task.Kind = TTask::TKind::Refresh;
    } else if (child.Name == "noop") {
      task.Kind = TTask::TKind::Noop;
    } else {
      continue;
    }
    task.Node = &child;
    return task;
  }
  return task;
}

TUserAgent::TTask TUserAgent::EventTask(const TNode* element, std::string_view type,
                                        bool useTemplate) const {
  if (element) {
    if (const std::string* href = element->Attribute(type)) {
      TTask task;
      task.Kind = TTask::TKind::Go;
      task.Href = *href;
      return task;
    }
    for (const TNode& child : element->Children)
      if (child.IsElement("onevent") && child.AttributeOr("type") == type) return TaskOf(&child);
  }
  if (useTemplate && deck_.Template) return EventTask(deck_.Template, type, false);
  return {};
}

void TUserAgent::Run(const TTask& task) {
  if (++steps_ > kMaxTaskSteps) {
    Fail("Задачи вызывают друг друга без конца: переход остановлен после " +
         std::to_string(kMaxTaskSteps) + " шагов");
    return;
  }
  Step();
  switch (task.Kind) {
    case TTask::TKind::Go:
      RunGo(task);
      break;
    case TTask::TKind::Prev:
      RunPrev(task);
      break;
    case TTask::TKind::Refresh:
      RunRefresh(task);
      break;
    case TTask::TKind::Noop:
    case TTask::TKind::None:
      break;
  }
}

std::vector<std::pair<std::string, std::string>> TUserAgent::EvaluateSetvars(
    const TNode* task) const {
  std::vector<std::pair<std::string, std::string>> values;
  if (!task) return values;
  for (const TNode& child : task->Children) {
    if (!child.IsElement("setvar")) continue;
    // WML 1.1 §9.4: a setvar whose name does not evaluate to a legal
    // variable name is ignored.
    std::string name = Substitute(child.AttributeOr("name"));
    if (!IsVariableName(name)) continue;
    // Substituted only up to one byte beyond the limit: a value that
    // outgrows it is refused without being built whole.
    values.emplace_back(std::move(name), SubstituteUpTo(child.AttributeOr("value"),
                                                        TConversion::None, kMaxVariableBytes + 1));
  }
  return values;
}

bool TUserAgent::ApplySetvars(const TNode* task) {
  auto values = EvaluateSetvars(task);
  if (!Fits(values)) return false;
  for (const auto& [name, value] : values) SetValue(name, value);
  return true;
}

std::string TUserAgent::ResolvePath(const std::string& relative) const {
  namespace fs = std::filesystem;
  fs::path target(relative);
  if (target.is_absolute()) return target.lexically_normal().string();
  return (fs::path(deckPath_).parent_path() / target).lexically_normal().string();
}

std::optional<std::string> TUserAgent::ReadDeck(const std::string& path, std::string& problem) {
  if (path == homePath_) return homeBytes_;
  if (!loader_) return std::nullopt;
  return loader_(path, problem);
}

std::optional<TDeck> TUserAgent::FetchDeck(const std::string& path, std::string& bytes) {
  std::string problem;
  std::optional<std::string> read = ReadDeck(path, problem);
  if (!read) {
    Fail((problem.empty() ? "Не удалось открыть " + path : problem) + ": карта осталась прежней");
    return std::nullopt;
  }
  bytes = std::move(*read);
  TDeck deck = ParseDeck(bytes);
  if (deck.Cards.empty()) {
    // WML 1.1 §12.5.5: the invoking card stays, the context unchanged.
    Fail("Переход к " + path + " не выполнен: " + NotADeckReason(path, bytes, deck) +
         "; карта осталась прежней");
    return std::nullopt;
  }
  return deck;
}

void TUserAgent::CommitDeck(const std::string& path, std::string bytes, TDeck deck) {
  deckPath_ = path;
  bytes_ = std::move(bytes);
  deck_ = std::move(deck);
  card_ = nullptr;
  Step();
}

TRequest TUserAgent::MakeRequest(const TNode* go, const std::string& href) const {
  TRequest request;
  request.Method = go && Lower(go->AttributeOr("method")) == "post" ? "POST" : "GET";
  request.Url = href;
  if (go) {
    for (const TNode& child : go->Children)
      if (child.IsElement("postfield"))
        request.Fields.emplace_back(Substitute(child.AttributeOr("name")),
                                    Substitute(child.AttributeOr("value")));
    // WML 1.1 §9.5.1: the URI of the deck holding the task, relative when
    // it can be; a file deck and a network address share no base, so it is
    // absolute.
    if (go->AttributeOr("sendreferer") == "true" && !deckPath_.empty())
      request.Referer = FileUri(deckPath_);
  }
  // WML 1.1 §9.5.1: a GET sends the fields URL-escaped in the query of the
  // address, before any fragment.
  if (request.Method == "GET" && !request.Fields.empty()) {
    std::size_t hash = request.Url.find('#');
    std::string fragment = hash == std::string::npos ? std::string() : request.Url.substr(hash);
    std::string url = request.Url.substr(0, hash);
    char separator = url.find('?') == std::string::npos ? '?' : '&';
    for (const auto& [name, value] : request.Fields) {
      url += separator;
      url += EscapeUrl(name) + "=" + EscapeUrl(value);
      separator = '&';
    }
    request.Url = url + fragment;
  }
  return request;
}

void TUserAgent::RunGo(const TTask& task) {
  std::string href = SubstituteUpTo(task.Href, TConversion::Escape, kMaxContextBytes);
  auto setvars = EvaluateSetvars(task.Node);
  if (!Fits(setvars)) return;
  if (href.empty()) {
    Fail("У перехода нет адреса (href)");
    return;
  }
  std::string fragment;
  std::string address = href;
  if (std::size_t hash = href.find('#'); hash != std::string::npos) {
    fragment = href.substr(hash + 1);
    address = href.substr(0, hash);
  }
  bool network = HasScheme(address) && Lower(address.substr(0, 5)) != "file:";
  if (network) {
    request_ = MakeRequest(task.Node, href);
    return;
  }
  if (!address.empty()) {
    if (Lower(address.substr(0, 5)) == "file:") {
      address = address.substr(5);
      while (address.size() > 1 && address[0] == '/' && address[1] == '/') address.erase(0, 1);
    }
    if (std::size_t query = address.find('?'); query != std::string::npos) address.resize(query);
    address = UnescapeUrl(address);
    if (deckPath_.empty() && !std::filesystem::path(address).is_absolute()) {
      Fail("Колода не сохранена в файл: адрес «" + address + "» не от чего отсчитать");
      return;
    }
    std::string path = ResolvePath(address);
    if (path != deckPath_) {
      // The destination is read and parsed before anything changes, so
      // that a failure leaves the invoking card and its context as they
      // were (WML 1.1 §12.5.5).
      std::string bytes;
      std::optional<TDeck> deck = FetchDeck(path, bytes);
      if (!deck) return;
      LeaveCard();
      CommitDeck(path, std::move(bytes), std::move(*deck));
    }
  }
  // WML 1.1 §12.5.1 step 4c: a fragment that names no card of the deck
  // makes its first card the destination.
  const TNode* card = fragment.empty() ? nullptr : deck_.FindCard(fragment);
  if (!card && !deck_.Cards.empty()) {
    if (!fragment.empty())
      Fail("В колоде нет карты «" + fragment + "»: показана первая карта колоды");
    card = deck_.Cards[0];
  }
  if (!card) {
    Fail("В колоде нет ни одной карты");
    return;
  }
  LeaveCard();
  PushHistory(card);
  Enter(card, true, &setvars);
}

void TUserAgent::RunPrev(const TTask& task) {
  // WML 1.1 §12.5.2: with no previous card in the history nothing is done,
  // the setvars included.
  if (history_.size() < 2) return;
  auto setvars = EvaluateSetvars(task.Node);
  if (!Fits(setvars)) return;
  THistoryEntry entry = history_[history_.size() - 2];
  std::optional<TDeck> deck;
  std::string bytes;
  if (entry.DeckPath != deckPath_) {
    deck = FetchDeck(entry.DeckPath, bytes);
    if (!deck) return;
  }
  LeaveCard();
  if (deck) CommitDeck(entry.DeckPath, std::move(bytes), std::move(*deck));
  history_.pop_back();
  const TNode* card = entry.CardId.empty() ? nullptr : deck_.FindCard(entry.CardId);
  if (!card && entry.CardIndex >= 0 && entry.CardIndex < static_cast<int>(deck_.Cards.size()))
    card = deck_.Cards[entry.CardIndex];
  if (!card) card = deck_.Cards.empty() ? nullptr : deck_.Cards[0];
  for (const auto& [name, value] : setvars) SetValue(name, value);
  if (!card) {
    InitCard();
    return;
  }
  Enter(card, false);
}

void TUserAgent::RunRefresh(const TTask& task) {
  auto values = EvaluateSetvars(task.Node);
  if (!Fits(values)) return;
  LeaveCard();
  for (const auto& [name, value] : values) SetValue(name, value);
  InitCard();
}

void TUserAgent::Enter(const TNode* card, bool forward, const TAssignments* setvars) {
  card_ = card;
  menuOpen_ = false;
  request_.reset();
  // WML 1.1 §12.5.1 steps 5 and 6: the go's setvars are applied, then a
  // card with newcontext="true" re-initialises the context (§10.2), which
  // unsets them again.
  if (setvars)
    for (const auto& [name, value] : *setvars) SetValue(name, value);
  if (forward && card->AttributeOr("newcontext") == "true") {
    variables_.clear();
    THistoryEntry top = history_.empty()
                            ? THistoryEntry{deckPath_, card->AttributeOr("id"), deck_.IndexOf(card)}
                            : history_.back();
    history_.assign(1, top);
  }
  TTask task = EventTask(card, forward ? "onenterforward" : "onenterbackward", true);
  if (task.Kind == TTask::TKind::Go || task.Kind == TTask::TKind::Prev) {
    // The event's task takes the place of showing the card.
    InitCard();
    Run(task);
    return;
  }
  if (task.Kind == TTask::TKind::Refresh) ApplySetvars(task.Node);
  InitCard();
}

void TUserAgent::LeaveCard() {
  if (timer_ && timerDue_) {
    std::int64_t left = std::max<std::int64_t>(0, *timerDue_ - clock_());
    std::string name = timer_->AttributeOr("name");
    if (!name.empty()) Assign(name, std::to_string((left + 99) / 100));
  }
  timerDue_.reset();
  timer_ = nullptr;
}

void TUserAgent::InitCard() {
  focusables_.clear();
  inputText_.clear();
  selects_.clear();
  focus_ = -1;
  menuOpen_ = false;
  timer_ = nullptr;
  timerDue_.reset();
  if (!card_) return;
  std::vector<const TNode*> found;
  FindAll(*card_, "input", found);
  for (const TNode* input : found) InitInput(input);
  found.clear();
  FindAll(*card_, "select", found);
  for (const TNode* select : found) InitSelect(select);
  int optionIndex = 0;
  CollectFocusables(*card_, nullptr, optionIndex);
  if (!focusables_.empty()) focus_ = 0;
  StartTimer();
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

void TUserAgent::StartTimer() {
  std::vector<const TNode*> timers;
  for (const TNode& child : card_->Children)
    if (child.IsElement("timer")) timers.push_back(&child);
  if (timers.empty()) return;
  const TNode* timer = timers.front();
  std::string name = timer->AttributeOr("name");
  std::string value = name.empty() ? std::string() : Variable(name);
  if (value.empty()) value = Substitute(timer->AttributeOr("value"));
  // WML 1.1 §11.7: a timeout that is not a positive integral number makes
  // the agent ignore the timer (a zero one disables it).
  std::optional<long long> tenths = PositiveInteger(value);
  if (!tenths) return;
  if (!name.empty()) Assign(name, std::to_string(*tenths));
  timer_ = timer;
  timerDue_ = clock_() + *tenths * 100;
}

std::optional<std::int64_t> TUserAgent::TimerDueInMs() const {
  if (!timerDue_) return std::nullopt;
  return std::max<std::int64_t>(0, *timerDue_ - clock_());
}

void TUserAgent::Poll() {
  Guarded([&] {
    if (!timerDue_ || clock_() < *timerDue_ || !card_) return;
    timerDue_.reset();
    if (timer_) {
      std::string name = timer_->AttributeOr("name");
      if (!name.empty()) Assign(name, "0");
    }
    TTask task = EventTask(card_, "ontimer", true);
    error_.clear();
    Run(task);
  });
}

std::vector<const TNode*> TUserAgent::DoElements() const {
  std::vector<const TNode*> result;
  if (!card_) return result;
  std::vector<const TNode*> cardDos;
  FindAll(*card_, "do", cardDos);
  auto nameOf = [](const TNode* element) {
    std::string name = element->AttributeOr("name");
    return name.empty() ? element->AttributeOr("type") : name;
  };
  std::vector<std::string> names;
  for (const TNode* element : cardDos) names.push_back(nameOf(element));
  std::vector<const TNode*> all = cardDos;
  if (deck_.Template) {
    std::vector<const TNode*> templateDos;
    FindAll(*deck_.Template, "do", templateDos);
    for (const TNode* element : templateDos)
      if (std::find(names.begin(), names.end(), nameOf(element)) == names.end())
        all.push_back(element);
  }
  for (const TNode* element : all) {
    TTask task = TaskOf(element);
    if (task.Kind == TTask::TKind::Noop) continue;  // a noop shadows and hides
    result.push_back(element);
  }
  return result;
}

std::string TUserAgent::DoLabel(const TNode* element) const {
  std::string label = Substitute(element->AttributeOr("label"));
  if (!label.empty()) return label;
  std::string type = element->AttributeOr("type");
  if (type == "accept") return "OK";
  if (type == "prev") return "Назад";
  if (type == "help") return "Справка";
  if (type == "reset") return "Сброс";
  if (type == "options") return "Опции";
  if (type == "delete") return "Удалить";
  return "Выбор";
}

TSoftKey TUserAgent::SoftKeyLabel(int key) const {
  if (request_) return key == 1 ? TSoftKey{"Назад"} : TSoftKey{};
  if (menuOpen_) return key == 0 ? TSoftKey{"Выбор"} : TSoftKey{"Назад"};
  std::vector<const TNode*> dos = DoElements();
  if (key == 0) return dos.empty() ? TSoftKey{} : TSoftKey{DoLabel(dos[0])};
  if (dos.size() == 2) return TSoftKey{DoLabel(dos[1])};
  if (dos.size() > 2) return TSoftKey{"Опции", true};
  return {};
}

void TUserAgent::SoftKey(int key) {
  Guarded([&] {
    error_.clear();
    if (request_) {
      if (key == 1) Back();
      return;
    }
    if (menuOpen_) {
      if (key == 0)
        Select();
      else
        Back();
      return;
    }
    std::vector<const TNode*> dos = DoElements();
    if (key == 0 && !dos.empty()) {
      Run(TaskOf(dos[0]));
    } else if (key == 1 && dos.size() == 2) {
      Run(TaskOf(dos[1]));
    } else if (key == 1 && dos.size() > 2) {
      menuOpen_ = true;
      focusables_.clear();
      for (std::size_t i = 1; i < dos.size(); ++i)
        focusables_.push_back({TFocusKind::Menu, dos[i]});
      focus_ = 0;
    }
  });
}

void TUserAgent::Select() {
  Guarded([&] {
    error_.clear();
    if (request_) return;
    if (focus_ < 0 || focus_ >= static_cast<int>(focusables_.size())) return;
    TFocusable item = focusables_[focus_];
    switch (item.Kind) {
      case TFocusKind::Menu: {
        menuOpen_ = false;
        TTask task = TaskOf(item.Node);
        // Closing the menu gives the card its own keys back.
        focusables_.clear();
        int optionIndex = 0;
        if (card_) CollectFocusables(*card_, nullptr, optionIndex);
        focus_ = focusables_.empty() ? -1 : 0;
        Run(task);
        break;
      }
      case TFocusKind::Link: {
        if (item.Node->Name == "a") {
          TTask task;
          task.Kind = TTask::TKind::Go;
          task.Href = item.Node->AttributeOr("href");
          Run(task);
        } else {
          Run(TaskOf(item.Node));
        }
        break;
      }
      case TFocusKind::Option: {
        std::vector<bool>& chosen = selects_[item.Select];
        if (item.OptionIndex >= static_cast<int>(chosen.size())) break;
        if (item.Select->AttributeOr("multiple") == "true") {
          chosen[item.OptionIndex] = !chosen[item.OptionIndex];
        } else {
          std::fill(chosen.begin(), chosen.end(), false);
          chosen[item.OptionIndex] = true;
        }
        CommitSelect(item.Select);
        Run(EventTask(item.Node, "onpick", false));
        break;
      }
      case TFocusKind::Input:
        break;
    }
  });
}

void TUserAgent::Back() {
  Guarded([&] {
    error_.clear();
    if (request_) {
      request_.reset();
      return;
    }
    if (menuOpen_) {
      menuOpen_ = false;
      focusables_.clear();
      int optionIndex = 0;
      if (card_) CollectFocusables(*card_, nullptr, optionIndex);
      focus_ = focusables_.empty() ? -1 : 0;
      return;
    }
    TTask task;
    task.Kind = TTask::TKind::Prev;
    Run(task);
  });
}

std::string TUserAgent::InputText(const TNode* input) const {
  auto it = inputText_.find(input);
  return it == inputText_.end() ? std::string() : it->second;
}

bool TUserAgent::InputAcceptable(const TNode* input) const {
  std::string text = InputText(input);
  if (text.empty()) return input->AttributeOr("emptyok") == "true" || !input->Attribute("format");
  return FormatComplete(input->AttributeOr("format"), DecodeUtf8(text));
}

void TUserAgent::Type(std::string_view text) {
  Guarded([&] {
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
