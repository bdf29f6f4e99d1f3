// CFFT, the fast routine and the plain one it is tested against.
//
// The fast routine does exactly the arithmetic of the plain one, butterfly for butterfly:
// the same twiddle values from the same recurrence, the same four products and two sums in
// t = element * u, the same difference and sum. Only the order in which independent
// butterflies run differs, which cannot change a single bit of the result:
//   1. the bit-reversal permutation swaps tiles of 16 x 16 points and does stages 1..4 on
//      each 16-point row of a tile while it is at hand;
//   2. stages 5..13 run block by block (2^13 points, in the level-2 cache), two stages per
//      pass, stages 5..9 on sub-blocks of 2^9 points (in the level-1 cache);
//   3. stages 14..19 run on chunks of 32 neighbouring columns (points equal modulo 2^13).
// Working storage keeps W points together: their W real parts, then their W imaginary parts
// ("W-form"), so that one register holds the real (or the imaginary) parts of W neighbouring
// points. W is 2 (SSE2, which every x86-64 processor has) or 4 (AVX2, chosen at run time
// where the processor has it). Each lane of a register does the scalar operations of one
// butterfly, and no fused multiply-add is ever used, so W changes no bit of the result.
#include "transform/fft.h"

#include <emmintrin.h>
#include <immintrin.h>
#include <xmmintrin.h>

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <utility>

#include "spcfile/simd.h"

// The four-point kernels; the rest of the program keeps the baseline instruction set.
#define FTIR_AVX2 __attribute__((target("avx2")))

