// The single-sided path's two long passes, weighting and loading the record and the phase
// correction, against the rule written out point by point, bit for bit.
#include "transform/single_sided.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace ftir::transform {
namespace {

template <class T>
bool same_bits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

// The loading rule one point after the other, for t = 1..knt.
double plain_load(const std::vector<double>& record, int istart, int is, int lnum,
                  const std::vector<double>& weight, std::vector<Complex>& load) {
  const int npts = static_cast<int>(record.size());
  const int knt = lnum + is;
  const int lknt = 2 * lnum;
  const int wrapped = std::min(is, lnum);
  for (int m = lnum + 1; m <= lknt - wrapped; ++m)
    load[static_cast<std::size_t>(m - 1)] = {0.0, 0.0};
  double e = 0.0;
  for (int t = 1; t <= knt; ++t) {
    const int index = istart + t - 1;
    double value =
        (index >= 1 && index <= npts) ? record[static_cast<std::size_t>(index - 1)] : 0.0;
    const double ramp = t <= 2 * is ? t / static_cast<double>(2 * is + 1) : 1.0;
    value = value * ramp * weight[static_cast<std::size_t>(t - 1)];
    e += ((t == 1 || t == knt) ? 0.5 : 1.0) * (value * value);
    if (t > is) {
      load[static_cast<std::size_t>(t - is - 1)] = {value, 0.0};
    } else if (t > is - wrapped) {
      load[static_cast<std::size_t>(lknt - is + t - 1)] = {value, 0.0};
    }
  }
  return e;
}

TEST(SingleSidedPassesTest, LoadingMatchesThePlainRuleBitForBit) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  struct Case {
    const char* what;
    int npts, istart, is, lnum;
  };
  const Case cases[] = {
      {"record longer than the transform", 5000, 488, 512, 2048},
      {"zero-filled tail", 3000, 488, 512, 2048},
      {"centerburst at is + 1 (istart 0)", 300, 0, 8, 256},
      {"odd lengths", 1001, 3, 16, 1024},
      {"is above lnum: only lnum points wrapped", 40, 30, 32, 8},
      {"short transform", 20, 4, 4, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<double> record(static_cast<std::size_t>(c.npts));
    for (double& v : record) v = dist(rng) * 1.0e3;
    std::vector<double> weight(static_cast<std::size_t>(c.lnum + c.is));
    for (double& w : weight) w = std::fabs(dist(rng));
    std::vector<Complex> fast(static_cast<std::size_t>(2 * c.lnum), Complex{-7.0, -7.0});
    std::vector<Complex> plain = fast;
    const double e = load_weighted_record(record, c.istart, c.is, c.lnum, weight, fast);
    const double e_plain = plain_load(record, c.istart, c.is, c.lnum, weight, plain);
    EXPECT_EQ(std::memcmp(&e, &e_plain, sizeof e), 0);
    EXPECT_TRUE(same_bits(fast, plain));
  }
}

TEST(SingleSidedPassesTest, PhaseCorrectionMatchesThePlainRuleBitForBit) {
  std::mt19937_64 rng(13);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  const double fmax = 7900.4115;
  struct Case {
    int is, lnum;
  };
  const Case cases[] = {{4, 2},      {4, 3},       {8, 5},   {16, 64},
                        {512, 1000}, {1024, 4097}, {64, 40}, {8, 1003}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "is " << c.is << ", lnum " << c.lnum);
    PhaseTables p;
    const double phase_delta = fmax / (c.is - 1);
    for (int i = 0; i < c.is; ++i) {
      p.abscissa[static_cast<std::size_t>(i)] = i * phase_delta;
      p.sine[static_cast<std::size_t>(i)] = dist(rng);
      p.cosine[static_cast<std::size_t>(i)] = dist(rng);
    }
    std::vector<Complex> work(static_cast<std::size_t>(c.lnum));
    for (Complex& v : work) v = {dist(rng) * 1.0e5, dist(rng) * 1.0e5};
    const double delta = fmax / (c.lnum - 1);

    // The rule: the window advanced until it holds x, then LAGINT for sine and cosine.
    Lagint plain_lagint;
    std::vector<double> plain(static_cast<std::size_t>(c.lnum));
    double plain_energy = 0.0;
    std::size_t j = 0;
    for (int i = 1; i <= c.lnum; ++i) {
      const double x = (i - 1) * delta;
      while (!(p.abscissa[j] <= x && x <= p.abscissa[j + 2])) ++j;
      const double s = plain_lagint(1, x, 3, &p.abscissa[j], &p.sine[j]);
      const double co = plain_lagint(1, x, 3, &p.abscissa[j], &p.cosine[j]);
      const Complex v = work[static_cast<std::size_t>(i - 1)];
      const double y = v.re * co + v.im * s;
      plain[static_cast<std::size_t>(i - 1)] = y;
      plain_energy += ((i == 1 || i == c.lnum) ? 0.5 : 1.0) * (y * y);
    }

    Lagint lagint;
    std::vector<double> fast(static_cast<std::size_t>(c.lnum));
    const double energy = phase_correct(p, c.is, fmax, delta, c.lnum, work, fast, lagint);
    EXPECT_TRUE(same_bits(fast, plain));
    EXPECT_EQ(std::memcmp(&energy, &plain_energy, sizeof energy), 0);
    EXPECT_EQ(lagint.bracket(), plain_lagint.bracket());
  }
}

