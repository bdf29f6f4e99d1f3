// Steps the two transform paths share.
#include "transform/path.h"

#include <emmintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "spcfile/writer.h"

namespace ftir::transform {
namespace {

bool same_bits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
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

int scale_and_cut(std::span<double> xin, std::span<double> yin, int lnum, double delta,
                  double scale, double wlow, double whigh, double* ymax) {
  assert(lnum >= 0 && static_cast<std::size_t>(lnum) <= xin.size() &&
         static_cast<std::size_t>(lnum) <= yin.size());
  int ii = 0;
  double largest = 0.0;  // of the kept values, as spcfile::finite_magnitude takes them
  // Whether point i is in the range: false ends the scan (x above whigh).
  auto point = [&](int i) {
    const double x = (i - 1) * delta;
    if (x < wlow) return true;
    if (x > whigh) return false;
    ++ii;
    at(xin, ii) = x;
    at(yin, ii) = at(yin, i) * scale;
    largest = std::max(largest, spcfile::finite_magnitude(at(yin, ii)));
    return true;
  };
  // Two neighbouring points at a time where both are kept, with the same products; ii
  // never passes i, so each value is read before its place is written.
  // The largest is taken two at a time as well (an infinity or a NaN counts as 0); it does
  // not depend on the order.
  const __m128d s = _mm_set1_pd(scale);
  const __m128d magnitude_bits = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
  const __m128d largest_finite = _mm_set1_pd(std::numeric_limits<double>::max());
  __m128d largest_two = _mm_setzero_pd();
  auto finish = [&] {
    if (ymax != nullptr) {
      *ymax = std::max({largest, _mm_cvtsd_f64(largest_two),
                        _mm_cvtsd_f64(_mm_unpackhi_pd(largest_two, largest_two))});
    }
    return ii;
  };
  int i = 1;
  while (i + 1 <= lnum) {
    const double x0 = (i - 1) * delta;
    const double x1 = i * delta;
    if (x0 < wlow || x1 < wlow || x0 > whigh || x1 > whigh) {
      if (!point(i)) return finish();
      ++i;
      continue;
    }
    _mm_storeu_pd(&xin[static_cast<std::size_t>(ii)], _mm_set_pd(x1, x0));
    const __m128d y = _mm_mul_pd(_mm_loadu_pd(&yin[static_cast<std::size_t>(i) - 1]), s);
    _mm_storeu_pd(&yin[static_cast<std::size_t>(ii)], y);
    const __m128d magnitude = _mm_and_pd(y, magnitude_bits);
    largest_two =
        _mm_max_pd(largest_two, _mm_and_pd(magnitude, _mm_cmple_pd(magnitude, largest_finite)));
    ii += 2;
    i += 2;
  }
  if (i == lnum) point(i);
  return finish();
}

std::optional<std::string> output_refusal(PathContext& ctx, std::string_view fname,
                                          std::string_view oname, int iexp) {
  if (!spcfile::scale_factor_usable(iexp)) {
    return std::string("its values are too small or too large for the SPC file's scale factor");
  }
  if (ctx.outputs == nullptr) return std::nullopt;
  return ctx.outputs->claim(fname, oname);
}

PathResult skip_file(PathContext& ctx, std::string_view fname, std::string_view reason) {
  ctx.report.skipped(fname, reason);
  ctx.record.status = FileStatus::kSkipped;
  ctx.record.reason = reason;
  return PathResult::kSkipped;
}

void record_output(PathContext& ctx, std::string_view oname) {
  ctx.record.outputs.emplace_back(oname.substr(0, oname.find_last_not_of(' ') + 1));
}

void record_phase_curve(PathContext& ctx, double delta, std::span<const double> angle, int is) {
  if (!ctx.keep_curves) return;
  const std::span<const double> kept = angle.first(static_cast<std::size_t>(is));
  ctx.record.phase = {0.0, delta, std::vector<double>(kept.begin(), kept.end())};
}

void record_spectrum(PathContext& ctx, std::string_view oname, double res, int lnum, double e,
                     double peak, int ii, double delta, std::span<const double> xin,
                     std::span<const double> yin) {
  FileRecord& r = ctx.record;
  const std::span<const double> y = yin.first(static_cast<std::size_t>(ii));
  record_output(ctx, oname);
  r.res = res;
  r.lnum = lnum;
  r.energy = e;
  r.points_written = ii;
  r.first_x = xin[0];
  r.last_x = xin[static_cast<std::size_t>(ii) - 1];
  r.peak = peak;
  if (ctx.keep_curves) r.spectrum = {r.first_x, delta, std::vector<double>(y.begin(), y.end())};
  r.status = FileStatus::kConverted;
  r.reason.clear();
}

}  // namespace ftir::transform