namespace ftir::transform {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr int kMaxStages = 19;
constexpr int kTileBits = 4;  // tiles of 16 x 16 points
constexpr int kTileSide = 1 << kTileBits;
constexpr int kTilePoints = kTileSide * kTileSide;
constexpr int kFirstBlockStage = kTileBits + 1;
constexpr int kBlockBits = 13;
constexpr int kInnerBits = 9;
constexpr int kChunk = 32;  // columns per chunk of the later stages
constexpr int kMaxRows = 1 << (kMaxStages - kBlockBits);
constexpr int kPad = 8;  // doubles after each row, so that rows do not share cache sets
constexpr int kMaxWidth = 4;

// w = cos(pi/le1) - i*ndir*sin(pi/le1): the sine is multiplied by ndir, then negated.
Complex stage_rotation(int le1, int ndir) {
  const double angle = kPi / static_cast<double>(le1);
  return {std::cos(angle), -(static_cast<double>(ndir) * std::sin(angle))};
}

int reverse_bits(int value, int bits) {
  int reversed = 0;
  for (int b = 0; b < bits; ++b) {
    reversed = (reversed << 1) | (value & 1);
    value >>= 1;
  }
  return reversed;
}

// Doubles from the start of a W-form row to point q's real part; its imaginary part is W
// further on.
template <int W>
constexpr std::size_t point_offset(int q) {
  return 2 * W * static_cast<std::size_t>(q / W) + static_cast<std::size_t>(q % W);
}

// Two neighbouring points (the first of them even) in one SSE2 register pair: both real
// parts, both imaginary parts.
struct Pair {
  __m128d re;
  __m128d im;
};

template <int W>
inline Pair load_pair(const double* x) {
  return {_mm_loadu_pd(x), _mm_loadu_pd(x + W)};
}

template <int W>
inline void store_pair(double* x, Pair a) {
  _mm_storeu_pd(x, a.re);
  _mm_storeu_pd(x + W, a.im);
}

// a * u for two points at once, with the products and sums of mul() in its order.
inline Pair cmul(Pair a, Pair u) {
  return {_mm_sub_pd(_mm_mul_pd(a.re, u.re), _mm_mul_pd(a.im, u.im)),
          _mm_add_pd(_mm_mul_pd(a.re, u.im), _mm_mul_pd(a.im, u.re))};
}

// The butterfly of the plain routine on two points at once: t = x1 * u, x1 = x0 - t,
// x0 = x0 + t.
inline void butterfly(Pair& x0, Pair& x1, Pair u) {
  const Pair t = cmul(x1, u);
  x1 = {_mm_sub_pd(x0.re, t.re), _mm_sub_pd(x0.im, t.im)};
  x0 = {_mm_add_pd(x0.re, t.re), _mm_add_pd(x0.im, t.im)};
}

inline double* doubles(Complex* p) { return &p->re; }

// Stores two points, in 2-form or interleaved (the form of the finished transform).
template <bool kInterleave>
inline void store_out(double* x, Pair a) {
  if constexpr (kInterleave) {
    _mm_storeu_pd(x, _mm_unpacklo_pd(a.re, a.im));
    _mm_storeu_pd(x + 2, _mm_unpackhi_pd(a.re, a.im));
  } else {
    store_pair<2>(x, a);
  }
}

// One stage over two rows of `count` points: source rows s0 and s0 + srs, destination
// rows d0 and d0 + drs (doubles; the destination may be the source), twiddles w.
template <bool kInterleave>
void radix2(const double* s0, std::ptrdiff_t srs, double* d0, std::ptrdiff_t drs, const double* w,
            int count) {
  const double* s1 = s0 + srs;
  double* d1 = d0 + drs;
  for (int c = 0; c < 2 * count; c += 4) {
    Pair a0 = load_pair<2>(s0 + c);
    Pair a1 = load_pair<2>(s1 + c);
    butterfly(a0, a1, load_pair<2>(w + c));
    store_out<kInterleave>(d0 + c, a0);
    store_out<kInterleave>(d1 + c, a1);
  }
}

// Two stages over four rows of `count` points: the first stage pairs rows 0-1 and 2-3 with
// twiddles wa, the second pairs rows 0-2 with twiddles wb and 1-3 with wb + ws.
template <bool kInterleave>
void radix4(const double* s0, std::ptrdiff_t srs, double* d0, std::ptrdiff_t drs, const double* wa,
            const double* wb, std::ptrdiff_t ws, int count) {
  const double* wc = wb + ws;
  for (int c = 0; c < 2 * count; c += 4) {
    Pair a0 = load_pair<2>(s0 + c);
    Pair a1 = load_pair<2>(s0 + srs + c);
    Pair a2 = load_pair<2>(s0 + 2 * srs + c);
    Pair a3 = load_pair<2>(s0 + 3 * srs + c);
    const Pair u = load_pair<2>(wa + c);
    butterfly(a0, a1, u);
    butterfly(a2, a3, u);
    butterfly(a0, a2, load_pair<2>(wb + c));
    butterfly(a1, a3, load_pair<2>(wc + c));
    store_out<kInterleave>(d0 + c, a0);
    store_out<kInterleave>(d0 + drs + c, a1);
    store_out<kInterleave>(d0 + 2 * drs + c, a2);
    store_out<kInterleave>(d0 + 3 * drs + c, a3);
  }
}

// The same two kernels on four points to a register, in 4-form. They are written out again
// rather than shared through a template: the compiler builds a function for AVX2 only when
// the function itself says so, and the two-point kernels must run on any x86-64.
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
FTIR_AVX2 void radix2_quad(const double* s0, std::ptrdiff_t srs, double* d0, std::ptrdiff_t drs,
                           const double* w, int count) {
  const double* s1 = s0 + srs;
  double* d1 = d0 + drs;
  for (int c = 0; c < 2 * count; c += 8) {
    Quad a0 = load_quad(s0 + c);
    Quad a1 = load_quad(s1 + c);
    butterfly(a0, a1, load_quad(w + c));
    store_out<kInterleave>(d0 + c, a0);
    store_out<kInterleave>(d1 + c, a1);
  }
}

template <bool kInterleave>
FTIR_AVX2 void radix4_quad(const double* s0, std::ptrdiff_t srs, double* d0, std::ptrdiff_t drs,
                           const double* wa, const double* wb, std::ptrdiff_t ws, int count) {
  const double* wc = wb + ws;
  for (int c = 0; c < 2 * count; c += 8) {
    Quad a0 = load_quad(s0 + c);
    Quad a1 = load_quad(s0 + srs + c);
    Quad a2 = load_quad(s0 + 2 * srs + c);
    Quad a3 = load_quad(s0 + 3 * srs + c);
    const Quad u = load_quad(wa + c);
    butterfly(a0, a1, u);
    butterfly(a2, a3, u);
    butterfly(a0, a2, load_quad(wb + c));
    butterfly(a1, a3, load_quad(wc + c));
    store_out<kInterleave>(d0 + c, a0);
    store_out<kInterleave>(d0 + drs + c, a1);
    store_out<kInterleave>(d0 + 2 * drs + c, a2);
    store_out<kInterleave>(d0 + 3 * drs + c, a3);
  }
}

// A pass of one stage (radix2) or two (radix4) over rows in W-form; `count` is a multiple
// of W.
template <int W, bool kInterleave>
void run_pass_to(int stages, const double* src, std::ptrdiff_t srs, double* dst, std::ptrdiff_t drs,
                 const double* wa, const double* wb, std::ptrdiff_t ws, int count) {
  static_assert(W == 2 || W == 4);
  if (stages == 2) {
    (W == 4 ? radix4_quad<kInterleave> : radix4<kInterleave>)(src, srs, dst, drs, wa, wb, ws,
                                                              count);
  } else {
    (W == 4 ? radix2_quad<kInterleave> : radix2<kInterleave>)(src, srs, dst, drs, wa, count);
  }
}

template <int W>
void run_pass(int stages, bool interleave, const double* src, std::ptrdiff_t srs, double* dst,
              std::ptrdiff_t drs, const double* wa, const double* wb, std::ptrdiff_t ws,
              int count) {
  (interleave ? run_pass_to<W, true> : run_pass_to<W, false>)(stages, src, srs, dst, drs, wa, wb,
                                                              ws, count);
}

// Where the twiddle tables live. Stage l (le1 = 2^(l-1)) has a table of max(le1, W)
// points in W-form, the tables one after the other from stage 1, so that every table of
// W points or more starts on a whole group. Up to stage 13 entry k is point k of the
// table. The later stages are read by column_stages only, a chunk of kChunk neighbouring
// columns at a time, so their entry k = j*2^13 + c (j the row within the half group, c the
// column) is stored chunk by chunk, at point ((c / kChunk) * (le1 / 2^13) + j) * kChunk +
// c % kChunk.
template <int W>
std::size_t table_offset(int le1) {
  const auto stage = [](int m) {
    return static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(m)));
  };
  if (le1 < W) return 2 * W * stage(le1);
  return 2 * W * stage(W) + 2 * static_cast<std::size_t>(le1 - W);
}

