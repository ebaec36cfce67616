#include "wmlscript/Unit.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <set>

#include "wmlscript/Lexer.h"

namespace deckhand::wmlscript {
namespace {

struct TBad {
  std::string Reason;
};

constexpr std::uint16_t kMibLatin1 = 4;
constexpr std::uint16_t kMibWindows1251 = 2251;
constexpr std::uint16_t kMibAscii = 3;

class TReader {
 public:
  explicit TReader(std::string_view in) : In(in) {}
  std::size_t Pos = 0;
  std::string_view In;

  std::uint8_t U8(const char* what) {
    if (Pos >= In.size())
      throw TBad{std::string("модуль обрывается: не хватает поля «") + what + "»"};
    return static_cast<std::uint8_t>(In[Pos++]);
  }
  std::uint32_t Mb(const char* what) {
    const std::optional<std::uint32_t> v = ReadMbUint(In, Pos);
    if (!v) throw TBad{std::string("испорчено или обрывается число: ") + what};
    return *v;
  }
  std::uint32_t Fixed(int bytes, const char* what) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | U8(what);
    return v;
  }
  std::string_view Bytes(std::uint32_t n, const char* what) {
    if (n > In.size() - Pos) throw TBad{std::string("модуль обрывается: ") + what};
    std::string_view s = In.substr(Pos, n);
    Pos += n;
    return s;
  }
};

std::string DecodeCharsetString(std::string_view bytes, std::uint16_t charset) {
  if (charset == kMibUtf8 || charset == kMibAscii || charset == 0) {
    if (!IsValidUtf8(bytes)) throw TBad{"строковая константа — не UTF-8"};
    return std::string(bytes);
  }
  if (charset == kMibWindows1251) return Cp1251ToUtf8(bytes);
  if (charset == kMibLatin1) {
    std::string out;
    for (char c : bytes) AppendUtf8(out, static_cast<unsigned char>(c));
    return out;
  }
  throw TBad{"кодировка констант с номером MIBenum " + std::to_string(charset) +
             " не поддерживается"};
}

// Operand stack effect of one instruction: values it pops and pushes.
struct TEffect {
  int Pops, Pushes;
};

void VerifyCode(const TUnit& unit, TUnitFunction& f, std::size_t index) {
  const std::string_view code = f.Code;
  const std::string where = "функция " + std::to_string(index) + ": ";
  const std::uint32_t variables = std::uint32_t{f.Arguments} + f.Locals;
  std::vector<int> depth(code.size() + 1, -1);  // -1: not an instruction start / not reached
  std::vector<bool> isStart(code.size() + 1, false);
  // Pass 1: decode every instruction and check its operands.
  for (std::size_t pc = 0; pc < code.size();) {
    isStart[pc] = true;
    const auto opcode = static_cast<std::uint8_t>(code[pc]);
    if (!IsOpcode(opcode)) {
      throw TBad{where + "неизвестная инструкция 0x" +
                 [&] {
                   char b[8];
                   std::snprintf(b, sizeof b, "%02X", opcode);
                   return std::string(b);
                 }() +
                 " по смещению " + std::to_string(pc)};
    }
    const std::size_t size = InstructionSize(opcode);
    if (pc + size > code.size()) throw TBad{where + "последняя инструкция обрывается"};
    pc += size;
  }
  isStart[code.size()] = true;
  auto u8 = [&](std::size_t at) { return static_cast<std::uint8_t>(code[at]); };
  auto u16 = [&](std::size_t at) { return std::uint32_t{u8(at)} << 8 | u8(at + 1); };
  auto checkVar = [&](std::uint32_t v) {
    if (v >= variables)
      throw TBad{where + "обращение к переменной " + std::to_string(v) + ", а у функции их " +
                 std::to_string(variables)};
  };
  auto checkConst = [&](std::uint32_t c, bool stringOnly) {
    if (c >= unit.Constants.size()) {
      throw TBad{where + "ссылка на константу " + std::to_string(c) + " за концом пула"};
    }
    if (stringOnly && unit.Constants[c].Type != TType::String) {
      throw TBad{where + "константа " + std::to_string(c) + " должна быть строкой"};
    }
  };
  // Pass 2: follow every path, so that the operand stack has one depth at
  // each instruction, never goes below zero, and every jump lands on an
  // instruction of the function.
  std::vector<std::size_t> work{0};
  depth[0] = 0;
  std::uint32_t maxDepth = 0;
  auto flow = [&](std::size_t target, int d) {
    if (target > code.size() || !isStart[target]) {
      throw TBad{where + "переход по смещению " + std::to_string(target) +
                 " не на начало инструкции функции"};
    }
    if (depth[target] == -1) {
      depth[target] = d;
      work.push_back(target);
    } else if (depth[target] != d) {
      throw TBad{where + "глубина стека операндов у смещения " + std::to_string(target) +
                 " разная на разных путях"};
    }
  };
  while (!work.empty()) {
    const std::size_t pc = work.back();
    work.pop_back();
    const int d = depth[pc];
    if (pc == code.size()) continue;  // running off the end returns ""
    const std::uint8_t opcode = u8(pc);
    const std::size_t next = pc + InstructionSize(opcode);
    TEffect e{0, 0};
    std::optional<std::size_t> jump;
    bool conditional = false, falls = true;
    if (opcode & 0x80) {
      const std::uint32_t arg = opcode & 0x1F;
      switch (opcode & 0xE0) {
        case op::JUMP_FW_S:
          jump = next + arg, falls = false;
          break;
        case op::JUMP_BW_S:
          if (arg > pc) throw TBad{where + "переход назад за начало функции"};
          jump = pc - arg, falls = false;
          break;
        case op::TJUMP_FW_S:
          jump = next + arg, conditional = true, e = {1, 0};
          break;
        default:
          checkVar(arg), e = {0, 1};
          break;
      }
    } else if ((opcode & 0xE0) == 0x40) {
      if (opcode & 0x10)
        checkConst(opcode & 0x0F, false), e = {0, 1};
      else
        checkVar(opcode & 0x0F), e = {1, 0};
    } else if ((opcode & 0xF8) == op::CALL_S || opcode == op::CALL) {
      const std::uint32_t fi = opcode == op::CALL ? u8(pc + 1) : (opcode & 0x07);
      if (fi >= unit.Functions.size()) {
        throw TBad{where + "вызов несуществующей функции " + std::to_string(fi)};
      }
      e = {unit.Functions[fi].Arguments, 1};
    } else if ((opcode & 0xF8) == op::CALL_LIB_S || opcode == op::CALL_LIB ||
               opcode == op::CALL_LIB_W) {
      const std::uint32_t fi =
          opcode == op::CALL_LIB || opcode == op::CALL_LIB_W ? u8(pc + 1) : (opcode & 0x07);
      const std::uint32_t li = opcode == op::CALL_LIB_W ? u16(pc + 2)
                               : opcode == op::CALL_LIB ? u8(pc + 2)
                                                        : u8(pc + 1);
      const TLibraryFunction* lib =
          li <= 0xFFFF
              ? LibraryFunctionById(static_cast<std::uint16_t>(li), static_cast<std::uint8_t>(fi))
              : nullptr;
      if (!lib) {
        throw TBad{where + "вызов неизвестной библиотечной функции " + std::to_string(li) + "." +
                   std::to_string(fi)};
      }
      e = {lib->Arguments, 1};
    } else if ((opcode & 0xF8) == op::INCR_VAR_S) {
      checkVar(opcode & 0x07);
    } else {
      switch (opcode) {
        case op::JUMP_FW:
          jump = next + u8(pc + 1), falls = false;
          break;
        case op::JUMP_FW_W:
          jump = next + u16(pc + 1), falls = false;
          break;
        case op::TJUMP_FW:
          jump = next + u8(pc + 1), conditional = true, e = {1, 0};
          break;
        case op::TJUMP_FW_W:
          jump = next + u16(pc + 1), conditional = true, e = {1, 0};
          break;
        case op::JUMP_BW:
        case op::JUMP_BW_W:
        case op::TJUMP_BW:
        case op::TJUMP_BW_W: {
          const std::uint32_t back =
              opcode == op::JUMP_BW || opcode == op::TJUMP_BW ? u8(pc + 1) : u16(pc + 1);
          if (back > pc) throw TBad{where + "переход назад за начало функции"};
          jump = pc - back;
          conditional = opcode == op::TJUMP_BW || opcode == op::TJUMP_BW_W;
          falls = conditional;
          if (conditional) e = {1, 0};
          break;
        }
        case op::CALL_URL:
        case op::CALL_URL_W: {
          const bool wide = opcode == op::CALL_URL_W;
          checkConst(wide ? u16(pc + 1) : u8(pc + 1), true);
          checkConst(wide ? u16(pc + 3) : u8(pc + 2), true);
          e = {wide ? u8(pc + 5) : u8(pc + 3), 1};
          break;
        }
        case op::LOAD_VAR:
          checkVar(u8(pc + 1)), e = {0, 1};
          break;
        case op::STORE_VAR:
          checkVar(u8(pc + 1)), e = {1, 0};
          break;
        case op::INCR_VAR:
        case op::DECR_VAR:
          checkVar(u8(pc + 1));
          break;
        case op::ADD_ASG:
        case op::SUB_ASG:
          checkVar(u8(pc + 1)), e = {1, 0};
          break;
        case op::LOAD_CONST:
          checkConst(u8(pc + 1), false), e = {0, 1};
          break;
        case op::LOAD_CONST_W:
          checkConst(u16(pc + 1), false), e = {0, 1};
          break;
        case op::CONST_0:
        case op::CONST_1:
        case op::CONST_M1:
        case op::CONST_ES:
        case op::CONST_INVALID:
        case op::CONST_TRUE:
        case op::CONST_FALSE:
          e = {0, 1};
          break;
        case op::INCR:
        case op::DECR:
        case op::UMINUS:
        case op::B_NOT:
        case op::NOT:
        case op::TOBOOL:
        case op::TYPEOF:
        case op::ISVALID:
          e = {1, 1};
          break;
        case op::POP:
          e = {1, 0};
          break;
        case op::RETURN:
          e = {1, 0}, falls = false;
          break;
        case op::RETURN_ES:
          falls = false;
          break;
        case op::DEBUG:
          break;
        case op::SCAND:
        case op::SCOR: {
          // SCAND and SCOR push one value (the jump's condition) to go on
          // with the right operand, or two (the result, then the condition)
          // to skip it: the next instruction must be that forward jump.
          if (next >= code.size()) throw TBad{where + "SCAND/SCOR в конце функции"};
          const std::uint8_t n = u8(next);
          std::size_t target;
          if ((n & 0xE0) == op::TJUMP_FW_S)
            target = next + 1 + (n & 0x1F);
          else if (n == op::TJUMP_FW)
            target = next + 2 + u8(next + 1);
          else if (n == op::TJUMP_FW_W)
            target = next + 3 + u16(next + 1);
          else
            throw TBad{where + "за SCAND/SCOR должен идти условный переход вперёд"};
          if (d < 1) throw TBad{where + "стек операндов исчерпан у смещения " + std::to_string(pc)};
          maxDepth = std::max<std::uint32_t>(maxDepth, static_cast<std::uint32_t>(d + 1));
          flow(target, d);
          flow(next + InstructionSize(n), d - 1);
          continue;
        }
        default:  // binary operators
          e = {2, 1};
          break;
      }
    }
    if (d < e.Pops) {
      throw TBad{where + "стек операндов исчерпан у смещения " + std::to_string(pc)};
    }
    const int after = d - e.Pops + e.Pushes;
    maxDepth = std::max<std::uint32_t>(maxDepth, static_cast<std::uint32_t>(std::max(d, after)));
    if (jump) flow(*jump, after);
    if (falls) flow(next, after);
    (void)conditional;
  }
  f.MaxStack = maxDepth;
}

TUnit Read(std::string_view bytes) {
  TReader r(bytes);
  TUnit unit;
  unit.Version = r.U8("номер версии");
  if (unit.Version != kVersion11) {
    throw TBad{"версия модуля " + std::to_string(unit.Version >> 4) + "." +
               std::to_string(unit.Version & 0x0F) + " вместо 1.1"};
  }
  const std::uint32_t codeSize = r.Mb("размер модуля");
  if (codeSize != bytes.size() - r.Pos) {
    throw TBad{"размер модуля в заголовке (" + std::to_string(codeSize) +
               ") не совпадает с длиной данных (" + std::to_string(bytes.size() - r.Pos) + ")"};
  }
  const std::uint32_t constants = r.Mb("число констант");
  if (constants > 0xFFFF) throw TBad{"констант больше 65535"};
  const std::uint32_t charset = r.Mb("кодировка");
  if (charset > 0xFFFF) throw TBad{"номер кодировки больше 65535"};
  unit.Charset = static_cast<std::uint16_t>(charset);
  for (std::uint32_t i = 0; i < constants; ++i) {
    const std::uint8_t type = r.U8("тип константы");
    TValue v;
    switch (static_cast<TConstantType>(type)) {
      case TConstantType::Int8:
        v = TValue::Integer(static_cast<std::int8_t>(r.U8("константа")));
        break;
      case TConstantType::Int16:
        v = TValue::Integer(static_cast<std::int16_t>(r.Fixed(2, "константа")));
        break;
      case TConstantType::Int32:
        v = TValue::Integer(static_cast<std::int32_t>(r.Fixed(4, "константа")));
        break;
      case TConstantType::Float32: {
        const std::uint32_t bits = r.Fixed(4, "константа");
        float f;
        std::memcpy(&f, &bits, 4);
        v = TValue::FloatValue(f);
        if (v.IsInvalid()) throw TBad{"константа " + std::to_string(i) + ": не число"};
        break;
      }
      case TConstantType::Utf8String:
      case TConstantType::CharsetString: {
        const std::uint32_t len = r.Mb("длина строки");
        const std::string_view s = r.Bytes(len, "строковая константа");
        v = TValue::String(
            DecodeCharsetString(s, type == 4 ? kMibUtf8 : static_cast<std::uint16_t>(charset)));
        break;
      }
      case TConstantType::EmptyString:
        v = TValue::String("");
        break;
      default:
        throw TBad{"константа " + std::to_string(i) + ": неизвестный тип " + std::to_string(type)};
    }
    unit.Constants.push_back(std::move(v));
  }
  auto stringConst = [&](std::uint32_t c) {
    if (c >= unit.Constants.size() || unit.Constants[c].Type != TType::String) {
      throw TBad{"прагма ссылается на константу " + std::to_string(c) + ", которая не строка"};
    }
    return c;
  };
  const std::uint32_t pragmas = r.Mb("число прагм");
  if (pragmas > 0xFFFF) throw TBad{"прагм больше 65535"};
  bool domain = false, path = false;
  for (std::uint32_t i = 0; i < pragmas; ++i) {
    TPragma p;
    const std::uint8_t type = r.U8("тип прагмы");
    if (type > 3)
      throw TBad{"прагма " + std::to_string(i) + ": неизвестный тип " + std::to_string(type)};
    p.Type = static_cast<TPragmaType>(type);
    p.A = stringConst(r.Mb("прагма"));
    if (type == 0) {
      if (domain) throw TBad{"две прагмы access domain"};
      domain = true;
    } else if (type == 1) {
      if (path) throw TBad{"две прагмы access path"};
      path = true;
    } else {
      p.B = stringConst(r.Mb("прагма"));
      if (type == 3) p.C = stringConst(r.Mb("прагма"));
    }
    unit.Pragmas.push_back(p);
  }
  const std::uint8_t functions = r.U8("число функций");
  if (functions == 0) throw TBad{"в модуле нет функций"};
  const std::uint8_t names = r.U8("число имён функций");
  if (names > functions) throw TBad{"имён функций больше, чем функций"};
  unit.Functions.resize(functions);
  std::set<std::string> seen;
  for (std::uint32_t i = 0; i < names; ++i) {
    const std::uint8_t index = r.U8("номер функции");
    const std::uint8_t len = r.U8("длина имени");
    const std::string name(r.Bytes(len, "имя функции"));
    if (index >= functions) throw TBad{"имя «" + name + "» дано несуществующей функции"};
    if (name.empty() || !(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_')) {
      throw TBad{"имя функции " + std::to_string(index) + " — не идентификатор"};
    }
    for (char c : name) {
      if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) {
        throw TBad{"имя функции " + std::to_string(index) + " — не идентификатор"};
      }
    }
    if (!seen.insert(name).second) throw TBad{"два раза имя функции «" + name + "»"};
    if (!unit.Functions[index].Name.empty()) {
      throw TBad{"функции " + std::to_string(index) + " дано два имени"};
    }
    unit.Functions[index].Name = name;
  }
  for (std::uint32_t i = 0; i < functions; ++i) {
    TUnitFunction& f = unit.Functions[i];
    f.Arguments = r.U8("число аргументов");
    f.Locals = r.U8("число переменных");
    const std::uint32_t size = r.Mb("размер функции");
    f.Code = std::string(r.Bytes(size, "код функции"));
  }
  if (r.Pos != bytes.size()) throw TBad{"после последней функции лишние байты"};
  for (std::size_t i = 0; i < unit.Functions.size(); ++i) VerifyCode(unit, unit.Functions[i], i);
  return unit;
}

}  // namespace

std::optional<std::size_t> TUnit::FindExtern(std::string_view name) const {
  for (std::size_t i = 0; i < Functions.size(); ++i) {
    if (!Functions[i].Name.empty() && Functions[i].Name == name) return i;
  }
  return std::nullopt;
}

std::optional<TUnit> LoadUnit(std::string_view bytes, std::string& error) {
  try {
    return Read(bytes);
  } catch (const TBad& bad) {
    error = "модуль не прошёл проверку: " + bad.Reason;
    return std::nullopt;
  }
}

}  // namespace deckhand::wmlscript
