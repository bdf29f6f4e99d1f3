// Instrument files converted by their own processing, held against the spectra the
// instruments' software computed from the same samples: the same grid, and after one free
// scale factor (instruments scale differently) the median and 95th percentile of the
// relative deviation over the points where the instrument's spectrum is at least 5 % of its
// largest value. Beside them the plan's rules.
#include "driver/instrument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <memory>
#include <vector>

#include "driver/batch.h"
#include "driver/memory.h"

namespace ftir::driver {
namespace {

const std::filesystem::path kFiles = FTIR_SOURCE_DIR "/tests/data";

enum class Stored { kSample, kReference, kAbsorbance, kTransmittance };

struct Agreement {
  double median = 0.0;  // %
  double p95 = 0.0;     // %
  double scale = 1.0;
};

// Ours against the stored curve on the points both hold (the curve may run from high to
// low wavenumber, and a reference channel's may reach a few points further); `free_scale`
// fits the one factor s minimising the relative deviations' squares. `same_grid`: the curve
// must hold exactly our points.
Agreement agreement(const MemorySpectrum& ours, const values::StoredCurve& ref, bool free_scale,
                    bool same_grid) {
  const std::size_t n = ref.values.size();
  const double step = std::fabs(ref.x_step());
  const double low = std::min(ref.x_first, ref.x_last);
  std::vector<double> r;
  std::vector<double> y;
  for (std::size_t i = 0; i < ours.x.size(); ++i) {
    const double at = (ours.x[i] - low) / step;
    const long k = std::lround(at);
    if (k < 0 || static_cast<std::size_t>(k) >= n) continue;
    EXPECT_NEAR(low + static_cast<double>(k) * step, ours.x[i], 1e-4);
    r.push_back(ref.y(ref.x_first > ref.x_last ? n - 1 - static_cast<std::size_t>(k)
                                               : static_cast<std::size_t>(k)));
    y.push_back(ours.y[i]);
  }
  if (same_grid) {
    EXPECT_EQ(ours.y.size(), n);
    EXPECT_EQ(r.size(), n);
  }
  if (r.empty()) return {100.0, 100.0, 0.0};
  const double top = *std::max_element(r.begin(), r.end());
  std::vector<double> q;
  for (std::size_t i = 0; i < r.size(); ++i) {
    if (r[i] >= 0.05 * top) q.push_back(y[i] / r[i]);
  }
  double s = 1.0;
  if (free_scale) {
    double a = 0.0;
    double b = 0.0;
    for (double v : q) {
      a += v;
      b += v * v;
    }
    s = a / b;
  }
  std::vector<double> dev;
  for (double v : q) dev.push_back(std::fabs(v * s - 1.0) * 100.0);
  std::sort(dev.begin(), dev.end());
  const auto at = [&dev](double f) {
    return dev[static_cast<std::size_t>(std::floor(f * static_cast<double>(dev.size() - 1)))];
  };
  return {at(0.5), at(0.95), s};
}

struct Case {
  const char* file;
  std::optional<values::Channel> channel;
  Ratio ratio;
  Stored stored;
  const char* check;  // the file whose stored curve is the check (empty: `file`)
};

const Case kCases[] = {
    {"opus/test.0000", std::nullopt, Ratio::kNone, Stored::kSample, ""},
    {"opus/test.0000", values::Channel::kReference, Ratio::kNone, Stored::kReference, ""},
    {"opus/test.0000", std::nullopt, Ratio::kAbsorbance, Stored::kAbsorbance, ""},
    {"opus/example_opus.0", std::nullopt, Ratio::kNone, Stored::kSample, ""},
    {"opus/example_opus.0", values::Channel::kReference, Ratio::kNone, Stored::kReference, ""},
    {"opus/example_opus.0", std::nullopt, Ratio::kTransmittance, Stored::kTransmittance, ""},
    {"omnic/interfero.SPA", std::nullopt, Ratio::kNone, Stored::kSample, "omnic/spectre.SPA"},
};

TEST(InstrumentAgreement, EachSharedFileMeetsTheInstrumentsOwnSpectrum) {
  auto ws = std::make_unique<Workspace>();
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.file) + " " + std::to_string(static_cast<int>(c.stored)));
    const std::string path = (kFiles / c.file).string();
    ConversionSettings settings;
    settings.channel = c.channel;
    settings.ratio = c.ratio;
    // For the ratios, the reference's curve in its own block: the check is read first.
    const std::string check_path = *c.check ? (kFiles / c.check).string() : path;
    ReadOutcome check = read_interferogram(check_path, *ws, ReadOptions{c.channel});
    ASSERT_FALSE(check.refused);
    ASSERT_TRUE(check.ig.instrument);
    const values::Instrument facts = *check.ig.instrument;
    const std::optional<values::StoredCurve>& ref =
        c.stored == Stored::kSample      ? facts.sample_spectrum
        : c.stored == Stored::kReference ? facts.reference_spectrum
        : c.stored == Stored::kAbsorbance ? facts.absorbance
                                          : facts.transmittance;
    ASSERT_TRUE(ref);
    const ReadOutcome read = read_interferogram(path, *ws, ReadOptions{c.channel});
    ASSERT_FALSE(read.refused);
    const MemorySpectrum ours = convert_in_memory(read.ig, settings, *ws);
    ASSERT_EQ(ours.record.status, FileStatus::kConverted) << ours.record.reason;
    const Agreement a =
        agreement(ours, *ref, c.ratio == Ratio::kNone, c.stored != Stored::kReference);
    std::cout << c.file << " stored curve " << static_cast<int>(c.stored) << ": median "
              << a.median << " %, 95th percentile " << a.p95 << " %, scale " << a.scale << "\n";
    EXPECT_LE(a.median, 0.05);
    EXPECT_LE(a.p95, 0.3);
    // The record's own check, where the file stores the curve, gives the same figures.
    ASSERT_TRUE(ours.record.instrument);
    const InstrumentUsed& used = *ours.record.instrument;
    if (*c.check) {
      EXPECT_EQ(used.check_block, "");
    } else {
      EXPECT_NE(used.check_block, "");
      EXPECT_NEAR(used.check_median, a.median, 1e-9 * a.median);
      EXPECT_NEAR(used.check_p95, a.p95, 1e-9 * a.p95);
    }
  }
}

