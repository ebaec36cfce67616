// WMLScript: compiling a 5,000-line script, and the interpreter on a loop of
// a million arithmetic instructions (counter: instructions a second).
#include <benchmark/benchmark.h>

#include <string>

#include "wmlscript/Compiler.h"
#include "wmlscript/Interpreter.h"
#include "wmlscript/Unit.h"

namespace deckhand::wmlscript {

// A script of about lines lines: functions of loops, conditions, string and
// library calls, as real scripts mix them.
std::string LongScript(int lines) {
  std::string s = "use url other \"http://example.com/other.wmls\";\n";
  int written = 1, n = 0;
  while (written < lines) {
    const std::string i = std::to_string(n++);
    s += "extern function f" + i +
         "(a, b) {\n"
         "  var total = 0, text = \"item\";\n"
         "  for (var k = 0; k < a; k++) {\n"
         "    if (k % 3 == 0 && b != \"x\") { total += k * 2; } else { total -= 1; }\n"
         "    text = text + String.charAt(\"abcdef\", k % 6);\n"
         "  }\n"
         "  while (total > 100) total = total div 2;\n"
         "  WMLBrowser.setVar(\"v" +
         i +
         "\", text + total);\n"
         "  return Lang.max(total, Float.round(1.5 * a));\n"
         "}\n";
    written += 10;
  }
  return s;
}

void BM_Compile5000Lines(benchmark::State& state) {
  const std::string source = LongScript(5000);
  for (auto _ : state) {
    TCompileResult result = Compile(source);
    benchmark::DoNotOptimize(result.Unit);
    if (!result.Unit) state.SkipWithError("the script does not compile");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source.size()));
}
BENCHMARK(BM_Compile5000Lines)->Unit(benchmark::kMillisecond);

class TNoBrowser : public TBrowser {
 public:
  std::string GetVar(const std::string&) override { return ""; }
  void SetVar(const std::string&, const std::string&) override {}
  void NewContext() override {}
  std::string CurrentCard() override { return ""; }
  void Refresh() override {}
  std::string Prompt(const std::string&, const std::string& d) override { return d; }
  bool Confirm(const std::string&, const std::string&, const std::string&) override { return true; }
  void Alert(const std::string&) override {}
  std::string Referer() override { return ""; }
  std::optional<TLoaded> Load(const std::string&) override { return std::nullopt; }
};

void BM_InterpretArithmeticLoop(benchmark::State& state) {
  // Each turn: load, load, add, store; load, const, mul, const, rem, store;
  // incr_var; load, load, lt, tjump; jump — 16 instructions.
  const std::string source =
      "extern function loop(n) {\n"
      "  var x = 0, y = 1;\n"
      "  for (var i = 0; i < n; i++) { x = x + i; y = y * 3 % 1000; }\n"
      "  return x + y;\n"
      "}\n";
  const TCompileResult compiled = Compile(source);
  std::string error;
  const std::optional<TUnit> unit = LoadUnit(*compiled.Unit, error);
  TNoBrowser browser;
  TRandom random;
  TRunOptions options;
  options.Limits.Instructions = 100'000'000;
  std::uint64_t instructions = 0;
  for (auto _ : state) {
    const TRunResult result =
        Run(*unit, "loop", {TValue::Integer(62500)}, browser, random, options);
    instructions += result.Instructions;
    benchmark::DoNotOptimize(result.Value);
  }
  state.counters["instructions/s"] =
      benchmark::Counter(static_cast<double>(instructions), benchmark::Counter::kIsRate);
  state.counters["instructions/run"] =
      static_cast<double>(instructions) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_InterpretArithmeticLoop)->Unit(benchmark::kMillisecond);

}  // namespace deckhand::wmlscript
