// The SSE2 forms of the transform's passes: two points to a register pair (their real
// parts, their imaginary parts), in groups of 2; each lane does one butterfly of the plain
// form.
#include <emmintrin.h>

#include <cstddef>

#include "simd/forms.h"

namespace ftir::simd::sse2 {
namespace {

// Two neighbouring points (the first of them even) in one register pair.
struct Pair {
  __m128d re;
  __m128d im;
};

template <int G>
inline Pair load_pair(const double* x) {
  return {_mm_loadu_pd(x), _mm_loadu_pd(x + G)};
}

template <int G>
inline void store_pair(double* x, Pair a) {
  _mm_storeu_pd(x, a.re);
  _mm_storeu_pd(x + G, a.im);
}

// a * u for two points at once, with the products and sums of mul() in its order.
inline Pair cmul(Pair a, Pair u) {
  return {_mm_sub_pd(_mm_mul_pd(a.re, u.re), _mm_mul_pd(a.im, u.im)),
          _mm_add_pd(_mm_mul_pd(a.re, u.im), _mm_mul_pd(a.im, u.re))};
}

inline void butterfly(Pair& x0, Pair& x1, Pair u) {
  const Pair t = cmul(x1, u);
  x1 = {_mm_sub_pd(x0.re, t.re), _mm_sub_pd(x0.im, t.im)};
  x0 = {_mm_add_pd(x0.re, t.re), _mm_add_pd(x0.im, t.im)};
}

// Stores two points, in 2-groups or interleaved (the form of the finished transform).
template <bool kInterleave>
inline void store_out(double* x, Pair a) {
  if constexpr (kInterleave) {
    _mm_storeu_pd(x, _mm_unpacklo_pd(a.re, a.im));
    _mm_storeu_pd(x + 2, _mm_unpackhi_pd(a.re, a.im));
  } else {
    store_pair<2>(x, a);
  }
}

template <bool kInterleave>
void radix2(const FftPass& p) {
  const double* s1 = p.src + p.srs;
  double* d1 = p.dst + p.drs;
  for (int c = 0; c < 2 * p.count; c += 4) {
    Pair a0 = load_pair<2>(p.src + c);
    Pair a1 = load_pair<2>(s1 + c);
    butterfly(a0, a1, load_pair<2>(p.wa + c));
    store_out<kInterleave>(p.dst + c, a0);
    store_out<kInterleave>(d1 + c, a1);
  }
}

template <bool kInterleave>
void radix4(const FftPass& p) {
  const double* s0 = p.src;
  const std::ptrdiff_t srs = p.srs;
  double* d0 = p.dst;
  const std::ptrdiff_t drs = p.drs;
  const double* wc = p.wb + p.ws;
  for (int c = 0; c < 2 * p.count; c += 4) {
    Pair a0 = load_pair<2>(s0 + c);
    Pair a1 = load_pair<2>(s0 + srs + c);
    Pair a2 = load_pair<2>(s0 + 2 * srs + c);
    Pair a3 = load_pair<2>(s0 + 3 * srs + c);
    const Pair u = load_pair<2>(p.wa + c);
    butterfly(a0, a1, u);
    butterfly(a2, a3, u);
    butterfly(a0, a2, load_pair<2>(p.wb + c));
    butterfly(a1, a3, load_pair<2>(wc + c));
    store_out<kInterleave>(d0 + c, a0);
    store_out<kInterleave>(d0 + drs + c, a1);
    store_out<kInterleave>(d0 + 2 * drs + c, a2);
    store_out<kInterleave>(d0 + 3 * drs + c, a3);
  }
}

// The interleaved form of one point in a register: (re, im).
inline __m128d load_point(const double* p) { return _mm_loadu_pd(p); }

// a * u with a in interleaved form, ur = (u.re, u.re) and ui = (-u.im, u.im):
// (a.re*u.re + a.im*(-u.im), a.im*u.re + a.re*u.im). Negating a factor negates the product
// exactly and x + (-y) is x - y, so both parts equal those of mul(a, u).
inline void butterfly_point(__m128d& x0, __m128d& x1, __m128d ur, __m128d ui) {
  const __m128d t = _mm_add_pd(_mm_mul_pd(x1, ur), _mm_mul_pd(_mm_shuffle_pd(x1, x1, 1), ui));
  x1 = _mm_sub_pd(x0, t);
  x0 = _mm_add_pd(x0, t);
}

inline Pair to_pair(__m128d p0, __m128d p1) {
  return {_mm_unpacklo_pd(p0, p1), _mm_unpackhi_pd(p0, p1)};
}

constexpr int kRev4[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};

// Stages 1..4 of tile row c. Register k holds points k and k + 8 through stages 1..3 (the
// two take the same twiddle there); stage 4 regroups them into neighbours.
void first_four_stages(const double* tile, int c, double* out, const double* bc, const double* t4) {
  auto column = [tile, c](int k) {
    const double* p = tile + 2 * (kRev4[k] * 16 + c);  // kRev4[k + 8] is kRev4[k] + 1
    return to_pair(load_point(p), load_point(p + 32));
  };
  auto twiddle = [bc](int i) {
    return Pair{_mm_loadu_pd(bc + 4 * i), _mm_loadu_pd(bc + 4 * i + 2)};
  };
  // Written out in full so that the eight registers stay registers.
  Pair v0 = column(0), v1 = column(1), v2 = column(2), v3 = column(3);
  butterfly(v0, v1, twiddle(0));
  butterfly(v2, v3, twiddle(0));
  butterfly(v0, v2, twiddle(1));
  butterfly(v1, v3, twiddle(2));
  Pair v4 = column(4), v5 = column(5), v6 = column(6), v7 = column(7);
  butterfly(v4, v5, twiddle(0));
  butterfly(v6, v7, twiddle(0));
  butterfly(v4, v6, twiddle(1));
  butterfly(v5, v7, twiddle(2));
  butterfly(v0, v4, twiddle(3));
  butterfly(v1, v5, twiddle(4));
  butterfly(v2, v6, twiddle(5));
  butterfly(v3, v7, twiddle(6));
  auto last = [out, t4](int k, Pair a, Pair b) {
    Pair lo{_mm_unpacklo_pd(a.re, b.re), _mm_unpacklo_pd(a.im, b.im)};
    Pair hi{_mm_unpackhi_pd(a.re, b.re), _mm_unpackhi_pd(a.im, b.im)};
    butterfly(lo, hi, load_pair<2>(t4 + fft_point_offset(2, k)));
    store_pair<2>(out + fft_point_offset(2, k), lo);
    store_pair<2>(out + fft_point_offset(2, k + 8), hi);
  };
  last(0, v0, v1);
  last(2, v2, v3);
  last(4, v4, v5);
  last(6, v6, v7);
}

}  // namespace

template <int kStages, bool kInterleave>
void fft_pass(const FftPass& pass) {
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

void fft_first_four_stages(const double* tile, double* const out[16], const double* bc,
                           const double* t4) {
  for (int c = 0; c < 16; ++c) first_four_stages(tile, c, out[c], bc, t4);
}

// Stages 1 and 2 on each half of a group of eight points, one point to a register, then
// stage 3 on pairs. Stages 1 and 2 use three twiddles, expanded once here.
template <int G>
void fft_first_three_stages(const double* src, double* dst, int count, const double* t1,
                            const double* t2, const double* t3) {
  const __m128d u1r = _mm_set1_pd(t1[0]);
  const __m128d u1i = _mm_set_pd(t1[G], -t1[G]);
  const __m128d u2r = _mm_set1_pd(t2[0]);
  const __m128d u2i = _mm_set_pd(t2[G], -t2[G]);
  const __m128d u3r = _mm_set1_pd(t2[1]);
  const __m128d u3i = _mm_set_pd(t2[G + 1], -t2[G + 1]);
  for (int p = 0; p < count; p += 8) {
    Pair q[4];
    for (int half = 0; half < 2; ++half) {
      const double* s = src + 2 * (p + 4 * half);
      __m128d a0 = load_point(s);
      __m128d a1 = load_point(s + 2);
      __m128d a2 = load_point(s + 4);
      __m128d a3 = load_point(s + 6);
      butterfly_point(a0, a1, u1r, u1i);
      butterfly_point(a2, a3, u1r, u1i);
      butterfly_point(a0, a2, u2r, u2i);
      butterfly_point(a1, a3, u3r, u3i);
      q[2 * half] = to_pair(a0, a1);
      q[2 * half + 1] = to_pair(a2, a3);
    }
    butterfly(q[0], q[2], load_pair<G>(t3));
    butterfly(q[1], q[3], load_pair<G>(t3 + fft_point_offset(G, 2)));
    double* out = dst + 2 * p;
    for (int i = 0; i < 4; ++i) store_pair<G>(out + fft_point_offset(G, 2 * i), q[i]);
  }
}

template <int G>
void fft_interleave(const double* src, double* dst, int count) {
  for (int c = 0; c < count; c += 2) {
    const Pair a = load_pair<G>(src + fft_point_offset(G, c));
    _mm_storeu_pd(dst + 2 * c, _mm_unpacklo_pd(a.re, a.im));
    _mm_storeu_pd(dst + 2 * c + 2, _mm_unpackhi_pd(a.re, a.im));
  }
}

template void fft_first_three_stages<2>(const double*, double*, int, const double*, const double*,
                                        const double*);
template void fft_first_three_stages<4>(const double*, double*, int, const double*, const double*,
                                        const double*);
template void fft_interleave<2>(const double*, double*, int);
template void fft_interleave<4>(const double*, double*, int);

}  // namespace ftir::simd::sse2
