#include "ui/EncodingOffer.h"

#include <algorithm>
#include <string_view>

namespace deckhand {

namespace {

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The XML declaration at the very start (XML 1.0 §2.8: nothing may precede
// it), up to and including "?>", or an empty view when there is none.
std::string_view XmlDeclaration(std::string_view text) {
  if (text.size() < 6 || text.substr(0, 5) != "<?xml" || !IsXmlSpace(text[5])) return {};
  std::size_t end = text.find("?>");
  if (end == std::string_view::npos) return {};
  return text.substr(0, end + 2);
}

// Position just after the value of a pseudo-attribute of the declaration, or
// npos when the declaration has none of that name.
std::size_t AfterPseudoAttribute(std::string_view declaration, std::string_view name) {
  std::size_t at = 5;
  while (at < declaration.size()) {
    while (at < declaration.size() && IsXmlSpace(declaration[at])) ++at;
    std::size_t nameStart = at;
    while (at < declaration.size() && declaration[at] != '=' && !IsXmlSpace(declaration[at]) &&
           declaration[at] != '?')
      ++at;
    std::string_view found = declaration.substr(nameStart, at - nameStart);
    while (at < declaration.size() && IsXmlSpace(declaration[at])) ++at;
    if (at >= declaration.size() || declaration[at] != '=') return std::string_view::npos;
    ++at;
    while (at < declaration.size() && IsXmlSpace(declaration[at])) ++at;
    if (at >= declaration.size() || (declaration[at] != '"' && declaration[at] != '\''))
      return std::string_view::npos;
    std::size_t close = declaration.find(declaration[at], at + 1);
    if (close == std::string_view::npos) return std::string_view::npos;
    at = close + 1;
    if (found == name) return at;
  }
  return std::string_view::npos;
}

}  // namespace

bool NeedsEncodingDeclaration(const std::string& text) {
  if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) return false;
  const bool outsideAscii = std::any_of(
      text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  if (!outsideAscii) return false;
  std::string_view declaration = XmlDeclaration(text);
  if (declaration.empty()) {
    // A declaration that is not at the very start is an error of its own
    // (the check reports it); a second one would not mend it.
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    return first == std::string::npos || text.compare(first, 5, "<?xml") != 0;
  }
  return AfterPseudoAttribute(declaration, "encoding") == std::string_view::npos;
}

std::optional<TEncodingInsertion> EncodingInsertion(const std::string& text) {
  if (!NeedsEncodingDeclaration(text)) return std::nullopt;
  std::string_view declaration = XmlDeclaration(text);
  if (declaration.empty())
    return TEncodingInsertion{0, "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n"};
  // The encoding comes right after the version (XML 1.0 §2.8, production
  // XMLDecl), before a standalone declaration.
  std::size_t at = AfterPseudoAttribute(declaration, "version");
  if (at == std::string_view::npos) {
    at = declaration.size() - 2;
    while (at > 5 && IsXmlSpace(declaration[at - 1])) --at;
  }
  return TEncodingInsertion{static_cast<int>(at), " encoding=\"windows-1251\""};
}

}  // namespace deckhand
