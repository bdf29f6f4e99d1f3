// Mean removal and the centerburst: the prepared record and jmax against the plain rule,
// sample by sample in order, bit for bit.
#include "driver/prepare.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "report/fake_console.h"
#include "report/report.h"

namespace ftir::driver {
namespace {

// The rule as written: the sum in order, the mean subtracted from each sample, then the
// first sample whose magnitude is strictly greater than every one before it.
int plain_prepare(std::vector<double>& y) {
  double sum = 0.0;
  for (double v : y) sum += v;
  const double mean = sum / static_cast<double>(y.size());
  for (double& v : y) v -= mean;
  double largest = std::fabs(y[0]);
  int jmax = 1;
  for (std::size_t i = 1; i < y.size(); ++i) {
    if (std::fabs(y[i]) > largest) {
      largest = std::fabs(y[i]);
      jmax = static_cast<int>(i) + 1;
    }
  }
  return jmax;
}

TEST(PrepareTest, MatchesThePlainRuleBitForBit) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  struct Case {
    const char* what;
    std::vector<double> y;
  };
  std::vector<Case> cases = {
      {"one sample", {2.5}},
      {"equal magnitudes, the first wins", {0.0, 3.0, -3.0, 3.0, 0.0}},
      {"negative largest first in a pair", {1.0, 1.0, -5.0, 5.0, 1.0, 1.0, 1.0}},
      {"largest in the odd tail", {0.0, 0.0, 0.0, 0.0, 9.0}},
      {"NaN before the largest", {1.0, nan, 4.0, 2.0, -4.0}},
      {"NaN first", {nan, 1.0, 7.0}},
      {"NaN in the odd tail", {1.0, 2.0, 8.0, 3.0, nan}},
      {"NaN among the first eight", {1.0, 2.0, 3.0, 4.0, 5.0, nan, -9.0, 9.0, 1.0}},
  };
  for (int n : {2, 3, 8, 13, 4097}) {
    std::vector<double> y(static_cast<std::size_t>(n));
    for (double& v : y) v = dist(rng) * 1.0e4 + 7.0;
    y[static_cast<std::size_t>(n / 3)] = -2.0e4;  // the mean shifts every magnitude
    y[static_cast<std::size_t>(n - 1)] = 2.0e4 + 14.0;
    cases.push_back({"random", y});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.what << ", " << c.y.size() << " samples");
    testing::FakeConsole console;
    report::Report report(console);
    std::vector<double> fast = c.y;
    std::vector<double> plain = c.y;
    fast.push_back(-777.0);  // beyond npts: untouched
    const int jmax = remove_mean_and_find_centerburst(report, fast, static_cast<int>(c.y.size()));
    EXPECT_EQ(jmax, plain_prepare(plain));
    EXPECT_EQ(std::memcmp(fast.data(), plain.data(), plain.size() * sizeof(double)), 0);
    EXPECT_EQ(fast.back(), -777.0);
  }
}

// The shape of the centerburst by hand: within 8 samples of jmax, the deepest sample of the
// other sign over |y(jmax)| and |sum| over the sum of magnitudes.
TEST(PrepareTest, CenterburstShapeByHand) {
  std::vector<double> reach(20, 0.0);  // jmax 11; 8 before it counts, 9 before or after not
  reach[10] = 4.0, reach[2] = -4.0, reach[1] = -8.0, reach[19] = -2.0;
  const struct {
    std::vector<double> y;
    int jmax;
    double opposite, residue;
    bool shown;
  } cases[] = {{{0.0, 1.0, -2.0, 4.0, -1.0, 0.0}, 4, 0.5, 0.25, true},
               {{1.0, 2.0, 4.0, 2.0, 1.0}, 3, 0.0, 1.0, false},
               {reach, 11, 1.0, 0.0, true},
               {{0.0, 0.0, 0.0}, 1, 0.0, 0.0, true}};  // no signal: the paths refuse it
  for (const auto& c : cases) {
    const CenterburstShape shape = centerburst_shape(c.y, c.jmax);
    EXPECT_EQ(shape.opposite, c.opposite) << c.y.size();
    EXPECT_EQ(shape.residue, c.residue) << c.y.size();
    EXPECT_EQ(shape.shown, c.shown) << c.y.size();
  }
}

}  // namespace
}  // namespace ftir::driver