int table_point(int le1, int k) {
  if (le1 < (1 << kBlockBits)) return k;
  const int h = le1 >> kBlockBits;
  const int j = k >> kBlockBits;
  const int c = k & ((1 << kBlockBits) - 1);
  return ((c / kChunk) * h + j) * kChunk + c % kChunk;
}

// The interleaved form of one point in a register: (re, im).
inline __m128d load_point(const Complex* p) { return _mm_loadu_pd(&p->re); }

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

// The twiddles of stages 1..3 (seven of them), each as the pair (re, re), (im, im), so that
// both points of a register take the same twiddle: 28 doubles.
template <int W>
void broadcast_first_twiddles(const double* tw, double* bc) {
  int i = 0;
  for (int le1 = 1; le1 <= 4; le1 *= 2) {
    for (int k = 0; k < le1; ++k, ++i) {
      const double* t = tw + table_offset<W>(le1) + point_offset<W>(k);
      bc[4 * i] = bc[4 * i + 1] = t[0];
      bc[4 * i + 2] = bc[4 * i + 3] = t[W];
    }
  }
}

constexpr int kRev4[kTileSide] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};

// Stages 1..4 of one 16-point row whose point l is tile[kRev4[l] * 16 + c], written in
// W-form to out. Register k holds points k and k + 8 through stages 1..3 (the two take
// the same twiddle there); stage 4 regroups them into neighbours.
template <int W>
void first_four_stages(const Complex* tile, int c, double* out, const double* bc,
                       const double* t4) {
  auto column = [tile, c](int k) {
    const Complex* p = tile + kRev4[k] * kTileSide + c;  // kRev4[k + 8] is kRev4[k] + 1
    return to_pair(load_point(p), load_point(p + kTileSide));
  };
  auto twiddle = [bc](int i) { return Pair{_mm_load_pd(bc + 4 * i), _mm_load_pd(bc + 4 * i + 2)}; };
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
    butterfly(lo, hi, load_pair<W>(t4 + point_offset<W>(k)));
    store_pair<W>(out + point_offset<W>(k), lo);
    store_pair<W>(out + point_offset<W>(k + 8), hi);
  };
  last(0, v0, v1);
  last(2, v2, v3);
  last(4, v4, v5);
  last(6, v6, v7);
}

