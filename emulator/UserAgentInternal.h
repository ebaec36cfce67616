// What the parts of the user agent share (emulator/UserAgent*.cpp): small
// helpers on names, addresses and the deck tree, and the guard every user
// action runs in. Not part of the agent's interface.
#pragma once

#include <algorithm>
#include <cctype>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/UserAgent.h"

namespace deckhand::wml::agent_detail {

inline bool IsNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
inline bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

inline bool HasScheme(std::string_view url) {
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

inline std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

inline void Flatten(const TNode& node, std::vector<const TNode*>& options) {
  for (const TNode& child : node.Children) {
    if (child.IsElement("option"))
      options.push_back(&child);
    else if (child.IsElement("optgroup"))
      Flatten(child, options);
  }
}

inline std::vector<std::string> Split(std::string_view text, char separator) {
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

inline void FindAll(const TNode& node, std::string_view name, std::vector<const TNode*>& out) {
  for (const TNode& child : node.Children) {
    if (child.Kind != TNode::TKind::Element) continue;
    if (child.Name == name) out.push_back(&child);
    FindAll(child, name, out);
  }
}

inline std::size_t Utf8Length(char32_t c) {
  return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

inline std::string Kilobytes(std::size_t bytes) { return std::to_string(bytes / 1024) + " КБ"; }

// A file URI for a local path, each segment escaped.
inline std::string FileUri(const std::string& path) {
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

// A legal variable name (WML 1.1 §10.3): a letter or "_", then letters,
// digits and "_".
inline bool IsVariableName(std::string_view name) {
  return !name.empty() && IsNameStart(name[0]) && std::all_of(name.begin(), name.end(), IsNameChar);
}

// A positive integral number of digits only (WML 1.1 §11.7 timer values),
// or nullopt. Values beyond a day are held at a day: no phone counted
// further.
inline std::optional<long long> PositiveInteger(std::string_view text) {
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
inline std::size_t ValidIndex(std::string_view text, std::size_t count) {
  std::optional<long long> index = PositiveInteger(text);
  return index && static_cast<std::size_t>(*index) <= count ? static_cast<std::size_t>(*index) : 0;
}

}  // namespace deckhand::wml::agent_detail

namespace deckhand::wml {

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

}  // namespace deckhand::wml
