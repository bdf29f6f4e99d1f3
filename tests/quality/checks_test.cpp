// The rules of the quality checks on records made to sit just inside or just beyond each
// threshold, and the parsing of their settings.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "quality/checks.h"

namespace ftir::quality {
namespace {

// A burst of alternating sign around sample `at` on a flat level `dc`: largest at `at`.
std::vector<double> burst(int n, int at, double dc) {
  std::vector<double> y(static_cast<std::size_t>(n), dc);
  for (int d = -6; d <= 6; ++d) {
    y[static_cast<std::size_t>(at + d)] += 100.0 * std::cos(std::numbers::pi * d / 2.5) /
                                           (1.0 + d * d);
  }
  return y;
}

TEST(QualityChecks, ClippingNeedsARunAtTheExtremeOrADeclaredLimit) {
  struct Row {
    const char* what;
    std::vector<int> equal;  // samples set to `value` (a run when consecutive)
    double value;            // 0: the record's largest
    std::optional<SampleRange> adc;
    bool fires;
  };
  const std::vector<Row> rows = {
      {"three equal in a quiet stretch", {200, 201, 202}, 0.5, {}, false},
      {"two at the top", {100, 101}, 0.0, {}, false},
      {"three at the top", {99, 100, 101}, 0.0, {}, true},
      {"three at the top, not in a row", {100, 300, 400}, 0.0, {}, false},
      {"one sample at the declared limit", {}, 0.0, SampleRange{-100.0, 100.0}, true},
      {"inside the declared range", {}, 0.0, SampleRange{-150.0, 150.0}, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    std::vector<double> y = burst(512, 100, 0.0);
    for (int i : r.equal) y[static_cast<std::size_t>(i)] = r.value == 0.0 ? 100.0 : r.value;
    RecordInput in;
    in.samples = y;
    in.adc = r.adc;
    EXPECT_EQ(check_record(in, {}).fired(Check::kClipping), r.fires);
  }
}

TEST(QualityChecks, ZpdAllowanceIsOnePercentOfTheScanAndAtLeastEightSamples) {
  struct Row {
    int n, found, stored;
    bool fires;
  };
  const Row rows[] = {{4066, 2033, 2073, false}, {4066, 2033, 2074, true},  // 40.66 samples
                      {311, 150, 158, false},    {311, 150, 159, true},     // the floor of 8
                      {311, 150, 142, false},    {311, 150, 141, true}};
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.n) + " " + std::to_string(r.stored));
    const std::vector<double> y = burst(r.n, r.found, 0.0);
    RecordInput in;
    in.samples = y;
    in.found_zpd = {r.found, -1};
    in.stored_zpd = {r.stored, std::nullopt};
    const Result res = check_record(in, {});
    EXPECT_EQ(res.fired(Check::kZpd), r.fires);
    EXPECT_DOUBLE_EQ(*res.value(Check::kZpd), std::abs(r.stored - r.found) / double(r.n));
  }
}

