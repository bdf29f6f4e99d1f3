// Steps the two transform paths share.
#include "transform/path.h"

#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "spcfile/simd.h"
#include "spcfile/writer.h"

namespace ftir::transform {
namespace {

bool same_bits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// The smallest i in [lo, hi) for which `pred` holds, hi if none; `pred` must be false up
// to some index and true from there on.
template <class Pred>
int first_index_where(int lo, int hi, Pred pred) {
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (pred(mid)) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

// The kept points' move to the front, x = (i - 1) * delta and y * scale for i = first ..
// first + count - 1 stored from index 0, four at a time; returns how many it did (a
// multiple of four) and raises `largest` to the largest finite magnitude among them.
__attribute__((target("avx2"))) int move_kept_avx2(double* x, double* y, int first, int count,
                                                   double delta, double scale, double& largest) {
  const __m256d d = _mm256_set1_pd(delta);
  const __m256d s = _mm256_set1_pd(scale);
  const __m256d four = _mm256_set1_pd(4.0);
  const __m256d magnitude_bits = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF));
  const __m256d largest_finite = _mm256_set1_pd(std::numeric_limits<double>::max());
  const double steps0 = first - 1;  // whole numbers below 2^31: every sum below is exact
  __m256d steps = _mm256_set_pd(steps0 + 3.0, steps0 + 2.0, steps0 + 1.0, steps0);
  __m256d largest4 = _mm256_setzero_pd();
  const double* from = y + (first - 1);
  int k = 0;
  for (; k + 4 <= count; k += 4) {
    _mm256_storeu_pd(x + k, _mm256_mul_pd(steps, d));
    const __m256d value = _mm256_mul_pd(_mm256_loadu_pd(from + k), s);
    _mm256_storeu_pd(y + k, value);
    const __m256d magnitude = _mm256_and_pd(value, magnitude_bits);
    largest4 = _mm256_max_pd(
        largest4, _mm256_and_pd(magnitude, _mm256_cmp_pd(magnitude, largest_finite, _CMP_LE_OQ)));
    steps = _mm256_add_pd(steps, four);
  }
  const __m128d two =
      _mm_max_pd(_mm256_castpd256_pd128(largest4), _mm256_extractf128_pd(largest4, 1));
  largest = std::max({largest, _mm_cvtsd_f64(two), _mm_cvtsd_f64(_mm_unpackhi_pd(two, two))});
  // The compiler leaves the upper halves dirty here; SSE code after it would then run
  // many times slower.
  _mm256_zeroupper();
  return k;
}

// scale_and_cut scanning in order, for any grid and range.
int scale_and_cut_in_order(std::span<double> xin, std::span<double> yin, int lnum, double delta,
                           double scale, double wlow, double whigh, double* ymax) {
  assert(lnum >= 0 && static_cast<std::size_t>(lnum) <= xin.size() &&
         static_cast<std::size_t>(lnum) <= yin.size());
  int ii = 0;
  double largest = 0.0;  // of the kept values, as spcfile::finite_magnitude takes them
  // Whether point i is in the range: false ends the scan (x above whigh).
  auto point = [&](int i) {
    const double x = (i - 1) * delta;
    if (x < wlow) return true;
    if (x > whigh) return false;
    ++ii;
    at(xin, ii) = x;
    at(yin, ii) = at(yin, i) * scale;
    largest = std::max(largest, spcfile::finite_magnitude(at(yin, ii)));
    return true;
  };
  // Two neighbouring points at a time where both are kept, with the same products; ii
  // never passes i, so each value is read before its place is written.
  // The largest is taken two at a time as well (an infinity or a NaN counts as 0); it does
  // not depend on the order.
  const __m128d s = _mm_set1_pd(scale);
  const __m128d magnitude_bits = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
  const __m128d largest_finite = _mm_set1_pd(std::numeric_limits<double>::max());
  __m128d largest_two = _mm_setzero_pd();
  auto finish = [&] {
    if (ymax != nullptr) {
      *ymax = std::max({largest, _mm_cvtsd_f64(largest_two),
                        _mm_cvtsd_f64(_mm_unpackhi_pd(largest_two, largest_two))});
    }
    return ii;
  };
  int i = 1;
  while (i + 1 <= lnum) {
    const double x0 = (i - 1) * delta;
    const double x1 = i * delta;
    if (x0 < wlow || x1 < wlow || x0 > whigh || x1 > whigh) {
      if (!point(i)) return finish();
      ++i;
      continue;
    }
    _mm_storeu_pd(&xin[static_cast<std::size_t>(ii)], _mm_set_pd(x1, x0));
    const __m128d y = _mm_mul_pd(_mm_loadu_pd(&yin[static_cast<std::size_t>(i) - 1]), s);
    _mm_storeu_pd(&yin[static_cast<std::size_t>(ii)], y);
    const __m128d magnitude = _mm_and_pd(y, magnitude_bits);
    largest_two =
        _mm_max_pd(largest_two, _mm_and_pd(magnitude, _mm_cmple_pd(magnitude, largest_finite)));
    ii += 2;
    i += 2;
  }
  if (i == lnum) point(i);
  return finish();
}

}  // namespace

