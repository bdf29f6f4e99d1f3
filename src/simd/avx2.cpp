// The AVX2 forms: four doubles (or eight floats or integers) to a register, each lane doing
// the plain form's operations, never a fused multiply-add; what is left over at the end
// goes through the SSE2 form. Only the functions marked for AVX2 use its instructions, so
// the rest of the program runs on any x86-64 processor. Each function clears the upper
// halves of the registers before it returns: SSE2 code after dirty upper halves runs many
// times slower.
#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "simd/forms.h"

// The attribute goes on every function of this file that holds AVX2 code.
#define FTIR_AVX2 __attribute__((target("avx2")))

namespace ftir::simd::avx2 {
namespace {

static_assert(std::endian::native == std::endian::little, "the vector forms read bytes in place");

// The integer kinds eight samples at a time: the SSE2 form's conversions and products lane
// by lane. The first few samples go one at a time, up to where y lies on a 32-byte boundary
// (stores across cache lines would cost more than the wider registers gain).
template <SampleKind kKind>
FTIR_AVX2 std::size_t decode(const unsigned char* p, std::size_t count, double factor, double* y,
                             double* sum) {
  static_assert(kKind != SampleKind::kFloat32);
  constexpr std::size_t kBytes = sample_bytes(kKind);
  const std::size_t misaligned = reinterpret_cast<std::uintptr_t>(y) % 32 / sizeof(double);
  std::size_t k =
      plain::decode_samples(kKind, p, std::min(count, (4 - misaligned) % 4), factor, y, sum);
  const __m256 f = _mm256_set1_ps(static_cast<float>(factor));
  __m256d sum_lo = _mm256_setzero_pd();
  __m256d sum_hi = _mm256_setzero_pd();
  for (; k + 8 <= count; k += 8) {
    __m256 values;
    if constexpr (kKind == SampleKind::kInt16) {
      const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * k));
      values = _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(raw)), f);
    } else {
      __m256i raw = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 4 * k));
      if constexpr (kKind == SampleKind::kInt32HighHalfFirst) {
        raw = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(raw, _MM_SHUFFLE(2, 3, 0, 1)),
                                     _MM_SHUFFLE(2, 3, 0, 1));
      }
      values = _mm256_mul_ps(_mm256_cvtepi32_ps(raw), f);
    }
    const __m256d lo = _mm256_cvtps_pd(_mm256_castps256_ps128(values));
    const __m256d hi = _mm256_cvtps_pd(_mm256_extractf128_ps(values, 1));
    _mm256_storeu_pd(y + k, lo);
    _mm256_storeu_pd(y + k + 4, hi);
    sum_lo = _mm256_add_pd(sum_lo, lo);
    sum_hi = _mm256_add_pd(sum_hi, hi);
  }
  if (sum != nullptr) {
    const __m256d all = _mm256_add_pd(sum_lo, sum_hi);
    const __m128d both = _mm_add_pd(_mm256_castpd256_pd128(all), _mm256_extractf128_pd(all, 1));
    *sum += _mm_cvtsd_f64(both) + _mm_cvtsd_f64(_mm_unpackhi_pd(both, both));
  }
  _mm256_zeroupper();
  return k + sse2::decode_samples(kKind, p + k * kBytes, count - k, factor, y + k, sum);
}

// |v| where it is finite, 0 for an infinity or a NaN, four lanes at a time.
FTIR_AVX2 inline __m256d finite_magnitudes(__m256d v) {
  const __m256d magnitude_bits = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF));
  const __m256d largest_finite = _mm256_set1_pd(std::numeric_limits<double>::max());
  const __m256d magnitude = _mm256_and_pd(v, magnitude_bits);
  return _mm256_and_pd(magnitude, _mm256_cmp_pd(magnitude, largest_finite, _CMP_LE_OQ));
}

// The largest of the four lanes (none of them a NaN).
FTIR_AVX2 inline double largest_lane(__m256d v) {
  const __m128d two = _mm_max_pd(_mm256_castpd256_pd128(v), _mm256_extractf128_pd(v, 1));
  return std::max(_mm_cvtsd_f64(two), _mm_cvtsd_f64(_mm_unpackhi_pd(two, two)));
}

}  // namespace

