// Unsigned 128-bit arithmetic in two 64-bit halves, for the gauge's exact
// sums and products. Plain standard C++, so the results are the same on every
// architecture and compiler, whatever their long double or extended integers.
#pragma once

#include <cstdint>

namespace deckhand {

struct TWide {
  std::uint64_t hi = 0;
  std::uint64_t lo = 0;

  friend bool operator==(const TWide&, const TWide&) = default;
  friend bool operator<(const TWide& a, const TWide& b) {
    return a.hi != b.hi ? a.hi < b.hi : a.lo < b.lo;
  }
  friend bool operator<=(const TWide& a, const TWide& b) { return !(b < a); }
};

// The full product of two 64-bit numbers, from four 32-bit partial products.
inline TWide MulWide(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t aLo = a & 0xFFFFFFFFu, aHi = a >> 32;
  const std::uint64_t bLo = b & 0xFFFFFFFFu, bHi = b >> 32;
  const std::uint64_t lolo = aLo * bLo, lohi = aLo * bHi, hilo = aHi * bLo, hihi = aHi * bHi;
  // The middle column: at most three 32-bit quantities, so no overflow.
  const std::uint64_t middle = (lolo >> 32) + (lohi & 0xFFFFFFFFu) + (hilo & 0xFFFFFFFFu);
  TWide product;
  product.lo = (middle << 32) | (lolo & 0xFFFFFFFFu);
  product.hi = hihi + (lohi >> 32) + (hilo >> 32) + (middle >> 32);
  return product;
}

// a + b; *carry is set when the sum needs a 129th bit.
inline TWide AddWide(const TWide& a, const TWide& b, bool* carry) {
  TWide sum;
  sum.lo = a.lo + b.lo;
  const std::uint64_t low_carry = sum.lo < a.lo ? 1 : 0;
  sum.hi = a.hi + b.hi + low_carry;
  *carry = sum.hi < a.hi || (sum.hi == a.hi && low_carry != 0);
  return sum;
}

// The number of significant bits: 0 for zero, 128 when the top bit is set.
inline int BitLength(const TWide& v) {
  int bits = 0;
  for (std::uint64_t rest = v.hi; rest != 0; rest >>= 1) ++bits;
  if (bits != 0) return bits + 64;
  for (std::uint64_t rest = v.lo; rest != 0; rest >>= 1) ++bits;
  return bits;
}

// v >> shift for shift in [0, 127].
inline TWide ShiftRight(const TWide& v, int shift) {
  if (shift == 0) return v;
  if (shift >= 64) return {0, v.hi >> (shift - 64)};
  return {v.hi >> shift, (v.lo >> shift) | (v.hi << (64 - shift))};
}

// The low `shift` bits of v, for shift in [1, 127].
inline TWide LowBits(const TWide& v, int shift) {
  if (shift >= 64) {
    const std::uint64_t mask = shift == 64 ? 0 : (std::uint64_t{1} << (shift - 64)) - 1;
    return {v.hi & mask, v.lo};
  }
  return {0, v.lo & ((std::uint64_t{1} << shift) - 1)};
}

// A binary floating-point magnitude: significand x 2^exponent.
struct TScaled {
  std::uint64_t significand = 0;
  int exponent = 0;
};

// v x 2^exponent rounded to a 64-bit significand, halves to the even one: the
// rounding of every operation on a 64-bit-significand (x87 extended) number.
inline TScaled RoundToSignificand(const TWide& v, int exponent) {
  const int bits = BitLength(v);
  if (bits <= 64) return {v.lo, exponent};
  const int shift = bits - 64;
  std::uint64_t kept = ShiftRight(v, shift).lo;
  const TWide dropped = LowBits(v, shift);
  const TWide half = shift > 64 ? TWide{std::uint64_t{1} << (shift - 65), 0}
                                : TWide{0, std::uint64_t{1} << (shift - 1)};
  if (half < dropped || (dropped == half && (kept & 1) != 0)) {
    ++kept;
    // All ones rounded up: 2^64, which is 2^63 one binary place higher.
    if (kept == 0) return {std::uint64_t{1} << 63, exponent + shift + 1};
  }
  return {kept, exponent + shift};
}

}  // namespace deckhand
