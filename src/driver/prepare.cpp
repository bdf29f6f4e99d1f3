// Interferogram preparation: the mean removed, the centerburst found.
#include "driver/prepare.h"

#include <emmintrin.h>

#include <cmath>
#include <cstddef>

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

}  // namespace

int remove_mean_and_find_centerburst(report::Report& report, std::span<double> yin, int npts) {
  const std::span<double> record = yin.first(static_cast<std::size_t>(npts));
  double sum = 0.0;
  for (double value : record) sum += value;
  const double mean = sum / npts;
  report.console_if_log("(' Average=',E12.5)", {mean});

  // The mean comes off two samples to a register, which also keep the largest magnitude
  // so far: the largest of a set does not depend on the order it is taken in, and the
  // first sample that holds it is the one the in-order scan keeps. A NaN would make the
  // scan's comparisons depend on the order; then the scan itself decides.
  const std::size_t n = record.size();
  double* y = record.data();
  const __m128d m = _mm_set1_pd(mean);
  const __m128d magnitude_bits = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
  __m128d largest2 = _mm_setzero_pd();
  __m128d unordered = _mm_setzero_pd();
  std::size_t i = 0;
  for (; i + 2 <= n; i += 2) {
    const __m128d value = _mm_sub_pd(_mm_loadu_pd(y + i), m);
    _mm_storeu_pd(y + i, value);
    largest2 = _mm_max_pd(largest2, _mm_and_pd(value, magnitude_bits));
    unordered = _mm_or_pd(unordered, _mm_cmpunord_pd(value, value));
  }
  double largest =
      std::fmax(_mm_cvtsd_f64(largest2), _mm_cvtsd_f64(_mm_unpackhi_pd(largest2, largest2)));
  bool any_nan = _mm_movemask_pd(unordered) != 0;
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

}  // namespace ftir::driver
