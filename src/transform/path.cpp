// Steps the two transform paths share.
#include "transform/path.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

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
                  double scale, double wlow, double whigh) {
  int ii = 0;
  for (int i = 1; i <= lnum; ++i) {
    const double x = (i - 1) * delta;
    if (x < wlow) continue;
    if (x > whigh) break;
    ++ii;
    at(xin, ii) = x;
    at(yin, ii) = at(yin, i) * scale;
  }
  return ii;
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
                     int ii, double delta, std::span<const double> xin,
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
  r.peak = 0.0;
  for (double value : y) r.peak = std::max(r.peak, std::fabs(value));
  if (ctx.keep_curves) r.spectrum = {r.first_x, delta, std::vector<double>(y.begin(), y.end())};
  r.status = FileStatus::kConverted;
  r.reason.clear();
}

}  // namespace ftir::transform
