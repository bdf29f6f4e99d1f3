// A phase stored with a measurement: the angles a transform removes, on their own grid. A
// phase file this program wrote (.phz) gives one; an instrument file may carry another.
#pragma once

#include <optional>
#include <vector>

namespace ftir::values {

// Angle i (0-based) lies at first + i * step cm-1. `laser`: the laser wavenumber the phase
// was measured with, cm-1, where the source states it (a .phz file does not).
struct StoredPhase {
  double first = 0.0;         // cm-1
  double step = 0.0;          // cm-1
  std::vector<double> angle;  // radians
  std::optional<double> laser;
};

}  // namespace ftir::values
