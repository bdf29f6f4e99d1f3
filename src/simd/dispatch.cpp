// The kernels' entries: each hands its arguments to the form of the width it is given.
#include <cassert>

#include "simd/forms.h"

namespace ftir::simd {

std::size_t decode_samples(SampleKind kind, const unsigned char* p, std::size_t count,
                           double factor, double* y, double* sum, Width width) {
  switch (width) {
    case Width::kAvx2:
      return avx2::decode_samples(kind, p, count, factor, y, sum);
    case Width::kSse2:
      return sse2::decode_samples(kind, p, count, factor, y, sum);
    case Width::kPlain:
      break;
  }
  return plain::decode_samples(kind, p, count, factor, y, sum);
}

void encode_values(const double* y, std::size_t count, double inverse, unsigned char* p,
                   Width width) {
  switch (width) {
    case Width::kAvx2:
      return avx2::encode_values(y, count, inverse, p);
    case Width::kSse2:
      return sse2::encode_values(y, count, inverse, p);
    case Width::kPlain:
      break;
  }
  plain::encode_values(y, count, inverse, p);
}

double largest_finite_magnitude(const double* y, std::size_t n, Width width) {
  switch (width) {
    case Width::kAvx2:
      return avx2::largest_finite_magnitude(y, n);
    case Width::kSse2:
      return sse2::largest_finite_magnitude(y, n);
    case Width::kPlain:
      break;
  }
  return plain::largest_finite_magnitude(y, n);
}

ScanSummary summarize_scan(const double* y, std::size_t n, Width width) {
  assert(n >= 1);
  switch (width) {
    case Width::kAvx2:
      return avx2::summarize_scan(y, n);
    case Width::kSse2:
      return sse2::summarize_scan(y, n);
    case Width::kPlain:
      break;
  }
  return plain::summarize_scan(y, n);
}

std::size_t subtract_mean_find_largest(double* y, std::size_t n, double mean, Width width) {
  assert(n >= 1);
  switch (width) {
    case Width::kAvx2:
      return avx2::subtract_mean_find_largest(y, n, mean);
    case Width::kSse2:
      return sse2::subtract_mean_find_largest(y, n, mean);
    case Width::kPlain:
      break;
  }
  return plain::subtract_mean_find_largest(y, n, mean);
}

double weigh_and_load(const double* y, const double* w, std::size_t count, double e, double* out,
                      double* zeros, std::size_t zero_count, Width width) {
  switch (width) {
    case Width::kAvx2:
      return avx2::weigh_and_load(y, w, count, e, out, zeros, zero_count);
    case Width::kSse2:
      return sse2::weigh_and_load(y, w, count, e, out, zeros, zero_count);
    case Width::kPlain:
      break;
  }
  return plain::weigh_and_load(y, w, count, e, out, zeros, zero_count);
}

int phase_run(const PhaseRun& run, int i, int lnum, const double* re_im, double* yin,
              double& energy, Width width) {
  assert(i >= 1 && run.delta > 0.0);
  switch (width) {
    case Width::kAvx2:
      return avx2::phase_run(run, i, lnum, re_im, yin, energy);
    case Width::kSse2:
      return sse2::phase_run(run, i, lnum, re_im, yin, energy);
    case Width::kPlain:
      break;
  }
  return plain::phase_run(run, i, lnum, re_im, yin, energy);
}

double move_kept(double* x, double* y, int first, int count, double delta, double scale,
                 Width width) {
  assert(first >= 1 && count >= 0);
  switch (width) {
    case Width::kAvx2:
      return avx2::move_kept(x, y, first, count, delta, scale);
    case Width::kSse2:
      return sse2::move_kept(x, y, first, count, delta, scale);
    case Width::kPlain:
      break;
  }
  return plain::move_kept(x, y, first, count, delta, scale);
}

int cut_in_order(double* x, double* y, int lnum, double delta, double scale, double wlow,
                 double whigh, double& largest, Width width) {
  switch (width) {
    case Width::kAvx2:
      return avx2::cut_in_order(x, y, lnum, delta, scale, wlow, whigh, largest);
    case Width::kSse2:
      return sse2::cut_in_order(x, y, lnum, delta, scale, wlow, whigh, largest);
    case Width::kPlain:
      break;
  }
  return plain::cut_in_order(x, y, lnum, delta, scale, wlow, whigh, largest);
}

namespace {

template <int kStages, bool kInterleave>
FftPassForm pass_form(Width width, int group) {
  switch (width) {
    case Width::kAvx2:
      return avx2::fft_pass<kStages, kInterleave>;
    case Width::kSse2:
      return sse2::fft_pass<kStages, kInterleave>;
    case Width::kPlain:
      break;
  }
  return group == 4 ? plain::fft_pass<4, kStages, kInterleave>
                    : plain::fft_pass<2, kStages, kInterleave>;
}

}  // namespace

FftPassForm fft_pass_form(Width width, int group, int stages, bool interleave) {
  assert(stages == 1 || stages == 2);
  assert(group == 4 || group == 2);
  assert(width == Width::kPlain || group == fft_group(width));
  if (stages == 2)
    return interleave ? pass_form<2, true>(width, group) : pass_form<2, false>(width, group);
  return interleave ? pass_form<1, true>(width, group) : pass_form<1, false>(width, group);
}

void fft_first_four_stages(Width width, int group, const double* tile, double* const out[16],
                           const double* bc, const double* t4) {
  assert(group == 4 || group == 2);
  assert(width == Width::kPlain || group == fft_group(width));
  switch (width) {
    case Width::kAvx2:
      return avx2::fft_first_four_stages(tile, out, bc, t4);
    case Width::kSse2:
      return sse2::fft_first_four_stages(tile, out, bc, t4);
    case Width::kPlain:
      break;
  }
  (group == 4 ? plain::fft_first_four_stages<4> : plain::fft_first_four_stages<2>)(tile, out, bc,
                                                                                   t4);
}

void fft_first_three_stages(Width width, int group, const double* src, double* dst, int count,
                            const double* t1, const double* t2, const double* t3) {
  assert(group == 4 || group == 2);
  assert(width == Width::kPlain || group == fft_group(width));
  if (width == Width::kPlain) {
    (group == 4 ? plain::fft_first_three_stages<4>
                : plain::fft_first_three_stages<2>)(src, dst, count, t1, t2, t3);
  } else {
    (group == 4 ? sse2::fft_first_three_stages<4>
                : sse2::fft_first_three_stages<2>)(src, dst, count, t1, t2, t3);
  }
}

void fft_interleave(Width width, int group, const double* src, double* dst, int count) {
  assert(group == 4 || group == 2);
  assert(width == Width::kPlain || group == fft_group(width));
  if (width == Width::kPlain) {
    (group == 4 ? plain::fft_interleave<4> : plain::fft_interleave<2>)(src, dst, count);
  } else {
    (group == 4 ? sse2::fft_interleave<4> : sse2::fft_interleave<2>)(src, dst, count);
  }
}

}  // namespace ftir::simd
