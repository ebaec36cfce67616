// libFuzzer target: the verifier and the interpreter on arbitrary unit
// bytes. A unit the verifier accepts runs every extern function with
// arguments of each type, within small limits. Bytes that are no unit are
// compiled as a script, and a unit that comes of it runs the same way, so
// that the script corpus seeds the interpreter.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "FakeBrowser.h"
#include "wmlscript/Compiler.h"
#include "wmlscript/Interpreter.h"
#include "wmlscript/Unit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace deckhand::wmlscript;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string error;
  std::optional<TUnit> unit = LoadUnit(bytes, error);
  if (!unit) {
    const TCompileResult compiled = Compile(bytes);
    if (!compiled.Unit) return 0;
    unit = LoadUnit(*compiled.Unit, error);
    if (!unit) std::abort();  // the compiler wrote a unit the verifier refuses
  }
  testing::TFakeBrowser browser;
  TRandom random;
  TRunOptions options;
  options.ScriptUrl = "http://example.com/fuzz.wmls";
  options.Limits.Instructions = 20000;
  options.Limits.Memory = 1 << 20;
  options.Limits.StringLength = 1 << 16;
  const TValue kinds[] = {TValue::Integer(-7), TValue::FloatValue(2.5), TValue::String("a;b c"),
                          TValue::Boolean(true), TValue::Invalid()};
  for (const TUnitFunction& f : unit->Functions) {
    if (f.Name.empty()) continue;
    std::vector<TValue> args;
    for (int i = 0; i < f.Arguments; ++i) args.push_back(kinds[(i + f.Locals) % 5]);
    (void)Run(*unit, f.Name, args, browser, random, options);
  }
  return 0;
}
