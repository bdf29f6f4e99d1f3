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

}  // namespace ftir::driver
