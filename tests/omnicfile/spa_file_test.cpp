// The SPA reader on small hand-made files: an interferogram saved as such, a spectrum with
// its interferogram beside it, then the layout corrupted one field at a time.
#include "omnicfile/spa_file.h"

#include <gtest/gtest.h>

#include <limits>
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
  EXPECT_EQ(r.ig.x.last, 5.0);
  EXPECT_EQ(r.ig.xinc, 1.0);
  EXPECT_EQ(r.ig.laser, 15800.0);
  EXPECT_EQ(r.ig.instrument->parameters.hfl, 7900.0);
  EXPECT_EQ(r.ig.instrument->parameters.ssp, 2);
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
  ASSERT_TRUE(r.ig.instrument->sample_spectrum);
  EXPECT_EQ(r.ig.instrument->sample_spectrum->values, (std::vector<float>{0.25f, 0.5f, 0.75f}));
  EXPECT_EQ(r.ig.instrument->sample_spectrum->x_step(), -1000.0);
  const SpaRead bg = read(image.bytes, values::Channel::kReference);
  ASSERT_TRUE(bg.refused);
  EXPECT_EQ(bg.refused->code, Refusal::kNoInterferogram);
}

struct Damage {
  const char* what;
  void (*apply)(SpaImage& image);
  Refusal code;
};

const Damage kDamages[] = {
    {"header cut short", [](SpaImage& i) { i.bytes.resize(300); }, Refusal::kShortHeader},
    {"directory past the end", [](SpaImage& i) { set_le(i.bytes, 294, 0xFFFF, 2); },
     Refusal::kBlockOutside},
    {"section past the end", [](SpaImage& i) { set_le(i.bytes, SpaImage::entry(2) + 6, 25, 4); },
     Refusal::kBlockOutside},
    {"section offset past the end",
     [](SpaImage& i) { set_le(i.bytes, SpaImage::entry(2) + 2, 0xFFFFFFF0u, 4); },
     Refusal::kBlockOutside},
    {"no header section", [](SpaImage& i) { set_le(i.bytes, SpaImage::entry(0), 9, 1); },
     Refusal::kNoParameterBlock},
    {"header section too short",
     [](SpaImage& i) { set_le(i.bytes, SpaImage::entry(0) + 6, 40, 4); }, Refusal::kBadParameters},
    {"points beyond the data", [](SpaImage& i) { set_le(i.bytes, i.offsets[0] + 4, 7, 4); },
     Refusal::kPointsBeyondBlock},
    {"points beyond the capacity",
     [](SpaImage& i) { set_le(i.bytes, i.offsets[0] + 4, 0xFFFFFFFFu, 4); },
     Refusal::kTooManyPoints},
    {"a sample infinite",
     [](SpaImage& i) {
       testing::set_f32(i.bytes, i.offsets[2] + 4, std::numeric_limits<float>::infinity());
     },
     Refusal::kNotFinite},
    {"a spectrum without its interferogram",
     [](SpaImage& i) { set_le(i.bytes, i.offsets[0] + 8, 1, 1); }, Refusal::kNoInterferogram},
};

TEST(SpaFile, EachDamageIsRefusedWithItsReason) {
  for (const Damage& d : kDamages) {
    SCOPED_TRACE(d.what);
    SpaImage image = interferogram_file();
    d.apply(image);
    const SpaRead r = read(image.bytes);
    ASSERT_TRUE(r.refused);
    EXPECT_EQ(r.refused->code, d.code);
    EXPECT_TRUE(r.ig.samples.empty());
  }
}

}  // namespace
}  // namespace ftir::omnicfile
