// The reference wavenumber an interferogram's header states through its X range.
#pragma once

#include <optional>
#include <string>

namespace ftir::cli {

struct StatedLaser {
  std::optional<double> wref;  // cm-1
  std::string problem;         // why the file cannot be read, when it cannot
};

// For an interferogram stored with first X 0 in wavenumbers (X unit code 1), the last X
// is the folding wavenumber wref * sampr / 2, so wref is 2 * lastx / sampr. No wref when
// the X range says nothing of the laser (another first X or unit, a last X not above 0);
// then `problem` tells a file that cannot be opened or that the reader refuses, in the
// words the conversion would use.
StatedLaser stated_laser(const std::string& path, double sampr);

}  // namespace ftir::cli
