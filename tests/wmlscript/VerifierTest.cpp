// The verifier (WAP-193 §11.3): a unit that breaks a rule of the format or
// whose code could leave its function, read outside its pools or misuse the
// operand stack is refused with its reason, and never runs.
#include <gtest/gtest.h>

#include <string>

#include "wmlscript/Bytecode.h"
#include "wmlscript/Unit.h"

namespace deckhand::wmlscript {
namespace {

std::string Bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s.push_back(static_cast<char>(b));
  return s;
}

// A unit of one extern function "f" with the given arguments, locals and
// code, after a constant pool of the integer 7 and the string "u".
std::string UnitWith(const std::string& code, int args = 0, int locals = 0,
                     const std::string& pragmas = Bytes({0x00})) {
  std::string body = Bytes({0x02, 0x6A, 0x00, 0x07, 0x04, 0x01, 'u'});
  body += pragmas;
  body += Bytes({0x01, 0x01, 0x00, 0x01, 'f', args, locals});
  AppendMbUint(body, static_cast<std::uint32_t>(code.size()));
  body += code;
  std::string unit(1, 0x01);
  AppendMbUint(unit, static_cast<std::uint32_t>(body.size()));
  return unit + body;
}

std::string Refusal(const std::string& unit) {
  std::string error;
  const std::optional<TUnit> loaded = LoadUnit(unit, error);
  return loaded ? "" : error;
}

TEST(WmlscriptVerifier, AcceptsAWellFormedUnit) {
  std::string error;
  const std::optional<TUnit> unit = LoadUnit(
      UnitWith(Bytes({op::LOAD_CONST_S | 0, op::LOAD_VAR_S | 0, op::ADD, op::RETURN}), 1), error);
  ASSERT_TRUE(unit) << error;
  EXPECT_EQ(unit->Functions[0].MaxStack, 2u);
  EXPECT_EQ(unit->Constants[1].Str, "u");
}

TEST(WmlscriptVerifier, RefusesBrokenHeadersPoolsAndNames) {
  std::string unit = UnitWith(Bytes({op::RETURN_ES}));
  std::string wrongVersion = unit;
  wrongVersion[0] = 0x02;
  EXPECT_NE(Refusal(wrongVersion).find("версия модуля 0.2"), std::string::npos);
  EXPECT_NE(Refusal(unit + "x").find("не совпадает"), std::string::npos);
  EXPECT_NE(Refusal(unit.substr(0, unit.size() - 3)).find("не совпадает"), std::string::npos);
  EXPECT_NE(Refusal("").find("обрывается"), std::string::npos);
  std::string badType = unit;
  badType[4] = 9;  // the integer constant's type
  EXPECT_NE(Refusal(badType).find("неизвестный тип 9"), std::string::npos);
  std::string badUtf8 = unit;
  badUtf8[8] = static_cast<char>(0xFF);  // the string constant's byte
  EXPECT_NE(Refusal(badUtf8).find("не UTF-8"), std::string::npos);
  // A pragma naming the integer constant as its domain.
  EXPECT_NE(
      Refusal(UnitWith(Bytes({op::RETURN_ES}), 0, 0, Bytes({0x01, 0x00, 0x00}))).find("не строка"),
      std::string::npos);
  std::string badName = unit;
  badName[badName.find('f')] = '1';
  EXPECT_NE(Refusal(badName).find("не идентификатор"), std::string::npos);
  std::string badIndex = unit;
  badIndex[badIndex.find('f') - 2] = 5;  // name given to function 5 of 1
  EXPECT_NE(Refusal(badIndex).find("несуществующей функции"), std::string::npos);
}

TEST(WmlscriptVerifier, RefusesCodeThatLeavesItsFunctionOrItsPools) {
  EXPECT_NE(Refusal(UnitWith(Bytes({0x3D}))).find("неизвестная инструкция 0x3D"),
            std::string::npos);
  EXPECT_NE(Refusal(UnitWith(Bytes({op::JUMP_FW_S | 5, op::RETURN_ES}))).find("переход"),
            std::string::npos);
  EXPECT_NE(Refusal(UnitWith(Bytes({op::JUMP_BW, 3}))).find("за начало функции"),
            std::string::npos);
  // Into the operand byte of LOAD_VAR.
  EXPECT_NE(Refusal(UnitWith(Bytes({op::JUMP_FW_S | 1, op::LOAD_VAR, 0, op::RETURN}), 1))
                .find("не на начало инструкции"),
            std::string::npos);
  EXPECT_NE(Refusal(UnitWith(Bytes({op::LOAD_VAR_S | 2, op::RETURN}), 1, 1)).find("переменной 2"),
            std::string::npos);
  EXPECT_NE(Refusal(UnitWith(Bytes({op::LOAD_CONST, 2, op::RETURN}))).find("константу 2"),
            std::string::npos);
  EXPECT_NE(Refusal(UnitWith(Bytes({op::CALL_S | 1, op::RETURN}))).find("несуществующей функции 1"),
            std::string::npos);
  EXPECT_NE(Refusal(UnitWith(Bytes({op::CALL_LIB, 99, 0, op::RETURN}))).find("библиотечной"),
            std::string::npos);
  // CALL_URL naming the integer constant as its address.
  EXPECT_NE(Refusal(UnitWith(Bytes({op::CALL_URL, 0, 1, 0, op::RETURN}))).find("строкой"),
            std::string::npos);
  EXPECT_NE(Refusal(UnitWith(Bytes({op::LOAD_VAR}))).find("обрывается"), std::string::npos);
}

TEST(WmlscriptVerifier, RefusesCodeThatMisusesTheOperandStack) {
  EXPECT_NE(Refusal(UnitWith(Bytes({op::ADD, op::RETURN}))).find("исчерпан"), std::string::npos);
  EXPECT_NE(Refusal(UnitWith(Bytes({op::RETURN}))).find("исчерпан"), std::string::npos);
  // Two paths meet with different depths.
  EXPECT_NE(
      Refusal(UnitWith(Bytes({op::CONST_TRUE, op::TJUMP_FW_S | 1, op::CONST_1, op::RETURN_ES})))
          .find("разная"),
      std::string::npos);
  EXPECT_NE(
      Refusal(UnitWith(Bytes({op::CONST_TRUE, op::SCAND, op::POP, op::RETURN_ES}))).find("SCAND"),
      std::string::npos);
  // A library call takes its arguments from the stack.
  EXPECT_NE(Refusal(UnitWith(Bytes({op::CALL_LIB_S | 0, 0, op::RETURN}))).find("исчерпан"),
            std::string::npos);
}

}  // namespace
}  // namespace deckhand::wmlscript
