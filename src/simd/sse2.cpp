// The SSE2 forms: two doubles (or four floats or integers) to a register, each lane doing
// the plain form's operations; what is left over at the end goes through the plain form.
#include <emmintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "simd/forms.h"

namespace ftir::simd::sse2 {
namespace {

static_assert(std::endian::native == std::endian::little, "the vector forms read bytes in place");

// Four samples at a time while they last (for f32 samples, up to the group of the first one
// that is not a finite number). Four samples share one register until they are widened to
// f64. For the integer kinds rounding v to f32 and scaling by the power of two `factor` in
// f32 (exact, the result staying normal: see decode_samples) gives the f32 nearest to
// v * factor, which is what the plain product rounds to.
template <SampleKind kKind>
std::size_t decode(const unsigned char* p, std::size_t count, double factor, double* y,
                   double* sum) {
  const __m128 f = _mm_set1_ps(static_cast<float>(factor));
  __m128d sum_lo = _mm_setzero_pd();
  __m128d sum_hi = _mm_setzero_pd();
  std::size_t k = 0;
  for (; k + 4 <= count; k += 4) {
    __m128 values;
    if constexpr (kKind == SampleKind::kInt16) {
      const __m128i raw = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 2 * k));
      values = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(raw, raw), 16)), f);
    } else if constexpr (kKind == SampleKind::kFloat32) {
      const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * k));
      const __m128i exponent = _mm_set1_epi32(0x7F800000);
      const __m128i all_ones = _mm_cmpeq_epi32(_mm_and_si128(raw, exponent), exponent);
      if (_mm_movemask_epi8(all_ones) != 0) break;  // an infinity or a NaN among the four
      values = _mm_castsi128_ps(raw);
    } else {
      __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * k));
      if constexpr (kKind == SampleKind::kInt32HighHalfFirst) {
        // The two 16-bit halves of each value change places (rotl by 16).
        raw = _mm_shufflehi_epi16(_mm_shufflelo_epi16(raw, _MM_SHUFFLE(2, 3, 0, 1)),
                                  _MM_SHUFFLE(2, 3, 0, 1));
      }
      values = _mm_mul_ps(_mm_cvtepi32_ps(raw), f);
    }
    const __m128d lo = _mm_cvtps_pd(values);
    const __m128d hi = _mm_cvtps_pd(_mm_movehl_ps(values, values));
    _mm_storeu_pd(y + k, lo);
    _mm_storeu_pd(y + k + 2, hi);
    sum_lo = _mm_add_pd(sum_lo, lo);
    sum_hi = _mm_add_pd(sum_hi, hi);
  }
  if (sum != nullptr) {
    const __m128d both = _mm_add_pd(sum_lo, sum_hi);
    *sum += _mm_cvtsd_f64(both) + _mm_cvtsd_f64(_mm_unpackhi_pd(both, both));
  }
  return k +
         plain::decode_samples(kKind, p + k * sample_bytes(kKind), count - k, factor, y + k, sum);
}

// |v| where it is finite, 0 for an infinity or a NaN, two lanes at a time.
inline __m128d finite_magnitudes(__m128d v) {
  const __m128d magnitude_bits = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
  const __m128d largest_finite = _mm_set1_pd(std::numeric_limits<double>::max());
  const __m128d magnitude = _mm_and_pd(v, magnitude_bits);
  return _mm_and_pd(magnitude, _mm_cmple_pd(magnitude, largest_finite));
}

inline double larger_lane(__m128d v) {
  return std::max(_mm_cvtsd_f64(v), _mm_cvtsd_f64(_mm_unpackhi_pd(v, v)));
}

}  // namespace

std::size_t decode_samples(SampleKind kind, const unsigned char* p, std::size_t count,
                           double factor, double* y, double* sum) {
  switch (kind) {
    case SampleKind::kInt16:
      return decode<SampleKind::kInt16>(p, count, factor, y, sum);
    case SampleKind::kInt32:
      return decode<SampleKind::kInt32>(p, count, factor, y, sum);
    case SampleKind::kInt32HighHalfFirst:
      return decode<SampleKind::kInt32HighHalfFirst>(p, count, factor, y, sum);
    case SampleKind::kFloat32:
      break;
  }
  return decode<SampleKind::kFloat32>(p, count, factor, y, sum);
}

