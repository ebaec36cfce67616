// The operators of WMLScript 1.1 with their type rules (WAP-193 §6.3 and
// the conversion rules of §6.8): any operand that is invalid, or that does
// not convert to the type the operator needs, makes the result invalid.
#pragma once

#include <cstdint>

#include "wmlscript/Value.h"

namespace deckhand::wmlscript {

// The binary operator of the opcode (ADD ... NE).
TValue BinaryOperator(std::uint8_t opcode, const TValue& a, const TValue& b);
// The unary operator of the opcode (UMINUS, B_NOT, NOT, TOBOOL, TYPEOF,
// ISVALID, INCR, DECR).
TValue UnaryOperator(std::uint8_t opcode, const TValue& a);

}  // namespace deckhand::wmlscript
