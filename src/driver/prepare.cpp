// Interferogram preparation: the mean removed, the centerburst found.
#include "driver/prepare.h"

#include <immintrin.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>

#include "spcfile/simd.h"

namespace ftir::driver {
namespace {

// The 1-based index of the first sample of largest magnitude, scanning in order; strictly
// greater, so of equal magnitudes the first wins, whatever its sign.
int first_largest(std::span<const double> record) {
  double largest = std::fabs(record[0]);
  int jmax = 1;
  for (std::size_t i = 1; i < record.size(); ++i) {
    const double magnitude = std::fabs(record[i]);
    if (magnitude > largest) {
      largest = magnitude;
      jmax = static_cast<int>(i) + 1;
    }
  }
  return jmax;
}

// Subtracts `mean` from y[0..k-1] for the largest multiple k of 8 not above n, eight
// samples at a time; returns k. `largest` receives the largest magnitude of the results
// (when none is a NaN) and `any_nan` whether one is.
__attribute__((target("avx2"))) std::size_t subtract_and_find_largest_avx2(double* y, std::size_t n,
                                                                           double mean,
                                                                           double& largest,
                                                                           bool& any_nan) {
  const __m256d m = _mm256_set1_pd(mean);
  const __m256d magnitude_bits = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF));
  __m256d largest0 = _mm256_setzero_pd();
  __m256d largest1 = _mm256_setzero_pd();
  __m256d unordered = _mm256_setzero_pd();
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256d v0 = _mm256_sub_pd(_mm256_loadu_pd(y + i), m);
    const __m256d v1 = _mm256_sub_pd(_mm256_loadu_pd(y + i + 4), m);
    _mm256_storeu_pd(y + i, v0);
    _mm256_storeu_pd(y + i + 4, v1);
    largest0 = _mm256_max_pd(largest0, _mm256_and_pd(v0, magnitude_bits));
    largest1 = _mm256_max_pd(largest1, _mm256_and_pd(v1, magnitude_bits));
    unordered = _mm256_or_pd(unordered, _mm256_cmp_pd(v0, v1, _CMP_UNORD_Q));
  }
  const __m256d both = _mm256_max_pd(largest0, largest1);
  const __m128d two = _mm_max_pd(_mm256_castpd256_pd128(both), _mm256_extractf128_pd(both, 1));
  largest = std::fmax(_mm_cvtsd_f64(two), _mm_cvtsd_f64(_mm_unpackhi_pd(two, two)));
  any_nan = _mm256_movemask_pd(unordered) != 0;
  // The compiler leaves the upper halves dirty here; SSE code after it would then run
  // many times slower.
  _mm256_zeroupper();
  return i;
}

}  // namespace

int remove_mean_and_find_centerburst(report::Report& report, std::span<double> yin, int npts,
                                     std::optional<double> sum) {
  const std::span<double> record = yin.first(static_cast<std::size_t>(npts));
  if (!sum) {
    sum = 0.0;
    for (double value : record) *sum += value;
  }
  const double mean = *sum / npts;
  report.console_if_log("(' Average=',E12.5)", {mean});

  // The mean comes off two or four samples to a register, which also keep the largest
  // magnitude so far: the largest of a set does not depend on the order it is taken in, and
  // the first sample that holds it is the one the in-order scan keeps. A NaN would make the
  // scan's comparisons depend on the order; then the scan itself decides.
  const std::size_t n = record.size();
  double* y = record.data();
  double largest = 0.0;
  bool any_nan = false;
  std::size_t i = 0;
  if (spcfile::cpu_has_avx2()) i = subtract_and_find_largest_avx2(y, n, mean, largest, any_nan);
  const __m128d m = _mm_set1_pd(mean);
  const __m128d magnitude_bits = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
  __m128d largest2 = _mm_set1_pd(largest);
  __m128d unordered = _mm_setzero_pd();
  for (; i + 2 <= n; i += 2) {
    const __m128d value = _mm_sub_pd(_mm_loadu_pd(y + i), m);
    _mm_storeu_pd(y + i, value);
    largest2 = _mm_max_pd(largest2, _mm_and_pd(value, magnitude_bits));
    unordered = _mm_or_pd(unordered, _mm_cmpunord_pd(value, value));
  }
  largest = std::fmax(_mm_cvtsd_f64(largest2), _mm_cvtsd_f64(_mm_unpackhi_pd(largest2, largest2)));
  any_nan = any_nan || _mm_movemask_pd(unordered) != 0;
  for (; i < n; ++i) {
    y[i] -= mean;
    any_nan = any_nan || std::isnan(y[i]);
    largest = std::fmax(largest, std::fabs(y[i]));
  }
  if (any_nan) return first_largest(record);
  std::size_t j = 0;
  while (std::fabs(y[j]) != largest) ++j;
  return static_cast<int>(j) + 1;
}

CenterburstShape centerburst_shape(std::span<const double> record, int jmax) {
  const auto j = static_cast<std::size_t>(jmax - 1);
  assert(j < record.size());
  const double peak = record[j];
  CenterburstShape shape;
  if (peak == 0.0) return shape;
  constexpr auto kReach = static_cast<std::size_t>(kCenterburstReach);
  const std::size_t first = j > kReach ? j - kReach : 0;
  const std::size_t last = std::min(record.size() - 1, j + kReach);
  double sum = 0.0;
  double magnitudes = 0.0;
  double opposite = 0.0;
  for (std::size_t i = first; i <= last; ++i) {
    sum += record[i];
    magnitudes += std::fabs(record[i]);
    if ((record[i] < 0.0) != (peak < 0.0)) opposite = std::max(opposite, std::fabs(record[i]));
  }
  shape.opposite = opposite / std::fabs(peak);
  shape.residue = std::fabs(sum) / magnitudes;
  shape.shown = shape.opposite > shape.residue;
  return shape;
}

}  // namespace ftir::driver
