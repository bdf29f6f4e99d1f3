// The transform controls against independent computations: a synthetic line on the exact and
// the classic grid, zero filling against the unfilled transform, a stored phase against the
// phase it came from, two scans against each scan converted alone, the centerburst rules.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <tuple>
#include <vector>

#include "driver/memory.h"

namespace ftir::driver {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kLaser = 15800.823;
const double kDx = 1.0 / kLaser;  // cm
const double kFmax = kLaser / 2.0;

Workspace& workspace() {
  static const std::unique_ptr<Workspace> ws = std::make_unique<Workspace>();
  return *ws;
}

// A record of n samples, the centerburst at 0-based index `center`: lines of wavenumber nu
// (cm-1) and amplitude a, cosines about zero path difference under a slow Gaussian, plus
// `noise` times a fixed pseudo-random sequence (seeded by `seed`).
std::vector<double> record(int n, int center, std::vector<std::pair<double, double>> lines,
                           double noise = 0.0, unsigned seed = 1) {
  std::vector<double> y(static_cast<std::size_t>(n));
  unsigned state = seed;
  for (int j = 0; j < n; ++j) {
    const double x = (j - center) * kDx;
    double v = 0.0;
    for (const auto& [nu, a] : lines) v += a * std::cos(2.0 * kPi * nu * x);
    state = state * 1103515245u + 12345u;
    v = v * std::exp(-(x * x) / 0.001) + noise * ((state >> 8) / 16777216.0 - 0.5);
    y[static_cast<std::size_t>(j)] = v;
  }
  return y;
}

MemorySpectrum convert(std::vector<double> samples, ConversionSettings s, int scans = 1) {
  values::Interferogram ig;
  ig.name = "synthetic";
  ig.samples = samples;
  ig.declared_points = ig.points_held = static_cast<int>(samples.size());
  ig.laser = kLaser;
  ig.scans = scans;
  s.wlow = 0.0;
  s.whigh = 8000.0;
  return convert_in_memory(ig, s, workspace());
}

// The peak's wavenumber by a parabola through the logarithms of the largest point and its
// neighbours (exact for a Gaussian line, which the records' Gaussian envelope gives).
double fitted_peak(const MemorySpectrum& m) {
  std::size_t k = 1;
  for (std::size_t i = 1; i + 1 < m.y.size(); ++i) {
    if (m.y[i] > m.y[k]) k = i;
  }
  const double a = std::log(m.y[k - 1]), b = std::log(m.y[k]), c = std::log(m.y[k + 1]);
  const double shift = 0.5 * (a - c) / (a - 2.0 * b + c);
  return m.x[k] + shift * (m.x[k + 1] - m.x[k]);
}

double largest(const std::vector<double>& y) {
  double m = 0.0;
  for (double v : y) m = std::max(m, std::fabs(v));
  return m;
}

void expect_close(const std::vector<double>& got, const std::vector<double>& want, double tol) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) ASSERT_NEAR(got[i], want[i], tol) << i;
}

// A forward scan followed by a backward one, stored in reverse order.
std::vector<double> scans(const std::vector<double>& forward, const std::vector<double>& back) {
  std::vector<double> two(forward);
  two.insert(two.end(), back.rbegin(), back.rend());
  return two;
}

TEST(Controls, ALineLandsOnTheExactGridAndWhereTheClassicGridPutsIt) {
  const double nu = 1234.567;
  // Sides, points, centerburst.
  const std::tuple<const char*, Sides, int, int> cases[] = {
      {"double", Sides::kDouble, 8192, 4096}, {"single", Sides::kSingle, 16384, 1024}};
  for (const auto& [name, sides, n, center] : cases) {
    SCOPED_TRACE(name);
    const std::vector<double> y = record(n, center, {{nu, 1.0}});
    ConversionSettings s;
    s.sides = sides;
    s.iapod = 0;  // boxcar: the Gaussian envelope alone shapes the line
    s.grid = Grid::kExact;
    const MemorySpectrum exact = convert(y, s);
    ASSERT_EQ(exact.record.status, FileStatus::kConverted) << exact.record.reason;
    EXPECT_NEAR(fitted_peak(exact), nu, 0.01);
    // The classic grid labels bin k (k/(N dx)) as k fmax/(N/2 - 1): a line at nu reads at
    // nu * (N/2) / (N/2 - 1).
    s.grid.reset();
    s.zero_fill.reset();
    const MemorySpectrum classic = convert(y, s);
    const double half = classic.record.lnum;
    EXPECT_NEAR(fitted_peak(classic), nu * half / (half - 1.0), 0.01);
  }
}