FTIR_AVX2 std::size_t decode_samples(SampleKind kind, const unsigned char* p, std::size_t count,
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
  // f32 samples need only a test and a widening each: the SSE2 form keeps up with memory.
  return sse2::decode_samples(kind, p, count, factor, y, sum);
}

// The SSE2 form's groups of eight, four values to a register.
FTIR_AVX2 void encode_values(const double* y, std::size_t count, double inverse, unsigned char* p) {
  const __m256d inv = _mm256_set1_pd(inverse);
  const __m256i out_of_range = _mm256_set1_epi32(std::numeric_limits<std::int32_t>::min());
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m128i lo = _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_loadu_pd(y + i), inv));
    const __m128i hi = _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_loadu_pd(y + i + 4), inv));
    __m256i k = _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(k, out_of_range)) != 0) {
      plain::encode_values(y + i, 8, inverse, p + 4 * i);
      continue;
    }
    k = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(k, _MM_SHUFFLE(2, 3, 0, 1)),
                               _MM_SHUFFLE(2, 3, 0, 1));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + 4 * i), k);
  }
  _mm256_zeroupper();
  plain::encode_values(y + i, count - i, inverse, p + 4 * i);
}

// The SSE2 form's lanes in one register each.
FTIR_AVX2 ScanSummary summarize_scan(const double* y, std::size_t n) {
  ScanLanes l(y[0]);
  std::size_t i = 0;
  for (; i < n && i < 4; ++i) l.step(y, i);
  if (i + 4 <= n) {
    const __m256d below = _mm256_set1_pd(-std::numeric_limits<double>::infinity());
    const __m256d above = _mm256_set1_pd(std::numeric_limits<double>::infinity());
    __m256d s = _mm256_loadu_pd(l.sum), h = _mm256_loadu_pd(l.hi), o = _mm256_loadu_pd(l.lo);
    __m256d ph = _mm256_loadu_pd(l.pair_hi), po = _mm256_loadu_pd(l.pair_lo);
    for (; i + 4 <= n; i += 4) {
      const __m256d a = _mm256_loadu_pd(y + i);
      const __m256d e = _mm256_cmp_pd(a, _mm256_loadu_pd(y + i - 1), _CMP_EQ_OQ);
      s = _mm256_add_pd(s, a);
      h = _mm256_max_pd(a, h);
      o = _mm256_min_pd(a, o);
      ph = _mm256_max_pd(_mm256_or_pd(_mm256_and_pd(e, a), _mm256_andnot_pd(e, below)), ph);
      po = _mm256_min_pd(_mm256_or_pd(_mm256_and_pd(e, a), _mm256_andnot_pd(e, above)), po);
    }
    _mm256_storeu_pd(l.sum, s);
    _mm256_storeu_pd(l.hi, h);
    _mm256_storeu_pd(l.lo, o);
    _mm256_storeu_pd(l.pair_hi, ph);
    _mm256_storeu_pd(l.pair_lo, po);
    _mm256_zeroupper();
  }
  for (; i < n; ++i) l.step(y, i);
  return l.summary();
}

// The SSE2 form's maxima from the back, four values to a register.
FTIR_AVX2 double largest_finite_magnitude(const double* y, std::size_t n) {
  __m256d m0 = _mm256_setzero_pd();
  __m256d m1 = _mm256_setzero_pd();
  std::size_t i = n;
  for (; i >= 8; i -= 8) {
    m0 = _mm256_max_pd(m0, finite_magnitudes(_mm256_loadu_pd(y + i - 8)));
    m1 = _mm256_max_pd(m1, finite_magnitudes(_mm256_loadu_pd(y + i - 4)));
  }
  const double largest = largest_lane(_mm256_max_pd(m0, m1));
  _mm256_zeroupper();
  return std::max(largest, plain::largest_finite_magnitude(y, i));
}

// Eight samples at a time, then the SSE2 form's pairs.
FTIR_AVX2 std::size_t subtract_mean_find_largest(double* y, std::size_t n, double mean) {
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
  double largest = std::fmax(_mm_cvtsd_f64(two), _mm_cvtsd_f64(_mm_unpackhi_pd(two, two)));
  bool any_nan = _mm256_movemask_pd(unordered) != 0;
  _mm256_zeroupper();
  sse2::subtract_mean_from(y, i, n, mean, largest, any_nan);
  return plain::first_of_largest(y, n, largest, any_nan);
}

