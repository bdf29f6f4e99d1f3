// The quality checks held against real files: none of the shared interferograms, OPUS and
// OMNIC files or imaging tiles raises a flag, and each fault injected into one of them is
// caught by the check meant for it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>

#include <algorithm>
#include <cmath>

#include "driver/memory.h"
#include "driver/prepare.h"
#include "spc_tool/split.h"

#include "quality/quality_support.h"

namespace ftir::testing {
namespace {

using quality::Check;

const std::filesystem::path kData = FTIR_SOURCE_DIR "/tests/data";
const std::filesystem::path kOpus = kData / "opus/example_opus.0";

// A record read from `path` and its inputs: with the scans' difference of the record as
// converted (records of two scans).
struct Judged {
  QualityRecord record;
  quality::Result result;
};

Judged judged(QualityRecord r, driver::Workspace& ws) {
  quality::RecordInput in = input_of(r);
  driver::MemorySpectrum converted;
  if (r.scans == 2) {
    values::Interferogram ig = driver::read_interferogram(kOpus.string(), ws).ig;
    ig.samples = r.samples;
    converted = driver::convert_in_memory(ig, {}, ws);
    EXPECT_EQ(converted.record.status, driver::FileStatus::kConverted) << converted.record.reason;
    in.scan_difference = converted.record.scan_difference;
  }
  const quality::Result result = quality::check_record(in, {});
  return {std::move(r), result};
}

// Every single-trace interferogram of the shared files, each file's channels, and the ten
// traces of the multi-trace SPC sample (written apart and read by the converter's reader).
std::vector<std::pair<std::string, QualityRecord>> real_records(driver::Workspace& ws) {
  std::vector<std::pair<std::string, QualityRecord>> records;
  for (const char* f : {"opus/example_opus.0", "opus/test.0000", "opus/background.0",
                        "omnic/interfero.SPA"}) {
    records.emplace_back(f, read_record((kData / f).string(), ws));
  }
  records.emplace_back("example_opus.0 reference",
                       read_record(kOpus.string(), ws, {values::Channel::kReference}));
  const std::filesystem::path samples = spc_samples();
  if (!std::filesystem::is_directory(samples)) return records;
  records.emplace_back("IG_SAMP.SPC", read_record((samples / "IG_SAMP.SPC").string(), ws));
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("quality_traces_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const spctool::Trace multi = spctool::read_trace((samples / "IG_MULTI.SPC").string());
  for (const spctool::Trace& t : spctool::split_traces(multi, folder.string())) {
    std::ofstream(t.path, std::ios::binary)
        .write(reinterpret_cast<const char*>(t.bytes.data()), static_cast<std::streamsize>(t.bytes.size()));
    records.emplace_back(t.name, read_record(t.path, ws));
  }
  std::filesystem::remove_all(folder);
  return records;
}

TEST(QualityRealFiles, NoSharedInterferogramRaisesAFlag) {
  auto ws = std::make_unique<driver::Workspace>();
  const auto records = real_records(*ws);
  if (records.size() < 16) std::cout << "no SPC samples: " << spc_samples() << " checked without them\n";
  for (const auto& [name, record] : records) {
    SCOPED_TRACE(name);
    ASSERT_FALSE(record.samples.empty());
    const Judged j = judged(record, *ws);
    EXPECT_EQ(j.result.mask, 0u) << quality::flag_names(j.result.mask);
    EXPECT_TRUE(j.result.value(Check::kClipping));
    EXPECT_TRUE(j.result.value(Check::kPhase));
  }
}

// The SPC sample background is a spectrum, not an interferogram: the conversion refuses it
// ("its samples show no centerburst"), so it never reaches the checks.
TEST(QualityRealFiles, TheSampleBackgroundIsNoInterferogram) {
  const std::filesystem::path path = spc_samples() / "IG_BKGND.SPC";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "no sample files in " << spc_samples();
  auto ws = std::make_unique<driver::Workspace>();
  QualityRecord r = read_record(path.string(), *ws);
  const quality::Centerburst c = quality::find_centerburst(r.samples);
  std::vector<double> prepared = r.samples;
  for (double& v : prepared) v -= c.mean;
  EXPECT_FALSE(driver::centerburst_shape(prepared, c.index + 1).shown);
}

// The example's sample channel carries DC (its mean 0.70 of the burst's amplitude), and
// both its scans are judged for it.
TEST(QualityRealFiles, InjectedDcDriftIsCaught) {
  auto ws = std::make_unique<driver::Workspace>();
  QualityRecord r = read_record(kOpus.string(), *ws);
  ASSERT_EQ(r.scans, 2);
  const quality::Centerburst c = quality::find_centerburst(r.samples);
  EXPECT_NEAR(c.mean / (c.amplitude), 0.70, 0.05);
  EXPECT_FALSE(judged(r, *ws).result.fired(Check::kDcVariation));
  // A linear drift to 20 % of the level over each scan, in acquisition order (the backward
  // scan is stored reversed: its drift runs the other way in the file).
  const std::size_t n = r.samples.size() / 2;
  for (std::size_t i = 0; i < n; ++i) {
    const double ramp = 0.2 * c.mean * static_cast<double>(i) / static_cast<double>(n - 1);
    r.samples[i] += ramp;
    r.samples[2 * n - 1 - i] += ramp;
  }
  const Judged j = judged(r, *ws);
  EXPECT_EQ(j.result.mask, quality::bit(Check::kDcVariation)) << quality::flag_names(j.result.mask);
  EXPECT_NEAR(*j.result.value(Check::kDcVariation), 0.2 * 15.0 / 16.0 / 1.1, 0.02);
}

TEST(QualityRealFiles, OneDirectionScaledIsCaught) {
  auto ws = std::make_unique<driver::Workspace>();
  QualityRecord r = read_record(kOpus.string(), *ws);
  const Judged clean = judged(r, *ws);
  ASSERT_TRUE(clean.result.value(Check::kDirections));
  EXPECT_LT(*clean.result.value(Check::kDirections), 0.05);
  // The backward scan at 0.8 of its signal, its DC kept: the spectra differ by about
  // 0.2 / 0.9.
  const std::size_t n = r.samples.size() / 2;
  const quality::Centerburst back =
      quality::find_centerburst(std::span<const double>(r.samples).subspan(n));
  for (std::size_t i = n; i < 2 * n; ++i) r.samples[i] = back.mean + 0.8 * (r.samples[i] - back.mean);
  const Judged j = judged(r, *ws);
  EXPECT_EQ(j.result.mask, quality::bit(Check::kDirections)) << quality::flag_names(j.result.mask);
  EXPECT_NEAR(*j.result.value(Check::kDirections), 0.2 / 0.9, 0.03);
}

// A saturated top: every sample beyond a level set to it, the level that of the lowest of
// the burst's three largest samples, so that they form a flat top.
TEST(QualityRealFiles, SaturatedTopIsCaught) {
  auto ws = std::make_unique<driver::Workspace>();
  struct Case {
    std::string name;
    QualityRecord record;
  };
  std::vector<Case> cases = {{"example_opus.0", read_record(kOpus.string(), *ws)},
                             {"interfero.SPA", read_record((kData / "omnic/interfero.SPA").string(), *ws)}};
  if (std::filesystem::exists(spc_samples() / "IG_SAMP.SPC")) {
    cases.push_back({"IG_SAMP.SPC", read_record((spc_samples() / "IG_SAMP.SPC").string(), *ws)});
  }
  for (Case& k : cases) {
    SCOPED_TRACE(k.name);
    std::vector<double>& y = k.record.samples;
    const quality::Centerburst c = quality::find_centerburst(y);
    const double sign = c.amplitude > 0.0 ? 1.0 : -1.0;
    const std::size_t j = static_cast<std::size_t>(c.index);
    const double level = std::min({sign * y[j - 1], sign * y[j], sign * y[j + 1]});
    for (double& v : y) v = sign * std::min(sign * v, level);
    const Judged judgement = judged(k.record, *ws);
    EXPECT_TRUE(judgement.result.fired(Check::kClipping));
    EXPECT_GE(*judgement.result.value(Check::kClipping), 3.0);
  }
}

const char* const kTiles[] = {"background_agg256.seq", "background_agg1024.seq",
                              "4_noimage_agg256.seq", "5_Mosaic_agg1024_0000_0000.drd",
                              "5_Mosaic_agg1024_0000_0001.drd"};

TEST(QualityRealFiles, NoSharedTilePixelIsFlagged) {
  for (const char* name : kTiles) {
    SCOPED_TRACE(name);
    const Tile t = read_tile(kData / "agilent" / name);
    ASSERT_EQ(t.points, 311);
    const bool background = std::string(name).starts_with("background");
    const std::vector<quality::Result> results = quality::check_tile(t.input(background), {});
    ASSERT_EQ(results.size(), static_cast<std::size_t>(t.width * t.height));
    for (const quality::Result& r : results) {
      EXPECT_EQ(r.mask, 0u) << quality::flag_names(r.mask);
      EXPECT_EQ(r.value(Check::kPixelSpread).has_value(), background);
    }
  }
}

// Faults in one pixel of the 8 x 8 background tile: only that pixel is flagged, by the
// check meant for it.
TEST(QualityRealFiles, InjectedPixelFaultsAreCaught) {
  const Tile clean = read_tile(kData / "agilent/background_agg256.seq");
  const int pixels = clean.width * clean.height;
  const int p = 27;
  auto pixel = [&](Tile& t, int k) -> double& {
    return t.values[static_cast<std::size_t>(k * pixels + p)];
  };
  struct Case {
    const char* what;
    std::function<void(Tile&)> fault;
    std::uint32_t mask;
  };
  const Case cases[] = {
      {"zeroed", [&](Tile& t) { for (int k = 0; k < t.points; ++k) pixel(t, k) = 0.0; },
       quality::bit(Check::kPixelLow) | quality::bit(Check::kPixelSpread)},
      {"gain x 0.05", [&](Tile& t) { for (int k = 0; k < t.points; ++k) pixel(t, k) *= 0.05; },
       quality::bit(Check::kPixelLow) | quality::bit(Check::kPixelSpread)},
      {"shifted by 5 samples",
       [&](Tile& t) {
         for (int k = t.points - 1; k >= 5; --k) pixel(t, k) = pixel(t, k - 5);
       },
       quality::bit(Check::kZpdTile)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Tile t = clean;
    c.fault(t);
    const std::vector<quality::Result> results = quality::check_tile(t.input(true), {});
    for (int q = 0; q < pixels; ++q) {
      EXPECT_EQ(results[static_cast<std::size_t>(q)].mask, q == p ? c.mask : 0u) << "pixel " << q;
    }
  }
}

}  // namespace
}  // namespace ftir::testing
