// The instrument's transform against a direct DFT of its rule, on cosine lines of known
// wavenumber and phase; the ramp's values, the preprocessing steps and the refusals.
#include "transform/instrument_path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>
#include <vector>

namespace ftir::transform {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kNyquist = 2000.0;  // cm-1

// Cosine lines (wavenumber cm-1, phase rad) sampled at 1 / (2 * nyquist) cm, path
// difference zero at sample z; the wavenumbers lie off the transform grids.
std::vector<double> lines(int npts, int z, std::vector<std::pair<double, double>> nu_phase) {
  std::vector<double> y(static_cast<std::size_t>(npts));
  for (int i = 0; i < npts; ++i) {
    const double x = (i - z) / (2.0 * kNyquist);
    for (const auto& [nu, theta] : nu_phase) {
      y[static_cast<std::size_t>(i)] += std::cos(2.0 * kPi * nu * x + theta);
    }
  }
  return y;
}

InstrumentRecipe recipe(int z, double p, double l, Ramp ramp, int zff) {
  InstrumentRecipe r;
  r.zpd = z;
  r.phase_halfwidth = p;
  r.long_side = l;
  r.window = window_by_code(3);
  r.ramp = ramp;
  r.zero_fill = zff;
  r.nyquist = kNyquist;
  r.wlow = 400.0;
  r.whigh = 1800.0;
  return r;
}

// The rule written out: DFTs of the phase piece and of the weighted long side, the phase
// unwrapped step by step and interpolated at k * Nph / N, S = Re(F exp(-i phi)).
std::vector<double> direct(const std::vector<double>& y, const InstrumentRecipe& r, int nn, int nph,
                           int k0, int count) {
  const auto dft = [](const std::vector<std::pair<int, double>>& pts, int k, int size) {
    double re = 0.0, im = 0.0;
    for (const auto& [n, v] : pts) {
      const double a = -2.0 * kPi * static_cast<double>((static_cast<long>(k) * n) % size) / size;
      re += v * std::cos(a);
      im += v * std::sin(a);
    }
    return std::pair{re, im};
  };
  const auto ramp = [&](int n) {
    const double t = std::clamp(n / r.phase_halfwidth, -1.0, 1.0);
    if (r.ramp == Ramp::kNone) return 1.0;
    return r.ramp == Ramp::kLinear ? (1.0 + t) / 2.0
                                   : 0.5 + 1.25 * std::pow(t, 3) - 0.75 * std::pow(t, 5);
  };
  std::vector<std::pair<int, double>> piece, side;
  for (int n = -r.zpd; n < static_cast<int>(y.size()) - r.zpd; ++n) {
    const double v = y[static_cast<std::size_t>(r.zpd + n)];
    if (std::abs(n) <= r.phase_halfwidth) piece.push_back({n, v * APBH3(n, r.phase_halfwidth)});
    if (std::abs(n - r.window_shift) <= r.long_side && std::abs(n) < nn / 2) {
      side.push_back({n, v * APBH3(n - r.window_shift, r.long_side) * ramp(n)});
    }
  }
  std::vector<double> phi;
  for (int j = 0; j <= nph / 2; ++j) {
    const auto [re, im] = dft(piece, j, nph);
    phi.push_back(std::atan2(im, re));
    const double step = j > 0 ? phi.back() - phi[phi.size() - 2] : 0.0;
    phi.back() -= 2.0 * kPi * std::round(step / (2.0 * kPi));
  }
  std::vector<double> s;
  for (int k = k0; k < k0 + count; ++k) {
    const double q = k * static_cast<double>(nph) / nn;
    const auto j = static_cast<std::size_t>(q);
    const double angle =
        phi[j] + (q - static_cast<double>(j)) * (phi[std::min(j + 1, phi.size() - 1)] - phi[j]);
    const auto [re, im] = dft(side, k, nn);
    s.push_back(r.mode == InstrumentPhase::kPower ? std::hypot(re, im)
                                                  : re * std::cos(angle) + im * std::sin(angle));
  }
  return s;
}

double max_abs(std::span<const double> v) {
  double m = 0.0;
  for (double x : v) m = std::max(m, std::fabs(x));
  return m;
}

void expect_close(std::span<const double> got, std::span<const double> want, double tol) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) ASSERT_NEAR(got[i], want[i], tol) << i;
}

