// WMLScript: compiling a 5,000-line script, and the interpreter on a loop of
// a million arithmetic instructions (counter: instructions a second).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "wmlscript/Compiler.h"
#include "wmlscript/Interpreter.h"
#include "wmlscript/Unit.h"

namespace deckhand::wmlscript {

// A script of about `lines` lines: functions of loops, conditions, string
// and library calls, as real scripts mix them (a unit holds at most 255
// functions, so each has several loops).
std::string LongScript(int lines) {
  std::string s = "use url other \"http://example.com/other.wmls\";\n";
  int written = 1, n = 0;
  while (written < lines) {
    const std::string i = std::to_string(n++);
    s += "extern function f" + i + "(a, b) {\n  var total = 0, text = \"item\";\n";
    for (int loop = 0; loop < 8; ++loop) {
      s += "  for (var k" + std::to_string(loop) + " = 0; k" + std::to_string(loop) + " < a; k" +
           std::to_string(loop) +
           "++) {\n"
           "    if (total % 3 == 0 && b != \"x\") { total += a * 2; } else { total -= 1; }\n"
           "    text = text + String.charAt(\"abcdef\", total % 6);\n"
           "  }\n"
           "  while (total > 100) total = total div 2;\n";
    }
    s += "  WMLBrowser.setVar(\"v" + i +
         "\", text + total);\n"
         "  return Lang.max(total, Float.round(1.5 * a)) + other#g(a);\n"
         "}\n";
    written += 5 + 8 * 5;
  }
  return s;
}

void BM_Compile5000Lines(benchmark::State& state) {
  const std::string source = LongScript(5000);
  // bench/wmlscript.sh times wmlsc on the same script.
  if (const char* out = std::getenv("DECKHAND_WMLSCRIPT_BENCH_SOURCE")) {
    std::ofstream(out, std::ios::binary) << source;
  }
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
