// Interferogram preparation: point count, mean removal, centerburst.
#pragma once

#include <optional>
#include <span>

#include "report/report.h"

namespace ftir::driver {

// Removes the mean of yin[0..npts-1] (summed in index order) and returns the 1-based
// index of the first sample of largest magnitude. `sum`, when given, is that sum as the
// reader found it (see spcfile::ReadResult), which spares a pass.
int remove_mean_and_find_centerburst(report::Report& report, std::span<double> yin, int npts,
                                     std::optional<double> sum = std::nullopt);

// How plainly a record shows a centerburst, from its samples alone: over the samples within
// kCenterburstReach of jmax (the record with its mean removed; jmax 1-based, as found
// above), `opposite` is the largest magnitude among those of the other sign than sample
// jmax, and `residue` the magnitude of their sum, each as a fraction: of |y(jmax)|, and of
// the sum of their magnitudes. A centerburst swings to both sides of zero, so that its
// neighbours cancel (residue near 0) and dip deep on the other side; the strongest peak of
// a spectrum is a hump on one side (opposite near 0, residue near 1). `shown`: opposite >
// residue, or a record without signal (every sample 0), which the paths refuse themselves.
inline constexpr int kCenterburstReach = 8;
struct CenterburstShape {
  double opposite = 0.0;
  double residue = 0.0;
  bool shown = true;
};
CenterburstShape centerburst_shape(std::span<const double> record, int jmax);

}  // namespace ftir::driver