// first_four_stages for columns c and c + 1 at once, in 4-form: the low half of each
// register works on column c, the high half on column c + 1, exactly as the two-point
// routine does on each alone.
FTIR_AVX2 inline Quad column_quad(const Complex* tile, int c, int k) {
  const double* p = &tile[kRev4[k] * kTileSide + c].re;
  const __m256d a = _mm256_loadu_pd(p);                  // row kRev4[k]: columns c, c + 1
  const __m256d b = _mm256_loadu_pd(p + 2 * kTileSide);  // row kRev4[k] + 1
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

FTIR_AVX2 void first_four_stages_quad(const Complex* tile, int c, double* out_c, double* out_c1,
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
    const double* t = t4 + point_offset<4>(k);
    const __m128d ure = _mm_loadu_pd(t);
    const __m128d uim = _mm_loadu_pd(t + 4);
    butterfly(lo, hi,
              Quad{_mm256_insertf128_pd(_mm256_castpd128_pd256(ure), ure, 1),
                   _mm256_insertf128_pd(_mm256_castpd128_pd256(uim), uim, 1)});
    store_halves(out_c, out_c1, point_offset<4>(k), lo.re);
    store_halves(out_c, out_c1, point_offset<4>(k) + 4, lo.im);
    store_halves(out_c, out_c1, point_offset<4>(k + 8), hi.re);
    store_halves(out_c, out_c1, point_offset<4>(k + 8) + 4, hi.im);
  }
}

// Stages 1 to 3 of `count` (a multiple of 8) points, read interleaved from src and written
// in W-form to dst. Stages 1 and 2 use three twiddles, expanded once here.
template <int W>
void first_three_stages(const Complex* src, double* dst, int count, const double* tw) {
  const double* t1 = tw + table_offset<W>(1);
  const double* t2 = tw + table_offset<W>(2);
  const double* t3 = tw + table_offset<W>(4);
  const __m128d u1r = _mm_set1_pd(t1[0]);
  const __m128d u1i = _mm_set_pd(t1[W], -t1[W]);
  const __m128d u2r = _mm_set1_pd(t2[0]);
  const __m128d u2i = _mm_set_pd(t2[W], -t2[W]);
  const __m128d u3r = _mm_set1_pd(t2[1]);
  const __m128d u3i = _mm_set_pd(t2[W + 1], -t2[W + 1]);
  for (int p = 0; p < count; p += 8) {
    Pair q[4];
    for (int half = 0; half < 2; ++half) {
      __m128d a0 = load_point(src + p + 4 * half);
      __m128d a1 = load_point(src + p + 4 * half + 1);
      __m128d a2 = load_point(src + p + 4 * half + 2);
      __m128d a3 = load_point(src + p + 4 * half + 3);
      butterfly_point(a0, a1, u1r, u1i);
      butterfly_point(a2, a3, u1r, u1i);
      butterfly_point(a0, a2, u2r, u2i);
      butterfly_point(a1, a3, u3r, u3i);
      q[2 * half] = to_pair(a0, a1);
      q[2 * half + 1] = to_pair(a2, a3);
    }
    butterfly(q[0], q[2], load_pair<W>(t3));
    butterfly(q[1], q[3], load_pair<W>(t3 + point_offset<W>(2)));
    double* out = dst + 2 * p;
    for (int i = 0; i < 4; ++i) store_pair<W>(out + point_offset<W>(2 * i), q[i]);
  }
}

template <int W>
void interleave_to(const double* src, Complex* dst, int count) {
  for (int c = 0; c < count; c += 2) {
    const Pair a = load_pair<W>(src + point_offset<W>(c));
    _mm_storeu_pd(&dst[c].re, _mm_unpacklo_pd(a.re, a.im));
    _mm_storeu_pd(&dst[c + 1].re, _mm_unpackhi_pd(a.re, a.im));
  }
}

}  // namespace

