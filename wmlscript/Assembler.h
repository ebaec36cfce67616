// Symbolic WMLScript instructions and their assembly into bytecode: jumps to
// labels and variable, constant and call operands take the shortest
// encoding that reaches (WAP-193 §9).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "wmlscript/Compiler.h"

namespace deckhand::wmlscript {

enum class TInsKind : std::uint8_t {
  Op,         // Opcode alone
  OpVar,      // Opcode with a u8 variable index (DECR_VAR, ADD_ASG, SUB_ASG)
  Label,      // A: label id
  Jump,       // A: label id
  TJump,      // A: label id
  LoadVar,    // A: variable
  StoreVar,   // A: variable
  IncrVar,    // A: variable
  LoadConst,  // A: constant index
  Call,       // A: function index
  CallLib,    // A: function id, B: library id
  CallUrl     // A: URL constant, B: function name constant, C: arguments
};

struct TIns {
  TInsKind Kind;
  std::uint8_t Opcode = 0;
  std::uint32_t A = 0, B = 0, C = 0;
  int Line = 0;  // the source line the instruction comes from; 0 when none
};

// Leaves out code no path reaches (after a return or a jump, up to the next
// label) and jumps to the very next instruction.
void RemoveDeadCode(std::vector<TIns>& code);

// Assembles the instructions of one function; empty when a jump is farther
// than 65,535 bytes (the longest jump WMLScript encodes). When lines is
// given, it receives the offset where each run of one source line starts.
std::optional<std::string> Assemble(const std::vector<TIns>& code, std::uint32_t labelCount,
                                    std::vector<TLineTable::TEntry>* lines = nullptr);

}  // namespace deckhand::wmlscript
