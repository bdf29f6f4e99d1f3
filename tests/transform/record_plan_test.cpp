// The imaging tile converted by its header's processing, against the spectra the vendor's
// software computed from the same files: the absorbance against the background tile and
// the background's single beam (up to one scale factor), and the vendor's wavenumbers as
// its ENVI header lists them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <vector>

#include "imagingfile/reader.h"
#include "support/spc_images.h"
#include "transform/record_plan.h"

namespace ftir {
namespace {

const std::filesystem::path kAgilent = FTIR_SOURCE_DIR "/tests/data/agilent";

// The vendor's spectra file: 8 x 8 pixels x 9 points, band by band, pixels as the tile's.
std::vector<double> vendor_values(const char* name) {
  const testing::ByteImage b = testing::read_file_bytes(kAgilent / name);
  std::vector<double> out(64 * 9);
  for (int k = 0; k < 9; ++k) {
    for (int p = 0; p < 64; ++p) {
      float v;
      std::memcpy(&v, b.data() + 1020 + 4 * (k * 64 + p), 4);
      out[static_cast<std::size_t>(p * 9 + k)] = v;
    }
  }
  return out;
}

imagingfile::SetRead tile(const char* name) {
  auto r = imagingfile::read_tile((kAgilent / name).string());
  EXPECT_FALSE(r.refused);
  return r;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2.0;
}

TEST(RecordPlan, AbsorbanceAgreesWithTheVendors) {
  const auto sample = tile("4_noimage_agg256.seq");
  const auto background = tile("background_agg256.seq");
  transform::PlanCache plans;
  auto result = transform::convert_set(sample.set, &background.set,
                                       transform::RatioKind::kAbsorbance, plans);
  ASSERT_TRUE(std::holds_alternative<transform::SetSpectra>(result));
  const auto& a = std::get<transform::SetSpectra>(result);
  EXPECT_EQ(plans.size(), 1u);  // the two tiles share one geometry
  // The wavenumbers of the vendor's ENVI header, to the rounding of its 5 decimals.
  const double kEnvi[] = {1990.17823, 2005.60596, 2021.03370, 2036.46144, 2051.88918,
                          2067.31692, 2082.74466, 2098.17239, 2113.60013};
  ASSERT_EQ(a.wavenumbers.size(), 9u);
  for (std::size_t k = 0; k < 9; ++k) EXPECT_NEAR(a.wavenumbers[k], kEnvi[k], 5e-6) << k;
  const std::vector<double> vendor = vendor_values("4_noimage_agg256.dat");
  std::vector<double> mabs;
  for (std::size_t i = 0; i < vendor.size(); ++i) {
    ASSERT_FALSE(a.refused[i / 9]);
    mabs.push_back(std::fabs(a.values[i] - vendor[i]) * 1000.0);
  }
  const double max = *std::max_element(mabs.begin(), mabs.end());
  const double med = median(mabs);
  ::testing::Test::RecordProperty("absorbance_max_mAbs", std::to_string(max));
  ::testing::Test::RecordProperty("absorbance_median_mAbs", std::to_string(med));
  EXPECT_LE(max, 0.05);
  EXPECT_LE(med, 0.005);
}

TEST(RecordPlan, SingleBeamAgreesWithTheVendorsUpToOneScale) {
  const auto background = tile("background_agg256.seq");
  transform::PlanCache plans;
  auto result = transform::convert_set(background.set, nullptr, transform::RatioKind::kSingleBeam,
                                       plans);
  ASSERT_TRUE(std::holds_alternative<transform::SetSpectra>(result));
  const auto& s = std::get<transform::SetSpectra>(result);
  const std::vector<double> vendor = vendor_values("background_agg256.dat");
  double num = 0.0, den = 0.0;
  for (std::size_t i = 0; i < vendor.size(); ++i) {
    num += s.values[i] * vendor[i];
    den += s.values[i] * s.values[i];
  }
  const double scale = num / den;
  double sum = 0.0, sum2 = 0.0, max = 0.0;
  for (std::size_t i = 0; i < vendor.size(); ++i) {
    const double rel = (scale * s.values[i] - vendor[i]) / vendor[i];
    sum += rel;
    sum2 += rel * rel;
    max = std::max(max, std::fabs(rel));
  }
  const double n = static_cast<double>(vendor.size());
  const double sd = std::sqrt(sum2 / n - (sum / n) * (sum / n));
  ::testing::Test::RecordProperty("single_beam_sd_percent", std::to_string(sd * 100));
  ::testing::Test::RecordProperty("single_beam_max_percent", std::to_string(max * 100));
  ::testing::Test::RecordProperty("single_beam_scale", std::to_string(scale));
  EXPECT_LE(sd * 100, 0.01);
  EXPECT_LE(max * 100, 0.02);
  EXPECT_NEAR(scale, 1.0, 1e-3);  // the vendor's own scale
}

// The largest absorbance difference from the vendor's, mAbs, under a ZPD rule.
double worst_mabs(transform::ZpdRule rule, int threads, std::vector<double>* values = nullptr) {
  const auto sample = tile("4_noimage_agg256.seq");
  const auto background = tile("background_agg256.seq");
  transform::PlanCache plans;
  auto result = transform::convert_set(sample.set, &background.set,
                                       transform::RatioKind::kAbsorbance, plans, rule, threads);
  const auto& a = std::get<transform::SetSpectra>(result);
  if (values) *values = a.values;
  const std::vector<double> vendor = vendor_values("4_noimage_agg256.dat");
  double worst = 0.0;
  for (std::size_t i = 0; i < vendor.size(); ++i) {
    worst = std::max(worst, std::fabs(a.values[i] - vendor[i]) * 1000.0);
  }
  return worst;
}

TEST(RecordPlan, ZpdRulesAndWorkers) {
  std::vector<double> one, two, stored;
  const double nominal = worst_mabs(transform::ZpdRule::kNominal, 1, &one);
  worst_mabs(transform::ZpdRule::kNominal, 2, &two);
  EXPECT_EQ(one, two);  // workers change nothing
  // The tile's table stores the nominal index for every pixel.
  worst_mabs(transform::ZpdRule::kStored, 3, &stored);
  EXPECT_EQ(one, stored);
  // Each pixel's own extreme agrees far worse with the vendor's spectra than the index
  // the header names.
  const double own = worst_mabs(transform::ZpdRule::kOwnExtreme, 1);
  ::testing::Test::RecordProperty("own_extreme_max_mAbs", std::to_string(own));
  EXPECT_GT(own, 10 * nominal);
}

TEST(RecordPlan, MosaicTilesShareTheirOneBackgroundTile) {
  const auto mosaic = imagingfile::read_mosaic((kAgilent / "5_mosaic_agg1024.dmt").string());
  ASSERT_FALSE(mosaic.refused);
  const auto background = tile("background_agg1024.seq");
  transform::PlanCache plans;
  auto result = transform::convert_set(mosaic.set, &background.set,
                                       transform::RatioKind::kTransmittance, plans);
  ASSERT_TRUE(std::holds_alternative<transform::SetSpectra>(result));
  const auto& t = std::get<transform::SetSpectra>(result);
  ASSERT_EQ(t.values.size(), 32u * 9u);
  // Record r lies at row r / 4, column r % 4; its background pixel at row (r / 4) % 4: the
  // same transmittance as the bottom tile's pixel converted against a background of its
  // own pixels alone.
  values::RecordSet bottom = mosaic.set;
  bottom.shape = {4, 4};
  bottom.table.resize(16);
  bottom.samples.resize(16 * 311);
  auto alone = transform::convert_set(bottom, &background.set, transform::RatioKind::kTransmittance,
                                      plans);
  ASSERT_TRUE(std::holds_alternative<transform::SetSpectra>(alone));
  const auto& b = std::get<transform::SetSpectra>(alone);
  EXPECT_TRUE(std::equal(b.values.begin(), b.values.end(), t.values.begin()));
  for (double v : t.values) EXPECT_GT(v, 0.0);
}

TEST(RecordPlan, SettingsItCannotHonourAreRefused) {
  const auto sample = tile("4_noimage_agg256.seq");
  const std::tuple<const char*, const char*, const char*> kCases[] = {
      {"Apodization Type", "Kaiser", "apodization \"Kaiser\" is not known"},
      {"Phase Correction", "Power Spectrum", "Phase Correction \"Power Spectrum\" is not known"},
      {"Zero Filling Factor", "3", "zero filling factor \"3\" is not known"},
  };
  for (const auto& [key, value, reason] : kCases) {
    SCOPED_TRACE(key);
    values::RecordSet s = sample.set;
    for (auto& [k, v] : s.facts.parameters) {
      if (k == key) v = value;
    }
    transform::PlanCache plans;
    auto r = transform::convert_set(s, nullptr, transform::RatioKind::kSingleBeam, plans);
    ASSERT_TRUE(std::holds_alternative<values::Refused>(r));
    EXPECT_EQ(std::get<values::Refused>(r).detail, reason);
  }
}

}  // namespace
}  // namespace ftir
