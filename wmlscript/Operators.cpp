#include "wmlscript/Operators.h"

#include <cmath>

#include "wmlscript/Bytecode.h"

namespace deckhand::wmlscript {
namespace {

// Both operands as numbers of one type: integers when both are, else floats.
// False when either is invalid or does not convert.
bool Numbers(const TValue& a, const TValue& b, TValue& x, TValue& y) {
  x = ToNumber(a);
  y = ToNumber(b);
  if (x.IsInvalid() || y.IsInvalid()) return false;
  if (x.Type == TType::Float || y.Type == TType::Float) {
    const float fx = x.Type == TType::Float ? x.Float : static_cast<float>(x.Int);
    const float fy = y.Type == TType::Float ? y.Float : static_cast<float>(y.Int);
    x.Type = y.Type = TType::Float;
    x.Float = fx;
    y.Float = fy;
  }
  return true;
}

TValue Arithmetic(std::uint8_t opcode, const TValue& a, const TValue& b) {
  TValue x, y;
  if (!Numbers(a, b, x, y)) return TValue::Invalid();
  if (x.Type == TType::Integer) {
    const std::int64_t p = x.Int, q = y.Int;
    switch (opcode) {
      case op::ADD:
        return TValue::Integer(p + q);
      case op::SUB:
        return TValue::Integer(p - q);
      case op::MUL:
        return TValue::Integer(p * q);
      default:
        break;
    }
  }
  const double p = x.Type == TType::Float ? x.Float : x.Int;
  const double q = y.Type == TType::Float ? y.Float : y.Int;
  switch (opcode) {
    case op::ADD:
      return TValue::FloatValue(static_cast<double>(static_cast<float>(p + q)));
    case op::SUB:
      return TValue::FloatValue(static_cast<double>(static_cast<float>(p - q)));
    case op::MUL:
      return TValue::FloatValue(p * q);
    default:
      return TValue::Invalid();
  }
}

TValue Divide(const TValue& a, const TValue& b) {
  // "/" always gives a float (WAP-193 §6.3.2).
  const TValue x = ToNumber(a), y = ToNumber(b);
  if (x.IsInvalid() || y.IsInvalid()) return TValue::Invalid();
  const double p = x.Type == TType::Float ? x.Float : x.Int;
  const double q = y.Type == TType::Float ? y.Float : y.Int;
  if (q == 0) return TValue::Invalid();
  return TValue::FloatValue(p / q);
}

TValue IntegerOperator(std::uint8_t opcode, const TValue& a, const TValue& b) {
  const std::optional<std::int32_t> x = ToInteger(a), y = ToInteger(b);
  if (!x || !y) return TValue::Invalid();
  const std::int64_t p = *x, q = *y;
  const auto ux = static_cast<std::uint32_t>(*x);
  const int shift = *y & 31;
  switch (opcode) {
    case op::IDIV:
      return q == 0 ? TValue::Invalid() : TValue::Integer(p / q);
    case op::REM:
      return q == 0 ? TValue::Invalid() : TValue::Integer(p % q);
    case op::B_AND:
      return TValue::Integer(*x & *y);
    case op::B_OR:
      return TValue::Integer(*x | *y);
    case op::B_XOR:
      return TValue::Integer(*x ^ *y);
    case op::B_LSHIFT:
      return TValue::Integer(static_cast<std::int32_t>(ux << shift));
    case op::B_RSSHIFT:
      return TValue::Integer(*x >> shift);
    case op::B_RSZSHIFT:
      return TValue::Integer(static_cast<std::int32_t>(ux >> shift));
    default:
      return TValue::Invalid();
  }
}

TValue Compare(std::uint8_t opcode, const TValue& a, const TValue& b) {
  if (a.IsInvalid() || b.IsInvalid()) return TValue::Invalid();
  int order;
  if (a.Type == TType::String || b.Type == TType::String) {
    // Strings compare by character codes: UTF-8 byte order is code point order.
    const std::string x = *ToString(a), y = *ToString(b);
    order = x.compare(y);
  } else {
    TValue x, y;
    if (!Numbers(a, b, x, y)) return TValue::Invalid();
    if (x.Type == TType::Integer) {
      order = x.Int < y.Int ? -1 : x.Int > y.Int ? 1 : 0;
    } else {
      order = x.Float < y.Float ? -1 : x.Float > y.Float ? 1 : 0;
    }
  }
  switch (opcode) {
    case op::EQ:
      return TValue::Boolean(order == 0);
    case op::NE:
      return TValue::Boolean(order != 0);
    case op::LT:
      return TValue::Boolean(order < 0);
    case op::LE:
      return TValue::Boolean(order <= 0);
    case op::GT:
      return TValue::Boolean(order > 0);
    default:
      return TValue::Boolean(order >= 0);
  }
}

}  // namespace

TValue BinaryOperator(std::uint8_t opcode, const TValue& a, const TValue& b) {
  switch (opcode) {
    case op::ADD:
      if (a.IsInvalid() || b.IsInvalid()) return TValue::Invalid();
      if (a.Type == TType::String || b.Type == TType::String) {
        return TValue::String(*ToString(a) + *ToString(b));
      }
      return Arithmetic(opcode, a, b);
    case op::SUB:
    case op::MUL:
      return Arithmetic(opcode, a, b);
    case op::DIV:
      return Divide(a, b);
    case op::IDIV:
    case op::REM:
    case op::B_AND:
    case op::B_OR:
    case op::B_XOR:
    case op::B_LSHIFT:
    case op::B_RSSHIFT:
    case op::B_RSZSHIFT:
      return IntegerOperator(opcode, a, b);
    default:
      return Compare(opcode, a, b);
  }
}

TValue UnaryOperator(std::uint8_t opcode, const TValue& a) {
  switch (opcode) {
    case op::UMINUS:
    case op::INCR:
    case op::DECR: {
      const TValue x = ToNumber(a);
      if (x.IsInvalid()) return x;
      const int delta = opcode == op::INCR ? 1 : opcode == op::DECR ? -1 : 0;
      if (x.Type == TType::Integer) {
        return TValue::Integer(delta ? std::int64_t{x.Int} + delta : -std::int64_t{x.Int});
      }
      return TValue::FloatValue(delta ? static_cast<double>(static_cast<float>(x.Float + delta))
                                      : -static_cast<double>(x.Float));
    }
    case op::B_NOT: {
      const std::optional<std::int32_t> x = ToInteger(a);
      return x ? TValue::Integer(~*x) : TValue::Invalid();
    }
    case op::NOT: {
      const std::optional<bool> x = ToBoolean(a);
      return x ? TValue::Boolean(!*x) : TValue::Invalid();
    }
    case op::TOBOOL: {
      const std::optional<bool> x = ToBoolean(a);
      return x ? TValue::Boolean(*x) : TValue::Invalid();
    }
    case op::TYPEOF:
      return TValue::Integer(static_cast<int>(a.Type));
    case op::ISVALID:
      return TValue::Boolean(!a.IsInvalid());
    default:
      return TValue::Invalid();
  }
}

}  // namespace deckhand::wmlscript
