// The conversion an instrument file's fuzz target runs on each interferogram read: the plan
// from the parameters alone, then the whole conversion in memory, in one workspace made
// once. Either refuses or gives a spectrum of finite values on an increasing grid.
#pragma once

#include <cmath>
#include <cstdlib>
#include <memory>

#include "driver/instrument.h"
#include "driver/memory.h"
#include "driver/workspace.h"
#include "values/interferogram.h"

inline void convert_as_stated(const ftir::values::Interferogram& ig) {
  auto check = [](bool condition) {
    if (!condition) std::abort();
  };
  const ftir::driver::InstrumentPlan plan = ftir::driver::plan_instrument(ig, nullptr);
  if (plan.refused) {
    check(!plan.refused->skip_text().empty());
    return;
  }
  check(plan.recipe.zero_fill >= 1 && plan.recipe.zero_fill <= 16);
  check(std::isfinite(plan.recipe.nyquist) && plan.recipe.nyquist > 0.0);
  static const auto ws = std::make_unique<ftir::driver::Workspace>();
  // The samples view the reader's array, which the conversion loads anew: a copy goes in.
  static std::vector<double> samples;
  samples.assign(ig.samples.begin(), ig.samples.end());
  ftir::values::Interferogram copy = ig;
  copy.samples = samples;
  const ftir::driver::ConversionSettings settings;
  const ftir::driver::MemorySpectrum out = ftir::driver::convert_in_memory(copy, settings, *ws);
  if (out.record.status != ftir::driver::FileStatus::kConverted) {
    check(!out.record.reason.empty());
    return;
  }
  for (std::size_t i = 0; i < out.y.size(); ++i) {
    check(std::isfinite(out.y[i]));
    if (i > 0) check(out.x[i] > out.x[i - 1]);
  }
}
