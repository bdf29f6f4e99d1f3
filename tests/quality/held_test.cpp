// The quality checks held against real files and faults put into them: no shared
// interferogram, OPUS or OMNIC file or imaging tile raises a flag, each fault is caught by
// its check, and a thousand clean synthetic records pass.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "driver/batch.h"
#include "driver/memory.h"
#include "driver/prepare.h"
#include "quality/checks.h"
#include "report/fake_console.h"
#include "spc_tool/split.h"
#include "spcfile/bytes.h"
#include "synth/interferogram.h"
#include "transform/single_sided.h"

namespace ftir::testing {
namespace {

using quality::bit;
using quality::Check;

const std::filesystem::path kData = FTIR_SOURCE_DIR "/tests/data";
const std::string kOpus = (kData / "opus/example_opus.0").string();

// The public SPC samples beside the checkout.
std::filesystem::path spc_samples() { return FTIR_SOURCE_DIR "/../shared/data/spc-samples"; }

// A record as read, and the phase the single-sided path finds for its first scan.
struct Record {
  std::string path;
  driver::ReadOptions options;
  std::vector<double> samples;
  int scans = 1;
  double laser = 15800.823;
  double sampr = 1.0;
  std::optional<int> stored;
  std::optional<double> low_cut, high_cut;
  std::vector<double> angle, magnitude;
  transform::PhaseOutcome phase;
};

void find_phase(Record& r, driver::Workspace& ws) {
  const auto n = r.samples.size() / static_cast<std::size_t>(r.scans);
  const quality::Centerburst c = quality::find_centerburst(std::span(r.samples).first(n));
  for (std::size_t i = 0; i < n; ++i) ws.yin[i] = r.samples[i] - c.mean;
  FakeConsole console;
  report::Report report(console);
  transform::PathStorage storage = ws.paths();
  transform::PathRequest req;
  req.sampr = r.sampr;
  req.wlref = 1.0 / r.laser;
  req.iapod = 1;
  req.npts = int(n);
  req.jmax = c.index + 1;
  r.phase = transform::phase_determination(report, req, storage);
  r.angle.assign(ws.phase.angle.begin(), ws.phase.angle.begin() + r.phase.points);
  r.magnitude.assign(ws.phase.magnitude.begin(), ws.phase.magnitude.begin() + r.phase.points);
}

Record read_record(const std::string& path, driver::Workspace& ws,
                   driver::ReadOptions options = {}) {
  Record r;
  r.path = path;
  r.options = options;
  const driver::ReadOutcome read = driver::read_interferogram(path, ws, options);
  EXPECT_FALSE(read.refused) << path;
  r.samples.assign(read.ig.samples.begin(), read.ig.samples.end());
  r.scans = read.ig.scans;
  r.laser = read.ig.laser.value_or(r.laser);
  if (read.ig.instrument) {
    const values::InstrumentParameters& p = read.ig.instrument->parameters;
    r.scans = read.ig.instrument->scans;
    r.sampr = 1.0 / p.ssp.value_or(1);
    r.stored = p.pkl;
    r.low_cut = p.lfl;
    r.high_cut = p.hfl;
  }
  find_phase(r, ws);
  return r;
}

// The checks' inputs: the centerburst of each scan as the conversion finds it (the
// backward scan in its own order), and for two scans their difference as converted.
quality::Result judge(const Record& r, driver::Workspace& ws) {
  quality::RecordInput in;
  in.samples = r.samples;
  in.scans = r.scans;
  const std::size_t n = r.samples.size() / static_cast<std::size_t>(r.scans);
  in.found_zpd[0] = quality::find_centerburst(std::span(r.samples).first(n)).index;
  in.stored_zpd[0] = r.stored;
  if (r.scans == 2) {
    const std::vector<double> backward(r.samples.rbegin(), r.samples.rbegin() + long(n));
    in.found_zpd[1] = quality::find_centerburst(backward).index;
    in.stored_zpd[1] = r.stored;
    values::Interferogram ig = driver::read_interferogram(r.path, ws, r.options).ig;
    ig.samples = std::span(const_cast<double*>(r.samples.data()), r.samples.size());
    const driver::MemorySpectrum m = driver::convert_in_memory(ig, {}, ws);
    EXPECT_EQ(m.record.status, driver::FileStatus::kConverted) << m.record.reason;
    in.scan_difference = m.record.scan_difference;
  }
  in.phase = {r.angle, r.phase.first, r.phase.delta};
  in.magnitude = {r.magnitude, r.phase.first, r.phase.delta};
  in.low_cut = r.low_cut;
  in.high_cut = r.high_cut;
  return quality::check_record(in, {});
}

TEST(QualityHeld, NoSharedInterferogramRaisesAFlag) {
  auto ws = std::make_unique<driver::Workspace>();
  std::vector<Record> records;
  for (const char* f :
       {"opus/example_opus.0", "opus/test.0000", "opus/background.0", "omnic/interfero.SPA"}) {
    records.push_back(read_record((kData / f).string(), *ws));
  }
  records.push_back(read_record(kOpus, *ws, {values::Channel::kReference}));
  const std::filesystem::path samples = spc_samples();
  if (std::filesystem::is_directory(samples)) {
    records.push_back(read_record((samples / "IG_SAMP.SPC").string(), *ws));
    // The ten traces of the multi-trace sample, each written as a file of its own.
    const auto folder =
        std::filesystem::temp_directory_path() / ("quality_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    for (const spctool::Trace& t :
         spctool::split_traces(spctool::read_trace((samples / "IG_MULTI.SPC").string()), folder)) {
      std::ofstream(t.path, std::ios::binary)
          .write(reinterpret_cast<const char*>(t.bytes.data()), long(t.bytes.size()));
      records.push_back(read_record(t.path, *ws));
    }
    std::filesystem::remove_all(folder);
    // The sample background is a spectrum: the conversion refuses it as showing no
    // centerburst, so it never reaches the checks.
    Record bkgnd = read_record((samples / "IG_BKGND.SPC").string(), *ws);
    const quality::Centerburst c = quality::find_centerburst(bkgnd.samples);
    for (double& v : bkgnd.samples) v -= c.mean;
    EXPECT_FALSE(driver::centerburst_shape(bkgnd.samples, c.index + 1).shown);
  }
  EXPECT_TRUE(records.size() == 5 || records.size() == 16) << records.size();
  for (const Record& r : records) {
    SCOPED_TRACE(r.path);
    const quality::Result res = judge(r, *ws);
    EXPECT_EQ(res.mask, 0u) << quality::flag_names(res.mask);
    EXPECT_TRUE(res.value(Check::kPhase));
  }
}

TEST(QualityHeld, FaultsPutIntoRealRecordsAreCaught) {
  auto ws = std::make_unique<driver::Workspace>();
  const Record opus = read_record(kOpus, *ws);
  const std::size_t n = opus.samples.size() / 2;
  const quality::Centerburst c = quality::find_centerburst(opus.samples);
  ASSERT_GT(c.amplitude, 0.0);
  EXPECT_NEAR(c.mean / c.amplitude, 0.70, 0.05);  // the sample channel carries DC
  struct Case {
    const char* what;
    std::function<void(std::vector<double>&)> fault;
    Check caught;
    std::uint32_t also = 0;  // may fire with it
  };
  const Case cases[] = {
      {"a saturated top: every sample above the burst's third largest set to it",
       [&](std::vector<double>& y) {
         const auto j = std::size_t(c.index);
         const double level = std::min({y[j - 1], y[j], y[j + 1]});
         for (double& v : y) v = std::min(v, level);
       },
       Check::kClipping, bit(Check::kZpd)},  // the flat top's first sample may lie off the burst
      {"a linear drift to 20 % of the DC over each scan, in acquisition order",
       [&](std::vector<double>& y) {
         for (std::size_t i = 0; i < n; ++i) {
           const double ramp = 0.2 * c.mean * double(i) / double(n - 1);
           y[i] += ramp;
           y[2 * n - 1 - i] += ramp;
         }
       },
       Check::kDcVariation},
      {"the backward scan at 0.8, its DC kept",
       [&](std::vector<double>& y) {
         for (std::size_t i = n; i < 2 * n; ++i) y[i] = c.mean + 0.8 * (y[i] - c.mean);
       },
       Check::kDirections},
      {"a phase swinging by 0.1 rad from point to point", nullptr, Check::kPhase},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    Record r = opus;
    if (k.fault) k.fault(r.samples);
    for (std::size_t i = 0; !k.fault && i < r.angle.size(); ++i) r.angle[i] += i % 2 ? -0.05 : 0.05;
    const quality::Result res = judge(r, *ws);
    EXPECT_EQ(res.mask & ~k.also, bit(k.caught)) << quality::flag_names(res.mask);
  }
}

// An imaging tile (.seq, .drd): a 1020-byte header, the point count (u32) at byte 9, width
// and height (u16) at 24 and 26, then f32 samples band by band.
struct Tile {
  int width = 0, height = 0, points = 0;
  std::vector<double> values;
};

Tile read_tile(const std::string& name) {
  std::ifstream in(kData / "agilent" / name, std::ios::binary);
  const std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
  Tile t;
  t.width = spcfile::get_u16le(b, 24);
  t.height = spcfile::get_u16le(b, 26);
  t.points = int(spcfile::get_u32le(b, 9));
  for (std::size_t i = 1020; i + 4 <= b.size(); i += 4)
    t.values.push_back(spcfile::get_f32le(b, i));
  EXPECT_EQ(t.values.size(), std::size_t(t.width * t.height * t.points)) << name;
  return t;
}

TEST(QualityHeld, TilesPassAndPixelFaultsAreCaught) {
  for (const char* name :
       {"background_agg256.seq", "background_agg1024.seq", "4_noimage_agg256.seq",
        "5_Mosaic_agg1024_0000_0000.drd", "5_Mosaic_agg1024_0000_0001.drd"}) {
    SCOPED_TRACE(name);
    const Tile t = read_tile(name);
    const bool background = std::string(name).starts_with("background");
    for (const quality::Result& r :
         quality::check_tile({t.width, t.height, t.points, t.values, background}, {})) {
      EXPECT_EQ(r.mask, 0u) << quality::flag_names(r.mask);
      EXPECT_EQ(r.value(Check::kPixelSpread).has_value(), background);
    }
  }
  // One pixel of the 8 x 8 background tile: only it is flagged, by the checks meant for it.
  const Tile clean = read_tile("background_agg256.seq");
  const int pixels = clean.width * clean.height, p = 27;
  const auto low = bit(Check::kPixelLow) | bit(Check::kPixelSpread);
  const struct {
    const char* what;
    std::function<void(std::vector<double>&, int)> fault;  // on sample k of the pixel
    std::uint32_t mask;
  } cases[] = {
      {"zeroed", [&](auto& v, int k) { v[std::size_t(k * pixels + p)] = 0.0; }, low},
      {"gain x 0.05", [&](auto& v, int k) { v[std::size_t(k * pixels + p)] *= 0.05; }, low},
      {"shifted by 5 samples",
       [&](auto& v, int k) {
         v[std::size_t(k * pixels + p)] = v[std::size_t(std::max(k - 5, 0) * pixels + p)];
       },
       bit(Check::kZpdTile)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Tile t = clean;
    for (int k = t.points - 1; k >= 0; --k) c.fault(t.values, k);
    const auto results = quality::check_tile({t.width, t.height, t.points, t.values, true}, {});
    for (int q = 0; q < pixels; ++q)
      EXPECT_EQ(results[std::size_t(q)].mask, q == p ? c.mask : 0u) << q;
  }
}

TEST(QualityHeld, AThousandCleanSyntheticRecordsRaiseNoFlag) {
  auto ws = std::make_unique<driver::Workspace>();
  int with_dc = 0;
  for (int k = 0; k < 1000; ++k) {
    // Lengths, sides, DC, bands, dispersion and signs varied with k; 0.5 % noise.
    synth::InterferogramSpec synthetic;
    synthetic.points = k % 3 == 0 ? 4096 : 2048;
    synthetic.center = k % 4 == 1 ? synthetic.points / 2 - 1 : 128 + 37 * (k % 7);
    synthetic.source = {400.0 + 50 * (k % 5),
                   3000.0 + 200 * (k % 6),
                   k % 2 ? synth::EnvelopeShape::kGauss : synth::EnvelopeShape::kPlanck,
                   1300.0,
                   {{1500.0 + 10 * (k % 11), 4.0, 0.6}, {2350.0, 8.0, 0.4}}};
    synthetic.dispersion = k % 5 == 2 ? 2e-7 : 0.0;
    synthetic.peak = k % 8 == 3 ? -5000.0 : 10000.0;
    synthetic.dc = k % 3 == 2 ? 0.7 * synthetic.peak : 0.0;
    synthetic.noise = 0.005;
    synthetic.seed = std::uint64_t(1000 + k);
    Record r;
    r.path = "synthetic " + std::to_string(k);
    r.samples = synth::make_interferogram(synthetic);
    r.stored = synthetic.center;
    find_phase(r, *ws);
    const quality::Result res = judge(r, *ws);
    EXPECT_EQ(res.mask, 0u) << r.path << ": " << quality::flag_names(res.mask);
    EXPECT_TRUE(res.value(Check::kZpd) && res.value(Check::kPhase)) << r.path;
    with_dc += res.value(Check::kDcVariation) ? 1 : 0;
  }
  EXPECT_EQ(with_dc, 333);
}

}  // namespace
}  // namespace ftir::testing
