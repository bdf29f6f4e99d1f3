// The reference wavenumber an interferogram's header states through its X range.
#pragma once

#include <optional>
#include <string>

namespace ftir::cli {

struct StatedLaser {
  std::optional<double> wref;  // cm-1
  std::string problem;         // why the file cannot be read, when it cannot
};

// The laser wavenumber the header of the file at `path` states through its X range, by
// the rule of spcfile::laser_from_x (which applies it to an interferogram already read).
// No wref when the X range says nothing of the laser; then `problem` tells a file that
// cannot be opened or that the reader refuses, in the words the conversion would use.
StatedLaser stated_laser(const std::string& path, double sampr);

}  // namespace ftir::cli
