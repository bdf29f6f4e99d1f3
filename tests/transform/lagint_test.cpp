// LAGINT: linear cases worked by hand, extrapolation, higher degrees, the kept bracket.
#include "transform/lagint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace ftir::transform {
namespace {

TEST(LagintTest, LinearInAThreePointTable) {
  // Points (0, 1), (1, 3), (3, 4): slope 2 on the left, 0.5 on the right.
  const double xa[] = {0.0, 1.0, 3.0};
  const double ya[] = {1.0, 3.0, 4.0};
  struct Row {
    double x;
    double y;
    int bracket;
  };
  const Row rows[] = {
      {0.5, 2.0, 1},                   // between points 1 and 2
      {0.0, 1.0, 1},   {1.0, 3.0, 2},  // at point 2: the bracket of points 2 and 3
      {2.0, 3.5, 2},   {3.0, 4.0, 2},
      {-1.0, -1.0, 1},  // below the table: the first two points, extended
      {5.0, 5.0, 2},    // above: the last two, extended
  };
  Lagint lagint;
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "x=" << row.x);
    EXPECT_DOUBLE_EQ(lagint(1, row.x, 3, xa, ya), row.y);
    EXPECT_EQ(lagint.bracket(), row.bracket);
  }
}

TEST(LagintTest, HigherDegreesReproducePolynomials) {
  const double xa[] = {0.0, 1.0, 2.0, 3.0, 4.0, 5.0};
  double squares[6];
  double cubes[6];
  for (int i = 0; i < 6; ++i) {
    squares[i] = xa[i] * xa[i];
    cubes[i] = xa[i] * xa[i] * xa[i];
  }
  Lagint lagint;
  // m = 2: h = 1; x = 2.5 is bracketed by xa(3), xa(4): points 3..5.
  EXPECT_NEAR(lagint(2, 2.5, 6, xa, squares), 6.25, 1e-12);
  // m = 3: h = 2; x = 2.5 is bracketed by xa(3), xa(4): points 2..5.
  EXPECT_NEAR(lagint(3, 2.5, 6, xa, cubes), 15.625, 1e-12);
  EXPECT_EQ(lagint.bracket(), 3);
  // Outside, the end polynomials extrapolate.
  EXPECT_NEAR(lagint(3, -1.0, 6, xa, cubes), -1.0, 1e-12);
  EXPECT_EQ(lagint.bracket(), 2);
  EXPECT_NEAR(lagint(3, 7.0, 6, xa, cubes), 343.0, 1e-9);
  EXPECT_EQ(lagint.bracket(), 4);
}

TEST(LagintTest, KeepsItsBracketWhenNoneQualifies) {
  const double xa[] = {0.0, 1.0, 3.0};
  const double ya[] = {1.0, 3.0, 4.0};
  const double nan = std::numeric_limits<double>::quiet_NaN();
  {
    // The very first call finds no bracket: the first one of the table serves (not 0,
    // which would read before the table).
    Lagint lagint;
    EXPECT_TRUE(std::isnan(lagint(1, nan, 3, xa, ya)));
    EXPECT_EQ(lagint.bracket(), 1);
  }
  Lagint lagint;
  lagint(1, 2.0, 3, xa, ya);
  EXPECT_EQ(lagint.bracket(), 2);
  lagint(1, nan, 3, xa, ya);
  EXPECT_EQ(lagint.bracket(), 2);  // remembered from the call before
  // A bracket left by a larger table is brought into a smaller one's range.
  const double wide_x[] = {0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0};
  const double wide_y[] = {0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0};
  lagint(1, 5.5, 7, wide_x, wide_y);
  EXPECT_EQ(lagint.bracket(), 6);
  lagint(1, nan, 3, xa, ya);
  EXPECT_EQ(lagint.bracket(), 2);
  // A table that does not ascend: points 1 and 2 of (1, 10), (0, 20) at x = 0.5.
  const double down_x[] = {1.0, 0.0};
  const double down_y[] = {10.0, 20.0};
  EXPECT_DOUBLE_EQ(lagint(1, 0.5, 2, down_x, down_y), 15.0);
}

}  // namespace
}  // namespace ftir::transform