struct Transformer {
  InstrumentWork work{1 << 12};
  Fft fft;
  std::vector<double> out = std::vector<double>(4096);
  InstrumentSpectrum operator()(const std::vector<double>& y, const InstrumentRecipe& r,
                                std::span<double> to = {}) {
    return instrument_transform(y, r, work, fft, to.empty() ? std::span<double>(out) : to);
  }
};

TEST(InstrumentPathTest, MertzEqualsTheDirectRuleAndPlacesTheLine) {
  struct Case {
    const char* what;
    int npts, z;
    double p, l, c;
    Ramp ramp;
    int zff;
    InstrumentPhase mode;
    int n, nph;
    bool fit = true;       // false where |n| < N/2 cuts the long side's window short
    bool cut = false;      // the long side may end with the scan
    int phase_length = 0;  // Nph given
  };
  using enum InstrumentPhase;
  // clang-format off
  const Case cases[] = {
      {"single-sided, quintic ramp", 460, 40, 30.4, 400.3, 0.0, Ramp::kQuintic, 2, kMertz, 1024, 64},
      {"single-sided, linear ramp", 460, 40, 30.4, 400.3, 0.0, Ramp::kLinear, 2, kMertz, 1024, 64},
      {"double-sided, window at +1", 700, 350, 60.0, 300.5, 1.0, Ramp::kNone, 4, kMertz, 2048, 128},
      {"double-sided, no zero filling", 700, 350, 60.0, 300.5, 1.0, Ramp::kNone, 1, kMertz, 512, 128,
       false},
      {"power spectrum", 460, 40, 30.4, 400.3, 0.0, Ramp::kQuintic, 2, kPower, 1024, 0},
      {"long side cut at the scan's end, phase at full N", 460, 40, 30.4, 440.7, 0.0, Ramp::kLinear,
       2, kMertz, 1024, 1024, false, true, 1024},
  };
  // clang-format on
  const double nu0 = 1234.567, theta = 0.7;
  Transformer run;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<double> y = lines(c.npts, c.z, {{nu0, theta}, {720.0, -2.0}});
    InstrumentRecipe r = recipe(c.z, c.p, c.l, c.ramp, c.zff);
    r.window_shift = c.c;
    r.mode = c.mode;
    r.cut_at_scan_end = c.cut;
    r.phase_length = c.phase_length;
    const InstrumentSpectrum s = run(y, r);
    ASSERT_FALSE(s.refused) << s.refused->skip_text();
    EXPECT_EQ(s.n, c.n);
    EXPECT_EQ(s.nph, c.nph);
    EXPECT_DOUBLE_EQ(s.dnu, kNyquist / (c.n / 2));
    EXPECT_EQ(s.first_k, static_cast<int>(std::floor(400.0 / s.dnu)));
    EXPECT_EQ(s.first_k + static_cast<int>(s.values.size()) - 1,
              static_cast<int>(std::floor(1800.0 / s.dnu)) - 1);
    const std::vector<double> d =
        direct(y, r, c.n, std::max(c.nph, 2), s.first_k, static_cast<int>(s.values.size()));
    expect_close(s.values, d, 1e-12 * max_abs(d));
    EXPECT_DOUBLE_EQ(s.peak, max_abs(s.values));
    // The line: the largest point and its neighbours, a parabola through their logarithms.
    const auto top =
        static_cast<std::size_t>(std::ranges::max_element(s.values) - s.values.begin());
    const double a = std::log(s.values[top - 1]), b = std::log(s.values[top]),
                 e = std::log(s.values[top + 1]);
    const double nu =
        (s.first_k + static_cast<double>(top) + 0.5 * (a - e) / (a - 2 * b + e)) * s.dnu;
    if (c.fit) {
      EXPECT_NEAR(nu, nu0, 0.01);
    }
    if (c.mode == kMertz) {
      const double phi = s.phase.angle[static_cast<std::size_t>(std::lround(nu0 / s.phase.step))];
      EXPECT_NEAR(std::remainder(phi - theta, 2 * kPi), 0.0, 0.05);
    }
  }
}

