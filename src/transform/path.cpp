// Steps the two transform paths share.
#include "transform/path.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "simd/kernels.h"
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

// scale_and_cut scanning in order, for any grid and range.
int scale_and_cut_in_order(std::span<double> xin, std::span<double> yin, int lnum, double delta,
                           double scale, double wlow, double whigh, double* ymax) {
  assert(lnum >= 0 && static_cast<std::size_t>(lnum) <= xin.size() &&
         static_cast<std::size_t>(lnum) <= yin.size());
  double largest = 0.0;  // of the kept values, as spcfile::finite_magnitude takes them
  const int ii =
      simd::cut_in_order(xin.data(), yin.data(), lnum, delta, scale, wlow, whigh, largest);
  if (ymax != nullptr) *ymax = largest;
  return ii;
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

double magnitude_spectrum(std::span<const Complex> work, std::span<double> yin, int count) {
  for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
    const Complex c = work[i];
    yin[i] = std::sqrt(c.re * c.re + c.im * c.im);
  }
  return trapezoid_energy(yin, count);
}

double unfilled_energy(std::span<const double> y, double fmax, int used, bool exact_grid,
                       int fill) {
  const int count = exact_grid ? used + 1 : used;
  double sum = 0.0;
  for (int k = 0; k < count; ++k) {
    const double f = (k == 0 || k == count - 1) ? 0.5 : 1.0;
    const double v = y[static_cast<std::size_t>(k) * static_cast<std::size_t>(fill)];
    sum += f * (v * v);
  }
  return (exact_grid ? fmax / used : fmax / (used - 1)) * sum;
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
  const double largest = simd::move_kept(xin.data(), yin.data(), first, ii, delta, scale);
  if (ymax != nullptr) *ymax = largest;
  return ii;
}

PathOutcome scaled_spectrum(const DegenerateSkip& skip, const PathRequest& req, PathStorage& ws,
                            PathOutcome facts, double e2) {
  ws.title.apply_window(req.iapod);
  const double e = facts.energy;
  if (e2 == 0.0) return skip(values::Refusal::kNoSignal);
  if (!std::isfinite(e) || !std::isfinite(e2)) return skip(values::Refusal::kTooLarge);
  const double scale = e / e2;
  PathOutcome out = facts;
  out.points =
      scale_and_cut(ws.xin, ws.yin, facts.lnum, facts.delta, scale, req.wlow, req.whigh, &out.peak);
  if (out.points == 0) out.refused = values::Refused{values::Refusal::kEmptyRange, {}, 0, 0};
  return out;
}

}  // namespace ftir::transform
