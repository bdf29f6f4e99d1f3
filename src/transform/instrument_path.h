// The instrument's own processing of one scan: the phase from a short piece around the
// centerburst, the long side weighted by the window (and the Mertz ramp on a single-sided
// record), zero filling to a power of two, and the phase correction on the exact grid
// k * nyquist / (N/2). Beside it the steps before and after it: mean removal, the
// detector's nonlinearity, the split of a two-direction record and the directions' average.
// Numbers in, numbers out: no files, no reports, nothing allocated per scan.
#pragma once

#include <optional>
#include <span>

#include "transform/complex.h"
#include "transform/fft.h"
#include "transform/fixed_array.h"
#include "transform/windows.h"
#include "values/refusal.h"

namespace ftir::transform {

// The weight that takes a single-sided record's points before the centerburst in half:
// none (1 everywhere), linear, or the quintic, which is flat at 0 and at +-P.
enum class Ramp { kNone, kLinear, kQuintic };

// How the spectrum takes its phase: Mertz (the phase piece's unwrapped angle, interpolated
// linearly), power (|F|, no phase), or a stored phase curve interpolated the same way.
enum class InstrumentPhase { kMertz, kPower, kStored };

// Angles (radians) on their own grid: angle[j] at x = first + j * step cm-1 (step != 0).
// Interpolated linearly in the unwrapped angle: neighbours that differ by more than pi
// are taken a whole turn apart, so a curve stored modulo 2 pi serves as it is.
struct PhaseCurve {
  double first = 0.0;
  double step = 0.0;
  std::span<const double> angle;
};

// All that fixes the transform of one scan; sample indices are 0-based.
struct InstrumentRecipe {
  int zpd = 0;                   // the centerburst's index in the scan
  double phase_halfwidth = 0.0;  // P, points (> 0): the phase piece is |n| <= P
  // L, points (> 0): the long side is |n - c| <= L and |n| < N/2, and n > -P under a ramp.
  double long_side = 0.0;
  double window_shift = 0.0;       // c: the long side's window centred at n = c
  const Window* window = nullptr;  // weight(n, P) on the phase piece, weight(n - c, L) on the rest
  Ramp ramp = Ramp::kNone;         // over n = -P..P
  int zero_fill = 1;               // N = zero_fill * (smallest power of two >= L); a power of two
  double nyquist = 0.0;            // cm-1: point k of the spectrum lies at k * nyquist / (N/2)
  // The points kept: k = floor(wlow / dnu) .. floor(whigh / dnu) - 1, within 0..N/2.
  double wlow = 0.0;
  double whigh = 0.0;
  InstrumentPhase mode = InstrumentPhase::kMertz;
  PhaseCurve stored_phase;  // InstrumentPhase::kStored only
  // Nph, the phase transform's length; 0: the smallest power of two >= 2P.
  int phase_length = 0;
  // Whether the long side may end with the scan (its window still of half-width L); when
  // not, a long side beyond the scan's last sample is refused.
  bool cut_at_scan_end = false;
};

// The working storage of the transform: made once per worker, reused for every scan.
// `points` (a power of two up to Fft::kMaxPoints) bounds both N and Nph. The weights of
// the phase piece and of the long side are kept from one scan to the next: the scans of a
// batch mostly share their geometry, and then no weight is evaluated twice.
struct InstrumentWork {
  explicit InstrumentWork(int points = Fft::kMaxPoints)
      : capacity(points),
        work(static_cast<std::size_t>(points)),
        phase(static_cast<std::size_t>(points / 2 + 1)),
        unit(static_cast<std::size_t>(points / 2 + 1)),
        weights(2 * static_cast<std::size_t>(points)) {}
  int capacity;
  FixedArray<Complex> work;  // the transform of length N, and before it the phase piece's
  FixedArray<double> phase;  // the unwrapped phase angle on k = 0..Nph/2
  FixedArray<Complex> unit;  // its cosine and sine
  // The weights: the phase piece's for n = -np..np, then the long side's for n = nlo..nhi,
  // valid while the geometry below holds (bit for bit).
  FixedArray<double> weights;
  struct Geometry {
    const Window* window = nullptr;
    double p = 0.0, l = 0.0, c = 0.0;
    Ramp ramp = Ramp::kNone;
    int np = -1, nlo = 0, nhi = -1;
    bool operator==(const Geometry&) const = default;
  } geometry;
};

// The spectrum of one scan. On a refusal only the lengths found before it hold.
struct InstrumentSpectrum {
  std::optional<values::Refused> refused;
  int n = 0;                 // N, the transform length
  int nph = 0;               // Nph, the phase transform's length (0 unless InstrumentPhase::kMertz)
  double dnu = 0.0;          // grid step nyquist / (N/2), cm-1
  int first_k = 0;           // values[i] is point k = first_k + i, at k * dnu
  std::span<double> values;  // a view of the caller's `out`
  // The Mertz phase: angle[j] (unwrapped, radians) at j * nyquist / (Nph/2), j = 0..Nph/2;
  // a view of InstrumentWork::phase.
  PhaseCurve phase;
  // The scan's energy facts: the samples of the long side (before weighting) and the
  // spectrum points kept.
  double zpd_value = 0.0;        // the sample at the centerburst
  double energy = 0.0;           // sum of the squared samples the long side uses
  double spectrum_energy = 0.0;  // sum of the squared values kept
  double peak = 0.0;             // the largest magnitude kept
};

// The smallest power of two >= x, or 0 when it would pass `limit` (or x is no number).
long long power_of_two_at_least(double x, long long limit);

// The ramp's weight at point n (may be fractional) for half-width p: 0 for n <= -p, 1 for
// n >= p; between, with t = n/p, 0.5 + 0.5 t (linear) or 0.5 + t^3 (5 - 3 t^2) / 4
// (quintic). Ramp::kNone is 1 everywhere.
double mertz_ramp(Ramp ramp, double n, double p);

// The transform of `scan` (mean removed) by `recipe`, into `out`, which must hold the
// points kept. Refuses (values::Refused) unusable parameters (kUnusableRecipe), a
// centerburst, phase piece or long side beyond the samples (kInstrumentGeometry), N or Nph
// above the work's capacity or the points kept above out's size (kTooManyPoints), a
// non-finite sample used (kNotFinite), no point kept (kEmptyRange), a stored phase that
// does not cover the points kept (kStoredPhaseRange) and a non-finite result (kTooLarge).
InstrumentSpectrum instrument_transform(std::span<const double> scan,
                                        const InstrumentRecipe& recipe, InstrumentWork& work,
                                        Fft& fft, std::span<double> out);

// The detector's nonlinearity: y -> nla * y + nlb * y^2, sample by sample.
struct Nonlinearity {
  double nla = 1.0;
  double nlb = 0.0;
};

// Corrects every sample for the nonlinearity, when one is given, then subtracts the mean
// of the corrected samples (their sum in index order over the count); returns the mean.
// One pass corrects and sums: the chain of adds takes as long as both.
double remove_scan_mean(std::span<double> y, std::optional<Nonlinearity> nonlinearity = {});

// A forward + backward record: forward[i] = record[i] for i < h = size/2, backward[i] =
// record[size - 1 - i] for i < size - h (the second half reversed, so that both run the
// same way). Returns h; the spans must hold h and size - h values.
int split_directions(std::span<const double> record, std::span<double> forward,
                     std::span<double> backward);

// The two directions' spectra weighted by their numbers of good scans: out[i] = (gfw *
// fw[i] + gbw * bw[i]) / (gfw + gbw) (out may be fw or bw). Returns their relative
// difference, sqrt(sum (fw - bw)^2 / sum ((fw + bw) / 2)^2), 0 for two zero spectra.
// The weights must be >= 0 with a positive sum; otherwise nothing is written and the
// result is empty.
std::optional<double> average_directions(std::span<const double> fw, std::span<const double> bw,
                                         double gfw, double gbw, std::span<double> out);

// The smallest transmittance an absorbance is taken of: a ratio at or below it (or not
// positive) gives the absorbance of this one, 6. The converter's ratio and spc-tool's
// share the rule.
inline constexpr double kSmallestTransmittance = 1.0e-6;

// A = -log10(T), T clamped below at kSmallestTransmittance; T must be a number.
double absorbance_of(double transmittance);

}  // namespace ftir::transform
