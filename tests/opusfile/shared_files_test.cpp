// The instrument files the project carries (tests/data) read as the
// converter reads them: the facts each holds, from the folder's README (read there with a
// reader written apart from this one), and the interferogram's scale against the maximum
// and minimum the file itself states (MXY, MNY).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <tuple>
#include <vector>

#include "driver/batch.h"
#include "omnicfile/spa_file.h"
#include "opusfile/opus_file.h"

namespace ftir {
namespace {

const std::filesystem::path kFiles = FTIR_SOURCE_DIR "/tests/data";

std::vector<unsigned char> bytes_of(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct CurveFacts {
  int points = 0;  // 0: the file holds none
  double first = 0.0, last = 0.0;
};

struct OpusFacts {
  const char* file;
  int blocks;
  const char* block;
  int npt, scans;
  double lwn;
  const char* aqm;
  int ssp;
  double hfl, phr, res, lfq, hfq;
  int zff, pkl;
  double max, min;  // MXY and MNY of the interferogram's status block
  CurveFacts scsm, scrf, phsm;
  int ab, tr;  // points of the absorbance and transmittance, 0 for none
};

// clang-format off
const OpusFacts kOpus[] = {
    {"test.0000", 23, "IgSm", 3177, 1, 15797.962252, "SN", 3, 5265.99, 32, 4, 4000, 700, 2, 562,
     0.10845895111560822, -0.1529921293258667,
     {2567, 3998.3, 699.4}, {2573, 4003.5, 696.8}, {512, 5255.7, 0.0}, 2567, 0},
    {"background.0", 11, "IgRf", 3177, 1, 15797.962252, "SN", 3, 5265.99, 32, 4, 4000, 700, 2, 562,
     0.11662081629037857, -0.16097521781921387, {}, {4096, 5264.7, 0.0}, {}, 0, 0},
    {"example_opus.0", 23, "IgSm", 8132, 2, 15799.6875, "DD", 1, 15799.6875, 32, 16, 7000, 400, 2,
     2033, 0.01107940822839737, -0.001348648453131318,
     {856, 6989.5, 393.4}, {862, 7020.4, 378.0}, {1024, 15784.3, 0.0}, 0, 856},
};
// clang-format on

void expect_curve(const std::optional<values::StoredCurve>& curve, const CurveFacts& facts) {
  if (facts.points == 0) {
    EXPECT_FALSE(curve);
    return;
  }
  ASSERT_TRUE(curve);
  EXPECT_EQ(curve->values.size(), static_cast<std::size_t>(facts.points));
  EXPECT_NEAR(curve->x_first, facts.first, 0.05);
  EXPECT_NEAR(curve->x_last, facts.last, 0.05);
}

TEST(InstrumentFiles, OpusFilesGiveTheirStatedFacts) {
  auto ws = std::make_unique<driver::Workspace>();
  for (const OpusFacts& f : kOpus) {
    SCOPED_TRACE(f.file);
    const auto path = kFiles / "opus" / f.file;
    const opusfile::OpusParse parse = opusfile::parse_opus(bytes_of(path));
    ASSERT_FALSE(parse.refused);
    EXPECT_EQ(parse.file.blocks.size(), static_cast<std::size_t>(f.blocks));

    const driver::ReadOutcome r = driver::read_interferogram(path.string(), *ws);
    ASSERT_FALSE(r.refused);
    EXPECT_EQ(r.ig.format, values::SourceFormat::kOpus);
    ASSERT_EQ(r.ig.samples.size(), static_cast<std::size_t>(f.npt));
    EXPECT_EQ(r.ig.samples.data(), ws->yin.data());
    // CSF applied: the samples' extremes are the ones the file states, to f32 rounding.
    const auto [lo, hi] = std::minmax_element(r.ig.samples.begin(), r.ig.samples.end());
    EXPECT_NEAR(*hi, f.max, 1e-7 * f.max);
    EXPECT_NEAR(*lo, f.min, -1e-7 * f.min);
    ASSERT_TRUE(r.ig.instrument);
    const values::Instrument& in = *r.ig.instrument;
    const values::InstrumentParameters& p = in.parameters;
    EXPECT_EQ(std::tuple(in.block, in.scans, in.scan_points, p.aqm, p.apf, p.phz),
              std::tuple(f.block, f.scans, f.npt / f.scans, f.aqm, "B3", "ML"));
    EXPECT_EQ(std::tuple(p.npt, p.lwn, p.ssp, p.phr, p.res, p.lfq, p.hfq, p.zff, p.pkl),
              std::tuple(f.npt, f.lwn, f.ssp, f.phr, f.res, f.lfq, f.hfq, f.zff, f.pkl));
    ASSERT_TRUE(p.hfl);
    EXPECT_NEAR(*p.hfl, f.hfl, 0.01);
    expect_curve(in.sample_spectrum, f.scsm);
    expect_curve(in.reference_spectrum, f.scrf);
    expect_curve(in.sample_phase, f.phsm);
    EXPECT_EQ(in.absorbance ? in.absorbance->values.size() : 0u, static_cast<std::size_t>(f.ab));
    EXPECT_EQ(in.transmittance ? in.transmittance->values.size() : 0u,
              static_cast<std::size_t>(f.tr));
  }
}

TEST(InstrumentFiles, TheReferenceChannelCanBeChosen) {
  auto ws = std::make_unique<driver::Workspace>();
  const std::string test = (kFiles / "opus/test.0000").string();
  const driver::ReadOutcome r =
      driver::read_interferogram(test, *ws, {values::Channel::kReference});
  ASSERT_FALSE(r.refused);
  EXPECT_EQ(r.ig.instrument->block, "IgRf");
  EXPECT_EQ(r.ig.instrument->channel, values::Channel::kReference);
  const auto hi = std::max_element(r.ig.samples.begin(), r.ig.samples.end());
  EXPECT_NEAR(*hi, 0.11662081629037857, 1e-8);  // the reference's MXY, not the sample's
  // A background file holds no sample channel.
  const driver::ReadOutcome none = driver::read_interferogram(
      (kFiles / "opus/background.0").string(), *ws, {values::Channel::kSample});
  ASSERT_TRUE(none.refused);
  EXPECT_EQ(none.refused->code, values::Refusal::kNoInterferogram);
}

TEST(InstrumentFiles, SpaPairHoldsOneInterferogramAndItsSpectrum) {
  auto ws = std::make_unique<driver::Workspace>();
  const driver::ReadOutcome ifg =
      driver::read_interferogram((kFiles / "omnic/interfero.SPA").string(), *ws);
  ASSERT_FALSE(ifg.refused);
  EXPECT_EQ(ifg.ig.format, values::SourceFormat::kOmnic);
  ASSERT_EQ(ifg.ig.samples.size(), 4160u);
  const std::vector<double> first(ifg.ig.samples.begin(), ifg.ig.samples.end());
  // The centerburst, at point 65 (1-based).
  EXPECT_EQ(std::max_element(first.begin(), first.end()) - first.begin(), 64);
  const values::InstrumentParameters& p = ifg.ig.instrument->parameters;
  EXPECT_EQ(std::tuple(ifg.ig.x.first, ifg.ig.x.last, ifg.ig.laser, p.ssp, p.hfl),
            std::tuple(0.0, 4159.0, 15798.26, 2, 15798.26 / 2.0));
  EXPECT_FALSE(ifg.ig.instrument->sample_spectrum);

  // The spectrum file carries the same interferogram beside the spectrum computed from it,
  // on the grid laser / (transform points), from high to low wavenumber.
  const auto spectre = kFiles / "omnic/spectre.SPA";
  const driver::ReadOutcome with_spectrum = driver::read_interferogram(spectre.string(), *ws);
  ASSERT_FALSE(with_spectrum.refused);
  EXPECT_EQ(std::vector<double>(with_spectrum.ig.samples.begin(), with_spectrum.ig.samples.end()),
            first);
  const auto& curve = with_spectrum.ig.instrument->sample_spectrum;
  ASSERT_TRUE(curve);
  EXPECT_EQ(curve->values.size(), 3734u);
  EXPECT_NEAR(curve->x_first, 3999.706, 1e-3);
  EXPECT_NEAR(curve->x_last, 400.163, 1e-3);
  const omnicfile::SpaParse parse = omnicfile::parse_spa(bytes_of(spectre));
  ASSERT_FALSE(parse.refused);
  EXPECT_EQ(parse.file.header.transform_points, 16384u);
  EXPECT_NEAR(curve->x_step(), -parse.file.header.laser / 16384.0, 1e-5);
  // No background interferogram is stored.
  const driver::ReadOutcome bg =
      driver::read_interferogram(spectre.string(), *ws, {values::Channel::kReference});
  ASSERT_TRUE(bg.refused);
  EXPECT_EQ(bg.refused->code, values::Refusal::kNoInterferogram);
}

}  // namespace
}  // namespace ftir