Fft::Width Fft::widest() { return spcfile::cpu_has_avx2() ? Width::kFour : Width::kTwo; }

Fft::Fft(Width width)
    : width_(width),
      twiddles_(2 * static_cast<std::size_t>(kMaxPoints) + 8 * kMaxWidth),
      block_((std::size_t{1} << (kBlockBits - kInnerBits)) * ((2 << kInnerBits) + kPad)),
      columns_(kMaxRows * (2 * kChunk + kPad)),
      tiles_(2 * kTilePoints),
      tile_work_(2 * kTilePoints) {
  assert(width == Width::kTwo || __builtin_cpu_supports("avx2"));
}

template <int W>
void Fft::make_twiddles(int n, int ndir) {
  if (ndir != twiddle_ndir_) {
    twiddle_ndir_ = ndir;
    twiddle_stages_ = 0;
  }
  if (n <= twiddle_stages_) return;
  // Each twiddle waits for the one before it, so one recurrence alone leaves the processor
  // idle most of the time. The stages are independent: the last and longest runs beside the
  // others, which take turns and together are shorter. The running values stay in local
  // variables, which the table stores cannot touch.
  double* const tables = twiddles_.data();
  struct Chain {
    int le1;
    double* table;
    Complex w;
  };
  auto chain = [tables, ndir](int stage) {
    const int le1 = 1 << (stage - 1);
    return Chain{le1, tables + table_offset<W>(le1), stage_rotation(le1, ndir)};
  };
  auto store = [](const Chain& c, int k, Complex u) {
    const std::size_t at = point_offset<W>(table_point(c.le1, k));
    c.table[at] = u.re;
    c.table[at + W] = u.im;
  };
  const Chain longest = chain(n);
  Complex u{1.0, 0.0};
  int other = n - 1;
  Chain side = chain(std::max(other, 1));
  Complex v{1.0, 0.0};
  int kv = 0;
  for (int k = 0; k < longest.le1; ++k) {
    store(longest, k, u);
    u = mul(u, longest.w);
    if (other > twiddle_stages_) {
      store(side, kv, v);
      v = mul(v, side.w);
      if (++kv == side.le1 && --other > twiddle_stages_) {
        side = chain(other);
        v = {1.0, 0.0};
        kv = 0;
      }
    }
  }
  // What the other stages still need, should they be the longer side.
  for (; other > twiddle_stages_; --other) {
    if (kv == side.le1) {
      side = chain(other);
      v = {1.0, 0.0};
      kv = 0;
    }
    for (; kv < side.le1; ++kv) {
      store(side, kv, v);
      v = mul(v, side.w);
    }
  }
  twiddle_stages_ = n;
}

template <int W>
void Fft::small_transform(Complex* data, int n) {
  const int nb = 1 << n;
  const double* tw = twiddles_.data();
  Complex* permuted = tiles_.data();
  double* work = tile_work_.data();
  for (int i = 0; i < nb; ++i) permuted[i] = data[reverse_bits(i, n)];
  first_three_stages<W>(permuted, work, nb, tw);
  for (int l = 4; l <= n;) {
    const int stages = l < n ? 2 : 1;
    const int h = 1 << (l - 1);
    for (int g = 0; g < nb; g += 2 * stages * h) {
      run_pass<W>(stages, false, work + 2 * g, 2 * h, work + 2 * g, 2 * h, tw + table_offset<W>(h),
                  tw + table_offset<W>(2 * h), 2 * h, h);
    }
    l += stages;
  }
  interleave_to<W>(work, data, nb);
}

