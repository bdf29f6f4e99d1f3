#include "driver/prepare.h"

#include <cmath>

namespace ftir::driver {

int remove_mean_and_find_centerburst(report::Report& report, std::span<double> yin, int npts) {
  double sum = 0.0;
  for (int i = 0; i < npts; ++i) sum += yin[i];
  const double mean = sum / npts;
  report.console_if_log("(' Average=',E12.5)", {mean});
  for (int i = 0; i < npts; ++i) yin[i] -= mean;
  // Strictly greater: of equal magnitudes the first wins, whatever its sign.
  double largest = std::fabs(yin[0]);
  int jmax = 1;
  for (int i = 1; i < npts; ++i) {
    if (std::fabs(yin[i]) > largest) {
      largest = std::fabs(yin[i]);
      jmax = i + 1;
    }
  }
  return jmax;
}

}  // namespace ftir::driver
