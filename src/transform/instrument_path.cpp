// The instrument's own processing of one scan, and the steps around it.
#include "transform/instrument_path.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <string>

namespace ftir::transform {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;

// A stored phase's grid ends and the spectrum's grid ends may disagree by rounding; a
// point this share of a phase step beyond the curve still takes its end value.
constexpr double kCurveEndTolerance = 1e-9;

using values::Refusal;
using values::Refused;

Refused refusal(Refusal code, std::string detail = {}) { return {code, std::move(detail), 0, 0}; }

// All bytes zero are +0.0 in both parts.
void zero(Complex* from, Complex* to) {
  std::memset(static_cast<void*>(from), 0, static_cast<std::size_t>(to - from) * sizeof(Complex));
}

bool is_power_of_two(long long v) { return v >= 1 && (v & (v - 1)) == 0; }

int log2_of(int power) {
  int k = 0;
  while ((1 << k) < power) ++k;
  return k;
}

// Slot of point n (|n| < size/2) in a transform of `size` points with n = 0 at slot 0.
std::size_t slot(int n, int size) { return static_cast<std::size_t>(n < 0 ? n + size : n); }

// The first unusable parameter of the recipe, named; empty when all are usable.
std::string unusable_parameter(const InstrumentRecipe& r) {
  if (r.window == nullptr) return "no window";
  // Lengths beyond the largest transform could never be loaded, and stay clear of int.
  constexpr double kLongest = Fft::kMaxPoints;
  if (!(r.phase_halfwidth > 0.0 && r.phase_halfwidth <= kLongest)) return "phase half-width";
  if (!(r.long_side > 0.0 && r.long_side <= kLongest)) return "long side";
  if (!(std::fabs(r.window_shift) <= kLongest)) return "window shift";
  if (!is_power_of_two(r.zero_fill)) return "zero filling";
  if (!(std::isfinite(r.nyquist) && r.nyquist > 0.0)) return "Nyquist wavenumber";
  if (!std::isfinite(r.wlow) || !std::isfinite(r.whigh)) return "range";
  if (r.phase_length != 0 && !(is_power_of_two(r.phase_length) && r.phase_length >= 2)) {
    return "phase length";
  }
  if (r.mode == InstrumentPhase::kStored &&
      (r.stored_phase.angle.empty() || !std::isfinite(r.stored_phase.first) ||
       !std::isfinite(r.stored_phase.step) || r.stored_phase.step == 0.0)) {
    return "stored phase";
  }
  return {};
}

// The unwrapped angle of work[0..count-1] into angle: each step between neighbours is
// brought into [-pi, pi) by whole turns (a step of exactly pi stays, one of exactly -pi
// becomes pi when the raw step was positive), the turns added up from the start.
// Beside it, unit[j] = (cos, sin) of the angle, from the point itself ((1, 0) at zero).
void unwrapped_angle(std::span<const Complex> work, std::span<double> angle, Complex* unit) {
  double previous = 0.0;
  double turns = 0.0;
  for (std::size_t j = 0; j < angle.size(); ++j) {
    const double raw = std::atan2(work[j].im, work[j].re);
    const double magnitude = std::sqrt(work[j].re * work[j].re + work[j].im * work[j].im);
    unit[j] = magnitude == 0.0 ? Complex{1.0, 0.0}
                               : Complex{work[j].re / magnitude, work[j].im / magnitude};
    if (j > 0) {
      const double d = raw - previous;
      if (std::fabs(d) >= kPi) {
        double m = std::fmod(d + kPi, kTwoPi);
        if (m < 0.0) m += kTwoPi;
        double dd = m - kPi;
        if (dd == -kPi && d > 0.0) dd = kPi;
        turns += dd - d;
      }
    }
    angle[j] = raw + turns;
    previous = raw;
  }
}

// The curve's angle at x, linear between its neighbours taken less than a half turn
// apart; empty when x lies beyond the curve.
std::optional<double> curve_angle(const PhaseCurve& curve, double x) {
  const int last = static_cast<int>(curve.angle.size()) - 1;
  double q = (x - curve.first) / curve.step;
  if (q < 0.0 && q >= -kCurveEndTolerance) q = 0.0;
  if (q > last && q <= last + kCurveEndTolerance) q = last;
  if (!(q >= 0.0 && q <= last)) return std::nullopt;
  const int j = std::min(static_cast<int>(q), std::max(last - 1, 0));
  const double a = curve.angle[static_cast<std::size_t>(j)];
  if (last == 0) return a;
  const double d = std::remainder(curve.angle[static_cast<std::size_t>(j) + 1] - a, kTwoPi);
  return a + (q - j) * d;
}

}  // namespace

