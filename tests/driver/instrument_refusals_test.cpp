// What an instrument file states that the converter cannot honour, refused with the
// parameter named instead of replaced by a default; channels without signal; options that
// cannot apply to the file; the refusals' numbers worked out by hand from the files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "driver/batch.h"
#include "driver/instrument.h"
#include "driver/memory.h"
#include "omnicfile/reader.h"
#include "opusfile/reader.h"
#include "support/instrument_images.h"
#include "transform/instrument_path.h"

namespace ftir::driver {
namespace {

using testing::OpusBuilder;
using testing::OpusEntry;
const std::filesystem::path kFiles = FTIR_SOURCE_DIR "/tests/data";

Workspace& workspace() {
  static const auto ws = std::make_unique<Workspace>();
  return *ws;
}

// A convertible file of 64 points, centerburst at 20, sampled every 2 fringes of a laser at
// 15798 cm-1 (grid to 7899 cm-1), whose parameters a case replaces: each change puts an
// entry in place of the block's entry of that key; a change of key "-" drops the block.
using Change = std::pair<std::uint32_t, OpusEntry>;
testing::ByteImage small_file(const std::vector<Change>& changes, float scale = 1.0f,
                              bool reference = false, float reference_scale = 1.0f) {
  std::vector<std::pair<std::uint32_t, std::vector<OpusEntry>>> blocks = {
      {0x20, {{"LWN", 15798.0}, {"HFL", 7899.0}, {"SSP", 2}, {"PKL", 20}}},
      {0x30, {{"AQM", "SN", 3}, {"RES", 400.0}}},
      {0x40,
       {{"APF", "B3", 3},
        {"PHR", 1000.0},
        {"PHZ", "ML", 3},
        {"ZFF", "2", 3},
        {"LFQ", 4000.0},
        {"HFQ", 400.0}}}};
  OpusBuilder b;
  for (auto& [type, entries] : blocks) {
    bool dropped = false;
    for (const auto& [at, entry] : changes) {
      if (at != type) continue;
      dropped = dropped || entry.key == "-";
      std::erase_if(entries, [&entry](const OpusEntry& e) { return e.key == entry.key; });
      entries.push_back(entry);
    }
    if (!dropped) b.parameters(type, entries);
  }
  std::vector<float> ig(64);
  for (std::size_t i = 0; i < ig.size(); ++i) ig[i] = 0.1f * static_cast<float>((i * 7) % 11) - 0.5f;
  ig[20] = 9.0f;
  auto scaled = [&ig](float by) {
    std::vector<float> out = ig;
    for (float& v : out) v *= by;
    return out;
  };
  std::vector<OpusEntry> status = {{"NPT", 64}, {"FXV", 0.0}, {"LXV", 63.0}, {"CSF", 1.0}};
  for (const auto& [at, entry] : changes) {
    if (at == 0x817) status.back() = entry;  // a CSF of its own
  }
  b.floats(0x807, scaled(scale)).parameters(0x817, status);
  if (reference) {
    b.floats(0x80B, scaled(reference_scale))
        .parameters(0x81B, {{"NPT", 64}, {"FXV", 0.0}, {"LXV", 63.0}, {"CSF", 1.0}});
  }
  return b.build().bytes;
}

opusfile::OpusRead read_small(const testing::ByteImage& bytes) {
  static std::vector<double> yin(64);
  return opusfile::read_opus("small.0", bytes, std::nullopt, yin);
}

std::string reason_of(const values::Interferogram& ig, const ConversionSettings& s = {}) {
  return convert_in_memory(ig, s, workspace()).record.reason;
}

values::Interferogram read_shared(const char* file, const ReadOptions& options = {}) {
  const ReadOutcome read = read_interferogram((kFiles / file).string(), workspace(), options);
  EXPECT_FALSE(read.refused) << file;
  return read.ig;
}

TEST(InstrumentRefusals, StatedParametersTheConverterCannotHonourAreNamed) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const opusfile::OpusRead sound = read_small(small_file({}));
  ASSERT_FALSE(sound.refused);
  EXPECT_EQ(reason_of(sound.ig), "");
  const std::vector<std::tuple<std::vector<Change>, std::string>> cases = {
      {{{0x40, {"ZFF", "abc", 3}}}, "its ZFF \"abc\" is not a whole number; --zero-fill replaces it"},
      {{{0x40, {"ZFF", "1e9", 3}}}, "its ZFF \"1e9\" is not a whole number; --zero-fill replaces it"},
      {{{0x40, {"ZFF", "-2", 3}}}, "its ZFF \"-2\" is not a whole number; --zero-fill replaces it"},
      {{{0x40, {"ZFF", 1 << 30}}},
       "its zero filling factor (ZFF 1073741824) is not 1, 2, 4, 8 or 16; --zero-fill chooses one"},
      {{{0x40, {"APF", "", 3}}}, "its APF is stated empty; --window replaces it"},
      {{{0x40, {"PHZ", "", 3}}}, "its PHZ is stated empty; --phase replaces it"},
      {{{0x30, {"AQM", "XX", 3}}},
       "its acquisition mode (AQM \"XX\") is not one this converter knows (SN, SF, SD, DN, DF or "
       "DD); the converter cannot honour it"},
      {{{0x40, {"NLI", 7}}},
       "its nonlinearity correction (NLI 7) is not 0 or 1; the converter cannot honour it"},
      {{{0x40, {"NLI", 1}}, {0x20, {"NLA", 0.0}}, {0x20, {"NLB", 0.0}}},
       "its nonlinearity correction (NLI 1) states no usable NLA and NLB (NLA 0, NLB 0); the "
       "converter cannot honour it"},
      {{{0x40, {"HFQ", "abc", 2}}}, "its HFQ \"abc\" is text, not a number; --range replaces it"},
      {{{0x40, {"HFQ", -0.0107}}},
       "its range (LFQ 4000, HFQ -0.0107 cm-1) lies outside 0 to the folding limit, 7899 cm-1; "
       "--range replaces it"},
      {{{0x40, {"-", 0}}},
       "it holds no transform parameter block (APF, PHZ, ZFF, ...), which states how the "
       "instrument converted it; the converter cannot honour it"},
      {{{0x20, {"LWN", 6.5e-10}}},
       "its laser wavenumber (LWN 6.5e-10 cm-1) is not a plausible one (5000 to 50000 cm-1); "
       "--laser replaces it"},
      {{{0x20, {"HFL", 1e-9}}},
       "its sample spacing (LWN / HFL = 15797999999999.998, SSP 2) is not a whole number of laser "
       "fringes from 1 to 256; the converter cannot honour it"},
      {{{0x20, {"SSP", 3}}},
       "its sample spacing (LWN / HFL = 2, SSP 3) is not a whole number of laser fringes from 1 "
       "to 256; the converter cannot honour it"},
      {{{0x30, {"RES", 0.0}}}, "its resolution (RES 0 cm-1) is not a number above 0; --res replaces it"},
      {{{0x30, {"RES", nan}}},
       "its resolution (RES nan cm-1) is not a number above 0; --res replaces it"},
      // The long side ends inside the 44 samples from the centerburst on: 43 at most, the
      // finest resolution 0.9 * 2 * 7899 / 43 = 330.6558 cm-1.
      {{{0x30, {"RES", 1e-9}}},
       "its resolution (RES 1e-09 cm-1) is finer than the record holds: the finest is 330.7 cm-1"},
      // The phase piece |n| <= P needs P <= 20 before the centerburst: 0.9 * 2 * 7899 / 20 =
      // 710.91, rounded up.
      {{{0x40, {"PHR", 1e-300}}},
       "its phase resolution (PHR 1e-300 cm-1) is finer than the record holds: the finest is "
       "711 cm-1"},
  };
  for (const auto& [changes, reason] : cases) {
    SCOPED_TRACE(reason);
    const opusfile::OpusRead r = read_small(small_file(changes));
    ASSERT_FALSE(r.refused) << r.refused->skip_text();
    EXPECT_EQ(reason_of(r.ig), reason);
  }
  // The option the refusal names replaces the value; the finest resolution named converts.
  ConversionSettings s;
  s.zero_fill = 2;
  EXPECT_EQ(reason_of(read_small(small_file({{0x40, {"ZFF", "abc", 3}}})).ig, s), "");
  s.res = 330.7;
  s.res_given = true;
  EXPECT_EQ(reason_of(read_small(small_file({{0x30, {"RES", 1e-9}}})).ig, s), "");
}

TEST(InstrumentRefusals, PartsTheFileDoesNotStateAreShownWithTheirDefaults) {
  const opusfile::OpusRead r = read_small(small_file({}));
  values::Interferogram ig = r.ig;
  auto facts = std::make_shared<values::Instrument>(*ig.instrument);
  facts->parameters.apf.clear();
  facts->parameters.phz.clear();
  facts->parameters.zff.reset();
  facts->parameters.lfq.reset();
  facts->parameters.hfq.reset();
  ig.instrument = facts;
  const InstrumentPlan plan = plan_instrument(ig, nullptr);
  ASSERT_FALSE(plan.refused);
  EXPECT_EQ(plan.used.not_stated_text(),
            "window (not stated: happ-genzel), phase (not stated: mertz), zero filling (not "
            "stated: 1), range (not stated: 400 to 4000 cm-1), nonlinearity correction (not "
            "stated: none)");
  InstrumentUsed used = plan.used;
  used.output = "single channel";
  EXPECT_EQ(processing_text(used, 1),
            "OPUS IgSm, window (not stated: happ-genzel), phase (not stated: mertz) at 1000 "
            "cm-1, resolution 400 cm-1, zero filling (not stated: 1), transform 0 points, range "
            "(not stated: 400 to 4000 cm-1), nonlinearity correction (not stated: none)");
  // A file that states them all names none; OMNIC states its transform alone.
  EXPECT_EQ(plan_instrument(read_shared("opus/test.0000"), nullptr).used.not_stated_text(), "");
  EXPECT_EQ(plan_instrument(read_shared("omnic/interfero.SPA"), nullptr).used.not_stated_text(),
            "window (not stated: happ-genzel), phase (not stated: mertz), phase resolution (not "
            "stated: the short side), resolution (not stated: every sample), range (not stated: "
            "400 to 4000 cm-1)");
}

TEST(InstrumentRefusals, AChannelWithoutSignalGivesNoSpectrumAndNoRatio) {
  const std::string none = "no signal remains after the mean is removed";
  EXPECT_EQ(reason_of(read_small(small_file({}, 0.0f)).ig), none);
  // CSF 0 scales every sample to 0; a constant keeps nothing once its mean is removed.
  EXPECT_EQ(reason_of(read_small(small_file({{0x817, {"CSF", 0.0}}})).ig), none);
  values::Interferogram constant = read_small(small_file({})).ig;
  std::vector<double> quarter(64, 0.25);
  constant.samples = quarter;
  EXPECT_EQ(reason_of(constant), none);
  ConversionSettings ratio;
  ratio.ratio = Ratio::kAbsorbance;
  const auto dir = std::filesystem::temp_directory_path() / "instrument_refusals_test";
  std::filesystem::create_directories(dir);
  auto write = [&dir](const char* name, const testing::ByteImage& bytes) {
    const std::string path = (dir / name).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  };
  const std::string with_zero_reference = write("zero_ref.0", small_file({}, 1.0f, true, 0.0f));
  ReadOutcome read = read_interferogram(with_zero_reference, workspace());
  ASSERT_FALSE(read.refused);
  EXPECT_EQ(convert_in_memory(read.ig, ratio, workspace()).record.reason,
            "its reference channel (IgRf) holds no signal, so the absorbance has no value");
  const std::string both = write("both.0", small_file({}, 1.0f, true, 0.5f));
  read = read_interferogram(both, workspace());
  const MemorySpectrum a = convert_in_memory(read.ig, ratio, workspace());
  ASSERT_EQ(a.record.status, FileStatus::kConverted) << a.record.reason;
  // Twice the reference's signal in the sample: A = -log10(2) at every point.
  for (const double y : a.y) EXPECT_NEAR(y, -std::log10(2.0), 1e-12);
  std::filesystem::remove_all(dir);

  // The clamp the converter and spc-tool share: T at or below 1e-6 gives A = 6.
  const std::pair<double, double> absorbances[] = {
      {0.01, 2.0}, {1.0, 0.0}, {1e-6, 6.0}, {1e-7, 6.0}, {0.0, 6.0}, {-3.0, 6.0}};
  for (const auto& [t, a_of_t] : absorbances) EXPECT_EQ(transform::absorbance_of(t), a_of_t) << t;
}

TEST(InstrumentRefusals, OptionsThatCannotApplyToTheFileSaySo) {
  ConversionSettings absorbance;
  absorbance.ratio = Ratio::kAbsorbance;
  EXPECT_EQ(reason_of(read_shared("opus/background.0"), absorbance),
            "--absorbance needs the sample and reference channels; the file holds one (IgRf)");
  ConversionSettings transmittance;
  transmittance.ratio = Ratio::kTransmittance;
  EXPECT_EQ(reason_of(read_shared("omnic/interfero.SPA"), transmittance),
            "--transmittance needs the sample and reference channels; the file holds one (data)");
  ConversionSettings backward;
  backward.direction = Direction::kBackward;
  EXPECT_EQ(reason_of(read_shared("opus/test.0000"), backward),
            "--direction backward: the record holds one scan (AQM \"SN\")");
  const ReadOutcome reference = read_interferogram(
      (kFiles / "omnic/interfero.SPA").string(), workspace(), ReadOptions{values::Channel::kReference});
  ASSERT_TRUE(reference.refused);
  EXPECT_EQ(reference.refused->skip_text(),
            "it holds no background interferogram, only the sample's: a file of one channel");
}

TEST(InstrumentRefusals, LimitsOfTheRecordAreNamedInTheFilesTerms) {
  // test.0000: 3177 points, centerburst 562 (PKL), grid to HFL 5265.98741733 cm-1. The long
  // side ends inside the 2615 samples from the centerburst on: the finest resolution is
  // 0.9 * 2 * 5265.98741733 / 2614 = 3.62616 cm-1.
  const values::Interferogram opus = read_shared("opus/test.0000");
  ConversionSettings s;
  s.res_given = true;
  s.res = 0.01;
  EXPECT_EQ(reason_of(opus, s),
            "--res 0.01 cm-1 is finer than the record holds: the finest is 3.627 cm-1");
  s.res = 3.627;
  EXPECT_EQ(reason_of(opus, s), "");
  ConversionSettings zpd;
  zpd.zpd = Zpd{ZpdMode::kIndex, 3178};
  EXPECT_EQ(reason_of(opus, zpd), "--zpd 3178 lies beyond the 3177 points of a scan (1 to 3177)");

  // interfero.SPA: 16384 transform points, grid to 15798.26 / 2 cm-1; --res 64 takes a long
  // side of 0.9 * 2 * 7899.13 / 64 = 222.2 points, 256 unfilled: 64 times fewer.
  ConversionSettings coarse;
  coarse.res_given = true;
  coarse.res = 64.0;
  EXPECT_EQ(reason_of(read_shared("omnic/interfero.SPA"), coarse),
            "its header's transform length (16384 points) is 64 times the 256 points --res 64 "
            "cm-1 needs: a zero filling beyond 16; --zero-fill chooses one");
  // Its header's sampling facts damaged: the transform length (header section at 560, the
  // field at +44), the laser (+80).
  const testing::ByteImage image = testing::read_file_bytes(kFiles / "omnic/interfero.SPA");
  std::vector<std::tuple<std::size_t, std::uint32_t, std::string>> damaged = {
      {640, 0x3032ABAFu,  // f32 6.5e-10
       "its header's laser wavenumber (6.5e-10 cm-1) is not a plausible one (5000 to 50000 "
       "cm-1); --laser replaces it"}};
  for (const std::uint32_t n : {0u, 1u, 3u, 4095u, 0xFFFFFFFFu}) {
    damaged.emplace_back(604, n, "its header's transform length (" + std::to_string(n) +
                                     " points) is not a power of two from 2 to 524288");
  }
  static std::vector<double> yin(Workspace::kSamples);
  for (const auto& [at, value, reason] : damaged) {
    SCOPED_TRACE(reason);
    testing::ByteImage bytes = image;
    testing::set_le(bytes, at, value, 4);
    const omnicfile::SpaRead r = omnicfile::read_spa("damaged.SPA", bytes, std::nullopt, yin);
    ASSERT_FALSE(r.refused);
    const std::string got = reason_of(r.ig);
    EXPECT_EQ(got.substr(0, reason.size()), reason);
  }
}

}  // namespace
}  // namespace ftir::driver
