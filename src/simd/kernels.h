// The converter's hot loops over samples and spectra, each once as its plain rule and in
// SSE2 and AVX2 forms that do the same operations lane by lane (no fused multiply-add, no
// reordered sum), so every form gives the same bits. Each entry takes the width to run; it
// defaults to the process's. Arrays are 0-based; a point numbered i (1-based) is element
// i - 1, as in the callers.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#include "simd/width.h"

namespace ftir::simd {

// ---- Samples of an interferogram file -------------------------------------------------

// How a file stores its samples: 16- or 32-bit integers, 32-bit integers with their more
// significant 16-bit half first, or binary32 floats; all least significant byte first.
enum class SampleKind { kInt16, kInt32, kInt32HighHalfFirst, kFloat32 };

constexpr std::size_t sample_bytes(SampleKind kind) { return kind == SampleKind::kInt16 ? 2 : 4; }

// The T (2 or 4 bytes) stored least significant byte first at p, one load on a
// little-endian machine, with no bounds check: the caller checks its buffer once.
template <class T>
T load_le(const unsigned char* p) {
  static_assert(sizeof(T) == 2 || sizeof(T) == 4);
  using Bits = std::conditional_t<sizeof(T) == 2, std::uint16_t, std::uint32_t>;
  Bits bits = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&bits, p, sizeof bits);
  } else {
    for (std::size_t i = sizeof bits; i-- > 0;) bits = static_cast<Bits>((bits << 8) | p[i]);
  }
  return std::bit_cast<T>(bits);
}

// The value of the sample at p, before scaling. Old-format 32-bit values hold their more
// significant half first: the halves of the little-endian value, swapped.
template <SampleKind kKind>
double sample_value(const unsigned char* p) {
  if constexpr (kKind == SampleKind::kInt16) return load_le<std::int16_t>(p);
  if constexpr (kKind == SampleKind::kInt32) return load_le<std::int32_t>(p);
  if constexpr (kKind == SampleKind::kInt32HighHalfFirst) {
    return std::bit_cast<std::int32_t>(std::rotl(load_le<std::uint32_t>(p), 16));
  }
  if constexpr (kKind == SampleKind::kFloat32) return static_cast<double>(load_le<float>(p));
}

// Decodes `count` samples from p into y: integer samples as f32(value * factor), f32 samples
// as they are, up to the first f32 sample that is not a finite number; returns how many it
// stored (count for the integer kinds). For the integer kinds the caller makes sure that
// 2^31 (2^15) times factor stays finite in f32 and that factor is at least the smallest
// normal f32: the wide forms round the integer to f32 and scale in f32, which then gives the
// same f32. With `sum` given, the values are added to it; the forms add in different orders,
// so the caller makes sure that the sum is exact at every step (whole multiples of factor
// below 2^53 of it).
std::size_t decode_samples(SampleKind kind, const unsigned char* p, std::size_t count,
                           double factor, double* y, double* sum, Width width = active_width());

// ---- The data block of an output file ---------------------------------------------------

// trunc(q) as a 32-bit integer, 0 for a NaN, saturating beyond the integer range.
inline std::int32_t truncate_to_i32(double q) {
  if (std::isnan(q)) return 0;
  constexpr double kLimit = 2147483648.0;  // 2^31
  if (q >= kLimit) return std::numeric_limits<std::int32_t>::max();
  if (q <= -kLimit - 1.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(q);  // truncation toward zero
}

// Stores k with its more significant 16-bit half first, each half least significant byte
// first, as one 4-byte store on a little-endian machine.
inline void store_high_half_first(unsigned char* p, std::int32_t k) {
  const std::uint32_t swapped = std::rotl(std::bit_cast<std::uint32_t>(k), 16);
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &swapped, sizeof swapped);
  } else {
    for (std::size_t i = 0; i < sizeof swapped; ++i) {
      p[i] = static_cast<unsigned char>((swapped >> (8 * i)) & 0xFFu);
    }
  }
}

// Encodes y[0..count-1] into p (4 bytes each): truncate_to_i32(y * inverse), stored by
// store_high_half_first.
void encode_values(const double* y, std::size_t count, double inverse, unsigned char* p,
                   Width width = active_width());