TEST(Controls, ZeroFillingKeepsTheUnfilledPoints) {
  for (const Sides sides : {Sides::kDouble, Sides::kSingle}) {
    for (const int fill : {2, 4}) {
      SCOPED_TRACE(testing::Message() << "single " << (sides == Sides::kSingle) << " F " << fill);
      const bool both = sides == Sides::kDouble;
      const std::vector<double> y =
          record(both ? 4096 : 8192, both ? 2048 : 700, {{1000.0, 1.0}, {2500.5, 0.5}}, 1e-3);
      ConversionSettings s;
      s.sides = sides;
      s.grid = Grid::kExact;
      const MemorySpectrum plain = convert(y, s);
      s.zero_fill = fill;
      const MemorySpectrum filled = convert(y, s);
      ASSERT_EQ(filled.y.size(), fill * (plain.y.size() - 1) + 1);
      EXPECT_DOUBLE_EQ(filled.x[1] * fill, plain.x[1]);
      const double scale = largest(plain.y);
      for (std::size_t i = 0; i < plain.y.size(); ++i) {
        ASSERT_NEAR(filled.y[i * static_cast<std::size_t>(fill)], plain.y[i], 1e-12 * scale) << i;
      }
    }
  }
}

TEST(Controls, AStoredPhaseReproducesTheSpectrumItCameFrom) {
  for (const auto& [sides, mode] : {std::pair{Sides::kSingle, transform::PhaseMode::kClassic},
                                    std::pair{Sides::kDouble, transform::PhaseMode::kMertz}}) {
    const std::vector<double> y =
        record(8192, sides == Sides::kSingle ? 900 : 4096, {{1500.0, 1.0}, {3100.0, 0.3}}, 1e-3);
    ConversionSettings s;
    s.sides = sides;
    if (mode != transform::PhaseMode::kClassic) s.phase = PhaseChoice{mode, "", nullptr};
    const MemorySpectrum own = convert(y, s);
    ASSERT_FALSE(own.record.phase.y.empty());
    auto stored = std::make_shared<values::StoredPhase>(values::StoredPhase{
        own.record.phase.x_first, own.record.phase.x_step, own.record.phase.y, std::nullopt});
    s.phase = PhaseChoice{transform::PhaseMode::kStored, "", stored};
    expect_close(convert(y, s).y, own.y, 1e-12 * largest(own.y));
    // Measured with another laser, or ending short of this record's fmax: refused.
    stored->laser = 2.0 * kLaser;
    EXPECT_EQ(convert(y, s).record.refusal, values::Refusal::kStoredPhase);
    stored->laser.reset();
    stored->step *= 0.5;
    EXPECT_EQ(convert(y, s).record.refusal, values::Refusal::kStoredPhase);
  }
}

TEST(Controls, TwoScansAreConvertedApartAndTheirSpectraAveraged) {
  const std::vector<std::pair<double, double>> lines = {
      {1200.0, 1.0}, {2000.0, 1.0}, {3000.0, 1.0}};
  const std::vector<double> forward = record(4096, 600, lines, 1e-2, 7);
  const std::vector<double> noisy = record(4096, 600, lines, 1e-2, 8);
  ConversionSettings s;
  s.sides = Sides::kSingle;
  const MemorySpectrum alone = convert(forward, s), back = convert(noisy, s);
  // A forward scan and its exact reverse: the forward spectrum.
  const MemorySpectrum same = convert(scans(forward, forward), s, 2);
  expect_close(same.y, alone.y, 1e-12 * largest(alone.y));
  EXPECT_EQ(same.record.scan_difference, 0.0);
  // Two scans of different noise: the mean of the two spectra, each converted alone (not the
  // spectrum of the averaged interferograms), and their difference as the record states it.
  std::vector<double> two = scans(forward, noisy);
  const MemorySpectrum mean = convert(two, s, 2);
  ASSERT_EQ(mean.y.size(), alone.y.size());
  double diff = 0.0, sum = 0.0;
  for (std::size_t i = 0; i < alone.y.size(); ++i) {
    const double m = (alone.y[i] + back.y[i]) / 2.0;
    ASSERT_NEAR(mean.y[i], m, 1e-12 * largest(alone.y));
    diff += (alone.y[i] - back.y[i]) * (alone.y[i] - back.y[i]);
    sum += m * m;
  }
  ASSERT_TRUE(mean.record.scan_difference.has_value());
  EXPECT_NEAR(*mean.record.scan_difference, std::sqrt(diff / sum), 1e-9);
  EXPECT_EQ(mean.record.scans_differ, *mean.record.scan_difference > kScanDifferenceLimit);
  EXPECT_EQ(mean.record.jmax_backward, 601);

  // One direction alone; an odd count refused.
  s.direction = Direction::kBackward;
  expect_close(convert(two, s, 2).y, back.y, 0.0);
  two.pop_back();
  EXPECT_EQ(convert(two, s, 2).record.refusal, values::Refusal::kOddScans);
  // A record of one scan has no backward one to take.
  const MemorySpectrum one = convert(forward, s);
  EXPECT_EQ(one.record.refusal, values::Refusal::kSettingRefused);
  EXPECT_EQ(one.record.reason,
            "--direction backward: the record holds one scan (--two-scans reads it as two)");
}

