// The instructions the compiler never writes (WAP-193 §9.4): INCR, DECR,
// DEBUG, the backward conditional jumps, the wide jumps, library, URL and
// constant forms. Wmlsc or another compiler may write them, so the verifier
// and the interpreter take them all; each runs here from hand-made code.
#include <gtest/gtest.h>

#include "FakeBrowser.h"
#include "wmlscript/Bytecode.h"
#include "wmlscript/Compiler.h"
#include "wmlscript/Interpreter.h"
#include "wmlscript/Unit.h"

namespace deckhand::wmlscript {
namespace {

std::string Bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s.push_back(static_cast<char>(b));
  return s;
}

// A unit whose constants are the integer 7 and the string "u", with one
// extern function "f" of one argument and the given code.
std::string UnitWith(const std::string& code) {
  std::string body = Bytes({0x02, 0x6A, 0x00, 0x07, 0x04, 0x01, 'u', 0x00});
  body += Bytes({0x01, 0x01, 0x00, 0x01, 'f', 0x01, 0x00});
  AppendMbUint(body, static_cast<std::uint32_t>(code.size()));
  body += code;
  std::string unit(1, 0x01);
  AppendMbUint(unit, static_cast<std::uint32_t>(body.size()));
  return unit + body;
}

std::string RunCode(const std::string& code, TValue argument, testing::TFakeBrowser& browser) {
  std::string error;
  const std::optional<TUnit> unit = LoadUnit(UnitWith(code), error);
  if (!unit) return "refused: " + error;
  TRandom random;
  TRunOptions options;
  options.ScriptUrl = "http://example.com/dir/main.wmls";
  const TRunResult r = Run(*unit, "f", {std::move(argument)}, browser, random, options);
  return r.Status == TRunStatus::Returned ? Describe(r.Value) : "failed: " + r.Message;
}

TEST(WmlscriptInstructions, RunsTheFormsTheCompilerDoesNotWrite) {
  testing::TFakeBrowser browser;
  const TValue zero = TValue::Integer(0);
  // INCR, DECR and DEBUG on the stack.
  EXPECT_EQ(RunCode(Bytes({op::CONST_1, op::INCR, op::INCR, op::DEBUG, op::DECR, op::RETURN}), zero,
                    browser),
            "2");
  EXPECT_EQ(RunCode(Bytes({op::CONST_ES, op::INCR, op::RETURN}), zero, browser), "invalid");
  // Count the argument up to 7 with TJUMP_BW, then with TJUMP_BW_W.
  EXPECT_EQ(RunCode(Bytes({op::INCR_VAR_S | 0, op::LOAD_VAR_S | 0, op::LOAD_CONST_S | 0, op::GE,
                           op::TJUMP_BW, 4, op::LOAD_VAR_S | 0, op::RETURN}),
                    zero, browser),
            "7");
  EXPECT_EQ(RunCode(Bytes({op::INCR_VAR_S | 0, op::LOAD_VAR_S | 0, op::LOAD_CONST_W, 0, 0, op::GE,
                           op::TJUMP_BW_W, 0, 6, op::LOAD_VAR_S | 0, op::RETURN}),
                    TValue::Integer(3), browser),
            "7");
  // JUMP_FW_W over a return, then JUMP_BW_W back to the return.
  EXPECT_EQ(RunCode(Bytes({op::JUMP_FW_W, 0, 2, op::LOAD_VAR_S | 0, op::RETURN, op::INCR_VAR_S | 0,
                           op::JUMP_BW_W, 0, 3}),
                    TValue::Integer(41), browser),
            "42");
  // TJUMP_FW_W and JUMP_BW taken and not taken.
  EXPECT_EQ(RunCode(Bytes({op::LOAD_VAR_S | 0, op::TJUMP_FW_W, 0, 1, op::RETURN_ES, op::CONST_M1,
                           op::RETURN}),
                    zero, browser),
            "-1");
  // CALL_LIB_W: Lang.abs(-1); CALL_LIB: Lang.maxInt().
  EXPECT_EQ(RunCode(Bytes({op::CONST_M1, op::CALL_LIB_W, 0, 0, 0, op::RETURN}), zero, browser),
            "1");
  EXPECT_EQ(RunCode(Bytes({op::CALL_LIB, 7, 0, op::RETURN}), zero, browser), "2147483647");
  // STORE_VAR, LOAD_VAR, INCR_VAR, DECR_VAR, ADD_ASG and SUB_ASG in their long forms.
  EXPECT_EQ(RunCode(Bytes({op::CONST_1, op::STORE_VAR, 0, op::INCR_VAR, 0, op::INCR_VAR, 0,
                           op::DECR_VAR, 0, op::LOAD_CONST, 0, op::ADD_ASG, 0, op::CONST_1,
                           op::SUB_ASG, 0, op::LOAD_VAR, 0, op::RETURN}),
                    zero, browser),
            "8");
  // RETURN_ES in the middle of the code.
  EXPECT_EQ(RunCode(Bytes({op::RETURN_ES, op::CONST_1, op::RETURN}), zero, browser), "\"\"");
}

TEST(WmlscriptInstructions, CallsAnotherUnitThroughTheWideUrlCall) {
  const TCompileResult other = Compile("extern function u(a) { return a * 2; }");
  ASSERT_TRUE(other.Unit);
  testing::TFakeBrowser browser;
  browser.Resources["http://example.com/dir/u"] = {*other.Unit, "application/vnd.wap.wmlscriptc"};
  // CALL_URL_W: the address and the function name are both constant 1, "u".
  EXPECT_EQ(RunCode(Bytes({op::LOAD_VAR_S | 0, op::CALL_URL_W, 0, 1, 0, 1, 1, op::RETURN}),
                    TValue::Integer(21), browser),
            "42");
  EXPECT_EQ(RunCode(Bytes({op::LOAD_VAR_S | 0, op::CALL_URL, 1, 1, 1, op::RETURN}),
                    TValue::Integer(5), browser),
            "10");
}

}  // namespace
}  // namespace deckhand::wmlscript
