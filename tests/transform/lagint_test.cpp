// LAGINT: linear cases worked by hand, extrapolation, higher degrees, the kept bracket, and
// the two-table form against two plain calls.
#include "transform/lagint.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

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

// The two-table form gives, bit for bit, what two plain calls give (ya first), and leaves
// the same bracket, whatever the call before left: x inside, at nodes, outside, not a
// number, infinite; degrees 0 to n - 1; tables with -0.0 values (0.0 + -0.0 * 1.0 is +0.0)
// and one that does not ascend.
TEST(LagintTest, PairEqualsTwoPlainCallsBitForBit) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Table {
    std::vector<double> xa;
    std::vector<double> ya;
    std::vector<double> yb;
  };
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> step(0.01, 2.0);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  std::vector<Table> tables;
  for (int n : {2, 3, 4, 7, 12}) {
    Table t;
    double x = value(rng);
    for (int i = 0; i < n; ++i) {
      t.xa.push_back(x);
      x += step(rng);
      t.ya.push_back(i % 3 == 1 ? -0.0 : value(rng));
      t.yb.push_back(i % 2 == 0 ? -0.0 : value(rng));
    }
    tables.push_back(t);
  }
  tables.push_back({{3.0, 1.0, 2.0, 0.0}, {1.0, -0.0, 2.0, 3.0}, {-0.0, 4.0, -0.0, 5.0}});

  Lagint plain;
  Lagint fused;
  for (int round = 0; round < 3; ++round) {
    for (const Table& t : tables) {
      const int n = static_cast<int>(t.xa.size());
      std::vector<double> xs = {nan, inf, -inf, -0.0, t.xa.front() - 1.5, t.xa.back() + 0.75};
      for (std::size_t i = 0; i < t.xa.size(); ++i) {
        xs.push_back(t.xa[i]);
        if (i + 1 < t.xa.size()) xs.push_back(0.5 * (t.xa[i] + t.xa[i + 1]));
      }
      for (int m = 0; m < n; ++m) {
        for (double x : xs) {
          SCOPED_TRACE(testing::Message() << "n=" << n << " m=" << m << " x=" << x);
          const double a = plain(m, x, n, t.xa.data(), t.ya.data());
          const double b = plain(m, x, n, t.xa.data(), t.yb.data());
          const LagintPair p = fused(m, x, n, t.xa.data(), t.ya.data(), t.yb.data());
          EXPECT_EQ(std::bit_cast<std::uint64_t>(p.first), std::bit_cast<std::uint64_t>(a));
          EXPECT_EQ(std::bit_cast<std::uint64_t>(p.second), std::bit_cast<std::uint64_t>(b));
          EXPECT_EQ(fused.bracket(), plain.bracket());
        }
      }
    }
  }
}

}  // namespace
}  // namespace ftir::transform