std::span<const double> WindowTable::weights(int iapod, int center, double xstep, double xmax,
                                             int count) {
  assert(count >= 0 && static_cast<std::size_t>(count) <= w_.size());
  if (iapod != iapod_ || center != center_ || !same_bits(xstep, xstep_) ||
      !same_bits(xmax, xmax_)) {
    iapod_ = iapod;
    center_ = center;
    xstep_ = xstep;
    xmax_ = xmax;
    count_ = 0;
  }
  for (int i = count_ + 1; i <= count; ++i) {
    w_[static_cast<std::size_t>(i) - 1] = apodization_weight(iapod, (i - center - 1) * xstep, xmax);
  }
  count_ = std::max(count_, count);
  return {w_.data(), static_cast<std::size_t>(count)};
}

int floor_log2(int value) {
  assert(value >= 1);
  int k = 0;
  while (value >= 2) {
    value /= 2;
    ++k;
  }
  return k;
}

double trapezoid_energy(std::span<const double> y, int count) {
  double sum = 0.0;
  for (int i = 0; i < count; ++i) {
    const double f = (i == 0 || i == count - 1) ? 0.5 : 1.0;
    sum += f * (y[static_cast<std::size_t>(i)] * y[static_cast<std::size_t>(i)]);
  }
  return sum;
}

int scale_and_cut(std::span<double> xin, std::span<double> yin, int lnum, double delta,
                  double scale, double wlow, double whigh, double* ymax) {
  assert(lnum >= 0 && static_cast<std::size_t>(lnum) <= xin.size() &&
         static_cast<std::size_t>(lnum) <= yin.size());
  if (!(delta > 0.0 && std::isfinite(delta)) || std::isnan(wlow) || std::isnan(whigh)) {
    return scale_and_cut_in_order(xin, yin, lnum, delta, scale, wlow, whigh, ymax);
  }
  // With a finite rising grid x never falls as i grows (rounding keeps order), so the scan
  // keeps one run of points: from the first with x >= wlow up to, not including, the
  // first after it with x > whigh. Both ends are found by bisection with the scan's own
  // comparisons; then the run moves to the front with the scan's products.
  auto grid = [delta](int i) { return (i - 1) * delta; };
  const int first = first_index_where(1, lnum + 1, [&](int i) { return !(grid(i) < wlow); });
  const int end = first_index_where(first, lnum + 1, [&](int i) { return grid(i) > whigh; });
  const int ii = end - first;
  double largest = 0.0;
  int k = 0;
  if (spcfile::cpu_has_avx2()) {
    k = move_kept_avx2(xin.data(), yin.data(), first, ii, delta, scale, largest);
  }
  for (; k < ii; ++k) {
    const int i = first + k;
    xin[static_cast<std::size_t>(k)] = grid(i);
    yin[static_cast<std::size_t>(k)] = yin[static_cast<std::size_t>(i) - 1] * scale;
    largest = std::max(largest, spcfile::finite_magnitude(yin[static_cast<std::size_t>(k)]));
  }
  if (ymax != nullptr) *ymax = largest;
  return ii;
}

}  // namespace ftir::transform