// The range cut shared by both paths, against the rule point by point; the largest kept
// magnitude it reports for the writer leaves out infinities and NaNs.
TEST(SingleSidedPassesTest, ScaleAndCutMatchesThePlainRule) {
  std::mt19937_64 rng(17);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  struct Case {
    int lnum;
    double wlow, whigh;
    double delta = 0.75;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // The last two take the scan in order: a falling grid, a range with a NaN end.
  const Case cases[] = {{1, 0.0, 10.0},
                        {2, 0.0, 0.75},
                        {9, 1.5, 3.0},
                        {10, 1.4, 3.1},
                        {11, -5.0, 100.0},
                        {12, 3.0, 1.0},
                        {13, 7.5, 7.5},
                        {1000, 400.0, 600.75},
                        {1001, 0.75, 0.75},
                        {64, 47.25, 1.0e9},
                        {1000, -400.0, 0.0, -0.75},
                        {30, nan, 7.5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "lnum " << c.lnum << ", " << c.wlow << " to " << c.whigh
                                      << ", delta " << c.delta);
    const double delta = c.delta;
    std::vector<double> y(static_cast<std::size_t>(c.lnum) + 3);
    for (double& v : y) v = dist(rng);
    if (c.lnum == 1000) {  // kept, on both sides of a pair
      y[600] = std::numeric_limits<double>::infinity();
      y[603] = -std::numeric_limits<double>::quiet_NaN();
      y[604] = -4.0;
    }
    std::vector<double> x(y.size(), -1.0);
    std::vector<double> plain_y = y;
    std::vector<double> plain_x = x;
    const double scale = 1.0 / 3.0;
    int plain_ii = 0;
    double plain_ymax = 0.0;
    for (int i = 1; i <= c.lnum; ++i) {
      const double xi = (i - 1) * delta;
      if (xi < c.wlow) continue;
      if (xi > c.whigh) break;
      plain_x[static_cast<std::size_t>(plain_ii)] = xi;
      plain_y[static_cast<std::size_t>(plain_ii)] =
          plain_y[static_cast<std::size_t>(i - 1)] * scale;
      if (std::isfinite(plain_y[static_cast<std::size_t>(plain_ii)])) {
        plain_ymax = std::max(plain_ymax, std::fabs(plain_y[static_cast<std::size_t>(plain_ii)]));
      }
      ++plain_ii;
    }
    double ymax = -1.0;
    EXPECT_EQ(scale_and_cut(x, y, c.lnum, delta, scale, c.wlow, c.whigh, &ymax), plain_ii);
    EXPECT_EQ(ymax, plain_ymax);
    EXPECT_TRUE(same_bits(x, plain_x));
    EXPECT_TRUE(same_bits(y, plain_y));
  }
}

}  // namespace
}  // namespace ftir::transform