// |y|, with an infinity or a NaN counting as 0.
inline double finite_magnitude(double y) {
  const double magnitude = std::fabs(y);
  return magnitude <= std::numeric_limits<double>::max() ? magnitude : 0.0;
}

// The largest finite_magnitude of y[0..n-1]; 0 for none.
double largest_finite_magnitude(const double* y, std::size_t n, Width width = active_width());

// ---- A scan for the quality checks ---------------------------------------------------

// What summarize_scan gathers over y[0..n-1] (n >= 1) in four lanes, element i in lane
// i % 4: each lane's sum in order; its largest and smallest value (a value replaces the one
// kept only when greater, or smaller, so a NaN never does; every lane starts at y[0]); and,
// over its elements i >= 1 equal to y[i - 1], the largest and smallest (none: -inf and
// +inf). The lanes are then joined: the sum as (s0 + s1) + (s2 + s3), the others in lane
// order by the same rule.
struct ScanSummary {
  double sum;
  double lo;
  double hi;
  double pair_lo;
  double pair_hi;
};
ScanSummary summarize_scan(const double* y, std::size_t n, Width width = active_width());

// ---- The interferogram record ---------------------------------------------------------

// Subtracts `mean` from y[0..n-1] (n >= 1) and returns the 0-based index of the first
// sample of largest magnitude: scanning in order, a sample replaces the one kept only when
// its magnitude is strictly greater. A comparison with a NaN is false, so a NaN never
// replaces the one kept, and a NaN first is never replaced.
std::size_t subtract_mean_find_largest(double* y, std::size_t n, double mean,
                                       Width width = active_width());

// The single-sided load past its ramp: for k = 0..count-1, v = y[k] * w[k] goes to out[2k]
// with +0.0 in out[2k + 1] (a complex value), and e += v * v one point after the other;
// returns e. Also sets zeros[0 .. 2 * zero_count - 1] to +0.0: the load's zero points,
// stored beside the others, where they cost nothing.
double weigh_and_load(const double* y, const double* w, std::size_t count, double e, double* out,
                      double* zeros, std::size_t zero_count, Width width = active_width());

// A run of phase correction: points whose x lies on one side of the middle abscissa of
// the current three-point window, so that LAGINT interpolates all of them between the same
// two table points a and b.
struct PhaseRun {
  double a, b;
  double sine_a, sine_b;
  double cosine_a, cosine_b;
  bool below;    // the run holds the points with bound > x; otherwise those with x <= bound
  double bound;  // the window's middle abscissa (below) or its end
  double delta;  // the grid: point i lies at x = (i - 1) * delta; delta > 0
};

// Phase correction of the points i, i + 1, ... (1-based) for as long as they lie in the run
// and before lnum: pa = (x - b) / (a - b), pb = (x - a) / (b - a), s = (0.0 + sine_a * pa)
// + sine_b * pb, c = (0.0 + cosine_a * pa) + cosine_b * pb (LAGINT's operations, less its
// products by 1.0), yin[i - 1] = re * c + im * s with (re, im) the complex value at
// re_im[2(i - 1)], and energy += yin[i - 1]^2 point after point. Returns the first point
// not done.
int phase_run(const PhaseRun& run, int i, int lnum, const double* re_im, double* yin,
              double& energy, Width width = active_width());

// ---- The spectrum's range --------------------------------------------------------------

// Moves the kept run to the front: for k = 0..count-1, x[k] = (first + k - 1) * delta and
// y[k] = y[first - 1 + k] * scale (first >= 1, so every value is read before its place is
// written). Returns the largest finite_magnitude of the new y[0..count-1], 0 for none.
double move_kept(double* x, double* y, int first, int count, double delta, double scale,
                 Width width = active_width());

// The cut in order, for any grid and range: for i = 1..lnum, x = (i - 1) * delta; a point
// with x < wlow is passed over, the first with x > whigh ends the scan, every other one is
// kept in turn: x[ii] = x, y[ii] = y[i - 1] * scale, ii = 0, 1, ... Returns the count kept;
// `largest` receives the largest finite_magnitude of the kept values (0 for none).
int cut_in_order(double* x, double* y, int lnum, double delta, double scale, double wlow,
                 double whigh, double& largest, Width width = active_width());

}  // namespace ftir::simd
