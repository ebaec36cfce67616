// The interpreter beyond the corpus: calls into other units, the hard
// limits, and the values' conversions to text.
#include <gtest/gtest.h>

#include "FakeBrowser.h"
#include "wmlscript/Bytecode.h"
#include "wmlscript/Compiler.h"
#include "wmlscript/Interpreter.h"
#include "wmlscript/Unit.h"

namespace deckhand::wmlscript {
namespace {

TUnit Load(const std::string& source) {
  const TCompileResult r = Compile(source);
  EXPECT_TRUE(r.Unit) << FormatDiagnostics("test", r.Diagnostics);
  std::string error;
  std::optional<TUnit> unit = LoadUnit(r.Unit.value_or(""), error);
  EXPECT_TRUE(unit) << error;
  return unit ? std::move(*unit) : TUnit{};
}

TRunResult Call(const TUnit& unit, const std::string& function, std::vector<TValue> args,
                testing::TFakeBrowser& browser, TLimits limits = {}) {
  TRandom random;
  TRunOptions options;
  options.Limits = limits;
  options.ScriptUrl = "http://example.com/dir/main.wmls";
  return Run(unit, function, std::move(args), browser, random, options);
}

TEST(WmlscriptInterpreter, CallsExternFunctionsOfAnotherUnitRelativeToThisOne) {
  const TCompileResult lib = Compile(
      "extern function add(a, b) { WMLBrowser.setVar(\"lib\", a); return a + b; }\n"
      "function hidden() { return 1; }\n");
  ASSERT_TRUE(lib.Unit);
  testing::TFakeBrowser browser;
  browser.Resources["http://example.com/lib/math.wmls"] = {*lib.Unit,
                                                           "application/vnd.wap.wmlscriptc"};
  const TUnit main = Load(
      "use url math \"../lib/math.wmls\";\n"
      "extern function f() { return math#add(2, 3) * 10 + math#add(1, 1); }\n"
      "extern function g() { return math#hidden(); }\n"
      "extern function h() { return math#add(1); }\n");
  const TRunResult r = Call(main, "f", {}, browser);
  EXPECT_EQ(r.Status, TRunStatus::Returned) << r.Message;
  EXPECT_EQ(Describe(r.Value), "52");
  // The unit is loaded once for both calls.
  EXPECT_EQ(browser.Calls, (std::vector<std::string>{"load http://example.com/lib/math.wmls",
                                                     "setVar lib=2", "setVar lib=1"}));
  const TRunResult hidden = Call(main, "g", {}, browser);
  EXPECT_EQ(hidden.Status, TRunStatus::Failed);
  EXPECT_EQ(hidden.Message, "во внешнем сценарии нет функции extern «hidden»");
  EXPECT_EQ(Call(main, "h", {}, browser).Status, TRunStatus::Failed);
}

TEST(WmlscriptInterpreter, CallsIntoAnotherUnitOnlyWhereItsAccessPragmaAllows) {
  // WAP-193 §6.7.2: the domain matches the end of the caller's host and the
  // path the start of the caller's path, in whole components.
  const TCompileResult lib = Compile(
      "use access domain \"example.com\" path \"/dir\";\n"
      "extern function f() { return 1; }\n");
  ASSERT_TRUE(lib.Unit);
  testing::TFakeBrowser browser;
  browser.Resources["http://other.org/lib.wmls"] = {*lib.Unit, "application/vnd.wap.wmlscriptc"};
  const TUnit main = Load(
      "use url other \"http://other.org/lib.wmls\";\nextern function f() { return other#f(); }\n");
  TRandom random;
  TRunOptions options;
  for (const auto& [caller, allowed] :
       std::vector<std::pair<std::string, bool>>{{"http://example.com/dir/main.wmls", true},
                                                 {"http://wap.example.com/dir/sub/main.wmls", true},
                                                 {"http://badexample.com/dir/main.wmls", false},
                                                 {"http://example.com/directory/main.wmls", false},
                                                 {"http://example.com/main.wmls", false}}) {
    options.ScriptUrl = caller;
    const TRunResult r = wmlscript::Run(main, "f", {}, browser, random, options);
    EXPECT_EQ(r.Status == TRunStatus::Returned, allowed) << caller << ": " << r.Message;
  }
}

TEST(WmlscriptInterpreter, RefusesCallsToMissingFunctionsOrWithWrongArgumentCounts) {
  testing::TFakeBrowser browser;
  const TUnit unit = Load("extern function f(a) { return a; }\nfunction g() {}\n");
  EXPECT_EQ(Call(unit, "g", {}, browser).Message, "в сценарии нет функции extern «g»");
  EXPECT_EQ(Call(unit, "f", {}, browser).Message,
            "функция «f» принимает 1 аргументов, а передано 0");
  EXPECT_EQ(Describe(Call(unit, "f", {TValue::String("x")}, browser).Value), "\"x\"");
}

TEST(WmlscriptInterpreter, StopsAtEveryLimitAndDropsTheNavigation) {
  testing::TFakeBrowser browser;
  const TUnit unit = Load(
      "extern function spin() { WMLBrowser.go(\"x.wml\"); while (true) ; }\n"
      "extern function deep(n) { return deep(n + 1) + 1; }\n"
      "extern function hold() { var a = \"\", b, c; for (var i = 0; i < 12; i++) a = a + "
      "\"0123456789\"; b = a + a; c = b + a; return String.length(c); }\n"
      "extern function grow() { var a = \"\"; for (var i = 0; i < 300; i++) a = a + "
      "\"0123456789\"; return String.length(a); }\n");
  TLimits limits;
  limits.Instructions = 1000;
  const TRunResult spin = Call(unit, "spin", {}, browser, limits);
  EXPECT_EQ(spin.Status, TRunStatus::Failed);
  EXPECT_EQ(spin.Message,
            "выполнено больше 1000 инструкций: сценарий остановлен (бесконечный цикл?)");
  EXPECT_EQ(spin.Navigation, TNavigation::None);

  limits = {};
  limits.CallDepth = 10;
  EXPECT_EQ(Call(unit, "deep", {TValue::Integer(0)}, browser, limits).Message,
            "слишком глубокая вложенность вызовов (предел 10)");
  limits = {};
  limits.OperandStack = 50;
  EXPECT_EQ(Call(unit, "deep", {TValue::Integer(0)}, browser, limits).Message,
            "стек операндов переполнен (предел 50 значений)");

  limits = {};
  limits.StringLength = 200;
  EXPECT_EQ(Call(unit, "hold", {}, browser, limits).Message, "строка длиннее предела в 200 байт");
  limits = {};
  limits.Memory = 2000;
  EXPECT_EQ(Call(unit, "grow", {}, browser, limits).Message, "сценарий занял больше 1 КБ памяти");
  EXPECT_EQ(Describe(Call(unit, "grow", {}, browser).Value), "3000");
  EXPECT_EQ(Describe(Call(unit, "hold", {}, browser).Value), "360");
}

// A unit compiled from source keeps its lines beside it: a script that stops
// names the function, the offset of the failing instruction and its line.
TEST(WmlscriptInterpreter, StopsAtTheSourceLineOfTheFailingInstruction) {
  const std::string source =
      "use url gone \"missing.wmls\";\n"                  // 1
      "extern function stop(why) {\n"                     // 2
      "  var a = 1;\n"                                    // 3
      "  Lang.abort(\"нет \" +\n"                         // 4
      "    why);\n"                                       // 5
      "}\n"                                               // 6
      "extern function spin() {\n"                        // 7
      "  var i = 0;\n"                                    // 8
      "  while (true) { i++; }\n"                         // 9
      "}\n"                                               // 10
      "function down(n) {\n"                              // 11
      "  return down(n + 1);\n"                           // 12
      "}\n"                                               // 13
      "extern function deep() { return 1 + down(0); }\n"  // 14
      "extern function far() {\n"                         // 15
      "  return gone#f();\n"                              // 16
      "}\n"                                               // 17
      "extern function long() { var s = \"ab\";\n"        // 18
      "  for (;;) s += s; }\n"                            // 19
      "extern function done() { Lang.exit(7); }\n";       // 20
  const TCompileResult compiled = Compile(source);
  ASSERT_TRUE(compiled.Unit) << FormatDiagnostics("test", compiled.Diagnostics);
  std::string error;
  std::optional<TUnit> bare = LoadUnit(*compiled.Unit, error);
  ASSERT_TRUE(bare) << error;
  TUnit unit = *bare;
  unit.Lines = compiled.Lines;
  testing::TFakeBrowser browser;

  // Lang.abort: at the library call, on the line where the call begins.
  const TRunResult aborted = Call(unit, "stop", {TValue::String("связи")}, browser);
  ASSERT_EQ(aborted.Status, TRunStatus::Aborted);
  EXPECT_EQ(aborted.Message, "нет связи");
  ASSERT_TRUE(aborted.Place);
  EXPECT_EQ(aborted.Place->Function, *unit.FindExtern("stop"));
  EXPECT_EQ(aborted.Place->Line, 4);
  EXPECT_FALSE(aborted.Place->External);
  const std::string& code = unit.Functions[aborted.Place->Function].Code;
  ASSERT_LT(aborted.Place->Offset, code.size());
  const auto opcode = static_cast<std::uint8_t>(code[aborted.Place->Offset]);
  EXPECT_TRUE((opcode & 0xF8) == op::CALL_LIB_S || opcode == op::CALL_LIB ||
              opcode == op::CALL_LIB_W)
      << int(opcode);

  // The instruction limit, reached inside a loop on one line.
  TLimits limits;
  limits.Instructions = 500;
  const TRunResult spun = Call(unit, "spin", {}, browser, limits);
  ASSERT_EQ(spun.Status, TRunStatus::Failed);
  ASSERT_TRUE(spun.Place);
  EXPECT_EQ(spun.Place->Line, 9);
  EXPECT_EQ(spun.Place->Function, *unit.FindExtern("spin"));

  // Calls nested too deep: at the call of the innermost frame, in the
  // function that made it, not in the extern one the browser called.
  limits = {};
  limits.CallDepth = 5;
  const TRunResult deep = Call(unit, "deep", {}, browser, limits);
  ASSERT_EQ(deep.Status, TRunStatus::Failed) << deep.Message;
  ASSERT_TRUE(deep.Place);
  EXPECT_EQ(deep.Place->Line, 12);
  EXPECT_NE(deep.Place->Function, *unit.FindExtern("deep"));

  // A unit that cannot be loaded, and a string past its limit.
  const TRunResult far = Call(unit, "far", {}, browser);
  ASSERT_EQ(far.Status, TRunStatus::Failed);
  ASSERT_TRUE(far.Place);
  EXPECT_EQ(far.Place->Line, 16);
  limits = {};
  limits.StringLength = 100;
  const TRunResult grown = Call(unit, "long", {}, browser, limits);
  ASSERT_EQ(grown.Status, TRunStatus::Failed);
  ASSERT_TRUE(grown.Place);
  EXPECT_EQ(grown.Place->Line, 19);

  // The same unit read from its bytes alone: the same place, no line.
  const TRunResult bareAbort = Call(*bare, "stop", {TValue::String("связи")}, browser);
  ASSERT_TRUE(bareAbort.Place);
  EXPECT_EQ(bareAbort.Place->Function, aborted.Place->Function);
  EXPECT_EQ(bareAbort.Place->Offset, aborted.Place->Offset);
  EXPECT_EQ(bareAbort.Place->Line, 0);
  // A script that ends with Lang.exit has no place.
  const TRunResult done = Call(unit, "done", {}, browser);
  EXPECT_EQ(done.Status, TRunStatus::Returned);
  EXPECT_FALSE(done.Place);
}

// A failure inside a unit that CALL_URL loaded is that unit's, not a line of
// the unit the browser called.
TEST(WmlscriptInterpreter, PlacesAFailureInALoadedUnitThere) {
  const TCompileResult lib = Compile("extern function boom() {\n  Lang.abort(\"x\");\n}\n");
  ASSERT_TRUE(lib.Unit);
  testing::TFakeBrowser browser;
  browser.Resources["http://example.com/dir/lib.wmls"] = {*lib.Unit,
                                                          "application/vnd.wap.wmlscriptc"};
  const TCompileResult main = Compile(
      "use url other \"lib.wmls\";\n\n\nextern function f() {\n  return other#boom();\n}\n");
  ASSERT_TRUE(main.Unit) << FormatDiagnostics("main", main.Diagnostics);
  std::string error;
  std::optional<TUnit> unit = LoadUnit(*main.Unit, error);
  ASSERT_TRUE(unit) << error;
  unit->Lines = main.Lines;
  const TRunResult r = Call(*unit, "f", {}, browser);
  ASSERT_EQ(r.Status, TRunStatus::Aborted);
  ASSERT_TRUE(r.Place);
  EXPECT_TRUE(r.Place->External);
  EXPECT_EQ(r.Place->Line, 0);
}

TEST(WmlscriptInterpreter, RandomSequencesRepeatForASeed) {
  TRandom a(7), b(7), c(8);
  bool differs = false;
  for (int i = 0; i < 10; ++i) {
    const std::uint32_t x = a.Next();
    EXPECT_EQ(x, b.Next());
    differs = differs || x != c.Next();
  }
  EXPECT_TRUE(differs);
}

TEST(WmlscriptValues, ConvertAsWap193Says) {
  EXPECT_EQ(ToString(TValue::FloatValue(1.5)), "1.5");
  EXPECT_EQ(ToString(TValue::FloatValue(3)), "3.0");
  EXPECT_EQ(ToString(TValue::FloatValue(-0.25)), "-0.25");
  EXPECT_EQ(ToString(TValue::Boolean(false)), "false");
  EXPECT_FALSE(ToString(TValue::Invalid()));
  EXPECT_EQ(ParseIntegerString(" -2147483648 "), INT32_MIN);
  EXPECT_FALSE(ParseIntegerString("2147483648"));
  EXPECT_FALSE(ParseIntegerString("1.0"));
  EXPECT_FALSE(ParseIntegerString(""));
  EXPECT_EQ(ParseFloatString(" .5e1 "), 5.0);
  EXPECT_FALSE(ParseFloatString("1e"));
  EXPECT_FALSE(ParseFloatString("0x10"));
  EXPECT_TRUE(TValue::FloatValue(1e39).IsInvalid());
  EXPECT_EQ(TValue::FloatValue(1e-40).Float, 0.0f);
  EXPECT_TRUE(TValue::Integer(2147483648LL).IsInvalid());
  EXPECT_EQ(ToNumber(TValue::String("12")).Type, TType::Integer);
  EXPECT_EQ(ToNumber(TValue::String("1.25")).Type, TType::Float);
  EXPECT_TRUE(ToNumber(TValue::String("x")).IsInvalid());
  EXPECT_FALSE(ToInteger(TValue::FloatValue(1.0)));
}

}  // namespace
}  // namespace deckhand::wmlscript
