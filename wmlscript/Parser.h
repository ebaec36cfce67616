// The WMLScript 1.1 parser (WAP-193 §6 and the grammar of §10.5): tokens to
// a syntax tree, with syntax errors in Russian.
#pragma once

#include <vector>

#include "wmlscript/Ast.h"
#include "wmlscript/Lexer.h"

namespace deckhand::wmlscript {

// Parses the tokens (ending with an End token). Syntax errors go to
// diagnostics; the tree holds every function that parsed.
TUnitTree Parse(const std::vector<TToken>& tokens, std::vector<TDiagnostic>& diagnostics);

}  // namespace deckhand::wmlscript