// What each file states of its measurement, read by its reader: the sample's name as
// stored and the date and time of the channel's interferogram.
TEST(InstrumentFacts, SampleNameAndMeasurementTimeAsTheFilesStateThem) {
  auto ws = std::make_unique<Workspace>();
  const struct {
    const char* file;
    std::optional<values::Channel> channel;
    std::string sample;
    std::array<int, 6> at;
    std::string zone;
  } cases[] = {
      {"opus/test.0000",
       std::nullopt,
       "MCT D317 1mm\xB2 [8500 - 700 Cm-1]",
       {2020, 2, 6, 13, 9, 58},
       "GMT+1"},
      {"opus/test.0000",
       values::Channel::kReference,
       "MCT D317 1mm\xB2 [8500 - 700 Cm-1]",
       {2020, 2, 6, 13, 1, 55},
       "GMT+1"},
      {"opus/example_opus.0",
       values::Channel::kReference,
       "BlackBody",
       {2022, 12, 14, 15, 0, 21},
       "GMT+0"},
      {"omnic/interfero.SPA", std::nullopt, "interferogramme", {2020, 11, 25, 11, 13, 56}, ""},
  };
  for (const auto& [file, channel, sample, at, zone] : cases) {
    SCOPED_TRACE(file);
    const ReadOutcome read =
        read_interferogram((kFiles / file).string(), *ws, ReadOptions{channel});
    ASSERT_FALSE(read.refused);
    const values::Instrument& facts = *read.ig.instrument;
    EXPECT_EQ(facts.sample_name, sample);
    ASSERT_TRUE(facts.measured);
    const values::MeasuredAt& m = *facts.measured;
    EXPECT_EQ((std::array<int, 6>{m.year, m.month, m.day, m.hour, m.minute, m.second}), at);
    EXPECT_EQ(m.zone, zone);
  }
  EXPECT_EQ(utf8_of_latin1("1mm\xB2\x01"), "1mm\u00B2");
}

TEST(InstrumentPlan, TheFileParametersGiveWayToTheSettingsGiven) {
  auto ws = std::make_unique<Workspace>();
  const ReadOutcome read = read_interferogram((kFiles / "opus/test.0000").string(), *ws);
  ASSERT_FALSE(read.refused);
  // The file's own: B3, PHR 32, RES 4, ZFF 2 at HFL 5265.99 cm-1, PKL 562.
  const InstrumentPlan own = plan_instrument(read.ig, nullptr);
  ASSERT_FALSE(own.refused);
  EXPECT_EQ(own.used.window, "blackman-harris");
  EXPECT_NEAR(own.recipe.phase_halfwidth, 0.9 * 2 * 5265.987417 / 32, 1e-5);
  EXPECT_NEAR(own.recipe.long_side, 0.9 * 2 * 5265.987417 / 4, 1e-4);
  EXPECT_EQ(own.recipe.zero_fill, 2);
  EXPECT_EQ(own.zpd, 562);
  EXPECT_EQ(own.recipe.ramp, transform::Ramp::kQuintic);
  EXPECT_TRUE(own.used.nonlinearity);

  ConversionSettings s;
  s.iapod = transform::window_by_option("happ-genzel")->code;
  s.window_given = true;
  s.res = 8.0;
  s.res_given = true;
  s.zero_fill = 4;
  s.zpd = Zpd{ZpdMode::kIndex, 600};
  const InstrumentPlan given = plan_instrument(read.ig, &s);
  ASSERT_FALSE(given.refused);
  EXPECT_EQ(given.used.window, "happ-genzel");
  EXPECT_NEAR(given.recipe.long_side, own.recipe.long_side / 2, 1e-9);
  EXPECT_EQ(given.recipe.zero_fill, 4);
  EXPECT_EQ(given.zpd, 599);

  // What the converter cannot honour is refused with the parameter named.
  values::Interferogram odd = read.ig;
  auto facts = std::make_shared<values::Instrument>(*read.ig.instrument);
  facts->parameters.apf = "XY";
  odd.instrument = facts;
  const InstrumentPlan refused = plan_instrument(odd, nullptr);
  ASSERT_TRUE(refused.refused);
  EXPECT_NE(refused.refused->skip_text().find("APF \"XY\""), std::string::npos);
  ConversionSettings classic;
  classic.grid = Grid::kClassic;
  EXPECT_TRUE(plan_instrument(read.ig, &classic).refused);
}

}  // namespace
}  // namespace ftir::driver