// Four points at a time; four of the zeros go out beside each group.
FTIR_AVX2 double weigh_and_load(const double* y, const double* w, std::size_t count, double e,
                                double* out, double* zeros, std::size_t zero_count) {
  const __m256d zero = _mm256_setzero_pd();
  std::size_t k = 0;
  for (; k + 4 <= count; k += 4) {
    const __m256d value = _mm256_mul_pd(_mm256_loadu_pd(y + k), _mm256_loadu_pd(w + k));
    const __m256d square = _mm256_mul_pd(value, value);
    const __m128d first = _mm256_castpd256_pd128(square);
    const __m128d second = _mm256_extractf128_pd(square, 1);
    e += _mm_cvtsd_f64(first);
    e += _mm_cvtsd_f64(_mm_unpackhi_pd(first, first));
    e += _mm_cvtsd_f64(second);
    e += _mm_cvtsd_f64(_mm_unpackhi_pd(second, second));
    const __m256d even = _mm256_unpacklo_pd(value, zero);  // points 0 and 2, each with 0.0
    const __m256d odd = _mm256_unpackhi_pd(value, zero);   // points 1 and 3
    _mm256_storeu_pd(out + 2 * k, _mm256_permute2f128_pd(even, odd, 0x20));
    _mm256_storeu_pd(out + 2 * k + 4, _mm256_permute2f128_pd(even, odd, 0x31));
    if (zero_count >= 4) {
      _mm256_storeu_pd(zeros, zero);
      _mm256_storeu_pd(zeros + 4, zero);
      zeros += 8;
      zero_count -= 4;
    }
  }
  _mm256_zeroupper();
  return sse2::weigh_and_load(y + k, w + k, count - k, e, out + 2 * k, zeros, zero_count);
}

// Four points at a time for as long as the fourth stays in the run and before lnum.
FTIR_AVX2 int phase_run(const PhaseRun& run, int i, int lnum, const double* re_im, double* yin,
                        double& energy) {
  const __m256d zero = _mm256_setzero_pd();
  const __m256d four = _mm256_set1_pd(4.0);
  const __m256d d = _mm256_set1_pd(run.delta);
  const __m256d a = _mm256_set1_pd(run.a);
  const __m256d b = _mm256_set1_pd(run.b);
  const __m256d a_minus_b = _mm256_sub_pd(a, b);
  const __m256d b_minus_a = _mm256_sub_pd(b, a);
  const __m256d sa = _mm256_set1_pd(run.sine_a);
  const __m256d sb = _mm256_set1_pd(run.sine_b);
  const __m256d ca = _mm256_set1_pd(run.cosine_a);
  const __m256d cb = _mm256_set1_pd(run.cosine_b);
  // The lanes hold the points i, i + 2, i + 1, i + 3: the order in which the real and the
  // imaginary parts of four complex values come out of two registers.
  __m256d steps = _mm256_set_pd(i + 2.0, i + 0.0, i + 1.0, i - 1.0);  // whole numbers: exact
  double sum = energy;
  while (i + 3 < lnum) {
    const __m256d x = _mm256_mul_pd(steps, d);
    const __m128d upper = _mm256_extractf128_pd(x, 1);
    const double x3 = _mm_cvtsd_f64(_mm_unpackhi_pd(upper, upper));  // point i + 3
    if (run.below ? !(run.bound > x3) : !(x3 <= run.bound)) break;
    const __m256d pa = _mm256_div_pd(_mm256_sub_pd(x, b), a_minus_b);
    const __m256d pb = _mm256_div_pd(_mm256_sub_pd(x, a), b_minus_a);
    const __m256d s =
        _mm256_add_pd(_mm256_add_pd(zero, _mm256_mul_pd(sa, pa)), _mm256_mul_pd(sb, pb));
    const __m256d c =
        _mm256_add_pd(_mm256_add_pd(zero, _mm256_mul_pd(ca, pa)), _mm256_mul_pd(cb, pb));
    const __m256d v0 = _mm256_loadu_pd(re_im + 2 * (i - 1));
    const __m256d v1 = _mm256_loadu_pd(re_im + 2 * (i + 1));
    const __m256d y = _mm256_add_pd(_mm256_mul_pd(_mm256_unpacklo_pd(v0, v1), c),
                                    _mm256_mul_pd(_mm256_unpackhi_pd(v0, v1), s));
    _mm256_storeu_pd(yin + (i - 1), _mm256_permute4x64_pd(y, _MM_SHUFFLE(3, 1, 2, 0)));
    const __m256d square = _mm256_mul_pd(y, y);
    const __m128d even = _mm256_castpd256_pd128(square);   // points i, i + 2
    const __m128d odd = _mm256_extractf128_pd(square, 1);  // points i + 1, i + 3
    sum += _mm_cvtsd_f64(even);
    sum += _mm_cvtsd_f64(odd);
    sum += _mm_cvtsd_f64(_mm_unpackhi_pd(even, even));
    sum += _mm_cvtsd_f64(_mm_unpackhi_pd(odd, odd));
    i += 4;
    steps = _mm256_add_pd(steps, four);
  }
  energy = sum;
  _mm256_zeroupper();
  return sse2::phase_run(run, i, lnum, re_im, yin, energy);
}