// Eight values at a time with the same product and the same truncation per value; a group
// in which any value truncates to the processor's out-of-range answer (NaN, beyond the
// integer range, or -2^31 itself) goes through the plain form instead.
void encode_values(const double* y, std::size_t count, double inverse, unsigned char* p) {
  const __m128d inv = _mm_set1_pd(inverse);
  const __m128i out_of_range = _mm_set1_epi32(std::numeric_limits<std::int32_t>::min());
  auto four = [&](std::size_t at) {
    const __m128i lo = _mm_cvttpd_epi32(_mm_mul_pd(_mm_loadu_pd(y + at), inv));
    const __m128i hi = _mm_cvttpd_epi32(_mm_mul_pd(_mm_loadu_pd(y + at + 2), inv));
    return _mm_unpacklo_epi64(lo, hi);
  };
  auto store = [p](std::size_t at, __m128i k) {
    k = _mm_shufflehi_epi16(_mm_shufflelo_epi16(k, _MM_SHUFFLE(2, 3, 0, 1)),
                            _MM_SHUFFLE(2, 3, 0, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 4 * at), k);
  };
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m128i k0 = four(i);
    const __m128i k1 = four(i + 4);
    const __m128i any =
        _mm_or_si128(_mm_cmpeq_epi32(k0, out_of_range), _mm_cmpeq_epi32(k1, out_of_range));
    if (_mm_movemask_epi8(any) != 0) {
      plain::encode_values(y + i, 8, inverse, p + 4 * i);
      continue;
    }
    store(i, k0);
    store(i + 4, k1);
  }
  plain::encode_values(y + i, count - i, inverse, p + 4 * i);
}

// Running maxima of two values to a register, from the last values to the first, so that
// the first ones, which the data block encodes first, are still in the cache; then the few
// left over at the front one by one. The largest of a set does not depend on the order.
// Lanes 0-1 and 2-3 in two registers each; the first four elements go one at a time (the
// first has no neighbour before it), so every loaded neighbour lies inside y. A pair's value
// stands in for its element where it equals its neighbour, an infinity elsewhere.
ScanSummary summarize_scan(const double* y, std::size_t n) {
  ScanLanes l(y[0]);
  std::size_t i = 0;
  for (; i < n && i < 4; ++i) l.step(y, i);
  if (i + 4 <= n) {
    const __m128d below = _mm_set1_pd(-std::numeric_limits<double>::infinity());
    const __m128d above = _mm_set1_pd(std::numeric_limits<double>::infinity());
    __m128d s0 = _mm_loadu_pd(l.sum), s1 = _mm_loadu_pd(l.sum + 2);
    __m128d h0 = _mm_loadu_pd(l.hi), h1 = _mm_loadu_pd(l.hi + 2);
    __m128d o0 = _mm_loadu_pd(l.lo), o1 = _mm_loadu_pd(l.lo + 2);
    __m128d ph0 = _mm_loadu_pd(l.pair_hi), ph1 = _mm_loadu_pd(l.pair_hi + 2);
    __m128d po0 = _mm_loadu_pd(l.pair_lo), po1 = _mm_loadu_pd(l.pair_lo + 2);
    for (; i + 4 <= n; i += 4) {
      const __m128d a = _mm_loadu_pd(y + i), b = _mm_loadu_pd(y + i + 2);
      const __m128d ea = _mm_cmpeq_pd(a, _mm_loadu_pd(y + i - 1));
      const __m128d eb = _mm_cmpeq_pd(b, _mm_loadu_pd(y + i + 1));
      s0 = _mm_add_pd(s0, a);
      s1 = _mm_add_pd(s1, b);
      h0 = _mm_max_pd(a, h0);  // a > h ? a : h
      h1 = _mm_max_pd(b, h1);
      o0 = _mm_min_pd(a, o0);  // a < o ? a : o
      o1 = _mm_min_pd(b, o1);
      ph0 = _mm_max_pd(_mm_or_pd(_mm_and_pd(ea, a), _mm_andnot_pd(ea, below)), ph0);
      ph1 = _mm_max_pd(_mm_or_pd(_mm_and_pd(eb, b), _mm_andnot_pd(eb, below)), ph1);
      po0 = _mm_min_pd(_mm_or_pd(_mm_and_pd(ea, a), _mm_andnot_pd(ea, above)), po0);
      po1 = _mm_min_pd(_mm_or_pd(_mm_and_pd(eb, b), _mm_andnot_pd(eb, above)), po1);
    }
    _mm_storeu_pd(l.sum, s0);
    _mm_storeu_pd(l.sum + 2, s1);
    _mm_storeu_pd(l.hi, h0);
    _mm_storeu_pd(l.hi + 2, h1);
    _mm_storeu_pd(l.lo, o0);
    _mm_storeu_pd(l.lo + 2, o1);
    _mm_storeu_pd(l.pair_hi, ph0);
    _mm_storeu_pd(l.pair_hi + 2, ph1);
    _mm_storeu_pd(l.pair_lo, po0);
    _mm_storeu_pd(l.pair_lo + 2, po1);
  }
  for (; i < n; ++i) l.step(y, i);
  return l.summary();
}

