// The AVX2 forms of the transform's passes: four points to a register pair, in groups of
// 4; each lane does one butterfly of the plain form, never with a fused multiply-add.
// They are written out again rather than shared with the SSE2 forms through a template: the
// compiler builds a function for AVX2 only when the function itself says so.
#include <immintrin.h>

#include <cstddef>

#include "simd/forms.h"

// The attribute goes on every function of this file that holds AVX2 code.
#define FTIR_AVX2 __attribute__((target("avx2")))

namespace ftir::simd::avx2 {
namespace {

struct Quad {
  __m256d re;
  __m256d im;
};

FTIR_AVX2 inline Quad load_quad(const double* x) {
  return {_mm256_loadu_pd(x), _mm256_loadu_pd(x + 4)};
}

FTIR_AVX2 inline void butterfly(Quad& x0, Quad& x1, Quad u) {
  const Quad t{_mm256_sub_pd(_mm256_mul_pd(x1.re, u.re), _mm256_mul_pd(x1.im, u.im)),
               _mm256_add_pd(_mm256_mul_pd(x1.re, u.im), _mm256_mul_pd(x1.im, u.re))};
  x1 = {_mm256_sub_pd(x0.re, t.re), _mm256_sub_pd(x0.im, t.im)};
  x0 = {_mm256_add_pd(x0.re, t.re), _mm256_add_pd(x0.im, t.im)};
}

template <bool kInterleave>
FTIR_AVX2 inline void store_out(double* x, Quad a) {
  if constexpr (kInterleave) {
    const __m256d lo = _mm256_unpacklo_pd(a.re, a.im);  // points 0 and 2
    const __m256d hi = _mm256_unpackhi_pd(a.re, a.im);  // points 1 and 3
    _mm256_storeu_pd(x, _mm256_permute2f128_pd(lo, hi, 0x20));
    _mm256_storeu_pd(x + 4, _mm256_permute2f128_pd(lo, hi, 0x31));
  } else {
    _mm256_storeu_pd(x, a.re);
    _mm256_storeu_pd(x + 4, a.im);
  }
}

template <bool kInterleave>
FTIR_AVX2 void radix2(const FftPass& p) {
  const double* s1 = p.src + p.srs;
  double* d1 = p.dst + p.drs;
  for (int c = 0; c < 2 * p.count; c += 8) {
    Quad a0 = load_quad(p.src + c);
    Quad a1 = load_quad(s1 + c);
    butterfly(a0, a1, load_quad(p.wa + c));
    store_out<kInterleave>(p.dst + c, a0);
    store_out<kInterleave>(d1 + c, a1);
  }
  _mm256_zeroupper();
}

template <bool kInterleave>
FTIR_AVX2 void radix4(const FftPass& p) {
  const double* s0 = p.src;
  const std::ptrdiff_t srs = p.srs;
  double* d0 = p.dst;
  const std::ptrdiff_t drs = p.drs;
  const double* wc = p.wb + p.ws;
  for (int c = 0; c < 2 * p.count; c += 8) {
    Quad a0 = load_quad(s0 + c);
    Quad a1 = load_quad(s0 + srs + c);
    Quad a2 = load_quad(s0 + 2 * srs + c);
    Quad a3 = load_quad(s0 + 3 * srs + c);
    const Quad u = load_quad(p.wa + c);
    butterfly(a0, a1, u);
    butterfly(a2, a3, u);
    butterfly(a0, a2, load_quad(p.wb + c));
    butterfly(a1, a3, load_quad(wc + c));
    store_out<kInterleave>(d0 + c, a0);
    store_out<kInterleave>(d0 + drs + c, a1);
    store_out<kInterleave>(d0 + 2 * drs + c, a2);
    store_out<kInterleave>(d0 + 3 * drs + c, a3);
  }
  _mm256_zeroupper();
}

constexpr int kRev4[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};

// Points k and k + 8 of tile rows c and c + 1: the low half of each register works on row
// c, the high half on row c + 1, exactly as the SSE2 form does on each alone.
FTIR_AVX2 inline Quad column_quad(const double* tile, int c, int k) {
  const double* p = tile + 2 * (kRev4[k] * 16 + c);
  const __m256d a = _mm256_loadu_pd(p);       // point k: rows c, c + 1
  const __m256d b = _mm256_loadu_pd(p + 32);  // point k + 8 (kRev4[k + 8] is kRev4[k] + 1)
  return {_mm256_unpacklo_pd(a, b), _mm256_unpackhi_pd(a, b)};
}

FTIR_AVX2 inline Quad broadcast_twiddle(const double* bc, int i) {
  return {_mm256_broadcast_sd(bc + 4 * i), _mm256_broadcast_sd(bc + 4 * i + 2)};
}

FTIR_AVX2 inline void store_halves(double* out_c, double* out_c1, std::size_t at, __m256d v) {
  _mm_storeu_pd(out_c + at, _mm256_castpd256_pd128(v));
  _mm_storeu_pd(out_c1 + at, _mm256_extractf128_pd(v, 1));
}

// Stages 1 and 2 on four registers; kept in the caller's registers.
[[gnu::always_inline]] FTIR_AVX2 inline void first_two_stages(Quad& a0, Quad& a1, Quad& a2,
                                                              Quad& a3, const double* bc) {
  butterfly(a0, a1, broadcast_twiddle(bc, 0));
  butterfly(a2, a3, broadcast_twiddle(bc, 0));
  butterfly(a0, a2, broadcast_twiddle(bc, 1));
  butterfly(a1, a3, broadcast_twiddle(bc, 2));
}

// Stages 1..4 of tile rows c and c + 1.
FTIR_AVX2 void first_four_stages(const double* tile, int c, double* out_c, double* out_c1,
                                 const double* bc, const double* t4) {
  Quad v0 = column_quad(tile, c, 0), v1 = column_quad(tile, c, 1);
  Quad v2 = column_quad(tile, c, 2), v3 = column_quad(tile, c, 3);
  first_two_stages(v0, v1, v2, v3, bc);
  Quad v4 = column_quad(tile, c, 4), v5 = column_quad(tile, c, 5);
  Quad v6 = column_quad(tile, c, 6), v7 = column_quad(tile, c, 7);
  first_two_stages(v4, v5, v6, v7, bc);
  butterfly(v0, v4, broadcast_twiddle(bc, 3));
  butterfly(v1, v5, broadcast_twiddle(bc, 4));
  butterfly(v2, v6, broadcast_twiddle(bc, 5));
  butterfly(v3, v7, broadcast_twiddle(bc, 6));
  const Quad* v[8] = {&v0, &v1, &v2, &v3, &v4, &v5, &v6, &v7};
  for (int k = 0; k < 8; k += 2) {
    const Quad& a = *v[k];
    const Quad& b = *v[k + 1];
    Quad lo{_mm256_unpacklo_pd(a.re, b.re), _mm256_unpacklo_pd(a.im, b.im)};
    Quad hi{_mm256_unpackhi_pd(a.re, b.re), _mm256_unpackhi_pd(a.im, b.im)};
    const double* t = t4 + fft_point_offset(4, k);
    const __m128d ure = _mm_loadu_pd(t);
    const __m128d uim = _mm_loadu_pd(t + 4);
    butterfly(lo, hi,
              Quad{_mm256_insertf128_pd(_mm256_castpd128_pd256(ure), ure, 1),
                   _mm256_insertf128_pd(_mm256_castpd128_pd256(uim), uim, 1)});
    store_halves(out_c, out_c1, fft_point_offset(4, k), lo.re);
    store_halves(out_c, out_c1, fft_point_offset(4, k) + 4, lo.im);
    store_halves(out_c, out_c1, fft_point_offset(4, k + 8), hi.re);
    store_halves(out_c, out_c1, fft_point_offset(4, k + 8) + 4, hi.im);
  }
}

}  // namespace

template <int kStages, bool kInterleave>
FTIR_AVX2 void fft_pass(const FftPass& pass) {
  if constexpr (kStages == 2) {
    radix4<kInterleave>(pass);
  } else {
    radix2<kInterleave>(pass);
  }
}

template void fft_pass<1, false>(const FftPass&);
template void fft_pass<1, true>(const FftPass&);
template void fft_pass<2, false>(const FftPass&);
template void fft_pass<2, true>(const FftPass&);

FTIR_AVX2 void fft_first_four_stages(const double* tile, double* const out[16], const double* bc,
                                     const double* t4) {
  for (int c = 0; c < 16; c += 2) first_four_stages(tile, c, out[c], out[c + 1], bc, t4);
  _mm256_zeroupper();
}

}  // namespace ftir::simd::avx2