// With a point's index split into high, middle and low bits (h, m, l), its partner in the
// permutation (element i takes element rev(i)) is (rev l, rev m, rev h): tile m (the 16
// rows h of 16 points l) is exchanged with tile rev m. Both tiles are copied out first;
// row h of the new tile m is column rev h of the old tile rev m, rows in reversed order,
// and gets stages 1..4 on its way home.
template <int W>
void Fft::permute_first_stages(Complex* data, int n) {
  const int mid = n - 2 * kTileBits;
  const int high_shift = n - kTileBits;
  const double* tw = twiddles_.data();
  const double* t4 = tw + table_offset<W>(8);
  double* bc = tile_work_.data();
  broadcast_first_twiddles<W>(tw, bc);
  Complex* ta = tiles_.data();
  Complex* tb = ta + kTilePoints;
  auto load = [&](Complex* tile, int m) {
    for (int r = 0; r < kTileSide; ++r) {
      const Complex* row = data + (r << high_shift) + (m << kTileBits);
      for (int c = 0; c < kTileSide; ++c) {
        _mm_storeu_pd(doubles(tile + r * kTileSide + c), load_point(row + c));
      }
    }
  };
  auto emit = [&](const Complex* tile, int m) {
    auto out = [&](int c) { return doubles(data + (kRev4[c] << high_shift) + (m << kTileBits)); };
    if constexpr (W == 4) {
      for (int c = 0; c < kTileSide; c += 2) {
        first_four_stages_quad(tile, c, out(c), out(c + 1), bc, t4);
      }
    } else {
      for (int c = 0; c < kTileSide; ++c) first_four_stages<W>(tile, c, out(c), bc, t4);
    }
  };
  for (int m = 0; m < (1 << mid); ++m) {
    const int mr = reverse_bits(m, mid);
    if (mr < m) continue;
    load(ta, m);
    if (mr == m) {
      emit(ta, m);
    } else {
      load(tb, mr);
      emit(tb, m);
      emit(ta, mr);
    }
  }
}

template <int W>
void Fft::block_stages(Complex* data, int n) {
  const int a = std::min(n, kBlockBits);
  const int inner = std::min(a, kInnerBits);
  const int inner_len = 1 << inner;
  const int subs = 1 << (a - inner);
  const bool finishes = n == a;  // the last pass writes the finished transform
  const std::ptrdiff_t sub_stride = 2 * inner_len + kPad;
  const double* tw = twiddles_.data();
  double* buf = block_.data();
  for (int b = 0; b < (1 << n); b += 1 << a) {
    double* blk = doubles(data + b);
    // Stages 5..inner within each sub-block; the first pass reads the data, the passes
    // after it work in the padded buffer.
    for (int sb = 0; sb < subs; ++sb) {
      double* home = blk + 2 * sb * inner_len;
      double* work = buf + sb * sub_stride;
      for (int l = kFirstBlockStage; l <= inner;) {
        const int stages = l < inner ? 2 : 1;
        const bool last = l + stages > inner && inner == a;
        const double* src = l == kFirstBlockStage ? home : work;
        double* dst = last ? home : work;
        const int h = 1 << (l - 1);
        for (int g = 0; g < inner_len; g += 2 * stages * h) {
          run_pass<W>(stages, last && finishes, src + 2 * g, 2 * h, dst + 2 * g, 2 * h,
                      tw + table_offset<W>(h), tw + table_offset<W>(2 * h), 2 * h, h);
        }
        l += stages;
      }
    }
    // Stages inner+1..a pair sub-blocks: stage l pairs sub-block r with r + 2^(l-1-inner),
    // with the twiddles of entries (r mod 2^(l-1-inner)) * inner_len + c.
    for (int l = inner + 1; l <= a;) {
      const int stages = l < a ? 2 : 1;
      const bool last = l + stages > a;
      const int rh = 1 << (l - 1 - inner);
      const int h = rh * inner_len;
      for (int g = 0; g < subs; g += 2 * stages * rh) {
        for (int j = 0; j < rh; ++j) {
          const int r0 = g + j;
          double* dst = last ? blk + 2 * r0 * inner_len : buf + r0 * sub_stride;
          const std::ptrdiff_t drs = last ? 2 * rh * inner_len : rh * sub_stride;
          run_pass<W>(stages, last && finishes, buf + r0 * sub_stride, rh * sub_stride, dst, drs,
                      tw + table_offset<W>(h) + 2 * j * inner_len,
                      tw + table_offset<W>(2 * h) + 2 * j * inner_len, 2 * h, inner_len);
        }
      }
      l += stages;
    }
  }
}

