// The quality checks on clean synthetic records: a thousand interferograms of the
// generator, with 0.5 % noise, single- and double-sided, some with DC, and not one flag.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>

#include "quality/quality_support.h"
#include "synth/interferogram.h"

namespace ftir::testing {
namespace {

using quality::Check;

// Record k of the set: its length, side, DC, band, dispersion and noise seed vary with k.
synth::InterferogramSpec clean_record(int k) {
  synth::InterferogramSpec spec;
  spec.points = k % 3 == 0 ? 4096 : 2048;
  const bool double_sided = k % 4 == 1;
  spec.center = double_sided ? spec.points / 2 - 1 : 128 + 37 * (k % 7);
  spec.source.low = 400.0 + 50.0 * (k % 5);
  spec.source.high = 3000.0 + 200.0 * (k % 6);
  spec.source.shape = k % 2 == 0 ? synth::EnvelopeShape::kPlanck : synth::EnvelopeShape::kGauss;
  spec.source.lines = {{1500.0 + 10.0 * (k % 11), 4.0, 0.6}, {2350.0, 8.0, 0.4}};
  spec.dispersion = (k % 5 == 2) ? 2e-7 : 0.0;
  spec.peak = k % 8 == 3 ? -5000.0 : 10000.0;
  spec.dc = k % 3 == 2 ? 0.7 * spec.peak : 0.0;  // carries DC: the sign of the burst
  spec.noise = 0.005;
  spec.seed = static_cast<std::uint64_t>(1000 + k);
  return spec;
}

TEST(QualitySynthetic, AThousandCleanRecordsRaiseNoFlag) {
  auto ws = std::make_unique<driver::Workspace>();
  std::array<double, quality::kCheckCount> worst{};
  std::array<int, quality::kCheckCount> judged{};
  int flagged = 0;
  for (int k = 0; k < 1000; ++k) {
    const synth::InterferogramSpec spec = clean_record(k);
    QualityRecord r;
    r.samples = synth::make_interferogram(spec);
    r.laser = spec.wref;
    r.stored = spec.center;
    add_phase(r, *ws);
    const quality::Result res = quality::check_record(input_of(r), {});
    for (const quality::CheckRow& row : quality::kChecks) {
      const std::size_t c = static_cast<std::size_t>(row.check);
      if (!res.measured[c]) continue;
      ++judged[c];
      worst[c] = std::max(worst[c], *res.measured[c]);
    }
    if (res.mask != 0) {
      ++flagged;
      ADD_FAILURE() << "record " << k << " flagged: " << quality::flag_names(res.mask);
    }
  }
  for (const quality::CheckRow& row : quality::kChecks) {
    const std::size_t c = static_cast<std::size_t>(row.check);
    if (judged[c] > 0) std::cout << row.name << ": " << judged[c] << " judged, worst " << worst[c] << "\n";
  }
  EXPECT_EQ(flagged, 0);
  // Every record judged by clipping, zpd and phase; the third with DC by dc-variation.
  EXPECT_EQ(judged[static_cast<std::size_t>(Check::kClipping)], 1000);
  EXPECT_EQ(judged[static_cast<std::size_t>(Check::kZpd)], 1000);
  EXPECT_EQ(judged[static_cast<std::size_t>(Check::kPhase)], 1000);
  EXPECT_EQ(judged[static_cast<std::size_t>(Check::kDcVariation)], 333);
}

}  // namespace
}  // namespace ftir::testing
