// The gauge's arithmetic and its properties: defaults, clamping, the range
// errors, the loading state and when a setter repaints.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPalette>
#include <QTest>
#include <QWidget>
#include <climits>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "core/Errors.h"
#include "tests/widgets/GaugeTestSupport.h"
#include "widgets/Gauges.h"

namespace deckhand {
namespace {

using testing::TPaintCounter;

// The models below are worked in the compiler's own 128-bit integers, apart
// from the product's two-halves arithmetic; where the compiler has none, the
// comparisons with them are skipped.
#if defined(__SIZEOF_INT128__)
#define DECKHAND_HAVE_INT128 1
__extension__ using U128 = unsigned __int128;

// A magnitude m x 2^exp.
struct TScaled {
  U128 m;
  int exp;
};

// Rounds m x 2^exp to 64 significant bits, halves to even.
TScaled RoundTo64Bits(TScaled v) {
  int bits = 0;
  for (U128 rest = v.m; rest != 0; rest >>= 1) ++bits;
  if (bits <= 64) return v;
  const int shift = bits - 64;
  U128 kept = v.m >> shift;
  const U128 dropped = v.m & ((U128(1) << shift) - 1), half = U128(1) << (shift - 1);
  if (dropped > half || (dropped == half && (kept & 1) != 0)) ++kept;
  return {kept, v.exp + shift};
}

// PartOfWhole worked in integers: the nearest 64-bit-significand value of
// 0.01 is 11805916207174113034 x 2^-70, each product is rounded to 64 bits,
// the result truncated toward zero.
std::int64_t PartOfWholeInIntegers(std::int32_t percent, std::int32_t whole) {
  if (percent == 0 || whole == 0) return 0;
  const bool negative = (percent < 0) != (whole < 0);
  const U128 absPercent = percent < 0 ? U128(-std::int64_t{percent}) : U128(percent);
  const U128 absWhole = whole < 0 ? U128(-std::int64_t{whole}) : U128(whole);
  const TScaled fraction = RoundTo64Bits({absPercent * 11805916207174113034ULL, -70});
  const TScaled part = RoundTo64Bits({absWhole * fraction.m, fraction.exp});
  U128 truncated = 0;
  if (part.exp >= 0)
    truncated = part.m << part.exp;
  else if (part.exp > -128)
    truncated = part.m >> -part.exp;
  return negative ? -static_cast<std::int64_t>(truncated) : static_cast<std::int64_t>(truncated);
}
#endif

std::vector<std::int32_t> Edges() {
  return {INT_MIN, INT_MIN + 1, -175, -100, -41, -1,  0,           1,
          2,       20,          41,   99,   100, 175, INT_MAX - 1, INT_MAX};
}

TEST(PercentOfWholeTest, TruncatesTheExactQuotientForEveryInput) {
  EXPECT_EQ(PercentOfWhole(1, 175), 0);
  EXPECT_EQ(PercentOfWhole(174, 175), 99);
  EXPECT_EQ(PercentOfWhole(175, 175), 100);
  EXPECT_EQ(PercentOfWhole(-1, 3), -33);
  EXPECT_EQ(PercentOfWhole(1, -3), -33);
  EXPECT_EQ(PercentOfWhole(12345, 0), 0);
  EXPECT_EQ(PercentOfWhole(INT_MAX, 1), 214748364700LL);
  EXPECT_EQ(PercentOfWhole(INT_MIN, -1), 214748364800LL);
  EXPECT_EQ(PercentOfWhole(INT_MAX - 1, INT_MAX), 99);

  // The definition: the quotient in 64-bit-significand floating point.
  auto reference = [](std::int32_t part, std::int32_t whole) -> std::int64_t {
    if (whole == 0) return 0;
    return static_cast<std::int64_t>(static_cast<long double>(part) * 100 /
                                     static_cast<long double>(whole));
  };
  for (std::int32_t part : Edges())
    for (std::int32_t whole : Edges())
      EXPECT_EQ(PercentOfWhole(part, whole), reference(part, whole));
  std::mt19937 random(20260101);
  std::uniform_int_distribution<std::int32_t> any(INT_MIN, INT_MAX), small(-1000, 1000);
  for (int i = 0; i < 200000; ++i) {
    const std::int32_t part = i % 2 ? any(random) : small(random);
    const std::int32_t whole = i % 3 ? any(random) : small(random);
    ASSERT_EQ(PercentOfWhole(part, whole), reference(part, whole)) << part << " " << whole;
  }
}

TEST(PartOfWholeTest, ComesOutOneLowWhereTheLowHundredthSaysSo) {
  EXPECT_EQ(PartOfWhole(10, 100), 9);
  EXPECT_EQ(PartOfWhole(99, 100), 98);
  EXPECT_EQ(PartOfWhole(5, 20), 0);
  EXPECT_EQ(PartOfWhole(50, 41), 20);
  EXPECT_EQ(PartOfWhole(75, 175), 131);
  EXPECT_EQ(PartOfWhole(10, 101), 10);
  EXPECT_EQ(PartOfWhole(0, 100), 0);
  EXPECT_EQ(PartOfWhole(-10, 100), -9);
  for (std::int32_t whole : Edges()) EXPECT_EQ(PartOfWhole(100, whole), whole);
  EXPECT_EQ(PartOfWhole(INT_MAX, INT_MAX), 46116860141324206LL);
  EXPECT_EQ(PartOfWhole(INT_MIN, INT_MIN), 46116860184273879LL);
  EXPECT_EQ(PartOfWhole(INT_MIN, INT_MAX), -46116860162799042LL);
}

// Where long double is the x87 extended type, the definition itself can be
// run: the product's integer emulation must agree with it bit for bit.
TEST(PartOfWholeTest, AgreesWithExtendedPrecisionWhereThePlatformHasIt) {
  if (std::numeric_limits<long double>::digits != 64)
    GTEST_SKIP() << "long double has no 64-bit significand here";
  auto extended = [](std::int32_t percent, std::int32_t whole) {
    const long double fraction = static_cast<long double>(percent) * 0.01L;
    return static_cast<std::int64_t>(static_cast<long double>(whole) * fraction);
  };
  for (std::int32_t percent : Edges())
    for (std::int32_t whole : Edges())
      EXPECT_EQ(PartOfWhole(percent, whole), extended(percent, whole))
          << percent << " of " << whole;
  for (std::int32_t percent = -1; percent <= 101; ++percent)
    for (std::int32_t whole = -50; whole <= 5000; ++whole)
      ASSERT_EQ(PartOfWhole(percent, whole), extended(percent, whole))
          << percent << " of " << whole;
  std::mt19937 random(11);
  std::uniform_int_distribution<std::int32_t> any(INT_MIN, INT_MAX);
  for (int i = 0; i < 200000; ++i) {
    const std::int32_t percent = any(random), whole = any(random);
    ASSERT_EQ(PartOfWhole(percent, whole), extended(percent, whole)) << percent << " of " << whole;
  }
}

TEST(PartOfWholeTest, MatchesTheIntegerModelOfItsRounding) {
#if !defined(DECKHAND_HAVE_INT128)
  GTEST_SKIP() << "no 128-bit integers for the model";
#else
  for (std::int32_t percent : Edges())
    for (std::int32_t whole : Edges())
      EXPECT_EQ(PartOfWhole(percent, whole), PartOfWholeInIntegers(percent, whole))
          << percent << " of " << whole;
  for (std::int32_t percent = 0; percent <= 100; ++percent)
    for (std::int32_t whole = 0; whole <= 2000; ++whole)
      ASSERT_EQ(PartOfWhole(percent, whole), PartOfWholeInIntegers(percent, whole))
          << percent << " of " << whole;
  std::mt19937 random(7);
  std::uniform_int_distribution<std::int32_t> any(INT_MIN, INT_MAX);
  for (int i = 0; i < 200000; ++i) {
    const std::int32_t percent = any(random), whole = any(random);
    ASSERT_EQ(PartOfWhole(percent, whole), PartOfWholeInIntegers(percent, whole))
        << percent << " of " << whole;
  }
#endif
}

TEST(GaugeTest, StartsWithItsDefaults) {
  QWidget parent;
  QPalette colours = parent.palette();
  colours.setColor(QPalette::Window, QColor(10, 20, 30));
  parent.setPalette(colours);
  TGauge gauge(&parent);
  EXPECT_EQ(gauge.size(), QSize(100, 100));
  EXPECT_EQ(gauge.Kind(), gkHorizontalBar);
  EXPECT_EQ(gauge.BorderStyle(), bsSingle);
  EXPECT_TRUE(gauge.ShowText());
  EXPECT_EQ(gauge.ForeColor(), QColor(Qt::black));
  EXPECT_EQ(gauge.BackColor(), QColor(Qt::white));
  EXPECT_EQ(gauge.Color(), QColor(10, 20, 30));
  EXPECT_EQ(gauge.MinValue(), 0);
  EXPECT_EQ(gauge.MaxValue(), 100);
  EXPECT_EQ(gauge.Progress(), 0);
  EXPECT_EQ(gauge.Percentage(), 0);
  EXPECT_FALSE(gauge.IsLoading());
  EXPECT_EQ(int{gkText}, 0);
  EXPECT_EQ(int{gkHorizontalBar}, 1);
  EXPECT_EQ(int{gkVerticalBar}, 2);
  EXPECT_EQ(int{gkPie}, 3);
  EXPECT_EQ(int{gkNeedle}, 4);

  gauge.SetColor(Qt::green);
  EXPECT_EQ(gauge.Color(), QColor(Qt::green));
}

TEST(GaugeTest, ProgressIsClampedAndGivesThePercentage) {
  TGauge gauge;
  gauge.SetMaxValue(175);
  const int expected[][2] = {{1, 0}, {2, 1}, {87, 49}, {88, 50}, {174, 99}, {175, 100}};
  for (const auto& pair : expected) {
    gauge.SetProgress(pair[0]);
    EXPECT_EQ(gauge.Percentage(), pair[1]) << pair[0];
  }
  gauge.SetMaxValue(100);
  EXPECT_EQ(gauge.Progress(), 100);
  gauge.SetProgress(500);
  EXPECT_EQ(gauge.Progress(), 100);
  gauge.SetProgress(-5);
  EXPECT_EQ(gauge.Progress(), 0);

  gauge.SetMinValue(-50);
  gauge.SetProgress(0);
  EXPECT_EQ(gauge.Percentage(), 33);
  gauge.SetMinValue(20);
  EXPECT_EQ(gauge.Progress(), 20);
  EXPECT_EQ(gauge.Percentage(), 0);
}

TEST(GaugeTest, BoundsFarApartStillGiveZeroToHundred) {
  TGauge gauge;
  gauge.SetMaxValue(INT_MAX);
  gauge.SetMinValue(INT_MIN);
  gauge.SetProgress(INT_MIN);
  EXPECT_EQ(gauge.Percentage(), 0);
  gauge.SetProgress(0);
  EXPECT_EQ(gauge.Percentage(), 50);
  gauge.SetProgress(INT_MAX);
  EXPECT_EQ(gauge.Percentage(), 100);
}

TEST(GaugeTest, RangeErrorsNameOddBoundsAndChangeNothing) {
  TGauge gauge;
  gauge.SetProgress(40);
  try {
    gauge.SetMinValue(150);
    FAIL() << "no error";
  } catch (const EInvalidOperation& error) {
    EXPECT_STREQ(error.what(), "Value must be between -2147483647 and 99");
  }
  try {
    gauge.SetMaxValue(-1);
    FAIL() << "no error";
  } catch (const EInvalidOperation& error) {
    EXPECT_STREQ(error.what(), "Value must be between 1 and 2147483647");
  }
  EXPECT_EQ(gauge.MinValue(), 0);
  EXPECT_EQ(gauge.MaxValue(), 100);
  EXPECT_EQ(gauge.Progress(), 40);

  // The bounds named by the message are worked out without wrapping around.
  gauge.SetMinValue(INT_MIN);
  gauge.SetMaxValue(INT_MIN);
  try {
    gauge.SetMinValue(0);
    FAIL() << "no error";
  } catch (const EInvalidOperation& error) {
    EXPECT_STREQ(error.what(), "Value must be between -2147483647 and -2147483649");
  }
}

TEST(GaugeTest, EqualBoundsAreAcceptedAndGiveZeroPercent) {
  TGauge gauge;
  gauge.SetProgress(30);
  gauge.SetMinValue(100);
  EXPECT_EQ(gauge.MinValue(), 100);
  EXPECT_EQ(gauge.Progress(), 100);
  EXPECT_EQ(gauge.Percentage(), 0);
  gauge.SetProgress(-7);
  EXPECT_EQ(gauge.Progress(), 100);

  TGauge other;
  other.SetProgress(60);
  other.SetMaxValue(0);
  EXPECT_EQ(other.MaxValue(), 0);
  EXPECT_EQ(other.Progress(), 0);
  EXPECT_EQ(other.Percentage(), 0);
}

TEST(GaugeTest, LoadingRestoresTheBoundsInAnyOrder) {
  TGauge gauge;
  gauge.BeginLoading();
  EXPECT_TRUE(gauge.IsLoading());
  EXPECT_NO_THROW(gauge.SetMinValue(150));
  EXPECT_NO_THROW(gauge.SetMaxValue(300));
  gauge.SetProgress(200);
  gauge.EndLoading();
  EXPECT_FALSE(gauge.IsLoading());
  EXPECT_EQ(gauge.MinValue(), 150);
  EXPECT_EQ(gauge.MaxValue(), 300);
  EXPECT_EQ(gauge.Progress(), 200);
  EXPECT_EQ(gauge.Percentage(), 33);
  EXPECT_THROW(gauge.SetMinValue(301), EInvalidOperation);

  TGauge other;
  other.SetMinValue(50);
  other.BeginLoading();
  other.BeginLoading();
  EXPECT_NO_THROW(other.SetMaxValue(-20));
  EXPECT_NO_THROW(other.SetMinValue(-40));
  other.EndLoading();
  EXPECT_TRUE(other.IsLoading());
  other.EndLoading();
  EXPECT_EQ(other.MinValue(), -40);
  EXPECT_EQ(other.MaxValue(), -20);
  EXPECT_EQ(other.Progress(), -20);
  EXPECT_EQ(other.Percentage(), 100);
  EXPECT_THROW(other.SetMaxValue(-41), EInvalidOperation);
}

TEST(GaugeTest, SettersRepaintAtOnceOnlyWhenSomethingVisibleChanges) {
  TGauge gauge;
  gauge.SetMaxValue(175);
  gauge.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&gauge));
  QCoreApplication::processEvents();
  TPaintCounter paints(&gauge);

  gauge.SetProgress(0);
  gauge.SetKind(gkHorizontalBar);
  gauge.SetShowText(true);
  gauge.SetBorderStyle(bsSingle);
  gauge.SetForeColor(Qt::black);
  gauge.SetBackColor(Qt::white);
  gauge.SetMinValue(0);
  gauge.SetMaxValue(175);
  EXPECT_EQ(paints.count, 0);

  // Every step that changes the whole-number percentage paints at once; with
  // 175 as maximum, 75 of the 175 steps change nothing visible.
  for (int value = 1; value <= 175; ++value) gauge.SetProgress(value);
  EXPECT_EQ(paints.count, 100);
  gauge.SetProgress(176);
  EXPECT_EQ(paints.count, 100);

  paints.count = 0;
  gauge.SetKind(gkPie);
  gauge.SetShowText(false);
  gauge.SetBorderStyle(bsNone);
  gauge.SetForeColor(Qt::red);
  gauge.SetBackColor(Qt::blue);
  gauge.SetMaxValue(200);
  gauge.SetMinValue(10);
  EXPECT_EQ(paints.count, 7);
}

}  // namespace
}  // namespace deckhand
