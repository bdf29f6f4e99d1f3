// An instrument file's conversion: the processing its own software recorded (window, phase
// resolution and mode, resolution, zero filling, range, laser, the scans' directions), each
// part replaced by the setting a caller gave for it, run through the instrument's transform.
#pragma once

#include <optional>
#include <string>

#include "driver/settings.h"
#include "transform/instrument_path.h"
#include "values/interferogram.h"
#include "values/refusal.h"

namespace ftir::driver {

// The processing a conversion follows for one channel of an instrument file.
struct InstrumentPlan {
  std::optional<values::Refused> refused;  // a parameter the converter cannot honour
  transform::InstrumentRecipe recipe;      // recipe.zpd: see zpd below
  // The centerburst: the same 0-based index for every scan (the file's PKL or --zpd INDEX),
  // or, when unset, found in each scan by `zpd_rule`.
  std::optional<int> zpd;
  ZpdMode zpd_rule = ZpdMode::kAbs;
  std::optional<double> nla;  // the detector's nonlinearity correction, when the file asks
  double nlb = 0.0;
  int scans = 1;
  Direction direction = Direction::kBoth;
  double weight_forward = 1.0;  // the good scans behind each direction (their average's weights)
  double weight_backward = 1.0;
  InstrumentUsed used;  // what the record shows
};

// The plan for `ig` (ig.instrument set), whose samples are of one channel; `settings` null:
// the file's parameters alone.
InstrumentPlan plan_instrument(const values::Interferogram& ig,
                               const ConversionSettings* settings);

}  // namespace ftir::driver
