// The WMLScript 1.1 binary format (WAP-193 §9 and §10): instruction opcodes,
// constant and pragma types, multi-byte integers, and the standard libraries'
// identifiers (WAP-194 Appendix A).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace deckhand::wmlscript {

// The version byte of a WMLScript 1.1 unit: (major - 1) << 4 | minor.
inline constexpr std::uint8_t kVersion11 = 0x01;
// IANA MIBenum of UTF-8, the character set of the units this compiler writes.
inline constexpr std::uint16_t kMibUtf8 = 106;

namespace op {
// Class 1 (1xxppppp): 5-bit operand.
inline constexpr std::uint8_t JUMP_FW_S = 0x80, JUMP_BW_S = 0xA0, TJUMP_FW_S = 0xC0,
                              LOAD_VAR_S = 0xE0;
// Class 2 (010xpppp): 4-bit operand.
inline constexpr std::uint8_t STORE_VAR_S = 0x40, LOAD_CONST_S = 0x50;
// Class 3 (011xxppp): 3-bit operand.
inline constexpr std::uint8_t CALL_S = 0x60, CALL_LIB_S = 0x68, INCR_VAR_S = 0x70;
// Class 4 (00xxxxxx).
enum : std::uint8_t {
  JUMP_FW = 0x01,
  JUMP_FW_W,
  JUMP_BW,
  JUMP_BW_W,
  TJUMP_FW,
  TJUMP_FW_W,
  TJUMP_BW,
  TJUMP_BW_W,
  CALL,
  CALL_LIB,
  CALL_LIB_W,
  CALL_URL,
  CALL_URL_W,
  LOAD_VAR,
  STORE_VAR,
  INCR_VAR,
  DECR_VAR,
  LOAD_CONST,
  LOAD_CONST_W,
  CONST_0,
  CONST_1,
  CONST_M1,
  CONST_ES,
  CONST_INVALID,
  CONST_TRUE,
  CONST_FALSE,
  INCR,
  DECR,
  ADD_ASG,
  SUB_ASG,
  UMINUS,
  ADD,
  SUB,
  MUL,
  DIV,
  IDIV,
  REM,
  B_AND,
  B_OR,
  B_XOR,
  B_NOT,
  B_LSHIFT,
  B_RSSHIFT,
  B_RSZSHIFT,
  EQ,
  LE,
  LT,
  GE,
  GT,
  NE,
  NOT,
  SCAND,
  SCOR,
  TOBOOL,
  POP,
  TYPEOF,
  ISVALID,
  RETURN,
  RETURN_ES,
  DEBUG
};
}  // namespace op

// Constant types of the constant pool (WAP-193 §10.3).
enum class TConstantType : std::uint8_t {
  Int8 = 0,
  Int16 = 1,
  Int32 = 2,
  Float32 = 3,
  Utf8String = 4,
  EmptyString = 5,
  CharsetString = 6
};

// Pragma types of the pragma pool (WAP-193 §10.4).
enum class TPragmaType : std::uint8_t {
  AccessDomain = 0,
  AccessPath = 1,
  UserAgentProperty = 2,
  UserAgentPropertyAndScheme = 3
};

// One function of a standard library.
struct TLibraryFunction {
  std::uint16_t Library;
  std::uint8_t Function;
  std::uint8_t Arguments;
  std::string_view LibraryName;
  std::string_view Name;
};

// The function Lib.name of the standard libraries; empty when there is none.
const TLibraryFunction* FindLibraryFunction(std::string_view library, std::string_view name);
// The function with these identifiers; null when there is none.
const TLibraryFunction* LibraryFunctionById(std::uint16_t library, std::uint8_t function);
// Whether a library of that name exists.
bool IsLibraryName(std::string_view library);

// Bytes an instruction with this opcode takes, operands included.
std::size_t InstructionSize(std::uint8_t opcode);
// Whether the byte is a defined opcode.
bool IsOpcode(std::uint8_t opcode);

// Multi-byte unsigned integers (WAP-193 §10.1: 7 bits a byte, most
// significant first, high bit set on all but the last byte).
void AppendMbUint(std::string& out, std::uint32_t value);
// Reads one at pos, advancing it; empty on truncation or a value over 32 bits.
std::optional<std::uint32_t> ReadMbUint(std::string_view in, std::size_t& pos);

}  // namespace deckhand::wmlscript
