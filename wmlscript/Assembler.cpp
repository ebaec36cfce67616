#include "wmlscript/Assembler.h"

#include "wmlscript/Bytecode.h"

namespace deckhand::wmlscript {
namespace {

std::size_t FixedSize(const TIns& ins) {
  switch (ins.Kind) {
    case TInsKind::Op:
      return 1;
    case TInsKind::OpVar:
      return 2;
    case TInsKind::Label:
      return 0;
    case TInsKind::LoadVar:
      return ins.A <= 31 ? 1 : 2;
    case TInsKind::StoreVar:
      return ins.A <= 15 ? 1 : 2;
    case TInsKind::IncrVar:
      return ins.A <= 7 ? 1 : 2;
    case TInsKind::LoadConst:
      return ins.A <= 15 ? 1 : ins.A <= 255 ? 2 : 3;
    case TInsKind::Call:
      return ins.A <= 7 ? 1 : 2;
    case TInsKind::CallLib:
      return ins.A <= 7 && ins.B <= 255 ? 2 : ins.B <= 255 ? 3 : 4;
    case TInsKind::CallUrl:
      return ins.A <= 255 && ins.B <= 255 ? 4 : 6;
    case TInsKind::Jump:
    case TInsKind::TJump:
      return 0;
  }
  return 1;
}

void Put16(std::string& out, std::uint32_t v) {
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
  out.push_back(static_cast<char>(v & 0xFF));
}

bool EndsFlow(const TIns& ins) {
  return ins.Kind == TInsKind::Jump ||
         (ins.Kind == TInsKind::Op && (ins.Opcode == op::RETURN || ins.Opcode == op::RETURN_ES));
}

}  // namespace

void RemoveDeadCode(std::vector<TIns>& code) {
  for (bool changed = true; changed;) {
    changed = false;
    std::vector<TIns> out;
    out.reserve(code.size());
    bool dead = false;
    for (std::size_t i = 0; i < code.size(); ++i) {
      const TIns& ins = code[i];
      if (ins.Kind == TInsKind::Label) dead = false;
      if (dead) {
        changed = true;
        continue;
      }
      if (ins.Kind == TInsKind::Jump || ins.Kind == TInsKind::TJump) {
        bool next = false;
        for (std::size_t j = i + 1; j < code.size() && code[j].Kind == TInsKind::Label; ++j) {
          next = next || code[j].A == ins.A;
        }
        if (next) {
          // A jump to where the code goes anyway; a TJUMP still pops.
          if (ins.Kind == TInsKind::TJump)
            out.push_back({TInsKind::Op, op::POP, 0, 0, 0, ins.Line});
          changed = true;
          continue;
        }
      }
      out.push_back(ins);
      if (EndsFlow(ins)) dead = true;
    }
    code = std::move(out);
  }
}

std::optional<std::string> Assemble(const std::vector<TIns>& code, std::uint32_t labelCount,
                                    std::vector<TLineTable::TEntry>* lines) {
  std::vector<std::size_t> size(code.size());
  std::vector<std::size_t> start(code.size());
  std::vector<std::size_t> label(labelCount, 0);
  for (std::size_t i = 0; i < code.size(); ++i) {
    size[i] = FixedSize(code[i]);
    if (code[i].Kind == TInsKind::Jump) size[i] = 1;
    if (code[i].Kind == TInsKind::TJump) size[i] = 1;
  }
  // Jumps start at their shortest form and grow until every one reaches;
  // sizes only grow, so this ends.
  for (bool changed = true; changed;) {
    changed = false;
    std::size_t pc = 0;
    for (std::size_t i = 0; i < code.size(); ++i) {
      start[i] = pc;
      if (code[i].Kind == TInsKind::Label) label[code[i].A] = pc;
      pc += size[i];
    }
    for (std::size_t i = 0; i < code.size(); ++i) {
      const TIns& ins = code[i];
      if (ins.Kind != TInsKind::Jump && ins.Kind != TInsKind::TJump) continue;
      const std::size_t target = label[ins.A];
      std::size_t need;
      if (target > start[i]) {
        const std::size_t distance = target - (start[i] + size[i]);
        need = distance <= 31 ? 1 : distance <= 255 ? 2 : 3;
      } else {
        const std::size_t distance = start[i] - target;
        need = distance <= 31 && ins.Kind == TInsKind::Jump ? 1 : distance <= 255 ? 2 : 3;
      }
      if (need > size[i]) {
        size[i] = need;
        changed = true;
      }
    }
  }
  std::string out;
  for (std::size_t i = 0; i < code.size(); ++i) {
    const TIns& ins = code[i];
    if (lines && ins.Line > 0 && size[i] > 0 && (lines->empty() || lines->back().Line != ins.Line))
      lines->push_back({static_cast<std::uint32_t>(start[i]), ins.Line});
    switch (ins.Kind) {
      case TInsKind::Op:
        out.push_back(static_cast<char>(ins.Opcode));
        break;
      case TInsKind::OpVar:
        out.push_back(static_cast<char>(ins.Opcode));
        out.push_back(static_cast<char>(ins.A));
        break;
      case TInsKind::Label:
        break;
      case TInsKind::LoadVar:
      case TInsKind::StoreVar:
      case TInsKind::IncrVar: {
        const std::uint8_t shortOp = ins.Kind == TInsKind::LoadVar    ? op::LOAD_VAR_S
                                     : ins.Kind == TInsKind::StoreVar ? op::STORE_VAR_S
                                                                      : op::INCR_VAR_S;
        const std::uint8_t longOp = ins.Kind == TInsKind::LoadVar    ? op::LOAD_VAR
                                    : ins.Kind == TInsKind::StoreVar ? op::STORE_VAR
                                                                     : op::INCR_VAR;
        if (size[i] == 1) {
          out.push_back(static_cast<char>(shortOp | ins.A));
        } else {
          out.push_back(static_cast<char>(longOp));
          out.push_back(static_cast<char>(ins.A));
        }
        break;
      }
      case TInsKind::LoadConst:
        if (size[i] == 1) {
          out.push_back(static_cast<char>(op::LOAD_CONST_S | ins.A));
        } else if (size[i] == 2) {
          out.push_back(static_cast<char>(op::LOAD_CONST));
          out.push_back(static_cast<char>(ins.A));
        } else {
          out.push_back(static_cast<char>(op::LOAD_CONST_W));
          Put16(out, ins.A);
        }
        break;
      case TInsKind::Call:
        if (size[i] == 1) {
          out.push_back(static_cast<char>(op::CALL_S | ins.A));
        } else {
          out.push_back(static_cast<char>(op::CALL));
          out.push_back(static_cast<char>(ins.A));
        }
        break;
      case TInsKind::CallLib:
        if (size[i] == 2) {
          out.push_back(static_cast<char>(op::CALL_LIB_S | ins.A));
          out.push_back(static_cast<char>(ins.B));
        } else if (size[i] == 3) {
          out.push_back(static_cast<char>(op::CALL_LIB));
          out.push_back(static_cast<char>(ins.A));
          out.push_back(static_cast<char>(ins.B));
        } else {
          out.push_back(static_cast<char>(op::CALL_LIB_W));
          out.push_back(static_cast<char>(ins.A));
          Put16(out, ins.B);
        }
        break;
      case TInsKind::CallUrl:
        if (size[i] == 4) {
          out.push_back(static_cast<char>(op::CALL_URL));
          out.push_back(static_cast<char>(ins.A));
          out.push_back(static_cast<char>(ins.B));
        } else {
          out.push_back(static_cast<char>(op::CALL_URL_W));
          Put16(out, ins.A);
          Put16(out, ins.B);
        }
        out.push_back(static_cast<char>(ins.C));
        break;
      case TInsKind::Jump:
      case TInsKind::TJump: {
        const std::size_t target = label[ins.A];
        const bool t = ins.Kind == TInsKind::TJump;
        if (target > start[i]) {
          const std::size_t d = target - (start[i] + size[i]);
          if (size[i] == 1) {
            out.push_back(static_cast<char>((t ? op::TJUMP_FW_S : op::JUMP_FW_S) | d));
          } else if (size[i] == 2) {
            out.push_back(static_cast<char>(t ? op::TJUMP_FW : op::JUMP_FW));
            out.push_back(static_cast<char>(d));
          } else {
            if (d > 0xFFFF) return std::nullopt;
            out.push_back(static_cast<char>(t ? op::TJUMP_FW_W : op::JUMP_FW_W));
            Put16(out, static_cast<std::uint32_t>(d));
          }
        } else {
          const std::size_t d = start[i] - target;
          if (size[i] == 1) {
            out.push_back(static_cast<char>(op::JUMP_BW_S | d));
          } else if (size[i] == 2) {
            out.push_back(static_cast<char>(t ? op::TJUMP_BW : op::JUMP_BW));
            out.push_back(static_cast<char>(d));
          } else {
            if (d > 0xFFFF) return std::nullopt;
            out.push_back(static_cast<char>(t ? op::TJUMP_BW_W : op::JUMP_BW_W));
            Put16(out, static_cast<std::uint32_t>(d));
          }
        }
        break;
      }
    }
  }
  return out;
}

}  // namespace deckhand::wmlscript
