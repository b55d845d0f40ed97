#include <gtest/gtest.h>

#include "runtime/trunc.h"

#include <cfenv>
#include <cmath>
#include <limits>

namespace {

struct TruncCase {
  double x;
  int32_t expected;
};

const TruncCase TruncCases[] = {
    {2.9, 2},
    {-2.9, -2},
    {0.7, 0},
    {-0.7, 0},
    {0.0, 0},
    {-0.0, 0},
    {255.0, 255},
    {-1.0, -1},
    {2.5, 2},
    {-2.5, -2},
    {3.5, 3},
    {-3.5, -3},
    {0.5, 0},
    {-0.5, 0},
    {1.5, 1},
    {0.49999999999999994, 0},
    {0.9999999999999999, 0},
    {-0.9999999999999999, 0},
    {1.0000000000000002, 1},
    {-1.0000000000000002, -1},
    // Values whose nearest integer is the other side of zero in the
    // directed modes.
    {1e-300, 0},
    {-1e-300, 0},
    {std::numeric_limits<double>::denorm_min(), 0},
    {-std::numeric_limits<double>::denorm_min(), 0},
    {2147483647.9, 2147483647},
    {-2147483648.9, -2147483647 - 1},
    // Beyond 32 bits: the low half of the 64-bit truncation.
    {2147483648.0, -2147483647 - 1},
    {3000000000.0, -1294967296},
    {3000000000.7, -1294967296},
    {-3000000000.7, 1294967296},
    {4294967296.0, 0},
    {4294967297.5, 1},
    {4503599627370495.5, -1},
    {9223372036854774784.0, -1024},
    // What the 64-bit conversion cannot hold gives 0.
    {9223372036854775808.0, 0},
    {-9223372036854775808.0, 0},
    {1e300, 0},
    {-1e300, 0},
    {std::numeric_limits<double>::infinity(), 0},
    {-std::numeric_limits<double>::infinity(), 0},
    {std::numeric_limits<double>::quiet_NaN(), 0},
    {-std::numeric_limits<double>::quiet_NaN(), 0},
};

struct Mode {
  int mode;
  const char* name;
};
const Mode Modes[] = {
    {FE_TONEAREST, "to nearest"},
    {FE_DOWNWARD, "downward"},
    {FE_UPWARD, "upward"},
    {FE_TOWARDZERO, "toward zero"},
};

TEST(TruncToIntTest, TruncatesTowardZeroInEveryRoundingMode) {
  const int saved = std::fegetround();
  for (const Mode& mode : Modes) {
    ASSERT_EQ(std::fesetround(mode.mode), 0) << mode.name;
    for (const TruncCase& c : TruncCases) {
      EXPECT_EQ(TruncToInt(c.x), c.expected) << "x = " << c.x << ", rounding " << mode.name;
      // The conversion leaves the rounding mode as it found it.
      ASSERT_EQ(std::fegetround(), mode.mode) << "x = " << c.x << ", rounding " << mode.name;
    }
  }
  std::fesetround(saved);
}

TEST(TruncToIntTest, AgreesWithTruncationAcrossTheInt32Range) {
  const int saved = std::fegetround();
  for (const Mode& mode : Modes) {
    ASSERT_EQ(std::fesetround(mode.mode), 0) << mode.name;
    // Fractions near every kind of boundary, over a spread of magnitudes.
    for (double base = 1.0; base < 2e9; base *= 3.7) {
      for (double frac : {0.0, 0.001, 0.25, 0.5, 0.75, 0.999}) {
        double x = std::floor(base) + frac;
        int32_t whole = static_cast<int32_t>(std::floor(base));
        EXPECT_EQ(TruncToInt(x), whole) << "x = " << x << ", rounding " << mode.name;
        EXPECT_EQ(TruncToInt(-x), -whole) << "x = " << -x << ", rounding " << mode.name;
      }
    }
  }
  std::fesetround(saved);
}

}  // namespace