double largest_finite_magnitude(const double* y, std::size_t n) {
  __m128d m0 = _mm_setzero_pd();
  __m128d m1 = _mm_setzero_pd();
  std::size_t i = n;
  for (; i >= 4; i -= 4) {
    m0 = _mm_max_pd(m0, finite_magnitudes(_mm_loadu_pd(y + i - 4)));
    m1 = _mm_max_pd(m1, finite_magnitudes(_mm_loadu_pd(y + i - 2)));
  }
  return std::max(larger_lane(_mm_max_pd(m0, m1)), plain::largest_finite_magnitude(y, i));
}

void subtract_mean_from(double* y, std::size_t from, std::size_t n, double mean, double& largest,
                        bool& any_nan) {
  const __m128d m = _mm_set1_pd(mean);
  const __m128d magnitude_bits = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
  __m128d largest2 = _mm_set1_pd(largest);
  __m128d unordered = _mm_setzero_pd();
  std::size_t i = from;
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
}

// The mean comes off two samples to a register, which also keep the largest magnitude so
// far. A NaN would make the in-order scan's comparisons depend on the order; then the scan
// itself decides.
std::size_t subtract_mean_find_largest(double* y, std::size_t n, double mean) {
  double largest = 0.0;
  bool any_nan = false;
  subtract_mean_from(y, 0, n, mean, largest, any_nan);
  return plain::first_of_largest(y, n, largest, any_nan);
}

// Two points at a time, the energy still taken one point after the other; two of the zeros
// go out beside each pair.
double weigh_and_load(const double* y, const double* w, std::size_t count, double e, double* out,
                      double* zeros, std::size_t zero_count) {
  const __m128d zero = _mm_setzero_pd();
  std::size_t k = 0;
  for (; k + 2 <= count; k += 2) {
    const __m128d value = _mm_mul_pd(_mm_loadu_pd(y + k), _mm_loadu_pd(w + k));
    const __m128d square = _mm_mul_pd(value, value);
    e += _mm_cvtsd_f64(square);
    e += _mm_cvtsd_f64(_mm_unpackhi_pd(square, square));
    _mm_storeu_pd(out + 2 * k, _mm_unpacklo_pd(value, zero));
    _mm_storeu_pd(out + 2 * k + 2, _mm_unpackhi_pd(value, zero));
    if (zero_count >= 2) {
      _mm_storeu_pd(zeros, zero);
      _mm_storeu_pd(zeros + 2, zero);
      zeros += 4;
      zero_count -= 2;
    }
  }
  return plain::weigh_and_load(y + k, w + k, count - k, e, out + 2 * k, zeros, zero_count);
}

