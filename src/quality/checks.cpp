// The record and tile checks of the table in checks.h, and the parsing of their settings.
#include "quality/checks.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <numbers>

#include "simd/kernels.h"

namespace ftir::quality {

namespace {

void judge(Result& r, Check c, double measured, double limit) {
  r.measured[static_cast<std::size_t>(c)] = measured;
  if (row(c).above ? measured > limit : measured < limit) r.mask |= bit(c);
}

double median_of(std::vector<double> v) {
  if (v.empty()) return 0.0;
  const std::size_t mid = v.size() / 2;
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid), v.end());
  const double upper = v[mid];
  if (v.size() % 2 == 1) return upper;
  const double lower = *std::max_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid));
  return 0.5 * (lower + upper);
}

// The longest run of equal samples whose value is the record's largest or smallest.
int run_at_extreme(std::span<const double> y) {
  const auto [lo, hi] = std::minmax_element(y.begin(), y.end());
  int longest = 0;
  int run = 0;
  for (std::size_t i = 0; i < y.size(); ++i) {
    run = (i > 0 && y[i] == y[i - 1]) ? run + 1 : 1;
    if (y[i] == *lo || y[i] == *hi) longest = std::max(longest, run);
  }
  return longest;
}

// The allowance of a distance in samples: a fraction of the scan, never below kZpdFloor.
bool beyond_allowance(int distance, int scan_points, double fraction) {
  return distance > std::max(fraction * scan_points, static_cast<double>(kZpdFloor));
}

// What the scan checks read of a scan, in one pass of the vector kernel: the sum, the
// extremes, and the largest and smallest value two neighbouring samples share (a run's).
struct ScanPass {
  int n = 0;
  double sum = 0.0;
  double lo = 0.0;
  double hi = 0.0;
  bool any_pair = false;
  double pair_lo = 0.0;
  double pair_hi = 0.0;
  double mean() const { return sum / n; }
};

ScanPass pass_over(std::span<const double> scan) {
  const simd::ScanSummary s = simd::summarize_scan(scan.data(), scan.size());
  return {static_cast<int>(scan.size()), s.sum,     s.lo,     s.hi,
          s.pair_hi >= s.pair_lo,        s.pair_lo, s.pair_hi};
}

// The mean of y[from..to-1], four partial sums side by side.
double block_mean(std::span<const double> y, int from, int to) {
  double s[4] = {0.0, 0.0, 0.0, 0.0};
  int i = from;
  for (; i + 4 <= to; i += 4) {
    for (int k = 0; k < 4; ++k) s[k] += y[static_cast<std::size_t>(i + k)];
  }
  for (; i < to; ++i) s[0] += y[static_cast<std::size_t>(i)];
  return ((s[0] + s[1]) + (s[2] + s[3])) / (to - from);
}

// The slow trend of a scan that carries DC: (max - min) / |mean| of its block means, the
// blocks near the centerburst `burst` left out (there the burst's own swing dominates the
// mean). Empty when the scan carries no DC.
std::optional<double> dc_variation(std::span<const double> scan, const ScanPass& p, int burst) {
  const double mean = p.mean();
  const double amplitude = scan[static_cast<std::size_t>(burst)] - mean;
  if (!(mean * amplitude > 0.0) || std::fabs(mean) < kDcShare * std::fabs(amplitude)) {
    return std::nullopt;
  }
  if (p.n < 2 * kTrendBlocks) return std::nullopt;
  const int reach = p.n / (2 * kTrendBlocks);
  double lowest = 0.0;
  double highest = 0.0;
  bool any = false;
  for (int b = 0; b < kTrendBlocks; ++b) {
    const int from = b * p.n / kTrendBlocks;
    const int to = (b + 1) * p.n / kTrendBlocks;
    if (to > burst - reach && from <= burst + reach) continue;
    const double m = block_mean(scan, from, to);
    lowest = any ? std::min(lowest, m) : m;
    highest = any ? std::max(highest, m) : m;
    any = true;
  }
  if (!any) return std::nullopt;
  return (highest - lowest) / std::fabs(mean);
}

