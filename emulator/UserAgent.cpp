#include "emulator/UserAgent.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "emulator/EmulatorLimits.h"
#include "emulator/UserAgentInternal.h"
#include "wml/DeckText.h"

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

// ---------------------------------------------------------------- the agent

using namespace agent_detail;

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
    // Set from outside the phone, the variable shows at once, as if the
    // card had been displayed with it.
    if (auto set = variables_.find(name); set != variables_.end()) {
      shown_[name] = set->second;
    } else {
      shown_.erase(name);
    }
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

std::string TUserAgent::SubstituteShown(std::string_view text) const {
  return SubstituteUpTo(text, TConversion::None, std::string::npos, &shown_);
}

std::string TUserAgent::SubstituteUpTo(std::string_view text, TConversion fallback,
                                       std::size_t limit,
                                       const std::map<std::string, std::string>* from) const {
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
    std::string value;
    if (from == nullptr) {
      value = Variable(name);
    } else if (auto found = from->find(name); found != from->end()) {
      value = found->second;
    }
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
    errorScreen_.reset();
    scriptCall_.reset();
    dialog_.reset();
    error_.clear();
    // A fresh session: nothing fetched is kept.
    networkDecks_.clear();
    networkImages_.clear();
    networkCharset_.clear();
    lastExchange_.clear();
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

}  // namespace deckhand::wml
