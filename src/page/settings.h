// The settings of a run in words, as the page of the run shows them.
#pragma once

#include <string>
#include <vector>

#include "driver/run_parameters.h"

namespace ftir::page {

struct Setting {
  std::string label;  // "Path", "Window", "Resolution", "Range", "Laser", "Sampling", ...
  std::string value;  // in words, units included
};

// The window's name for a code in the window registry ("boxcar", "Happ-Genzel", ...);
// "code N, no window (boxcar)" for any other code, which weights every point by 1
// (`red_dat`: for any code that red.dat does not name).
std::string window_name(int iapod, bool red_dat = false);

// A red.dat run's settings in words: path, window, resolution, range, laser, sampling,
// output folder, phase files. `source` names where they came from (e.g. "./red.dat").
std::vector<Setting> describe_run(const driver::RunParameters& params, const std::string& source);

}  // namespace ftir::page
