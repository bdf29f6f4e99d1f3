// Steps the two transform paths share.
#include "transform/path.h"

#include <algorithm>
#include <bit>
#include <cstdint>

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

std::optional<std::string> output_refusal(PathContext& ctx, std::string_view fname,
                                          std::string_view oname, std::span<const double> y) {
  if (!spcfile::scale_factor_usable(y)) {
    return std::string("its values are too small or too large for the SPC file's scale factor");
  }
  if (ctx.outputs == nullptr) return std::nullopt;
  return ctx.outputs->claim(fname, oname);
}

}  // namespace ftir::transform
