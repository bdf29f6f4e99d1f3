// The plain forms: each hot loop as its rule, one value after the other. They are the
// reference the wide forms are tested against, the tails the wide forms leave, and what
// runs with FTIR_SIMD=plain.
#include <algorithm>
#include <cmath>

#include "simd/forms.h"

namespace ftir::simd::plain {
namespace {

template <SampleKind kKind>
std::size_t decode(const unsigned char* p, std::size_t count, double factor, double* y,
                   double* sum) {
  constexpr std::size_t kBytes = sample_bytes(kKind);
  double total = sum != nullptr ? *sum : 0.0;
  std::size_t k = 0;
  for (; k < count; ++k) {
    double v = sample_value<kKind>(p + k * kBytes);
    if constexpr (kKind == SampleKind::kFloat32) {
      if (!std::isfinite(v)) break;
    } else {
      v = static_cast<double>(static_cast<float>(v * factor));
    }
    y[k] = v;
    total += v;
  }
  if (sum != nullptr) *sum = total;
  return k;
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

void encode_values(const double* y, std::size_t count, double inverse, unsigned char* p) {
  for (std::size_t i = 0; i < count; ++i) {
    store_high_half_first(p + 4 * i, truncate_to_i32(y[i] * inverse));
  }
}

ScanSummary summarize_scan(const double* y, std::size_t n) {
  ScanLanes lanes(y[0]);
  for (std::size_t i = 0; i < n; ++i) lanes.step(y, i);
  return lanes.summary();
}

double largest_finite_magnitude(const double* y, std::size_t n) {
  double largest = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double magnitude = finite_magnitude(y[i]);
    largest = magnitude > largest ? magnitude : largest;
  }
  return largest;
}

std::size_t subtract_mean_find_largest(double* y, std::size_t n, double mean) {
  for (std::size_t i = 0; i < n; ++i) y[i] -= mean;
  return first_of_largest(y, n, 0.0, true);
}

std::size_t first_of_largest(const double* y, std::size_t n, double largest, bool any_nan) {
  if (!any_nan) {
    // The largest of a set does not depend on the order it was taken in; the first sample
    // that holds it is the one the scan below keeps.
    std::size_t j = 0;
    while (std::fabs(y[j]) != largest) ++j;
    return j;
  }
  double kept = std::fabs(y[0]);
  std::size_t j = 0;
  for (std::size_t i = 1; i < n; ++i) {
    const double magnitude = std::fabs(y[i]);
    if (magnitude > kept) {
      kept = magnitude;
      j = i;
    }
  }
  return j;
}

double weigh_and_load(const double* y, const double* w, std::size_t count, double e, double* out,
                      double* zeros, std::size_t zero_count) {
  for (std::size_t k = 0; k < count; ++k) {
    const double v = y[k] * w[k];
    out[2 * k] = v;
    out[2 * k + 1] = 0.0;
    e += v * v;
  }
  std::fill(zeros, zeros + 2 * zero_count, 0.0);
  return e;
}

int phase_run(const PhaseRun& run, int i, int lnum, const double* re_im, double* yin,
              double& energy) {
  double sum = energy;
  for (; i < lnum; ++i) {
    const double x = (i - 1) * run.delta;
    if (run.below ? !(run.bound > x) : !(x <= run.bound)) break;
    const double pa = (x - run.b) / (run.a - run.b);
    const double pb = (x - run.a) / (run.b - run.a);
    const double s = (0.0 + run.sine_a * pa) + run.sine_b * pb;
    const double c = (0.0 + run.cosine_a * pa) + run.cosine_b * pb;
    const double* value = re_im + 2 * (i - 1);
    const double v = value[0] * c + value[1] * s;
    yin[i - 1] = v;
    sum += v * v;
  }
  energy = sum;
  return i;
}

void move_kept_from(double* x, double* y, int first, int from, int count, double delta,
                    double scale, double& largest) {
  for (int k = from; k < count; ++k) {
    const int i = first + k;
    x[k] = (i - 1) * delta;
    y[k] = y[i - 1] * scale;
    largest = std::max(largest, finite_magnitude(y[k]));
  }
}

double move_kept(double* x, double* y, int first, int count, double delta, double scale) {
  double largest = 0.0;
  move_kept_from(x, y, first, 0, count, delta, scale, largest);
  return largest;
}

int cut_in_order(double* x, double* y, int lnum, double delta, double scale, double wlow,
                 double whigh, double& largest) {
  int ii = 0;
  largest = 0.0;
  for (int i = 1; i <= lnum; ++i) {
    if (!cut_point(x, y, i, delta, scale, wlow, whigh, ii, largest)) break;
  }
  return ii;
}

}  // namespace ftir::simd::plain
