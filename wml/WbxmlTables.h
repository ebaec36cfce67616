// The token tables of WML 1.1, 1.2 and 1.3 for WBXML (code page 0 of the tag
// and attribute code spaces, WML 1.3 §14.3), shared by the encoder and the
// decoder. The encoder uses only the tokens of WML 1.1.
#pragma once

#include <array>
#include <string_view>

namespace deckhand::wml::wbxml {

struct TTag {
  std::string_view Name;
  unsigned char Token;
  int Since = 11;  // the WML version that brought the token: 11, 12 or 13
};

// Tag tokens of WML 1.1 to 1.3 (code page 0).
inline constexpr std::array kTags{
    TTag{"a", 0x1C},        TTag{"td", 0x1D},        TTag{"tr", 0x1E},       TTag{"table", 0x1F},
    TTag{"p", 0x20},        TTag{"postfield", 0x21}, TTag{"anchor", 0x22},   TTag{"access", 0x23},
    TTag{"b", 0x24},        TTag{"big", 0x25},       TTag{"br", 0x26},       TTag{"card", 0x27},
    TTag{"do", 0x28},       TTag{"em", 0x29},        TTag{"fieldset", 0x2A}, TTag{"go", 0x2B},
    TTag{"head", 0x2C},     TTag{"i", 0x2D},         TTag{"img", 0x2E},      TTag{"input", 0x2F},
    TTag{"meta", 0x30},     TTag{"noop", 0x31},      TTag{"prev", 0x32},     TTag{"onevent", 0x33},
    TTag{"optgroup", 0x34}, TTag{"option", 0x35},    TTag{"refresh", 0x36},  TTag{"select", 0x37},
    TTag{"small", 0x38},    TTag{"strong", 0x39},    TTag{"template", 0x3B}, TTag{"timer", 0x3C},
    TTag{"u", 0x3D},        TTag{"setvar", 0x3E},    TTag{"wml", 0x3F},      TTag{"pre", 0x1B, 12},
};

struct TAttributeStart {
  std::string_view Name;
  std::string_view ValuePrefix;
  unsigned char Token;
  int Since = 11;
};

// Attribute-start tokens of WML 1.1 to 1.3 (code page 0): a name, or a name
// with the beginning of its value.
inline constexpr std::array kAttributeStarts{
    TAttributeStart{"accept-charset", "", 0x05},
    TAttributeStart{"align", "bottom", 0x06},
    TAttributeStart{"align", "center", 0x07},
    TAttributeStart{"align", "left", 0x08},
    TAttributeStart{"align", "middle", 0x09},
    TAttributeStart{"align", "right", 0x0A},
    TAttributeStart{"align", "top", 0x0B},
    TAttributeStart{"alt", "", 0x0C},
    TAttributeStart{"content", "", 0x0D},
    TAttributeStart{"domain", "", 0x0F},
    TAttributeStart{"emptyok", "false", 0x10},
    TAttributeStart{"emptyok", "true", 0x11},
    TAttributeStart{"format", "", 0x12},
    TAttributeStart{"height", "", 0x13},
    TAttributeStart{"hspace", "", 0x14},
    TAttributeStart{"ivalue", "", 0x15},
    TAttributeStart{"iname", "", 0x16},
    TAttributeStart{"label", "", 0x18},
    TAttributeStart{"localsrc", "", 0x19},
    TAttributeStart{"maxlength", "", 0x1A},
    TAttributeStart{"method", "get", 0x1B},
    TAttributeStart{"method", "post", 0x1C},
    TAttributeStart{"mode", "nowrap", 0x1D},
    TAttributeStart{"mode", "wrap", 0x1E},
    TAttributeStart{"multiple", "false", 0x1F},
    TAttributeStart{"multiple", "true", 0x20},
    TAttributeStart{"name", "", 0x21},
    TAttributeStart{"newcontext", "false", 0x22},
    TAttributeStart{"newcontext", "true", 0x23},
    TAttributeStart{"onpick", "", 0x24},
    TAttributeStart{"onenterbackward", "", 0x25},
    TAttributeStart{"onenterforward", "", 0x26},
    TAttributeStart{"ontimer", "", 0x27},
    TAttributeStart{"optional", "false", 0x28},
    TAttributeStart{"optional", "true", 0x29},
    TAttributeStart{"path", "", 0x2A},
    TAttributeStart{"scheme", "", 0x2E},
    TAttributeStart{"sendreferer", "false", 0x2F},
    TAttributeStart{"sendreferer", "true", 0x30},
    TAttributeStart{"size", "", 0x31},
    TAttributeStart{"src", "", 0x32},
    TAttributeStart{"ordered", "true", 0x33},
    TAttributeStart{"ordered", "false", 0x34},
    TAttributeStart{"tabindex", "", 0x35},
    TAttributeStart{"title", "", 0x36},
    TAttributeStart{"type", "", 0x37},
    TAttributeStart{"type", "accept", 0x38},
    TAttributeStart{"type", "delete", 0x39},
    TAttributeStart{"type", "help", 0x3A},
    TAttributeStart{"type", "password", 0x3B},
    TAttributeStart{"type", "onpick", 0x3C},
    TAttributeStart{"type", "onenterbackward", 0x3D},
    TAttributeStart{"type", "onenterforward", 0x3E},
    TAttributeStart{"type", "ontimer", 0x3F},
    TAttributeStart{"type", "options", 0x45},
    TAttributeStart{"type", "prev", 0x46},
    TAttributeStart{"type", "reset", 0x47},
    TAttributeStart{"type", "text", 0x48},
    TAttributeStart{"type", "vnd.", 0x49},
    TAttributeStart{"href", "", 0x4A},
    TAttributeStart{"href", "http://", 0x4B},
    TAttributeStart{"href", "https://", 0x4C},
    TAttributeStart{"value", "", 0x4D},
    TAttributeStart{"vspace", "", 0x4E},
    TAttributeStart{"width", "", 0x4F},
    TAttributeStart{"xml:lang", "", 0x50},
    TAttributeStart{"align", "", 0x52},
    TAttributeStart{"columns", "", 0x53},
    TAttributeStart{"class", "", 0x54},
    TAttributeStart{"id", "", 0x55},
    TAttributeStart{"forua", "false", 0x56},
    TAttributeStart{"forua", "true", 0x57},
    TAttributeStart{"src", "http://", 0x58},
    TAttributeStart{"src", "https://", 0x59},
    TAttributeStart{"http-equiv", "", 0x5A},
    TAttributeStart{"http-equiv", "Content-Type", 0x5B},
    TAttributeStart{"content", "application/vnd.wap.wmlc;charset=", 0x5C},
    TAttributeStart{"http-equiv", "Expires", 0x5D},
    TAttributeStart{"accesskey", "", 0x5E, 12},
    TAttributeStart{"enctype", "", 0x5F, 12},
    TAttributeStart{"enctype", "application/x-www-form-urlencoded", 0x60, 12},
    TAttributeStart{"enctype", "multipart/form-data", 0x61, 12},
    TAttributeStart{"xml:space", "preserve", 0x62, 13},
    TAttributeStart{"xml:space", "default", 0x63, 13},
    TAttributeStart{"cache-control", "no-cache", 0x64, 13},
};

struct TAttributeValue {
  std::string_view Text;
  unsigned char Token;
};

// Attribute-value tokens of WML 1.1 (unchanged up to 1.3): pieces that
// stand anywhere in a value.
inline constexpr std::array kAttributeValues{
    TAttributeValue{".com/", 0x85},
    TAttributeValue{".edu/", 0x86},
    TAttributeValue{".net/", 0x87},
    TAttributeValue{".org/", 0x88},
    TAttributeValue{"accept", 0x89},
    TAttributeValue{"bottom", 0x8A},
    TAttributeValue{"clear", 0x8B},
    TAttributeValue{"delete", 0x8C},
    TAttributeValue{"help", 0x8D},
    TAttributeValue{"http://", 0x8E},
    TAttributeValue{"http://www.", 0x8F},
    TAttributeValue{"https://", 0x90},
    TAttributeValue{"https://www.", 0x91},
    TAttributeValue{"middle", 0x93},
    TAttributeValue{"nowrap", 0x94},
    TAttributeValue{"onpick", 0x95},
    TAttributeValue{"onenterbackward", 0x96},
    TAttributeValue{"onenterforward", 0x97},
    TAttributeValue{"ontimer", 0x98},
    TAttributeValue{"options", 0x99},
    TAttributeValue{"password", 0x9A},
    TAttributeValue{"reset", 0x9B},
    TAttributeValue{"text", 0x9D},
    TAttributeValue{"top", 0x9E},
    TAttributeValue{"unknown", 0x9F},
    TAttributeValue{"wrap", 0xA0},
    TAttributeValue{"www.", 0xA1},
};

// The attributes that WML 1.1 declares of type %HREF; (href of go and a,
// src of img, onpick of option, and the card and template events), where a
// variable is escaped unless its reference says otherwise (WML 1.1 §10.3.1).
inline bool IsAddressAttribute(std::string_view attribute) {
  return attribute == "href" || attribute == "src" || attribute == "onenterforward" ||
         attribute == "onenterbackward" || attribute == "ontimer" || attribute == "onpick";
}

}  // namespace deckhand::wml::wbxml
