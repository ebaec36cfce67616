#include "wml/Variables.h"

namespace deckhand::wml {

namespace {

bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9'); }

bool ParseConversion(std::string_view text, TVariableConversion& conversion) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (lower == "e" || lower == "escape") {
    conversion = TVariableConversion::Escape;
  } else if (lower == "u" || lower == "unesc") {
    conversion = TVariableConversion::Unescape;
  } else if (lower == "n" || lower == "noesc") {
    conversion = TVariableConversion::NoEscape;
  } else {
    return false;
  }
  return true;
}

}  // namespace

std::vector<TTextPiece> SplitVariables(std::string_view text, std::vector<TBadReference>* bad) {
  std::vector<TTextPiece> pieces;
  std::string literal;
  const auto flush = [&] {
    if (!literal.empty()) pieces.push_back({false, std::move(literal), TVariableConversion::None});
    literal.clear();
  };
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t dollar = text.find('$', i);
    if (dollar == std::string_view::npos) {
      literal.append(text.substr(i));
      break;
    }
    literal.append(text.substr(i, dollar - i));
    std::size_t k = dollar + 1;
    if (k < text.size() && text[k] == '$') {
      literal += '$';
      i = k + 1;
      continue;
    }
    if (k < text.size() && IsNameStart(text[k])) {
      std::size_t end = k;
      while (end < text.size() && IsNameChar(text[end])) ++end;
      flush();
      pieces.push_back({true, std::string(text.substr(k, end - k)), TVariableConversion::None});
      i = end;
      continue;
    }
    if (k < text.size() && text[k] == '(') {
      const std::size_t close = text.find(')', k);
      if (close != std::string_view::npos) {
        const std::string_view inside = text.substr(k + 1, close - k - 1);
        const std::size_t colon = inside.find(':');
        const std::string_view name = inside.substr(0, colon);
        bool good = !name.empty() && IsNameStart(name[0]);
        for (char c : name) good = good && IsNameChar(c);
        TVariableConversion conversion = TVariableConversion::None;
        if (good && colon != std::string_view::npos) {
          good = ParseConversion(inside.substr(colon + 1), conversion);
        }
        if (good) {
          flush();
          pieces.push_back({true, std::string(name), conversion});
          i = close + 1;
          continue;
        }
        if (bad) bad->push_back({dollar, std::string(text.substr(dollar, close + 1 - dollar))});
        literal.append(text.substr(dollar, close + 1 - dollar));
        i = close + 1;
        continue;
      }
      if (bad) bad->push_back({dollar, std::string(text.substr(dollar))});
      literal.append(text.substr(dollar));
      break;
    }
    if (bad) bad->push_back({dollar, std::string(text.substr(dollar, k < text.size() ? 2 : 1))});
    literal += '$';
    i = k;
  }
  flush();
  return pieces;
}

}  // namespace deckhand::wml