TEST(QualityChecks, DcIsJudgedOnlyWhenTheRecordCarriesIt) {
  struct Row {
    const char* what;
    double dc;
    std::optional<SampleRange> adc;
    bool judged;
    bool level_fires;
  };
  const Row rows[] = {
      {"no DC", 0.0, {}, false, false},
      {"DC against the burst's sign", -50.0, {}, false, false},
      {"DC under 10 % of the burst", 8.0, {}, false, false},
      {"DC of the burst's sign", 50.0, {}, true, false},
      {"DC at 4 % of a stated range", 50.0, SampleRange{-625.0, 625.0}, true, true},
      {"DC at 20 % of a stated range", 50.0, SampleRange{-125.0, 125.0}, true, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const std::vector<double> y = burst(1024, 300, r.dc);
    RecordInput in;
    in.samples = y;
    in.adc = r.adc;
    const Result res = check_record(in, {});
    EXPECT_EQ(res.value(Check::kDcVariation).has_value(), r.judged);
    EXPECT_FALSE(res.fired(Check::kDcVariation));
    EXPECT_EQ(res.fired(Check::kDcLevel), r.level_fires);
  }
}

TEST(QualityChecks, EnergyBeyondAStatedBandIsMeasured) {
  // A magnitude of 1 on 0..1000 cm-1 in steps of 10: 101 points, each of energy 1.
  const std::vector<double> m(101, 1.0);
  struct Row {
    std::optional<double> low, high;
    std::optional<double> share;
  };
  // The cuts stated at the grid's ends leave nothing outside; points exactly at a cut lie
  // inside it.
  const Row rows[] = {{{}, {}, {}},           {0.0, 1000.0, {}},      {{}, 995.0, 1.0 / 101},
                      {{}, 990.0, 1.0 / 101}, {{}, 975.0, 3.0 / 101}, {15.0, {}, 2.0 / 101},
                      {10.0, 990.0, 2.0 / 101}};
  for (const Row& r : rows) {
    RecordInput in;
    const std::vector<double> y = burst(256, 50, 0.0);
    in.samples = y;
    in.magnitude = {m, 0.0, 10.0};
    in.low_cut = r.low;
    in.high_cut = r.high;
    const Result res = check_record(in, {});
    ASSERT_EQ(res.value(Check::kBeyondBand).has_value(), r.share.has_value());
    if (!r.share) continue;
    EXPECT_DOUBLE_EQ(*res.value(Check::kBeyondBand), *r.share);
    EXPECT_EQ(res.fired(Check::kBeyondBand), *r.share > 0.01);
  }
}

TEST(QualityChecks, PolicyOffJudgesNothing) {
  const std::vector<double> y = burst(256, 50, 0.0);
  RecordInput in;
  in.samples = y;
  Settings off;
  off.policy = Policy::kOff;
  const Result res = check_record(in, off);
  EXPECT_EQ(res.mask, 0u);
  EXPECT_FALSE(res.value(Check::kClipping));
  EXPECT_TRUE(check_tile({1, 1, 256, y, true}, off).empty());
}

TEST(QualitySettings, TextsAreTakenOrRefusedNamingTheCheck) {
  EXPECT_EQ(policy_from_text("skip").value, Policy::kSkip);
  EXPECT_EQ(policy_from_text("off").value, Policy::kOff);
  EXPECT_EQ(policy_from_text("Flag").refusal, "is not flag, skip or off");
  struct Row {
    const char* text;
    const char* refusal;  // "" when taken
  };
  const Row rows[] = {
      {"zpd=0.02", ""},
      {"clipping=2", ""},
      {"zpd", "is not NAME=VALUE"},
      {"phase=abc", "phase: abc is not a number"},
      {"phase=", "phase:  is not a number"},
      {"phase=nan", "phase: nan is not a number"},
      {"directions=0.1x", "directions: 0.1x is not a number"},
      {"clipping=1", "clipping: 1 is below 2"},
      {"dc-level=-0.1", "dc-level: -0.1 is below 0"},
      {"ZPD=1",
       "names no quality check (clipping, dc-variation, dc-level, zpd, zpd-tile, directions, "
       "directions-zpd, phase, pixel-spread, pixel-low, beyond-band)"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    const FromText<Settings> s = limit_from_text({}, r.text);
    EXPECT_EQ(s.refusal, r.refusal);
    EXPECT_EQ(s.value.has_value(), *r.refusal == '\0');
  }
  const Settings changed = *limit_from_text({}, "zpd=0.02").value;
  EXPECT_EQ(changed[Check::kZpd], 0.02);
  EXPECT_EQ(changed[Check::kPhase], row(Check::kPhase).limit);
  EXPECT_EQ(flag_names(bit(Check::kPhase) | bit(Check::kClipping)), "clipping, phase");
}

}  // namespace
}  // namespace ftir::quality