long long power_of_two_at_least(double x, long long limit) {
  if (!(x <= static_cast<double>(limit))) return 0;
  long long m = 1;
  while (static_cast<double>(m) < x) m *= 2;
  return m;
}

double mertz_ramp(Ramp ramp, double n, double p) {
  if (ramp == Ramp::kNone) return 1.0;
  if (n <= -p) return 0.0;
  if (n >= p) return 1.0;
  const double t = n / p;
  if (ramp == Ramp::kLinear) return 0.5 + 0.5 * t;
  return 0.5 + t * t * t * (5.0 - 3.0 * t * t) / 4.0;
}

InstrumentSpectrum instrument_transform(std::span<const double> scan,
                                        const InstrumentRecipe& recipe, InstrumentWork& work,
                                        Fft& fft, std::span<double> out) {
  InstrumentSpectrum s;
  if (std::string bad = unusable_parameter(recipe); !bad.empty()) {
    s.refused = refusal(Refusal::kUnusableRecipe,
                        "the instrument's transform parameters are unusable: " + bad);
    return s;
  }
  const int npts = static_cast<int>(scan.size());
  const int z = recipe.zpd;
  const double p = recipe.phase_halfwidth;
  const double l = recipe.long_side;
  const double c = recipe.window_shift;
  const bool mertz = recipe.mode == InstrumentPhase::kMertz;
  if (z < 0 || z >= npts) {
    s.refused = refusal(Refusal::kInstrumentGeometry,
                        "the centerburst index " + std::to_string(z) + " lies outside the " +
                            std::to_string(npts) + " samples of the scan");
    return s;
  }

  // The lengths: N from the long side, Nph from the phase piece, both powers of two.
  const long long limit = std::min<long long>(work.capacity, Fft::kMaxPoints);
  const long long base = power_of_two_at_least(l, limit);
  const long long nn = base * recipe.zero_fill;
  if (base == 0 || nn > limit || nn < 2) {
    s.refused = Refused{Refusal::kTooManyPoints,
                        {},
                        static_cast<int>(limit),
                        base == 0 ? 0 : static_cast<int>(std::min<long long>(nn, 1 << 30))};
    return s;
  }
  s.n = static_cast<int>(nn);
  const int half = s.n / 2;
  const int np = static_cast<int>(std::floor(p));  // the phase piece is n = -np..np
  if (mertz) {
    const long long nph =
        recipe.phase_length != 0 ? recipe.phase_length : power_of_two_at_least(2.0 * p, limit);
    if (nph == 0 || nph > limit) {
      s.refused = Refused{Refusal::kTooManyPoints, {}, static_cast<int>(limit), 0};
      return s;
    }
    s.nph = static_cast<int>(std::max(nph, 2LL));
    if (2LL * np + 1 > s.nph) {
      s.refused = refusal(Refusal::kUnusableRecipe,
                          "the instrument's transform parameters are unusable: the phase piece "
                          "is longer than the phase transform");
      return s;
    }
  }

  // The points kept, by the floor rule, within 0..N/2.
  s.dnu = recipe.nyquist / half;
  const double kfirst = std::max(std::floor(recipe.wlow / s.dnu), 0.0);
  const double klast = std::min(std::floor(recipe.whigh / s.dnu) - 1.0, static_cast<double>(half));
  if (!(kfirst <= klast)) {
    s.refused = refusal(Refusal::kEmptyRange);
    return s;
  }
  s.first_k = static_cast<int>(kfirst);
  const int points = static_cast<int>(klast) - s.first_k + 1;
  if (static_cast<std::size_t>(points) > out.size()) {
    s.refused = Refused{Refusal::kTooManyPoints, {}, static_cast<int>(out.size()), points};
    return s;
  }

  // The long side: |n - c| <= L, from -P on where a ramp takes the points before the
  // centerburst, and |n| < N/2 (the transform holds N points around the centerburst).
  int nlo = static_cast<int>(std::max(std::ceil(c - l), static_cast<double>(1 - half)));
  int nhi = static_cast<int>(std::min(std::floor(c + l), static_cast<double>(half - 1)));
  if (recipe.cut_at_scan_end) nhi = std::min(nhi, npts - 1 - z);
  if (recipe.ramp != Ramp::kNone) nlo = std::max(nlo, static_cast<int>(std::floor(-p)) + 1);
  if (nlo > 0 || nhi < 0) {
    s.refused = refusal(Refusal::kUnusableRecipe,
                        "the instrument's transform parameters are unusable: the long side "
                        "does not hold the centerburst");
    return s;
  }
  const int first_needed = mertz ? std::min(nlo, -np) : nlo;
  const int last_needed = mertz ? std::max(nhi, np) : nhi;
  if (z + first_needed < 0 || z + last_needed >= npts) {
    s.refused =
        refusal(Refusal::kInstrumentGeometry,
                "the " + std::string(z + first_needed < 0 ? "first" : "last") +
                    " sample the transform needs lies beyond the scan (samples " +
                    std::to_string(z + first_needed) + " to " + std::to_string(z + last_needed) +
                    " of 0 to " + std::to_string(npts - 1) + ")");
    return s;
  }
  // The long side's energy, in four interleaved partial sums (one chain of adds would take
  // longer than the rest of the loading); a sample that is no number makes it none.
  const double* const y0 = scan.data() + z;  // y0[n] is point n
  double e0 = 0.0, e1 = 0.0, e2 = 0.0, e3 = 0.0;
  int n4 = nlo;
  for (; n4 + 3 <= nhi; n4 += 4) {
    e0 += y0[n4] * y0[n4];
    e1 += y0[n4 + 1] * y0[n4 + 1];
    e2 += y0[n4 + 2] * y0[n4 + 2];
    e3 += y0[n4 + 3] * y0[n4 + 3];
  }
  for (; n4 <= nhi; ++n4) e0 += y0[n4] * y0[n4];
  s.energy = (e0 + e1) + (e2 + e3);
  bool finite = std::isfinite(s.energy);
  // The phase piece's samples beyond the long side.
  for (int n = first_needed; n < nlo; ++n) finite = finite && std::isfinite(y0[n]);
  for (int n = nhi + 1; n <= last_needed; ++n) finite = finite && std::isfinite(y0[n]);
  if (!finite) {
    const bool sample = std::any_of(y0 + first_needed, y0 + last_needed + 1,
                                    [](double v) { return !std::isfinite(v); });
    s.refused = refusal(sample ? Refusal::kNotFinite : Refusal::kTooLarge);
    return s;
  }
  s.zpd_value = scan[static_cast<std::size_t>(z)];

  // The weights, unless the previous scan left the same.
  const int piece_count = mertz ? 2 * np + 1 : 0;  // at most Nph, and the side under N
  const InstrumentWork::Geometry geometry{recipe.window,   p,   l,  c, recipe.ramp,
                                          mertz ? np : -1, nlo, nhi};
  double* const piece_weight = work.weights.data();
  double* const side_weight = piece_weight + piece_count;
  if (!(work.geometry == geometry)) {
    const Window& window = *recipe.window;
    for (int n = -np; n <= np && mertz; ++n) piece_weight[n + np] = window.weight(n, p);
    for (int n = nlo; n <= nhi; ++n) {
      side_weight[n - nlo] = window.weight(n - c, l) * mertz_ramp(recipe.ramp, n, p);
    }
    work.geometry = geometry;
  }

  // The phase: the piece |n| <= P under the window of half-width P, the centerburst at
  // slot 0, its unwrapped angle on k = 0..Nph/2.
  if (mertz) {
    const std::span<Complex> piece(work.work.data(), static_cast<std::size_t>(s.nph));
    zero(piece.data() + np + 1, piece.data() + s.nph - np);
    for (int n = -np; n <= np; ++n) {
      piece[slot(n, s.nph)] = {y0[n] * piece_weight[n + np], 0.0};
    }
    fft.CFFT(piece, log2_of(s.nph), s.nph, 1);
    const std::span<double> angle(work.phase.data(), static_cast<std::size_t>(s.nph / 2 + 1));
    unwrapped_angle(piece, angle, work.unit.data());
    s.phase = {0.0, recipe.nyquist / (s.nph / 2), angle};
  }

  // The long side, weighted and ramped, the centerburst at slot 0; slots nhi + 1 .. N + nlo
  // - 1 hold the zeros between its two ends.
  const std::span<Complex> f(work.work.data(), static_cast<std::size_t>(s.n));
  zero(f.data() + nhi + 1, f.data() + s.n + nlo);
  for (int n = nlo; n < 0; ++n)
    f[static_cast<std::size_t>(s.n + n)] = {y0[n] * side_weight[n - nlo], 0.0};
  for (int n = 0; n <= nhi; ++n)
    f[static_cast<std::size_t>(n)] = {y0[n] * side_weight[n - nlo], 0.0};
  fft.CFFT(f, log2_of(s.n), s.n, 1);

  // The phase correction, point by point: S = Re(F exp(-i phi)). Between two points of the
  // phase grid the Mertz angle grows by the same step from one point to the next, so its
  // factor (cos, sin) is taken afresh at the first point of each interval and advanced by
  // the step's factor after it (equal to the angle's own factor to a few rounding errors;
  // the sines and cosines would otherwise take longer than the transforms). The sums stay
  // in locals: stores through `out` could otherwise alias them.
  s.values = out.first(static_cast<std::size_t>(points));
  const int phase_last = s.nph / 2;
  int interval = -1;
  const double ratio = static_cast<double>(s.nph) / s.n;
  double spectrum_energy = 0.0;
  double peak = 0.0;
  Complex factor{1.0, 0.0};
  Complex advance{1.0, 0.0};
  for (int i = 0; i < points; ++i) {
    const int k = s.first_k + i;
    const Complex v = f[static_cast<std::size_t>(k)];
    double y = 0.0;
    if (recipe.mode == InstrumentPhase::kPower) {
      y = std::sqrt(v.re * v.re + v.im * v.im);
    } else {
      if (mertz) {
        const double q = k * ratio;  // k * Nph / N, exact: the ratio is a power of two
        const int j = static_cast<int>(q);
        if (j != interval) {
          const double a = work.phase[static_cast<std::size_t>(j)];
          const double d = j >= phase_last ? 0.0 : work.phase[static_cast<std::size_t>(j) + 1] - a;
          const double phi = a + (q - j) * d;
          const double step = d * ratio;
          // On a point of the phase grid the factor is that point's own.
          factor = q == j ? work.unit[static_cast<std::size_t>(j)]
                          : Complex{std::cos(phi), std::sin(phi)};
          advance = {std::cos(step), std::sin(step)};
          interval = j;
        } else {
          factor = mul(factor, advance);
        }
      } else {
        const std::optional<double> stored =
            curve_angle(recipe.stored_phase, k * recipe.nyquist / half);
        if (!stored) {
          s.refused = refusal(Refusal::kStoredPhaseRange);
          return s;
        }
        factor = {std::cos(*stored), std::sin(*stored)};
      }
      y = v.re * factor.re + v.im * factor.im;
    }
    s.values[static_cast<std::size_t>(i)] = y;
    spectrum_energy += y * y;
    peak = std::max(peak, std::fabs(y));
  }
  s.spectrum_energy = spectrum_energy;
  s.peak = peak;
  if (!std::isfinite(s.spectrum_energy) || !std::isfinite(s.energy)) {
    s.refused = refusal(Refusal::kTooLarge);
  }
  return s;
}

