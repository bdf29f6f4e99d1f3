// An instrument file's conversion: the processing its own software recorded (window, phase
// resolution and mode, resolution, zero filling, range, laser, the scans' directions), each
// part replaced by the setting a caller gave for it, run through the instrument's transform.
#pragma once

#include <optional>
#include <span>
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

// The deviation of a spectrum (value i at x_first + i * x_step cm-1) from a curve the
// instrument stored, on the stored points the spectrum's grid meets (within a thousandth of
// the stored step): the median and 95th percentile of |s * y / stored - 1| in %, over the
// points where the stored curve is at least 5 % of its largest there; s is the one factor
// that minimises the squares of those deviations when `free_scale`, else 1. Nullopt when
// fewer than kLeastCheckPoints points compare.
struct Agreement {
  double median = 0.0;
  double p95 = 0.0;
  double scale = 1.0;
  int points = 0;
};
inline constexpr int kLeastCheckPoints = 8;
std::optional<Agreement> agreement(double x_first, double x_step, std::span<const double> y,
                                   const values::StoredCurve& stored, bool free_scale);

// The text of a measurement's date and time: "2020-02-06 13:09:58 GMT+1".
std::string measured_text(const values::MeasuredAt& at);

// Single-byte text as a file stores it (Latin-1) in UTF-8, control bytes left out.
std::string utf8_of_latin1(std::string_view text);

}  // namespace ftir::driver
