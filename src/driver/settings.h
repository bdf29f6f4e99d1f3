// What one file's conversion is asked for, in the command line's terms and with its
// defaults: the one description of a conversion's settings that the command line, the
// Python module and the in-memory conversion share. A red.dat run states the same in
// RunParameters; file_parameters() maps these settings onto them.
#pragma once

#include <optional>
#include <string>

#include "driver/run_parameters.h"

namespace ftir::driver {

enum class Sides { kAuto, kSingle, kDouble };

struct ConversionSettings {
  std::string outdir = "spectra";
  Sides sides = Sides::kAuto;
  int iapod = 2;                // happ-genzel
  double res = 4.0;             // cm-1
  double wlow = 400.0;          // cm-1
  double whigh = 4000.0;        // cm-1
  std::optional<double> laser;  // wref, cm-1; from each file's header when not given
  double sampr = 1.0;
  int npow = 0;              // a transform of 2^npow points (ipow2 1); 0: not asked
  bool no_res = false;       // ires 0
  bool phase_files = false;  // iphase 1
};

// The run parameters of one file: `settings` in red.dat's terms with the laser wavenumber
// `wref` and the resolution request `res`. idbl follows the sides (auto: 1; the conversion
// then chooses per file).
RunParameters file_parameters(const ConversionSettings& settings, double wref, double res);

// The display name of window code `iapod` ("Happ-Genzel"); empty when the code names none.
// For the page, which knows the windows only through the driver.
std::string_view window_display_name(int iapod);

}  // namespace ftir::driver
