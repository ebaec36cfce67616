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
std::optional<std::string> GenerateUnit(const TUnitTree& tree,
                                        std::vector<TDiagnostic>& diagnostics);

}  // namespace deckhand::wmlscript