// The phase's rms about the line through each point's two neighbours on the grid, over the
// points of the band whose magnitude is at least kPhaseFloor of the band's largest (all
// three of a triple), weighted by the squared magnitude: a smooth phase leaves little, a
// phase the correction cannot follow (noise, a jump) much.
std::optional<double> phase_residual(const RecordInput& in) {
  const std::span<const double> angle = in.phase.values;
  const std::span<const double> mag = in.magnitude.values;
  if (angle.size() < 3 || mag.size() != angle.size()) return std::nullopt;
  // The band's points i0..i1 - 1 of the grid.
  const double high = in.band_high > 0.0 ? in.band_high : std::numeric_limits<double>::max();
  std::size_t i0 = 0;
  std::size_t i1 = 0;
  double largest = 0.0;
  for (std::size_t i = 0; i < angle.size(); ++i) {
    const double x = in.phase.first + static_cast<double>(i) * in.phase.step;
    if (x < in.band_low || x > high) continue;
    if (i1 == 0) i0 = i;
    i1 = i + 1;
    largest = std::max(largest, std::fabs(mag[i]));
  }
  if (!(largest > 0.0)) return std::nullopt;
  const double floor = kPhaseFloor * largest;
  // The angle of a neighbour unwrapped to lie within pi of the middle point's.
  auto near = [](double a, double middle) {
    const double d = a - middle;
    if (std::fabs(d) <= std::numbers::pi) return a;
    return a - 2.0 * std::numbers::pi * std::round(d / (2.0 * std::numbers::pi));
  };
  double sum = 0.0;
  double weight = 0.0;
  int triples = 0;
  for (std::size_t i = i0 + 1; i + 1 < i1; ++i) {
    if (std::fabs(mag[i - 1]) < floor || std::fabs(mag[i]) < floor ||
        std::fabs(mag[i + 1]) < floor) {
      continue;
    }
    const double e = angle[i] - 0.5 * (near(angle[i - 1], angle[i]) + near(angle[i + 1], angle[i]));
    const double w = mag[i] * mag[i];
    sum += w * e * e;
    weight += w;
    ++triples;
  }
  if (triples < kPhaseMinPoints) return std::nullopt;
  return std::sqrt(sum / weight);
}

// The share of the magnitude's energy outside the stated band; empty when the file states
// none inside the grid.
std::optional<double> beyond_band(const RecordInput& in) {
  const GridView& m = in.magnitude;
  if (m.values.empty() || (!in.low_cut && !in.high_cut)) return std::nullopt;
  const double last = m.first + static_cast<double>(m.values.size() - 1) * m.step;
  const bool high_inside = in.high_cut && *in.high_cut < last;
  const bool low_inside = in.low_cut && *in.low_cut > m.first;
  if (!high_inside && !low_inside) return std::nullopt;
  double total = 0.0;
  double outside = 0.0;
  for (std::size_t i = 0; i < m.values.size(); ++i) {
    const double x = m.first + static_cast<double>(i) * m.step;
    const double e = m.values[i] * m.values[i];
    total += e;
    if ((high_inside && x > *in.high_cut) || (low_inside && x < *in.low_cut)) outside += e;
  }
  if (!(total > 0.0)) return std::nullopt;
  return outside / total;
}

}  // namespace

Centerburst find_centerburst(std::span<const double> scan) {
  Centerburst c;
  if (scan.empty()) return c;
  // The converter's own rule, on a copy: the mean summed in index order, then the first
  // sample of largest magnitude once it is subtracted.
  double sum = 0.0;
  for (double v : scan) sum += v;
  c.mean = sum / static_cast<double>(scan.size());
  std::vector<double> y(scan.begin(), scan.end());
  const std::size_t at = simd::subtract_mean_find_largest(y.data(), y.size(), c.mean);
  c.index = static_cast<int>(at);
  c.amplitude = y[at];
  return c;
}

