#include "driver/prepare.h"

#include <cmath>

namespace ftir::driver {

int remove_mean_and_find_centerburst(report::Report& report, std::span<double> yin, int npts) {
  const std::span<double> record = yin.first(static_cast<std::size_t>(npts));
  double sum = 0.0;
  for (double value : record) sum += value;
  const double mean = sum / npts;
  report.console_if_log("(' Average=',E12.5)", {mean});
  for (double& value : record) value -= mean;
  // Strictly greater: of equal magnitudes the first wins, whatever its sign.
  double largest = std::fabs(record[0]);
  int jmax = 1;
  for (int i = 2; i <= npts; ++i) {
    const double magnitude = std::fabs(record[static_cast<std::size_t>(i) - 1]);
    if (magnitude > largest) {
      largest = magnitude;
      jmax = i;
    }
  }
  return jmax;
}

}  // namespace ftir::driver