// Four at a time, then the SSE2 form's pairs.
FTIR_AVX2 double move_kept(double* x, double* y, int first, int count, double delta, double scale) {
  const __m256d d = _mm256_set1_pd(delta);
  const __m256d s = _mm256_set1_pd(scale);
  const __m256d four = _mm256_set1_pd(4.0);
  const double steps0 = first - 1;  // whole numbers below 2^31: every sum below is exact
  __m256d steps = _mm256_set_pd(steps0 + 3.0, steps0 + 2.0, steps0 + 1.0, steps0);
  __m256d largest4 = _mm256_setzero_pd();
  const double* source = y + (first - 1);
  int k = 0;
  for (; k + 4 <= count; k += 4) {
    _mm256_storeu_pd(x + k, _mm256_mul_pd(steps, d));
    const __m256d value = _mm256_mul_pd(_mm256_loadu_pd(source + k), s);
    _mm256_storeu_pd(y + k, value);
    largest4 = _mm256_max_pd(largest4, finite_magnitudes(value));
    steps = _mm256_add_pd(steps, four);
  }
  double largest = largest_lane(largest4);
  _mm256_zeroupper();
  sse2::move_kept_from(x, y, first, k, count, delta, scale, largest);
  return largest;
}

// Four neighbouring points at a time where all four are kept; a group that is not goes a
// point at a time. ii never passes i - 1, so each value is read before its place is written.
FTIR_AVX2 int cut_in_order(double* x, double* y, int lnum, double delta, double scale, double wlow,
                           double whigh, double& largest) {
  const __m256d s = _mm256_set1_pd(scale);
  __m256d largest4 = _mm256_setzero_pd();
  double kept = 0.0;
  int ii = 0;
  int i = 1;
  bool ended = false;
  auto outside = [wlow, whigh](double xi) { return xi < wlow || xi > whigh; };
  while (i + 3 <= lnum) {
    const double x0 = (i - 1) * delta;
    const double x1 = i * delta;
    const double x2 = (i + 1) * delta;
    const double x3 = (i + 2) * delta;
    if (outside(x0) || outside(x1) || outside(x2) || outside(x3)) {
      if (!cut_point(x, y, i, delta, scale, wlow, whigh, ii, kept)) {
        ended = true;
        break;
      }
      ++i;
      continue;
    }
    _mm256_storeu_pd(x + ii, _mm256_set_pd(x3, x2, x1, x0));
    const __m256d value = _mm256_mul_pd(_mm256_loadu_pd(y + (i - 1)), s);
    _mm256_storeu_pd(y + ii, value);
    largest4 = _mm256_max_pd(largest4, finite_magnitudes(value));
    ii += 4;
    i += 4;
  }
  kept = std::max(kept, largest_lane(largest4));
  _mm256_zeroupper();
  if (!ended) ii = sse2::cut_in_order_from(x, y, lnum, delta, scale, wlow, whigh, i, ii, kept);
  largest = kept;
  return ii;
}

}  // namespace ftir::simd::avx2