double remove_scan_mean(std::span<double> y, std::optional<Nonlinearity> nonlinearity) {
  if (y.empty()) return 0.0;
  double sum = 0.0;
  if (nonlinearity) {
    const double nla = nonlinearity->nla;
    const double nlb = nonlinearity->nlb;
    for (double& v : y) {
      v = nla * v + nlb * v * v;
      sum += v;
    }
  } else {
    for (double v : y) sum += v;
  }
  const double mean = sum / static_cast<double>(y.size());
  for (double& v : y) v -= mean;
  return mean;
}

int split_directions(std::span<const double> record, std::span<double> forward,
                     std::span<double> backward) {
  const std::size_t size = record.size();
  const std::size_t h = size / 2;
  assert(forward.size() >= h && backward.size() >= size - h);
  std::copy_n(record.begin(), h, forward.begin());
  for (std::size_t i = 0; i < size - h; ++i) backward[i] = record[size - 1 - i];
  return static_cast<int>(h);
}

std::optional<double> average_directions(std::span<const double> fw, std::span<const double> bw,
                                         double gfw, double gbw, std::span<double> out) {
  if (!(gfw >= 0.0 && gbw >= 0.0 && gfw + gbw > 0.0)) return std::nullopt;
  assert(bw.size() == fw.size() && out.size() >= fw.size());
  double diff = 0.0;
  double mean = 0.0;
  for (std::size_t i = 0; i < fw.size(); ++i) {
    const double d = fw[i] - bw[i];
    const double m = (fw[i] + bw[i]) / 2.0;
    diff += d * d;
    mean += m * m;
    out[i] = (gfw * fw[i] + gbw * bw[i]) / (gfw + gbw);
  }
  if (diff == 0.0) return 0.0;
  return std::sqrt(diff / mean);
}

double absorbance_of(double transmittance) {
  return -std::log10(transmittance > kSmallestTransmittance ? transmittance
                                                            : kSmallestTransmittance);
}

}  // namespace ftir::transform
