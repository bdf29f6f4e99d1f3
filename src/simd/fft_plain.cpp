// The plain forms of the transform's passes: each butterfly written out once, a group of
// points at a time (a pass may write its finished points over the group it read).
#include "simd/forms.h"

namespace ftir::simd::plain {
namespace {

struct Point {
  double re;
  double im;
};

// t = x1 * u with the products and sums of transform::mul in its order, x1 = x0 - t,
// x0 = x0 + t.
inline void butterfly(Point& x0, Point& x1, Point u) {
  const Point t{x1.re * u.re - x1.im * u.im, x1.re * u.im + x1.im * u.re};
  x1 = {x0.re - t.re, x0.im - t.im};
  x0 = {x0.re + t.re, x0.im + t.im};
}

template <int G>
Point load(const double* row, int q) {
  const std::size_t at = fft_point_offset(G, q);
  return {row[at], row[at + G]};
}

template <int G>
void store(double* row, int q, Point a) {
  const std::size_t at = fft_point_offset(G, q);
  row[at] = a.re;
  row[at + G] = a.im;
}

inline Point load_pair(const double* p, int q) { return {p[2 * q], p[2 * q + 1]}; }

inline void store_pair(double* p, int q, Point a) {
  p[2 * q] = a.re;
  p[2 * q + 1] = a.im;
}

// rev4(k) for k = 0..15.
constexpr int kRev4[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};

}  // namespace

template <int G, int kStages, bool kInterleave>
void fft_pass(const FftPass& pass) {
  constexpr int kRows = 2 * kStages;
  for (int g = 0; g < pass.count; g += G) {
    Point a[4][G];
    for (int r = 0; r < kRows; ++r) {
      for (int l = 0; l < G; ++l) a[r][l] = load<G>(pass.src + r * pass.srs, g + l);
    }
    for (int l = 0; l < G; ++l) {
      const Point u = load<G>(pass.wa, g + l);
      butterfly(a[0][l], a[1][l], u);
      if constexpr (kStages == 2) {
        butterfly(a[2][l], a[3][l], u);
        butterfly(a[0][l], a[2][l], load<G>(pass.wb, g + l));
        butterfly(a[1][l], a[3][l], load<G>(pass.wb + pass.ws, g + l));
      }
    }
    for (int r = 0; r < kRows; ++r) {
      double* row = pass.dst + r * pass.drs;
      for (int l = 0; l < G; ++l) {
        if constexpr (kInterleave) {
          store_pair(row, g + l, a[r][l]);
        } else {
          store<G>(row, g + l, a[r][l]);
        }
      }
    }
  }
}

template <int G>
void fft_first_four_stages(const double* tile, double* const out[16], const double* bc,
                           const double* t4) {
  for (int c = 0; c < 16; ++c) {
    Point x[16];
    for (int l = 0; l < 16; ++l) x[l] = load_pair(tile, kRev4[l] * 16 + c);
    for (int le1 = 1; le1 <= 8; le1 *= 2) {
      for (int k = 0; k < le1; ++k) {
        const int i = le1 - 1 + k;
        const Point u = le1 < 8 ? Point{bc[4 * i], bc[4 * i + 2]} : load<G>(t4, k);
        for (int q = k; q < 16; q += 2 * le1) butterfly(x[q], x[q + le1], u);
      }
    }
    for (int q = 0; q < 16; ++q) store<G>(out[c], q, x[q]);
  }
}

template <int G>
void fft_first_three_stages(const double* src, double* dst, int count, const double* t1,
                            const double* t2, const double* t3) {
  for (int p = 0; p < count; p += 8) {
    Point x[8];
    for (int q = 0; q < 8; ++q) x[q] = load_pair(src, p + q);
    for (int le1 = 1, stage = 0; le1 <= 4; le1 *= 2, ++stage) {
      const double* table = stage == 0 ? t1 : stage == 1 ? t2 : t3;
      for (int k = 0; k < le1; ++k) {
        const Point u = load<G>(table, k);
        for (int q = k; q < 8; q += 2 * le1) butterfly(x[q], x[q + le1], u);
      }
    }
    for (int q = 0; q < 8; ++q) store<G>(dst + 2 * p, q, x[q]);
  }
}

template <int G>
void fft_interleave(const double* src, double* dst, int count) {
  for (int q = 0; q < count; ++q) store_pair(dst, q, load<G>(src, q));
}

template void fft_pass<2, 1, false>(const FftPass&);
template void fft_pass<2, 1, true>(const FftPass&);
template void fft_pass<2, 2, false>(const FftPass&);
template void fft_pass<2, 2, true>(const FftPass&);
template void fft_pass<4, 1, false>(const FftPass&);
template void fft_pass<4, 1, true>(const FftPass&);
template void fft_pass<4, 2, false>(const FftPass&);
template void fft_pass<4, 2, true>(const FftPass&);
template void fft_first_four_stages<2>(const double*, double* const[16], const double*,
                                       const double*);
template void fft_first_four_stages<4>(const double*, double* const[16], const double*,
                                       const double*);
template void fft_first_three_stages<2>(const double*, double*, int, const double*, const double*,
                                        const double*);
template void fft_first_three_stages<4>(const double*, double*, int, const double*, const double*,
                                        const double*);
template void fft_interleave<2>(const double*, double*, int);
template void fft_interleave<4>(const double*, double*, int);

}  // namespace ftir::simd::plain