Result check_record(const RecordInput& in, const Settings& settings) {
  Result r;
  if (settings.policy == Policy::kOff || in.samples.empty()) return r;
  const int scans = in.scans == 2 ? 2 : 1;
  const int scan_points = static_cast<int>(in.samples.size()) / scans;
  if (scan_points < 1) return r;

  std::array<ScanPass, 2> pass;
  for (int s = 0; s < scans; ++s) {
    pass[static_cast<std::size_t>(s)] = pass_over(in.samples.subspan(
        static_cast<std::size_t>(s * scan_points), static_cast<std::size_t>(scan_points)));
  }
  // Clipping: only when two neighbours share the record's largest or smallest value does
  // the longest run there need a look.
  const double hi = scans == 2 ? std::max(pass[0].hi, pass[1].hi) : pass[0].hi;
  const double lo = scans == 2 ? std::min(pass[0].lo, pass[1].lo) : pass[0].lo;
  bool paired = scans == 2 && in.samples[static_cast<std::size_t>(scan_points)] ==
                                  in.samples[static_cast<std::size_t>(scan_points - 1)];
  for (int s = 0; s < scans; ++s) {
    const ScanPass& p = pass[static_cast<std::size_t>(s)];
    paired = paired || (p.any_pair && (p.pair_hi == hi || p.pair_lo == lo));
  }
  int run = paired ? run_at_extreme(in.samples) : 1;
  bool at_declared = false;
  if (in.adc) {
    const int at =
        static_cast<int>(std::count_if(in.samples.begin(), in.samples.end(), [&](double v) {
          return v <= in.adc->low || v >= in.adc->high;
        }));
    at_declared = at > 0;
    run = std::max(run, at);
  }
  // A run as long as the threshold already fires: the row states the shortest flat top.
  r.measured[static_cast<std::size_t>(Check::kClipping)] = run;
  if (run >= settings[Check::kClipping] || at_declared) r.mask |= bit(Check::kClipping);

  std::optional<double> worst_variation;
  bool carries_dc = false;
  double sum = 0.0;
  for (int s = 0; s < scans; ++s) {
    const ScanPass& p = pass[static_cast<std::size_t>(s)];
    sum += p.sum;
    std::span<const double> scan = in.samples.subspan(static_cast<std::size_t>(s * scan_points),
                                                      static_cast<std::size_t>(scan_points));
    // The burst in storage order (a backward scan is stored reversed; its found centerburst
    // counts in its own order); none found: the extreme farther from the mean.
    int zpd = in.found_zpd[static_cast<std::size_t>(s)];
    if (s == 1 && zpd >= 0) zpd = scan_points - 1 - zpd;
    if (zpd < 0 || zpd >= scan_points) zpd = find_centerburst(scan).index;
    if (const std::optional<double> v = zpd >= 0 ? dc_variation(scan, p, zpd) : std::nullopt) {
      carries_dc = true;
      worst_variation = std::max(worst_variation.value_or(*v), *v);
    }
    const std::optional<int>& stored = in.stored_zpd[static_cast<std::size_t>(s)];
    const int found = in.found_zpd[static_cast<std::size_t>(s)];
    if (stored && found >= 0) {
      const int distance = std::abs(found - *stored);
      const double fraction = static_cast<double>(distance) / scan_points;
      const std::size_t k = static_cast<std::size_t>(Check::kZpd);
      r.measured[k] = std::max(r.measured[k].value_or(fraction), fraction);
      if (beyond_allowance(distance, scan_points, settings[Check::kZpd]))
        r.mask |= bit(Check::kZpd);
    }
  }
  if (worst_variation)
    judge(r, Check::kDcVariation, *worst_variation, settings[Check::kDcVariation]);
  if (carries_dc && in.adc && in.adc->high > in.adc->low) {
    const double mean = sum / static_cast<double>(scans * scan_points);
    judge(r, Check::kDcLevel, std::fabs(mean) / (in.adc->high - in.adc->low),
          settings[Check::kDcLevel]);
  }

  if (scans == 2) {
    if (in.scan_difference) {
      judge(r, Check::kDirections, *in.scan_difference, settings[Check::kDirections]);
    }
    if (in.found_zpd[0] >= 0 && in.found_zpd[1] >= 0) {
      const int distance = std::abs(in.found_zpd[0] - in.found_zpd[1]);
      r.measured[static_cast<std::size_t>(Check::kDirectionsZpd)] =
          static_cast<double>(distance) / scan_points;
      if (beyond_allowance(distance, scan_points, settings[Check::kDirectionsZpd])) {
        r.mask |= bit(Check::kDirectionsZpd);
      }
    }
  }
  if (const std::optional<double> p = phase_residual(in)) {
    judge(r, Check::kPhase, *p, settings[Check::kPhase]);
  }
  if (const std::optional<double> b = beyond_band(in)) {
    judge(r, Check::kBeyondBand, *b, settings[Check::kBeyondBand]);
  }
  return r;
}

