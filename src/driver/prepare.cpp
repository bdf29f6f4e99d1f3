// Interferogram preparation: the mean removed, the centerburst found.
#include "driver/prepare.h"

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

}  // namespace ftir::driver
