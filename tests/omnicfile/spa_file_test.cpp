// The SPA reader on small hand-made files: an interferogram saved as such, a spectrum with
// its interferogram beside it, then the layout corrupted one field at a time.
#include "omnicfile/spa_file.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>
#include <vector>

#include "omnicfile/reader.h"
#include "support/instrument_images.h"

namespace ftir::omnicfile {
namespace {

using testing::f32_values;
using testing::set_le;
using testing::spa_header;
using testing::SpaImage;
using values::Refusal;

// Header (6 points of an interferogram, laser 15800, every 2 fringes), then the data.
SpaImage interferogram_file() {
  return testing::spa_image({{2, spa_header(6, 2, 0.0f, 5.0f, 15800.0f, 2.0f)},
                             {27, f32_values({0})},
                             {3, f32_values({1, -2, 7, -2, 1, 0.5f})}});
}

SpaRead read(const testing::ByteImage& bytes, std::optional<values::Channel> channel = {}) {
  static std::vector<double> yin(64);
  return read_spa("small.SPA", bytes, channel, yin);
}

TEST(SpaFile, InterferogramFileGivesItsSamplesAndSampling) {
  const SpaRead r = read(interferogram_file().bytes);
  ASSERT_FALSE(r.refused);
  EXPECT_EQ(r.ig.format, values::SourceFormat::kOmnic);
  EXPECT_EQ(std::vector<double>(r.ig.samples.begin(), r.ig.samples.end()),
            (std::vector<double>{1, -2, 7, -2, 1, 0.5}));
  const values::InstrumentParameters& p = r.ig.instrument->parameters;
  EXPECT_EQ(std::tuple(r.ig.x.last, r.ig.xinc, r.ig.laser, p.hfl, p.ssp),
            std::tuple(5.0, 1.0, 15800.0, 7900.0, 2));
  EXPECT_FALSE(r.ig.instrument->sample_spectrum);
}

TEST(SpaFile, SpectrumFileGivesTheInterferogramBesideIt) {
  const SpaImage image =
      testing::spa_image({{2, spa_header(3, 1, 3000.0f, 1000.0f, 15800.0f, 2.0f)},
                          {3, f32_values({0.25f, 0.5f, 0.75f})},
                          {102, f32_values({3, 9, 3, 1})}});
  const SpaRead r = read(image.bytes);
  ASSERT_FALSE(r.refused);
  EXPECT_EQ(std::vector<double>(r.ig.samples.begin(), r.ig.samples.end()),
            (std::vector<double>{3, 9, 3, 1}));
  const auto& curve = r.ig.instrument->sample_spectrum;
  ASSERT_TRUE(curve);
  EXPECT_EQ(curve->values, (std::vector<float>{0.25f, 0.5f, 0.75f}));
  EXPECT_EQ(curve->x_step(), -1000.0);
  const SpaRead bg = read(image.bytes, values::Channel::kReference);
  ASSERT_TRUE(bg.refused);
  EXPECT_EQ(bg.refused->code, Refusal::kNoInterferogram);
}

using Damage = std::tuple<const char*, Refusal, void (*)(SpaImage& image)>;  // what, code, apply

void put(SpaImage& image, std::size_t at, std::uint64_t value, int bytes) {
  set_le(image.bytes, at, value, bytes);
}

using enum Refusal;
// clang-format off
const Damage kDamages[] = {
    {"header cut short", kShortHeader, [](auto& i) { i.bytes.resize(300); }},
    {"directory past the end", kBlockOutside, [](auto& i) { put(i, 294, 0xFFFF, 2); }},
    {"section past the end", kBlockOutside, [](auto& i) { put(i, i.entry(2) + 6, 25, 4); }},
    {"section offset past the end", kBlockOutside,
     [](auto& i) { put(i, i.entry(2) + 2, 0xFFFFFFF0u, 4); }},
    {"no header section", kNoParameterBlock, [](auto& i) { put(i, i.entry(0), 9, 1); }},
    {"header section too short", kBadParameters, [](auto& i) { put(i, i.entry(0) + 6, 40, 4); }},
    {"points beyond the data", kPointsBeyondBlock, [](auto& i) { put(i, i.offsets[0] + 4, 7, 4); }},
    {"points beyond the capacity", kTooManyPoints,
     [](auto& i) { put(i, i.offsets[0] + 4, 0xFFFFFFFFu, 4); }},
    {"a sample infinite", kNotFinite,
     [](auto& i) {
       testing::set_f32(i.bytes, i.offsets[2] + 4, std::numeric_limits<float>::infinity());
     }},
    {"a spectrum without its interferogram", kNoInterferogram,
     [](auto& i) { put(i, i.offsets[0] + 8, 1, 1); }},
};
// clang-format on

TEST(SpaFile, EachDamageIsRefusedWithItsReason) {
  for (const auto& [what, code, apply] : kDamages) {
    SCOPED_TRACE(what);
    SpaImage image = interferogram_file();
    apply(image);
    const SpaRead r = read(image.bytes);
    ASSERT_TRUE(r.refused);
    EXPECT_EQ(r.refused->code, code);
    EXPECT_TRUE(r.ig.samples.empty());
    // In the format's own words: sections, no OPUS parameter names.
    const std::string reason = r.refused->skip_text();
    for (const char* other : {"block", "NPT", "HFL", "ZFF"}) {
      EXPECT_EQ(reason.find(other), std::string::npos) << reason;
    }
  }
}

}  // namespace
}  // namespace ftir::omnicfile