TEST(InstrumentPathTest, SymmetricRecordRampedGivesHalfTheUnrampedSpectrum) {
  // For an even record the ramp's pairs r(n) + r(-n) = 1 leave half of each cosine term;
  // the phase is held at zero (a Mertz phase of an even record flips between 0 and pi).
  const std::vector<double> y = lines(801, 400, {{1234.567, 0.0}, {720.0, 0.0}});
  const std::vector<double> zero{0.0, 0.0};
  Transformer run;
  std::vector<double> none(4096);
  InstrumentRecipe r = recipe(400, 50.2, 380.6, Ramp::kNone, 2);
  r.mode = InstrumentPhase::kStored;
  r.stored_phase = {0.0, kNyquist, zero};
  const InstrumentSpectrum a = run(y, r, none);
  r.ramp = Ramp::kQuintic;
  const InstrumentSpectrum b = run(y, r);
  ASSERT_FALSE(a.refused || b.refused);
  const double peak = max_abs(a.values);
  EXPECT_GT(peak, 100.0);
  for (double& v : a.values) v *= 0.5;
  expect_close(b.values, a.values, 1e-12 * peak);
}

TEST(InstrumentPathTest, StoredPhaseReproducesTheMertzRun) {
  const std::vector<double> y = lines(460, 40, {{1234.567, 0.7}, {720.0, -2.0}});
  Transformer run;
  std::vector<double> first(4096);
  const InstrumentSpectrum m = run(y, recipe(40, 30.4, 400.3, Ramp::kQuintic, 2), first);
  ASSERT_FALSE(m.refused);
  // Stored as a file holds it: modulo 2 pi, from the highest wavenumber down.
  std::vector<double> wrapped(m.phase.angle.rbegin(), m.phase.angle.rend());
  for (double& a : wrapped) a = std::remainder(a, 2 * kPi);
  InstrumentRecipe r = recipe(40, 30.4, 400.3, Ramp::kQuintic, 2);
  r.mode = InstrumentPhase::kStored;
  r.stored_phase = {kNyquist, -m.phase.step, wrapped};
  const InstrumentSpectrum s = run(y, r);
  ASSERT_FALSE(s.refused) << s.refused->skip_text();
  ASSERT_EQ(s.first_k, m.first_k);
  expect_close(s.values, m.values, 1e-12 * m.peak);
  r.stored_phase = {0.0, m.phase.step, std::span(wrapped).first(20)};  // up to 1187.5 cm-1
  EXPECT_EQ(run(y, r).refused->code, values::Refusal::kStoredPhaseRange);
}

TEST(InstrumentPathTest, ForwardAndReversedRecordAverageToTheForwardSpectrum) {
  std::vector<double> record = lines(600, 300, {{1234.567, 0.7}, {720.0, -2.0}});
  record.insert(record.end(), record.rbegin(), record.rend());
  record.push_back(99.0);  // an odd count: the backward half takes the extra sample first
  std::vector<double> fw(601), bw(601);
  ASSERT_EQ(split_directions(record, fw, bw), 600);
  EXPECT_EQ(bw[0], 99.0);
  Transformer run;
  std::vector<double> sf(4096), sb(4096);
  const InstrumentRecipe r = recipe(300, 60.0, 250.5, Ramp::kNone, 2);
  const InstrumentSpectrum f = run(std::vector(fw.begin(), fw.begin() + 600), r, sf);
  const InstrumentSpectrum b = run(std::vector(bw.begin() + 1, bw.end()), r, sb);
  ASSERT_FALSE(f.refused || b.refused);
  std::vector<double> avg(f.values.size());
  EXPECT_EQ(average_directions(f.values, b.values, 3.0, 2.0, avg), 0.0);
  expect_close(avg, f.values, 1e-12 * f.peak);
  // Worked example: (3 * 1 + 1 * 3) / 4 = 1.5; difference sqrt(4 / 4).
  std::vector<double> one{1.0}, three{3.0}, out(1);
  EXPECT_EQ(average_directions(one, three, 3.0, 1.0, out), 1.0);
  EXPECT_EQ(out[0], 1.5);
  EXPECT_FALSE(average_directions(one, three, 0.0, 0.0, out));
  std::vector<double> nl{2.0, -1.0, 4.0};
  EXPECT_EQ(remove_scan_mean(nl), 5.0 / 3.0);
  // Corrected first: 1.5 * 2 - 0.25 * 4 = 2, 1.5 * 4 - 0.25 * 16 = 2, mean 2.
  std::vector<double> two_four{2.0, 4.0};
  EXPECT_EQ(remove_scan_mean(two_four, Nonlinearity{1.5, -0.25}), 2.0);
  EXPECT_EQ(two_four, (std::vector<double>{0.0, 0.0}));
}

