#include "wmlscript/Bytecode.h"

#include <array>

namespace deckhand::wmlscript {
namespace {

constexpr std::array kLibraries = {
    // Lang (0)
    TLibraryFunction{0, 0, 1, "Lang", "abs"},
    TLibraryFunction{0, 1, 2, "Lang", "min"},
    TLibraryFunction{0, 2, 2, "Lang", "max"},
    TLibraryFunction{0, 3, 1, "Lang", "parseInt"},
    TLibraryFunction{0, 4, 1, "Lang", "parseFloat"},
    TLibraryFunction{0, 5, 1, "Lang", "isInt"},
    TLibraryFunction{0, 6, 1, "Lang", "isFloat"},
    TLibraryFunction{0, 7, 0, "Lang", "maxInt"},
    TLibraryFunction{0, 8, 0, "Lang", "minInt"},
    TLibraryFunction{0, 9, 0, "Lang", "float"},
    TLibraryFunction{0, 10, 1, "Lang", "exit"},
    TLibraryFunction{0, 11, 1, "Lang", "abort"},
    TLibraryFunction{0, 12, 1, "Lang", "random"},
    TLibraryFunction{0, 13, 1, "Lang", "seed"},
    TLibraryFunction{0, 14, 0, "Lang", "characterSet"},
    // Float (1)
    TLibraryFunction{1, 0, 1, "Float", "int"},
    TLibraryFunction{1, 1, 1, "Float", "floor"},
    TLibraryFunction{1, 2, 1, "Float", "ceil"},
    TLibraryFunction{1, 3, 2, "Float", "pow"},
    TLibraryFunction{1, 4, 1, "Float", "round"},
    TLibraryFunction{1, 5, 1, "Float", "sqrt"},
    TLibraryFunction{1, 6, 0, "Float", "maxFloat"},
    TLibraryFunction{1, 7, 0, "Float", "minFloat"},
    // String (2)
    TLibraryFunction{2, 0, 1, "String", "length"},
    TLibraryFunction{2, 1, 1, "String", "isEmpty"},
    TLibraryFunction{2, 2, 2, "String", "charAt"},
    TLibraryFunction{2, 3, 3, "String", "subString"},
    TLibraryFunction{2, 4, 2, "String", "find"},
    TLibraryFunction{2, 5, 3, "String", "replace"},
    TLibraryFunction{2, 6, 2, "String", "elements"},
    TLibraryFunction{2, 7, 3, "String", "elementAt"},
    TLibraryFunction{2, 8, 3, "String", "removeAt"},
    TLibraryFunction{2, 9, 4, "String", "replaceAt"},
    TLibraryFunction{2, 10, 4, "String", "insertAt"},
    TLibraryFunction{2, 11, 1, "String", "squeeze"},
    TLibraryFunction{2, 12, 1, "String", "trim"},
    TLibraryFunction{2, 13, 2, "String", "compare"},
    TLibraryFunction{2, 14, 1, "String", "toString"},
    TLibraryFunction{2, 15, 2, "String", "format"},
    // URL (3)
    TLibraryFunction{3, 0, 1, "URL", "isValid"},
    TLibraryFunction{3, 1, 1, "URL", "getScheme"},
    TLibraryFunction{3, 2, 1, "URL", "getHost"},
    TLibraryFunction{3, 3, 1, "URL", "getPort"},
    TLibraryFunction{3, 4, 1, "URL", "getPath"},
    TLibraryFunction{3, 5, 1, "URL", "getParameters"},
    TLibraryFunction{3, 6, 1, "URL", "getQuery"},
    TLibraryFunction{3, 7, 1, "URL", "getFragment"},
    TLibraryFunction{3, 8, 0, "URL", "getBase"},
    TLibraryFunction{3, 9, 0, "URL", "getReferer"},
    TLibraryFunction{3, 10, 2, "URL", "resolve"},
    TLibraryFunction{3, 11, 1, "URL", "escapeString"},
    TLibraryFunction{3, 12, 1, "URL", "unescapeString"},
    TLibraryFunction{3, 13, 2, "URL", "loadString"},
    // WMLBrowser (4)
    TLibraryFunction{4, 0, 1, "WMLBrowser", "getVar"},
    TLibraryFunction{4, 1, 2, "WMLBrowser", "setVar"},
    TLibraryFunction{4, 2, 1, "WMLBrowser", "go"},
    TLibraryFunction{4, 3, 0, "WMLBrowser", "prev"},
    TLibraryFunction{4, 4, 0, "WMLBrowser", "newContext"},
    TLibraryFunction{4, 5, 0, "WMLBrowser", "getCurrentCard"},
    TLibraryFunction{4, 6, 0, "WMLBrowser", "refresh"},
    // Dialogs (5)
    TLibraryFunction{5, 0, 2, "Dialogs", "prompt"},
    TLibraryFunction{5, 1, 3, "Dialogs", "confirm"},
    TLibraryFunction{5, 2, 1, "Dialogs", "alert"},
};

}  // namespace

const TLibraryFunction* FindLibraryFunction(std::string_view library, std::string_view name) {
  for (const TLibraryFunction& f : kLibraries) {
    if (f.LibraryName == library && f.Name == name) return &f;
  }
  return nullptr;
}

const TLibraryFunction* LibraryFunctionById(std::uint16_t library, std::uint8_t function) {
  for (const TLibraryFunction& f : kLibraries) {
    if (f.Library == library && f.Function == function) return &f;
  }
  return nullptr;
}

bool IsLibraryName(std::string_view library) {
  for (const TLibraryFunction& f : kLibraries) {
    if (f.LibraryName == library) return true;
  }
  return false;
}

std::size_t InstructionSize(std::uint8_t opcode) {
  if (opcode & 0x80) return 1;            // class 1
  if ((opcode & 0xE0) == 0x40) return 1;  // class 2
  if ((opcode & 0xF8) == op::CALL_LIB_S) return 2;
  if ((opcode & 0xE0) == 0x60) return 1;  // CALL_S, INCR_VAR_S (0x78.. reserved)
  switch (opcode) {
    case op::JUMP_FW:
    case op::JUMP_BW:
    case op::TJUMP_FW:
    case op::TJUMP_BW:
    case op::CALL:
    case op::LOAD_VAR:
    case op::STORE_VAR:
    case op::INCR_VAR:
    case op::DECR_VAR:
    case op::LOAD_CONST:
    case op::ADD_ASG:
    case op::SUB_ASG:
      return 2;
    case op::JUMP_FW_W:
    case op::JUMP_BW_W:
    case op::TJUMP_FW_W:
    case op::TJUMP_BW_W:
    case op::CALL_LIB:
    case op::LOAD_CONST_W:
      return 3;
    case op::CALL_LIB_W:
    case op::CALL_URL:
      return 4;
    case op::CALL_URL_W:
      return 6;
    default:
      return 1;
  }
}

bool IsOpcode(std::uint8_t opcode) {
  if (opcode & 0x80) return true;
  if ((opcode & 0xE0) == 0x40) return true;
  if ((opcode & 0xE0) == 0x60) return (opcode & 0xF8) != 0x78;
  return opcode >= op::JUMP_FW && opcode <= op::DEBUG;
}

void AppendMbUint(std::string& out, std::uint32_t value) {
  char bytes[5];
  int n = 0;
  do {
    bytes[n++] = static_cast<char>(value & 0x7F);
    value >>= 7;
  } while (value);
  for (int i = n - 1; i >= 0; --i) {
    out.push_back(static_cast<char>(bytes[i] | (i ? 0x80 : 0)));
  }
}

std::optional<std::uint32_t> ReadMbUint(std::string_view in, std::size_t& pos) {
  std::uint64_t value = 0;
  for (int i = 0; i < 5; ++i) {
    if (pos >= in.size()) return std::nullopt;
    const auto byte = static_cast<std::uint8_t>(in[pos++]);
    value = (value << 7) | (byte & 0x7F);
    if (!(byte & 0x80)) {
      if (value > 0xFFFFFFFFu) return std::nullopt;
      return static_cast<std::uint32_t>(value);
    }
  }
  return std::nullopt;
}

}  // namespace deckhand::wmlscript