template <int W>
void Fft::column_stages(Complex* data, int n) {
  const int depth = n - kBlockBits;
  const int rows = 1 << depth;
  const int stride = 1 << kBlockBits;
  const std::ptrdiff_t data_rs = 2 * stride;
  const std::ptrdiff_t buf_rs = 2 * kChunk + kPad;
  const double* tw = twiddles_.data();
  double* d = doubles(data);
  double* buf = columns_.data();
  for (int ci = 0; ci < stride / kChunk; ++ci) {
    const int c0 = ci * kChunk;
    if (c0 + kChunk < stride) {
      // The next chunk's rows lie far apart; ask for them while this chunk computes.
      for (int r = 0; r < rows; ++r) {
        const char* next = reinterpret_cast<const char*>(d + r * data_rs + 2 * (c0 + kChunk));
        for (int line = 0; line < 16 * kChunk; line += 64) _mm_prefetch(next + line, _MM_HINT_T0);
      }
    }
    // Stage 14+s pairs rows r and r + 2^s. The first pass reads the data, the last writes
    // the finished transform back, the ones between work in the padded buffer.
    for (int s = 0; s < depth;) {
      const int stages = s + 1 < depth ? 2 : 1;
      const bool first = s == 0;
      const bool last = s + stages == depth;
      const int h = 1 << s;
      const int le1 = h << kBlockBits;
      for (int g = 0; g < rows; g += 2 * stages * h) {
        for (int j = 0; j < h; ++j) {
          const int r0 = g + j;
          const double* src = first ? d + r0 * data_rs + 2 * c0 : buf + r0 * buf_rs;
          const std::ptrdiff_t srs = h * (first ? data_rs : buf_rs);
          double* dst = last ? d + r0 * data_rs + 2 * c0 : buf + r0 * buf_rs;
          const std::ptrdiff_t drs = h * (last ? data_rs : buf_rs);
          run_pass<W>(stages, last, src, srs, dst, drs,
                      tw + table_offset<W>(le1) + 2 * (ci * h + j) * kChunk,
                      tw + table_offset<W>(2 * le1) + 2 * (ci * 2 * h + j) * kChunk, 2 * h * kChunk,
                      kChunk);
        }
      }
      s += stages;
    }
  }
}

void Fft::CFFT(std::span<Complex> data, int n, int nb, int ndir) {
  assert(n >= 0 && n <= kMaxStages && nb == (1 << n));
  assert(ndir == 1 || ndir == -1);
  assert(data.size() >= static_cast<std::size_t>(nb));
  // Up to four points the plain routine is as quick as any.
  if (n <= 2) {
    plain_cfft(data, n, nb, ndir);
    return;
  }
  if (width_ == Width::kFour) {
    transform<4>(data.data(), n, ndir);
  } else {
    transform<2>(data.data(), n, ndir);
  }
}

template <int W>
void Fft::transform(Complex* data, int n, int ndir) {
  make_twiddles<W>(n, ndir);
  if (n < 2 * kTileBits) {
    small_transform<W>(data, n);
    return;
  }
  permute_first_stages<W>(data, n);
  block_stages<W>(data, n);
  if (n > kBlockBits) column_stages<W>(data, n);
}

void plain_cfft(std::span<Complex> data, int n, int nb, int ndir) {
  assert(n >= 0 && n < 31 && nb == (1 << n));
  assert(data.size() >= static_cast<std::size_t>(nb));
  // Elements are numbered from 1 here, as in the algorithm.
  auto el = [&](int i) -> Complex& { return data[static_cast<std::size_t>(i - 1)]; };

  // Bit-reversal permutation.
  const int half = nb / 2;
  int j = 1;
  for (int i = 1; i <= nb - 1; ++i) {
    if (i < j) std::swap(el(i), el(j));
    int k = half;
    while (k < j) {
      j -= k;
      k /= 2;
    }
    j += k;
  }

  // Butterfly stages; the twiddle u runs by the recurrence u = u * w.
  for (int l = 1; l <= n; ++l) {
    const int le = 1 << l;
    const int le1 = le / 2;
    Complex u{1.0, 0.0};
    const Complex w = stage_rotation(le1, ndir);
    for (int jj = 1; jj <= le1; ++jj) {
      for (int i = jj; i <= nb; i += le) {
        const int ip = i + le1;
        const Complex t = mul(el(ip), u);
        el(ip) = {el(i).re - t.re, el(i).im - t.im};
        el(i) = {el(i).re + t.re, el(i).im + t.im};
      }
      u = mul(u, w);
    }
  }
}

}  // namespace ftir::transform
