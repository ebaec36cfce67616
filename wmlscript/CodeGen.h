// Code generation: a syntax tree to a WMLScript 1.1 compilation unit
// (WAP-193 §10), with the semantic checks the grammar leaves out.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "wmlscript/Ast.h"
#include "wmlscript/Compiler.h"

namespace deckhand::wmlscript {

// The unit's bytes; empty when there is an error (reported in diagnostics).
// When lines is given, it receives the source lines of the unit's code.
std::optional<std::string> GenerateUnit(const TUnitTree& tree,
                                        std::vector<TDiagnostic>& diagnostics,
                                        TLineTable* lines = nullptr);

}  // namespace deckhand::wmlscript