TEST(Controls, CenterburstRules) {
  // Mean 0: the largest sample is index 3, the smallest (and largest magnitude) index 6.
  const std::vector<double> base = {0.0, 1.0, 3.0, 0.0, 0.0, -4.0, 0.0, 0.0, 1.0, -1.0};
  ConversionSettings s;
  const std::pair<Zpd, int> cases[] = {{{ZpdMode::kMax, 0}, 3},
                                       {{ZpdMode::kMin, 0}, 6},
                                       {{ZpdMode::kAbs, 0}, 6},
                                       {{ZpdMode::kIndex, 7}, 7}};
  for (const auto& [zpd, jmax] : cases) {
    s.zpd = zpd;
    EXPECT_EQ(convert(base, s).record.jmax, jmax) << static_cast<int>(zpd.mode);
  }
  s.zpd = Zpd{ZpdMode::kIndex, 11};
  EXPECT_EQ(convert(base, s).record.refusal, values::Refusal::kZpdOutside);
}

TEST(Controls, PhaseModesAndThePhaseResolutionRule) {
  const std::vector<double> y = record(16384, 1024, {{1500.0, 1.0}, {2900.0, 0.4}}, 1e-3);
  std::vector<double> negated(y);
  for (double& v : negated) v = -v;
  ConversionSettings s;
  s.sides = Sides::kSingle;
  s.phase = PhaseChoice{transform::PhaseMode::kMertzSigned, "", nullptr};
  const MemorySpectrum signed_up = convert(y, s);
  const MemorySpectrum signed_down = convert(negated, s);
  s.phase.reset();
  const MemorySpectrum mertz_down = convert(negated, s);
  const MemorySpectrum mertz_up = convert(y, s);
  // Mertz rotates a record turned by pi back up; signed Mertz keeps it down.
  const double scale = largest(mertz_up.y);
  for (std::size_t i = 0; i < mertz_up.y.size(); ++i) {
    if (std::fabs(mertz_up.y[i]) < 0.1 * scale) continue;  // away from noise-only points
    EXPECT_NEAR(mertz_down.y[i], mertz_up.y[i], 1e-9 * scale);
    EXPECT_NEAR(signed_down.y[i], -signed_up.y[i], 1e-9 * scale);
  }
  // The phase piece: 2N points, N the smallest power of two with 1/(N dx) <= res, 4..8192
  // (dx = 1/15800.823 cm: 15800.823/N <= res).
  const std::pair<double, std::size_t> rules[] = {
      {8.0, 2048}, {16.0, 1024}, {100.0, 256}, {1e6, 4}, {1.93, 8192}};
  for (const auto& [res, half] : rules) {
    s.phase_resolution = res;
    EXPECT_EQ(convert(y, s).record.phase.y.size(), half) << res;
  }
  // Finer than the longest piece gives (15800.823 / 8192 = 1.928812...): refused, with the
  // finest named, rather than taken coarser.
  for (const double res : {1.928, 0.5, 1e-300}) {
    s.phase_resolution = res;
    const MemorySpectrum refused = convert(y, s);
    EXPECT_EQ(refused.record.status, FileStatus::kSkipped) << res;
    EXPECT_NE(refused.record.reason.find("finest is 1.92882 cm-1"), std::string::npos)
        << refused.record.reason;
  }
}

}  // namespace
}  // namespace ftir::driver
