// Interferogram preparation: the mean removed, the centerburst found.
#include "driver/prepare.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>

#include "simd/kernels.h"

namespace ftir::driver {

int remove_mean_and_find_centerburst(report::Report& report, std::span<double> yin, int npts,
                                     std::optional<double> sum) {
  const std::span<double> record = yin.first(static_cast<std::size_t>(npts));
  if (!sum) {
    sum = 0.0;
    for (double value : record) *sum += value;
  }
  const double mean = *sum / npts;
  report.console_if_log("(' Average=',E12.5)", {mean});

  // The first sample of largest magnitude, scanning in order; strictly greater, so of equal
  // magnitudes the first wins, whatever its sign.
  const std::size_t j = simd::subtract_mean_find_largest(record.data(), record.size(), mean);
  return static_cast<int>(j) + 1;
}

CenterburstShape centerburst_shape(std::span<const double> record, int jmax) {
  const auto j = static_cast<std::size_t>(jmax - 1);
  assert(j < record.size());
  const double peak = record[j];
  CenterburstShape shape;
  if (peak == 0.0) return shape;
  constexpr auto kReach = static_cast<std::size_t>(kCenterburstReach);
  const std::size_t first = j > kReach ? j - kReach : 0;
  const std::size_t last = std::min(record.size() - 1, j + kReach);
  double sum = 0.0;
  double magnitudes = 0.0;
  double opposite = 0.0;
  for (std::size_t i = first; i <= last; ++i) {
    sum += record[i];
    magnitudes += std::fabs(record[i]);
    if ((record[i] < 0.0) != (peak < 0.0)) opposite = std::max(opposite, std::fabs(record[i]));
  }
  shape.opposite = opposite / std::fabs(peak);
  shape.residue = std::fabs(sum) / magnitudes;
  shape.shown = shape.opposite > shape.residue;
  return shape;
}

}  // namespace ftir::driver
