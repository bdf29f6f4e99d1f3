// The forms behind the entries of kernels.h and fft_passes.h: one namespace per width, each
// function with its entry's arguments less the width (the passes take their number of stages
// and output form as template arguments). Only this module's sources include it.
#pragma once

#include <cstddef>
#include <limits>

#include "simd/fft_passes.h"
#include "simd/kernels.h"

namespace ftir::simd {

// One point of cut_in_order, point i at x = (i - 1) * delta: passed over below wlow, kept
// (at ii, which then grows, raising `largest`) up to whigh; false when it ends the scan.
inline bool cut_point(double* x, double* y, int i, double delta, double scale, double wlow,
                      double whigh, int& ii, double& largest) {
  const double xi = (i - 1) * delta;
  if (xi < wlow) return true;
  if (xi > whigh) return false;
  x[ii] = xi;
  y[ii] = y[i - 1] * scale;
  const double magnitude = finite_magnitude(y[ii]);
  largest = magnitude > largest ? magnitude : largest;
  ++ii;
  return true;
}

// The four lanes of summarize_scan, one element at a time: the plain rule, which the wide
// forms also follow before and after their main loops.
struct ScanLanes {
  double sum[4] = {0.0, 0.0, 0.0, 0.0};
  double lo[4];
  double hi[4];
  double pair_lo[4];
  double pair_hi[4];

  explicit ScanLanes(double first) {
    for (int k = 0; k < 4; ++k) {
      lo[k] = hi[k] = first;
      pair_lo[k] = std::numeric_limits<double>::infinity();
      pair_hi[k] = -std::numeric_limits<double>::infinity();
    }
  }
  void step(const double* y, std::size_t i) {
    const std::size_t k = i % 4;
    const double v = y[i];
    sum[k] += v;
    hi[k] = v > hi[k] ? v : hi[k];
    lo[k] = v < lo[k] ? v : lo[k];
    if (i > 0 && v == y[i - 1]) {
      pair_hi[k] = v > pair_hi[k] ? v : pair_hi[k];
      pair_lo[k] = v < pair_lo[k] ? v : pair_lo[k];
    }
  }
  ScanSummary summary() const {
    ScanSummary r{(sum[0] + sum[1]) + (sum[2] + sum[3]), lo[0], hi[0], pair_lo[0], pair_hi[0]};
    for (int k = 1; k < 4; ++k) {
      r.hi = hi[k] > r.hi ? hi[k] : r.hi;
      r.lo = lo[k] < r.lo ? lo[k] : r.lo;
      r.pair_hi = pair_hi[k] > r.pair_hi ? pair_hi[k] : r.pair_hi;
      r.pair_lo = pair_lo[k] < r.pair_lo ? pair_lo[k] : r.pair_lo;
    }
    return r;
  }
};

namespace plain {
ScanSummary summarize_scan(const double* y, std::size_t n);
std::size_t decode_samples(SampleKind kind, const unsigned char* p, std::size_t count,
                           double factor, double* y, double* sum);
void encode_values(const double* y, std::size_t count, double inverse, unsigned char* p);
double largest_finite_magnitude(const double* y, std::size_t n);
std::size_t subtract_mean_find_largest(double* y, std::size_t n, double mean);
// The index subtract_mean_find_largest returns, for samples already reduced: `largest` is
// their largest magnitude unless any_nan says that one of them is a NaN.
std::size_t first_of_largest(const double* y, std::size_t n, double largest, bool any_nan);
double weigh_and_load(const double* y, const double* w, std::size_t count, double e, double* out,
                      double* zeros, std::size_t zero_count);
int phase_run(const PhaseRun& run, int i, int lnum, const double* re_im, double* yin,
              double& energy);
// move_kept from k = from on; `largest` is raised to the largest magnitude moved.
void move_kept_from(double* x, double* y, int first, int from, int count, double delta,
                    double scale, double& largest);
double move_kept(double* x, double* y, int first, int count, double delta, double scale);
int cut_in_order(double* x, double* y, int lnum, double delta, double scale, double wlow,
                 double whigh, double& largest);
template <int G, int kStages, bool kInterleave>
void fft_pass(const FftPass& pass);
template <int G>
void fft_first_four_stages(const double* tile, double* const out[16], const double* bc,
                           const double* t4);
template <int G>
void fft_first_three_stages(const double* src, double* dst, int count, const double* t1,
                            const double* t2, const double* t3);
template <int G>
void fft_interleave(const double* src, double* dst, int count);
}  // namespace plain

namespace sse2 {
ScanSummary summarize_scan(const double* y, std::size_t n);
std::size_t decode_samples(SampleKind kind, const unsigned char* p, std::size_t count,
                           double factor, double* y, double* sum);
void encode_values(const double* y, std::size_t count, double inverse, unsigned char* p);
double largest_finite_magnitude(const double* y, std::size_t n);
std::size_t subtract_mean_find_largest(double* y, std::size_t n, double mean);
// subtract_mean_find_largest's subtraction from y[from] on, two samples to a register, the
// last odd one alone: raises `largest` to the largest magnitude and sets any_nan on a NaN.
void subtract_mean_from(double* y, std::size_t from, std::size_t n, double mean, double& largest,
                        bool& any_nan);
double weigh_and_load(const double* y, const double* w, std::size_t count, double e, double* out,
                      double* zeros, std::size_t zero_count);
int phase_run(const PhaseRun& run, int i, int lnum, const double* re_im, double* yin,
              double& energy);
double move_kept(double* x, double* y, int first, int count, double delta, double scale);
// move_kept from k = from on; `largest` is raised to the largest magnitude moved.
void move_kept_from(double* x, double* y, int first, int from, int count, double delta,
                    double scale, double& largest);
int cut_in_order(double* x, double* y, int lnum, double delta, double scale, double wlow,
                 double whigh, double& largest);
// cut_in_order from point i on, with ii points kept so far and `largest` raised; returns
// the count kept.
int cut_in_order_from(double* x, double* y, int lnum, double delta, double scale, double wlow,
                      double whigh, int i, int ii, double& largest);
template <int kStages, bool kInterleave>
void fft_pass(const FftPass& pass);
void fft_first_four_stages(const double* tile, double* const out[16], const double* bc,
                           const double* t4);
template <int G>
void fft_first_three_stages(const double* src, double* dst, int count, const double* t1,
                            const double* t2, const double* t3);
template <int G>
void fft_interleave(const double* src, double* dst, int count);
}  // namespace sse2

namespace avx2 {
ScanSummary summarize_scan(const double* y, std::size_t n);
std::size_t decode_samples(SampleKind kind, const unsigned char* p, std::size_t count,
                           double factor, double* y, double* sum);
void encode_values(const double* y, std::size_t count, double inverse, unsigned char* p);
double largest_finite_magnitude(const double* y, std::size_t n);
std::size_t subtract_mean_find_largest(double* y, std::size_t n, double mean);
double weigh_and_load(const double* y, const double* w, std::size_t count, double e, double* out,
                      double* zeros, std::size_t zero_count);
int phase_run(const PhaseRun& run, int i, int lnum, const double* re_im, double* yin,
              double& energy);
double move_kept(double* x, double* y, int first, int count, double delta, double scale);
int cut_in_order(double* x, double* y, int lnum, double delta, double scale, double wlow,
                 double whigh, double& largest);
template <int kStages, bool kInterleave>
void fft_pass(const FftPass& pass);
void fft_first_four_stages(const double* tile, double* const out[16], const double* bc,
                           const double* t4);
}  // namespace avx2

}  // namespace ftir::simd