std::vector<Result> check_tile(const TileInput& tile, const Settings& settings) {
  const int pixels = tile.width * tile.height;
  if (settings.policy == Policy::kOff || pixels <= 0 || tile.points <= 0 ||
      tile.values.size() <
          static_cast<std::size_t>(pixels) * static_cast<std::size_t>(tile.points)) {
    return {};
  }
  std::vector<Result> results(static_cast<std::size_t>(pixels));
  std::vector<double> zpd(static_cast<std::size_t>(pixels));
  std::vector<double> amplitude(static_cast<std::size_t>(pixels));
  std::vector<double> trace(static_cast<std::size_t>(tile.points));
  for (int p = 0; p < pixels; ++p) {
    for (int k = 0; k < tile.points; ++k) {
      trace[static_cast<std::size_t>(k)] =
          tile.values[static_cast<std::size_t>(k) * static_cast<std::size_t>(pixels) +
                      static_cast<std::size_t>(p)];
    }
    const Centerburst c = find_centerburst(trace);
    zpd[static_cast<std::size_t>(p)] = c.index;
    amplitude[static_cast<std::size_t>(p)] = std::fabs(c.amplitude);
  }
  const double zpd_median = median_of(zpd);
  // A pixel without signal has no centerburst to place; the amplitude checks judge it.
  for (std::size_t p = 0; p < results.size(); ++p) {
    if (amplitude[p] > 0.0) {
      judge(results[p], Check::kZpdTile, std::fabs(zpd[p] - zpd_median), settings[Check::kZpdTile]);
    }
  }
  if (!tile.background) return results;
  const double median = median_of(amplitude);
  std::vector<double> deviation(amplitude.size());
  for (std::size_t p = 0; p < amplitude.size(); ++p)
    deviation[p] = std::fabs(amplitude[p] - median);
  const double mad = median_of(deviation);
  for (std::size_t p = 0; p < results.size(); ++p) {
    if (mad > 0.0) {
      judge(results[p], Check::kPixelSpread, deviation[p] / mad, settings[Check::kPixelSpread]);
    }
    if (median > 0.0) {
      judge(results[p], Check::kPixelLow, amplitude[p] / median, settings[Check::kPixelLow]);
    }
  }
  return results;
}

std::optional<Check> check_named(std::string_view name) {
  for (const CheckRow& r : kChecks) {
    if (name == r.name) return r.check;
  }
  return std::nullopt;
}

std::string flag_names(std::uint32_t mask) {
  std::string names;
  for (const CheckRow& r : kChecks) {
    if ((mask & bit(r.check)) == 0) continue;
    if (!names.empty()) names += ", ";
    names += r.name;
  }
  return names;
}

FromText<Policy> policy_from_text(std::string_view text) {
  if (text == "flag") return {Policy::kFlag, {}};
  if (text == "skip") return {Policy::kSkip, {}};
  if (text == "off") return {Policy::kOff, {}};
  return {std::nullopt, "is not flag, skip or off"};
}

FromText<Settings> limit_from_text(const Settings& settings, std::string_view text) {
  const std::size_t eq = text.find('=');
  if (eq == std::string_view::npos) return {std::nullopt, "is not NAME=VALUE"};
  const std::string_view name = text.substr(0, eq);
  const std::string_view value = text.substr(eq + 1);
  const std::optional<Check> c = check_named(name);
  if (!c) {
    std::string known;
    for (const CheckRow& r : kChecks) known += std::string(known.empty() ? "" : ", ") + r.name;
    return {std::nullopt, "names no quality check (" + known + ")"};
  }
  double limit = 0.0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), limit);
  if (value.empty() || error != std::errc{} || end != value.data() + value.size() ||
      !std::isfinite(limit)) {
    return {std::nullopt, std::string(name) + ": " + std::string(value) + " is not a number"};
  }
  if (limit < row(*c).minimum) {
    char buffer[32];
    const auto printed = std::to_chars(buffer, buffer + sizeof buffer, row(*c).minimum);
    return {std::nullopt, std::string(name) + ": " + std::string(value) + " is below " +
                              std::string(buffer, printed.ptr)};
  }
  Settings changed = settings;
  changed.limit[static_cast<std::size_t>(*c)] = limit;
  return {changed, {}};
}

}  // namespace ftir::quality
