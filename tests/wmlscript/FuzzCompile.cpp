// libFuzzer target: the WMLScript compiler on arbitrary source bytes. Every
// unit it writes must pass the verifier.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "wmlscript/Compiler.h"
#include "wmlscript/Unit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace deckhand::wmlscript;
  const TCompileResult result =
      Compile(std::string_view(reinterpret_cast<const char*>(data), size));
  (void)FormatDiagnostics("fuzz.wmls", result.Diagnostics);
  if (result.Unit) {
    std::string error;
    if (!LoadUnit(*result.Unit, error)) std::abort();  // the compiler wrote a unit it refuses
  }
  return 0;
}
