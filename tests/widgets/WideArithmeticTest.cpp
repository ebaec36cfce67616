// The gauge's two-halves 128-bit arithmetic against the compiler's own
// 128-bit integers, on the carries and roundings where a slip would hide.
#include "widgets/WideArithmetic.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace deckhand {
namespace {

#if defined(__SIZEOF_INT128__)
__extension__ using U128 = unsigned __int128;

U128 Join(const TWide& v) { return (U128(v.hi) << 64) | v.lo; }

std::vector<std::uint64_t> Awkward() {
  return {0,
          1,
          2,
          0xFFFFFFFFu,
          0x100000000u,
          0x1FFFFFFFFu,
          0x8000000000000000u,
          0xFFFFFFFF00000000u,
          0xFFFFFFFFFFFFFFFFu,
          11805916207174113034u};
}
#endif

TEST(WideArithmeticTest, ProductsAndSumsMatchNativeIntegers) {
#if !defined(__SIZEOF_INT128__)
  GTEST_SKIP() << "no 128-bit integers to compare with";
#else
  std::vector<std::uint64_t> values = Awkward();
  std::mt19937_64 random(3);
  for (int i = 0; i < 200; ++i) values.push_back(random() >> (random() % 64));
  for (std::uint64_t a : values)
    for (std::uint64_t b : values) {
      const TWide product = MulWide(a, b);
      ASSERT_EQ(Join(product), U128(a) * b) << a << " x " << b;
      const TWide other = MulWide(b ^ a, a);
      bool carry = false;
      const TWide sum = AddWide(product, other, &carry);
      const U128 expected = Join(product) + Join(other);
      ASSERT_EQ(Join(sum), expected);
      ASSERT_EQ(carry, expected < Join(product)) << a << " " << b;
      ASSERT_EQ(Join(product) <= Join(other), product <= other);
    }
  bool carry = false;
  AddWide({~0ull, ~0ull}, {0, 1}, &carry);
  EXPECT_TRUE(carry);
  AddWide({~0ull, ~0ull}, {0, 0}, &carry);
  EXPECT_FALSE(carry);
#endif
}

TEST(WideArithmeticTest, RoundsToSixtyFourBitsHalvesToEven) {
#if !defined(__SIZEOF_INT128__)
  GTEST_SKIP() << "no 128-bit integers to compare with";
#else
  auto model = [](U128 v, int exponent) {
    int bits = 0;
    for (U128 rest = v; rest != 0; rest >>= 1) ++bits;
    if (bits <= 64) return TScaled{std::uint64_t(v), exponent};
    const int shift = bits - 64;
    U128 kept = v >> shift;
    const U128 dropped = v & ((U128(1) << shift) - 1), half = U128(1) << (shift - 1);
    if (dropped > half || (dropped == half && (kept & 1) != 0)) ++kept;
    if (kept >> 64) return TScaled{std::uint64_t(kept >> 1), exponent + shift + 1};
    return TScaled{std::uint64_t(kept), exponent + shift};
  };
  std::vector<U128> cases = {0,
                             1,
                             ~std::uint64_t{0},
                             U128(1) << 64,
                             (U128(1) << 64) | 1,  // exactly half, kept even: down
                             (U128(1) << 64) | 3,  // exactly half, kept odd: up
                             (U128(1) << 65) | 2,
                             (U128(1) << 65) | 3,
                             ~U128(0),  // all ones: carries into a new bit
                             (~U128(0)) >> 1,
                             U128(1) << 127,
                             (U128(1) << 127) | (U128(1) << 63)};
  std::mt19937_64 random(5);
  for (int i = 0; i < 5000; ++i) {
    const U128 v = (U128(random()) << 64) | random();
    cases.push_back(v >> (random() % 128));
    // Halfway patterns: a run of zeros below a single one.
    const int shift = 1 + int(random() % 63);
    cases.push_back(((v >> shift) << shift) | (U128(1) << (shift - 1)));
  }
  for (U128 v : cases) {
    const TScaled got = RoundToSignificand({std::uint64_t(v >> 64), std::uint64_t(v)}, -70);
    const TScaled want = model(v, -70);
    ASSERT_EQ(got.significand, want.significand);
    ASSERT_EQ(got.exponent, want.exponent);
  }
#endif
}

}  // namespace
}  // namespace deckhand
