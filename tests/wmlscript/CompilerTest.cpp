// The compiler's output format (WAP-193 §10), its diagnostics as
// deckhand-check prints them, the source encodings, and hostile sources.
#include <gtest/gtest.h>

#include <string>

#include "wmlscript/Bytecode.h"
#include "wmlscript/Compiler.h"
#include "wmlscript/Unit.h"

namespace deckhand::wmlscript {
namespace {

std::string Bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s.push_back(static_cast<char>(b));
  return s;
}

TEST(WmlscriptCompiler, WritesTheUnitLayoutOfWap193) {
  const TCompileResult r = Compile("extern function f(a) { return a + 1; }");
  ASSERT_TRUE(r.Unit);
  // Version 1.1, the size of the rest, no constants, UTF-8 (MIBenum 106), no
  // pragmas, one function named "f" at index 0: one argument, no locals, four
  // bytes of code (LOAD_VAR_S 0, CONST_1, ADD, RETURN).
  EXPECT_EQ(*r.Unit, Bytes({0x01, 0x0F, 0x00, 0x6A, 0x00, 0x01, 0x01, 0x00, 0x01, 'f', 0x01, 0x00,
                            0x04, 0xE0, 0x15, 0x20, 0x3A}));
  EXPECT_EQ(r.Charset, "UTF-8");
}

TEST(WmlscriptCompiler, NamesOnlyExternFunctionsAndCountsLocalsApartFromArguments) {
  const TCompileResult r = Compile(
      "function helper(x, y) { var a, b, c; return x; }\n"
      "extern function main() { var z = helper(1, 2); return z; }\n");
  ASSERT_TRUE(r.Unit);
  std::string error;
  const std::optional<TUnit> unit = LoadUnit(*r.Unit, error);
  ASSERT_TRUE(unit) << error;
  ASSERT_EQ(unit->Functions.size(), 2u);
  // helper is called once, main never: helper comes first.
  EXPECT_EQ(unit->Functions[0].Name, "");
  EXPECT_EQ(unit->Functions[0].Arguments, 2);
  EXPECT_EQ(unit->Functions[0].Locals, 3);
  EXPECT_EQ(unit->Functions[1].Name, "main");
  EXPECT_EQ(unit->Functions[1].Locals, 1);
}

TEST(WmlscriptCompiler, WritesAccessAndUserAgentPragmasToThePragmaPool) {
  const TCompileResult r = Compile(
      "use access domain \"wap.example.com\" path \"/cgi\";\n"
      "use meta name \"author\" \"me\";\n"
      "use meta user agent \"Type\" \"Test\" \"scheme\";\n"
      "extern function f() {}\n");
  ASSERT_TRUE(r.Unit);
  std::string error;
  const std::optional<TUnit> unit = LoadUnit(*r.Unit, error);
  ASSERT_TRUE(unit) << error;
  ASSERT_EQ(unit->Pragmas.size(), 3u);
  EXPECT_EQ(unit->Pragmas[0].Type, TPragmaType::AccessDomain);
  EXPECT_EQ(unit->Constants[unit->Pragmas[0].A].Str, "wap.example.com");
  EXPECT_EQ(unit->Pragmas[1].Type, TPragmaType::AccessPath);
  EXPECT_EQ(unit->Constants[unit->Pragmas[1].A].Str, "/cgi");
  EXPECT_EQ(unit->Pragmas[2].Type, TPragmaType::UserAgentPropertyAndScheme);
  EXPECT_EQ(unit->Constants[unit->Pragmas[2].C].Str, "scheme");
  // A second access pragma is refused.
  const TCompileResult twice =
      Compile("use access domain \"a\";\nuse access path \"/b\";\nextern function f() {}\n");
  EXPECT_FALSE(twice.Unit);
  ASSERT_EQ(twice.Diagnostics.size(), 1u);
  EXPECT_EQ(twice.Diagnostics[0].Line, 2);
}

TEST(WmlscriptCompiler, FormatsDiagnosticsAsTheDeckCheckerDoes) {
  const TCompileResult r = Compile("function f() {}\nextern function g() { return x; }\n");
  EXPECT_FALSE(r.Unit);
  EXPECT_EQ(FormatDiagnostics("calc.wmls", r.Diagnostics),
            "calc.wmls:2:30: ошибка: переменная «x» не объявлена (нужно var x;)\n");
  const TCompileResult w = Compile("function f() {}\n");
  EXPECT_TRUE(w.Unit);
  EXPECT_EQ(FormatDiagnostics("a.wmls", w.Diagnostics),
            "a.wmls:1:10: предупреждение: в сценарии нет ни одной функции extern: браузер не "
            "сможет вызвать ни одну\n");
}

TEST(WmlscriptCompiler, ReadsUtf8WithByteOrderMarkWindows1251AndRefusesOtherCharsets) {
  const TCompileResult bom = Compile(
      "\xEF\xBB\xBF"
      "extern function f() { return \"\xD0\xB4\"; }");
  ASSERT_TRUE(bom.Unit);
  EXPECT_EQ(bom.Charset, "UTF-8");
  const TCompileResult cp = Compile("extern function f() { return \"\xE4\xE0\"; }");
  ASSERT_TRUE(cp.Unit);
  EXPECT_EQ(cp.Charset, "windows-1251");
  std::string error;
  const std::optional<TUnit> unit = LoadUnit(*cp.Unit, error);
  ASSERT_TRUE(unit);
  EXPECT_EQ(unit->Constants[0].Str, "\xD0\xB4\xD0\xB0");  // "да" in UTF-8
  const TCompileResult other = Compile(
      "use meta http equiv \"Content-Type\" \"text/vnd.wap.wmlscript; charset=koi8-r\";\n"
      "extern function f() {}\n");
  EXPECT_FALSE(other.Unit);
  ASSERT_EQ(other.Diagnostics.size(), 1u);
  EXPECT_NE(other.Diagnostics[0].Message.find("koi8-r"), std::string::npos);
}

TEST(WmlscriptCompiler, ReportsErrorsOfEveryFunctionAndStopsAtTheLimit) {
  std::string source;
  for (int i = 0; i < 150; ++i) source += "extern function f" + std::to_string(i) + "() { x; }\n";
  const TCompileResult r = Compile(source);
  EXPECT_FALSE(r.Unit);
  EXPECT_GE(r.Diagnostics.size(), 100u);
  EXPECT_LE(r.Diagnostics.size(), kMaxCompileErrors + 1);
  EXPECT_EQ(r.Diagnostics[1].Line, 2);
}

TEST(WmlscriptCompiler, RefusesHostileNestingWithoutExhaustingTheStack) {
  const std::string deep = "extern function f() { return " + std::string(100000, '(') + "1" +
                           std::string(100000, ')') + "; }";
  const TCompileResult r = Compile(deep);
  EXPECT_FALSE(r.Unit);
  ASSERT_FALSE(r.Diagnostics.empty());
  EXPECT_EQ(r.Diagnostics[0].Message, "слишком глубокая вложенность");
  std::string blocks = "extern function f() { ";
  for (int i = 0; i < 100000; ++i) blocks += "if (1) ";
  blocks += "; }";
  EXPECT_FALSE(Compile(blocks).Unit);
  std::string unary = "extern function f() { return " + std::string(100000, '-') + "1; }";
  EXPECT_FALSE(Compile(unary).Unit);
}

TEST(WmlscriptCompiler, RefusesMoreThan255FunctionsOrVariables) {
  std::string source;
  for (int i = 0; i < 256; ++i) source += "extern function f" + std::to_string(i) + "() {}\n";
  const TCompileResult functions = Compile(source);
  EXPECT_FALSE(functions.Unit);
  std::string vars = "extern function f() { var v0";
  for (int i = 1; i < 257; ++i) vars += ", v" + std::to_string(i);
  vars += "; }";
  const TCompileResult variables = Compile(vars);
  EXPECT_FALSE(variables.Unit);
  ASSERT_FALSE(variables.Diagnostics.empty());
  EXPECT_EQ(variables.Diagnostics[0].Message, "в функции больше 255 переменных и параметров");
}

TEST(WmlscriptBytecode, MultiByteIntegersRoundTripAndRefuseOverlongOnes) {
  for (std::uint32_t v : {0u, 1u, 127u, 128u, 16383u, 16384u, 0x0FFFFFFFu, 0xFFFFFFFFu}) {
    std::string s;
    AppendMbUint(s, v);
    std::size_t pos = 0;
    EXPECT_EQ(ReadMbUint(s, pos), v);
    EXPECT_EQ(pos, s.size());
  }
  std::string one;
  AppendMbUint(one, 128);
  EXPECT_EQ(one, Bytes({0x81, 0x00}));
  std::size_t pos = 0;
  EXPECT_FALSE(ReadMbUint(Bytes({0x81, 0x80, 0x80, 0x80, 0x80, 0x00}), pos));
  pos = 0;
  EXPECT_FALSE(ReadMbUint(Bytes({0x90, 0x80, 0x80, 0x80, 0x00}), pos));  // over 32 bits
  pos = 0;
  EXPECT_FALSE(ReadMbUint(Bytes({0x81}), pos));  // cut short
}

}  // namespace
}  // namespace deckhand::wmlscript
