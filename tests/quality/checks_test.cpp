// The rules of the quality checks on records made to sit just inside or just beyond each
// threshold, and the texts of their settings.
#include "quality/checks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace ftir::quality {
namespace {

// A burst of alternating sign, largest (+100) at sample `at`, on a flat level `dc`.
std::vector<double> burst(int n, int at, double dc) {
  std::vector<double> y(static_cast<std::size_t>(n), dc);
  for (int d = -6; d <= 6; ++d)
    y[std::size_t(at + d)] += 100.0 * std::cos(std::numbers::pi * d / 2.5) / (1 + d * d);
  return y;
}

Result judge(const std::vector<double>& y, RecordInput in = {}) {
  in.samples = y;
  return check_record(in, {});
}

TEST(QualityChecks, ClippingNeedsARunAtTheExtremeOrADeclaredLimit) {
  const struct {
    const char* what;
    std::vector<int> set;  // samples set to `value`
    double value;
    std::optional<SampleRange> adc;
    bool fires;
  } rows[] = {
      {"three equal in a quiet stretch", {200, 201, 202}, 0.5, {}, false},
      {"two at the top", {100, 101}, 100.0, {}, false},
      {"three at the top", {99, 100, 101}, 100.0, {}, true},
      {"three at the top, apart", {100, 300, 400}, 100.0, {}, false},
      {"one sample at the declared limit", {}, 0, SampleRange{-100.0, 100.0}, true},
      {"inside the declared range", {}, 0, SampleRange{-150.0, 150.0}, false},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    std::vector<double> y = burst(512, 100, 0.0);
    for (int i : r.set) y[std::size_t(i)] = r.value;
    RecordInput in;
    in.adc = r.adc;
    EXPECT_EQ(judge(y, in).fired(Check::kClipping), r.fires);
  }
}

TEST(QualityChecks, ZpdAllowanceIsOnePercentOfTheScanAndAtLeastEightSamples) {
  const struct {
    int n, found, stored;
    bool fires;
  } rows[] = {{4066, 2033, 2073, false},
              {4066, 2033, 2074, true},  // 40.66 samples
              {311, 150, 158, false},
              {311, 150, 159, true},
              {311, 150, 141, true}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.stored);
    RecordInput in;
    in.found_zpd = {r.found, -1};
    in.stored_zpd = {r.stored, std::nullopt};
    const Result res = judge(burst(r.n, r.found, 0.0), in);
    EXPECT_EQ(res.fired(Check::kZpd), r.fires);
    EXPECT_DOUBLE_EQ(*res.value(Check::kZpd), std::abs(r.stored - r.found) / double(r.n));
  }
}

TEST(QualityChecks, DcIsJudgedOnlyWhenTheRecordCarriesIt) {
  const struct {
    const char* what;
    double dc;
    std::optional<SampleRange> adc;
    bool judged, level_fires;
  } rows[] = {
      {"against the burst's sign", -50.0, {}, false, false},
      {"under 10 % of the burst", 8.0, {}, false, false},
      {"of the burst's sign", 50.0, {}, true, false},
      {"at 4 % of a stated range", 50.0, SampleRange{-625.0, 625.0}, true, true},
      {"at 20 % of a stated range", 50.0, SampleRange{-125.0, 125.0}, true, false},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    RecordInput in;
    in.adc = r.adc;
    const Result res = judge(burst(1024, 300, r.dc), in);
    EXPECT_EQ(res.value(Check::kDcVariation).has_value(), r.judged);
    EXPECT_EQ(res.fired(Check::kDcLevel), r.level_fires);
  }
}

TEST(QualityChecks, EnergyBeyondAStatedBand) {
  const std::vector<double> m(101, 1.0);  // 0..1000 cm-1 in steps of 10, energy 1 each
  const struct {
    std::optional<double> low, high, share;
  } rows[] = {{0.0, 1000.0, {}}, {{}, 990.0, 1.0 / 101}, {10.0, 990.0, 2.0 / 101}};
  for (const auto& r : rows) {
    RecordInput in;
    in.magnitude = {m, 0.0, 10.0};
    in.low_cut = r.low;
    in.high_cut = r.high;
    const Result res = judge(burst(256, 50, 0.0), in);
    EXPECT_EQ(res.value(Check::kBeyondBand), r.share);
    EXPECT_EQ(res.fired(Check::kBeyondBand), r.share > 0.01);
  }
}

TEST(QualitySettings, TextsAreTakenOrRefusedNamingTheCheck) {
  EXPECT_EQ(policy_from_text("skip").value, Policy::kSkip);
  EXPECT_EQ(policy_from_text("Flag").refusal, "is not flag, skip or off");
  const struct {
    const char* text;
    const char* refusal;  // "" when taken
  } rows[] = {
      {"clipping=2", ""},
      {"zpd", "is not NAME=VALUE"},
      {"phase=", "phase:  is not a number"},
      {"phase=nan", "phase: nan is not a number"},
      {"directions=0.1x", "directions: 0.1x is not a number"},
      {"clipping=1", "clipping: 1 is below 2"},
      {"ZPD=1",
       "names no quality check (clipping, dc-variation, dc-level, zpd, zpd-tile, "
       "directions, directions-zpd, phase, pixel-spread, pixel-low, beyond-band)"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.text);
    EXPECT_EQ(limit_from_text({}, r.text).refusal, r.refusal);
  }
  Settings s = *limit_from_text({}, "zpd=0.02").value;
  EXPECT_EQ(s[Check::kZpd], 0.02);
  EXPECT_EQ(s[Check::kPhase], row(Check::kPhase).limit);
  EXPECT_EQ(flag_names(bit(Check::kPhase) | bit(Check::kClipping)), "clipping, phase");
  s.policy = Policy::kOff;  // judges nothing
  const std::vector<double> y = burst(256, 50, 0.0);
  RecordInput in;
  in.samples = y;
  EXPECT_FALSE(check_record(in, s).value(Check::kClipping));
  EXPECT_TRUE(check_tile({1, 1, 256, y, true}, s).empty());
}

// Records with nothing to judge: no sample per scan, or samples that are not numbers.
TEST(QualityChecks, DegenerateRecordsAreJudgedWithinTheirSamples) {
  const std::vector<double> one = {1.0};
  const std::vector<double> nan(64, std::numeric_limits<double>::quiet_NaN());
  RecordInput in;
  in.samples = one;
  in.scans = 2;
  EXPECT_EQ(check_record(in, {}).mask, 0u);
  in.samples = nan;
  in.found_zpd = {-1, -1};
  EXPECT_FALSE(check_record(in, {}).value(Check::kDcVariation));
  EXPECT_EQ(check_tile({4, 4, 4, nan, true}, {}).size(), 16u);
}

}  // namespace
}  // namespace ftir::quality