// Two points at a time for as long as the later one stays in the run and before lnum.
int phase_run(const PhaseRun& run, int i, int lnum, const double* re_im, double* yin,
              double& energy) {
  const __m128d zero = _mm_setzero_pd();
  const __m128d two = _mm_set1_pd(2.0);
  const __m128d d = _mm_set1_pd(run.delta);
  const __m128d a = _mm_set1_pd(run.a);
  const __m128d b = _mm_set1_pd(run.b);
  const __m128d a_minus_b = _mm_sub_pd(a, b);
  const __m128d b_minus_a = _mm_sub_pd(b, a);
  const __m128d sa = _mm_set1_pd(run.sine_a);
  const __m128d sb = _mm_set1_pd(run.sine_b);
  const __m128d ca = _mm_set1_pd(run.cosine_a);
  const __m128d cb = _mm_set1_pd(run.cosine_b);
  __m128d steps = _mm_set_pd(static_cast<double>(i), static_cast<double>(i - 1));  // whole
  double sum = energy;
  while (i + 1 < lnum) {
    const __m128d x = _mm_mul_pd(steps, d);
    const double later = _mm_cvtsd_f64(_mm_unpackhi_pd(x, x));
    if (run.below ? !(run.bound > later) : !(later <= run.bound)) break;
    const __m128d pa = _mm_div_pd(_mm_sub_pd(x, b), a_minus_b);
    const __m128d pb = _mm_div_pd(_mm_sub_pd(x, a), b_minus_a);
    const __m128d s = _mm_add_pd(_mm_add_pd(zero, _mm_mul_pd(sa, pa)), _mm_mul_pd(sb, pb));
    const __m128d c = _mm_add_pd(_mm_add_pd(zero, _mm_mul_pd(ca, pa)), _mm_mul_pd(cb, pb));
    const __m128d v0 = _mm_loadu_pd(re_im + 2 * (i - 1));
    const __m128d v1 = _mm_loadu_pd(re_im + 2 * i);
    const __m128d y =
        _mm_add_pd(_mm_mul_pd(_mm_unpacklo_pd(v0, v1), c), _mm_mul_pd(_mm_unpackhi_pd(v0, v1), s));
    _mm_storeu_pd(yin + (i - 1), y);
    const __m128d square = _mm_mul_pd(y, y);
    sum += _mm_cvtsd_f64(square);
    sum += _mm_cvtsd_f64(_mm_unpackhi_pd(square, square));
    i += 2;
    steps = _mm_add_pd(steps, two);  // whole numbers: exact
  }
  energy = sum;
  return plain::phase_run(run, i, lnum, re_im, yin, energy);
}

void move_kept_from(double* x, double* y, int first, int from, int count, double delta,
                    double scale, double& largest) {
  const __m128d d = _mm_set1_pd(delta);
  const __m128d s = _mm_set1_pd(scale);
  const __m128d two = _mm_set1_pd(2.0);
  const double steps0 = first + from - 1;  // whole numbers below 2^31: every sum is exact
  __m128d steps = _mm_set_pd(steps0 + 1.0, steps0);
  __m128d largest2 = _mm_setzero_pd();
  const double* source = y + (first - 1);
  int k = from;
  for (; k + 2 <= count; k += 2) {
    _mm_storeu_pd(x + k, _mm_mul_pd(steps, d));
    const __m128d value = _mm_mul_pd(_mm_loadu_pd(source + k), s);
    _mm_storeu_pd(y + k, value);
    largest2 = _mm_max_pd(largest2, finite_magnitudes(value));
    steps = _mm_add_pd(steps, two);
  }
  largest = std::max(largest, larger_lane(largest2));
  plain::move_kept_from(x, y, first, k, count, delta, scale, largest);
}

double move_kept(double* x, double* y, int first, int count, double delta, double scale) {
  double largest = 0.0;
  move_kept_from(x, y, first, 0, count, delta, scale, largest);
  return largest;
}

// Two neighbouring points at a time where both are kept, with the same products; ii never
// passes i - 1, so each value is read before its place is written.
int cut_in_order_from(double* x, double* y, int lnum, double delta, double scale, double wlow,
                      double whigh, int i, int ii, double& largest) {
  const __m128d s = _mm_set1_pd(scale);
  __m128d largest2 = _mm_setzero_pd();
  while (i + 1 <= lnum) {
    const double x0 = (i - 1) * delta;
    const double x1 = i * delta;
    if (x0 < wlow || x1 < wlow || x0 > whigh || x1 > whigh) {
      if (!cut_point(x, y, i, delta, scale, wlow, whigh, ii, largest)) break;
      ++i;
      continue;
    }
    _mm_storeu_pd(x + ii, _mm_set_pd(x1, x0));
    const __m128d value = _mm_mul_pd(_mm_loadu_pd(y + (i - 1)), s);
    _mm_storeu_pd(y + ii, value);
    largest2 = _mm_max_pd(largest2, finite_magnitudes(value));
    ii += 2;
    i += 2;
  }
  if (i == lnum) cut_point(x, y, i, delta, scale, wlow, whigh, ii, largest);
  largest = std::max(largest, larger_lane(largest2));
  return ii;
}

int cut_in_order(double* x, double* y, int lnum, double delta, double scale, double wlow,
                 double whigh, double& largest) {
  largest = 0.0;
  return cut_in_order_from(x, y, lnum, delta, scale, wlow, whigh, 1, 0, largest);
}

}  // namespace ftir::simd::sse2
