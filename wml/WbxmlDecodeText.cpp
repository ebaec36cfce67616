// The compiled-deck decoder's XML text: which characters and names XML
// allows, UTF-8, and the escapes of the text it writes.
#include <array>

#include "wml/WbxmlDecodeInternal.h"

namespace deckhand::wml::wbxml_detail {

namespace {

bool IsNameStart(std::uint32_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' ||
         (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
         (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || c == 0x200C || c == 0x200D ||
         (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) ||
         (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF) ||
         (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool IsNameChar(std::uint32_t c) {
  return IsNameStart(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
         (c >= 0x300 && c <= 0x36F) || c == 0x203F || c == 0x2040;
}

}  // namespace

bool HoldsNoText(std::string_view name) {
  static constexpr std::array<std::string_view, 13> kNames{
      "wml",  "head",    "template", "card",     "do",    "onevent", "go",
      "prev", "refresh", "select",   "optgroup", "table", "tr"};
  for (std::string_view n : kNames) {
    if (n == name) return true;
  }
  return false;
}

bool IsXmlChar(std::uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

void AppendUtf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::size_t BadUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      if (!IsXmlChar(lead)) return i;
      ++i;
      continue;
    }
    int length;
    std::uint32_t c;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, c = lead & 0x07;
    } else {
      return i;
    }
    if (i + length > text.size()) return i;
    for (int k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return i;
      c = (c << 6) | (next & 0x3F);
    }
    const std::uint32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (c < least || !IsXmlChar(c)) return i;
    i += length;
  }
  return std::string_view::npos;
}

bool IsXmlName(std::string_view name) {
  if (name.empty()) return false;
  std::size_t i = 0;
  while (i < name.size()) {
    const auto lead = static_cast<unsigned char>(name[i]);
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    std::uint32_t c = length == 1   ? lead
                      : length == 2 ? lead & 0x1F
                      : length == 3 ? lead & 0x0F
                                    : lead & 0x07;
    for (int k = 1; k < length; ++k)
      c = (c << 6) | (static_cast<unsigned char>(name[i + k]) & 0x3F);
    if (i == 0 ? !IsNameStart(c) : !IsNameChar(c)) return false;
    i += static_cast<std::size_t>(length);
  }
  return true;
}

bool IsVariableName(std::string_view name) {
  if (name.empty()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    if (!letter && (i == 0 || c < '0' || c > '9')) return false;
  }
  return true;
}

void Escape(std::string_view text, TPlace place, std::string& out) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (place == TPlace::Instruction) {
      out += c;
      continue;
    }
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '$':
        out += "$$";
        break;
      case '\r':
        out += "&#13;";
        break;
      case '"':
        out += place == TPlace::Attribute ? "&quot;" : "\"";
        break;
      case '\t':
        out += place == TPlace::Attribute ? "&#9;" : "\t";
        break;
      case '\n':
        out += place == TPlace::Attribute ? "&#10;" : "\n";
        break;
      case '\xC2':
        if (i + 1 < text.size() && (text[i + 1] == '\xA0' || text[i + 1] == '\xAD')) {
          out += text[i + 1] == '\xA0' ? "&#160;" : "&#173;";
          ++i;
        } else {
          out += c;
        }
        break;
      default:
        out += c;
    }
  }
}

}  // namespace deckhand::wml::wbxml_detail