TEST(InstrumentPathTest, RampValues) {
  // Ramp, n, P, value.
  const std::tuple<Ramp, double, double, double> rows[] = {
      {Ramp::kQuintic, 0.0, 7.5, 0.5},   {Ramp::kQuintic, 7.5, 7.5, 1.0},
      {Ramp::kQuintic, -7.5, 7.5, 0.0},  {Ramp::kQuintic, 3.75, 7.5, 0.5 + 0.125 * 4.25 / 4},
      {Ramp::kQuintic, 100.0, 7.5, 1.0}, {Ramp::kQuintic, -3.75, 7.5, 0.5 - 0.125 * 4.25 / 4},
      {Ramp::kLinear, 3.75, 7.5, 0.75},  {Ramp::kLinear, -9.0, 7.5, 0.0},
      {Ramp::kNone, -9.0, 7.5, 1.0},
  };
  for (const auto& [ramp, n, p, value] : rows) {
    SCOPED_TRACE(n);
    EXPECT_DOUBLE_EQ(mertz_ramp(ramp, n, p), value);
  }
  // Flat at the ends and at the centre's mirror: r(-n) = 1 - r(n).
  for (double n = -8.0; n <= 8.0; n += 0.37) {
    EXPECT_NEAR(mertz_ramp(Ramp::kQuintic, -n, 7.5), 1.0 - mertz_ramp(Ramp::kQuintic, n, 7.5),
                1e-15);
  }
}

TEST(InstrumentPathTest, Refusals) {
  using values::Refusal;
  const std::vector<double> y = lines(460, 40, {{1234.567, 0.7}});
  std::vector<double> bad = y;
  bad[300] = std::numeric_limits<double>::infinity();
  struct Row {
    const char* what;
    int z;
    double p, l;
    int zff;
    double wlow;
    bool nan_sample;
    std::size_t out;
    Refusal code;
  };
  using enum Refusal;
  // clang-format off
  const Row rows[] = {
      {"centerburst past the end", 460, 30.4, 400.3, 2, 400.0, false, 4096, kInstrumentGeometry},
      {"phase piece before the start", 20, 30.4, 400.3, 2, 400.0, false, 4096, kInstrumentGeometry},
      {"long side past the end", 40, 30.4, 420.0, 2, 400.0, false, 4096, kInstrumentGeometry},
      {"N above the work's capacity", 40, 30.4, 400.3, 16, 400.0, false, 4096, kTooManyPoints},
      {"more points kept than out holds", 40, 30.4, 400.3, 2, 400.0, false, 100, kTooManyPoints},
      {"zero filling not a power of two", 40, 30.4, 400.3, 3, 400.0, false, 4096, kUnusableRecipe},
      {"no phase half-width", 40, 0.0, 400.3, 2, 400.0, false, 4096, kUnusableRecipe},
      {"phase half-width beyond any transform", 40, 1e300, 400.3, 2, 400.0, false, 4096,
       kUnusableRecipe},
      {"empty range", 40, 30.4, 400.3, 2, 1900.0, false, 4096, kEmptyRange},
      {"infinite sample", 40, 30.4, 400.3, 2, 400.0, true, 4096, kNotFinite},
  };
  // clang-format on
  Transformer run;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    InstrumentRecipe r = recipe(row.z, row.p, row.l, Ramp::kQuintic, row.zff);
    r.wlow = row.wlow;
    const InstrumentSpectrum s =
        run(row.nan_sample ? bad : y, r, std::span(run.out).first(row.out));
    ASSERT_TRUE(s.refused);
    EXPECT_EQ(s.refused->code, row.code) << s.refused->skip_text();
  }
}

}  // namespace
}  // namespace ftir::transform
