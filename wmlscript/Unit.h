// A WMLScript compilation unit read from its bytes and verified (WAP-193
// §10 and §11.3): a unit that fails verification is never run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "wmlscript/Bytecode.h"
#include "wmlscript/Compiler.h"
#include "wmlscript/Value.h"

namespace deckhand::wmlscript {

struct TPragma {
  TPragmaType Type;
  std::uint32_t A = 0, B = 0, C = 0;  // constant indexes (domain/path; name, content, scheme)
};

struct TUnitFunction {
  std::uint8_t Arguments = 0;
  std::uint8_t Locals = 0;
  std::string Code;
  std::string Name;            // extern functions only
  std::uint32_t MaxStack = 0;  // deepest operand stack the code reaches
};

struct TUnit {
  std::uint8_t Version = 0;
  std::uint16_t Charset = 0;
  std::vector<TValue> Constants;  // strings decoded to UTF-8
  std::vector<TPragma> Pragmas;
  std::vector<TUnitFunction> Functions;
  // The source lines of the code when the unit was compiled here from its
  // source (given by whoever compiled it, TCompileResult::Lines); empty
  // for a unit read from compiled bytes alone. Not part of the bytes.
  TLineTable Lines;

  // The index of the extern function of that name; empty when none.
  std::optional<std::size_t> FindExtern(std::string_view name) const;
};

// Reads and verifies a unit. On failure, error holds the reason in Russian.
std::optional<TUnit> LoadUnit(std::string_view bytes, std::string& error);

}  // namespace deckhand::wmlscript
