// The OPUS reader on a small hand-made file: the blocks that count, the points and scale of
// each, the channel's parameters; then the same file corrupted one field at a time, each
// refused with its reason and nothing read outside the image.
#include "opusfile/opus_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "opusfile/reader.h"
#include "support/instrument_images.h"

namespace ftir::opusfile {
namespace {

using testing::OpusBuilder;
using testing::OpusImage;
using testing::set_le;
using values::Refusal;

// Directory order: 0 instrument, 1 acquisition, 2 transform, 3 a stale IgSm, 4 the IgSm
// that counts (9 words, NPT 8), 5 its status block, 6 ScSm, 7 its status block (X stored
// from high to low).
OpusImage small_file(const std::string& aqm = "SN") {
  return OpusBuilder()
      .parameters(0x20, {{"LWN", 15800.0}, {"HFL", 7900.0}, {"SSP", 1}, {"PKL", 3}})
      .parameters(0x30, {{"AQM", aqm, 3}, {"RES", 4.0}})
      .parameters(0x40, {{"APF", "BX", 3},
                         {"PHR", 16.0},
                         {"PHZ", "MC", 3},
                         {"ZFF", "4", 3},
                         {"LFQ", 4000.0},
                         {"HFQ", 400.0}})
      .floats(0x807, {9, 9, 9, 9, 9, 9, 9, 9, 9})
      .floats(0x807, {1, 2, 3, 8, 3, 2, 1, 0, 99})
      .parameters(0x817, {{"NPT", 8}, {"FXV", 0.0}, {"LXV", 7.0}, {"CSF", 0.5}, {"DPF", 1}})
      .floats(0x407, {4, 3, 2, 1})
      .parameters(0x417, {{"NPT", 4}, {"FXV", 3000.0}, {"LXV", 1500.0}, {"CSF", 2.0}})
      .build();
}

OpusRead read(const testing::ByteImage& bytes,
              std::optional<values::Channel> channel = std::nullopt) {
  static std::vector<double> yin(64);
  return read_opus("small.0", bytes, channel, yin);
}

TEST(OpusFile, SmallFileGivesTheLaterIgSmWithItsParameters) {
  const OpusImage image = small_file();
  const OpusParse parse = parse_opus(image.bytes);
  ASSERT_FALSE(parse.refused);
  ASSERT_EQ(parse.file.blocks.size(), 8u);
  EXPECT_TRUE(parse.file.blocks[3].superseded);
  EXPECT_FALSE(parse.file.blocks[4].superseded);
  EXPECT_EQ(block_name(parse.file.blocks[4].type), "IgSm");
  EXPECT_EQ(block_name(parse.file.blocks[5].type), "Data status of IgSm");
  EXPECT_EQ(block_name(parse.file.blocks[2].type), "Transform");

  const OpusRead r = read(image.bytes);
  ASSERT_FALSE(r.refused);
  EXPECT_EQ(r.ig.format, values::SourceFormat::kOpus);
  // NPT 8 of the block's 9 values, times CSF 0.5; the stale block's 9s nowhere.
  EXPECT_EQ(std::vector<double>(r.ig.samples.begin(), r.ig.samples.end()),
            (std::vector<double>{0.5, 1, 1.5, 4, 1.5, 1, 0.5, 0}));
  EXPECT_EQ(r.ig.declared_points, 8);
  EXPECT_EQ(r.ig.xinc, 1.0);
  ASSERT_TRUE(r.ig.laser);
  EXPECT_EQ(*r.ig.laser, 15800.0);
  ASSERT_TRUE(r.ig.instrument);
  const values::Instrument& in = *r.ig.instrument;
  EXPECT_EQ(in.block, "IgSm");
  EXPECT_EQ(in.channel, values::Channel::kSample);
  EXPECT_EQ(in.parameters.hfl, 7900.0);
  EXPECT_EQ(in.parameters.ssp, 1);
  EXPECT_EQ(in.parameters.pkl, 3);
  EXPECT_EQ(in.parameters.aqm, "SN");
  EXPECT_EQ(in.parameters.apf, "BX");
  EXPECT_EQ(in.parameters.phz, "MC");
  EXPECT_EQ(in.parameters.zff, 4);
  EXPECT_EQ(in.parameters.phr, 16.0);
  EXPECT_EQ(in.parameters.lfq, 4000.0);
  EXPECT_EQ(in.parameters.hfq, 400.0);
  EXPECT_EQ(in.parameters.csf, 0.5);
  EXPECT_EQ(in.scans, 1);
  ASSERT_TRUE(in.sample_spectrum);
  // Stored from high to low X: kept that way round, the step negative.
  EXPECT_EQ(in.sample_spectrum->x_first, 3000.0);
  EXPECT_EQ(in.sample_spectrum->x_last, 1500.0);
  EXPECT_EQ(in.sample_spectrum->x_step(), -500.0);
  // Kept as stored, the CSF beside them.
  EXPECT_EQ(in.sample_spectrum->values, (std::vector<float>{4, 3, 2, 1}));
  EXPECT_EQ(in.sample_spectrum->y(0), 8.0);
  EXPECT_FALSE(in.reference_spectrum);
}

TEST(OpusFile, ForwardAndBackwardScansSplitTheBlockInHalves) {
  const OpusRead r = read(small_file("DD").bytes);
  ASSERT_FALSE(r.refused);
  EXPECT_EQ(r.ig.instrument->scans, 2);
  EXPECT_EQ(r.ig.instrument->scan_points, 4);
  EXPECT_EQ(r.ig.samples.size(), 8u);
}

// Found by fuzz_opus: a stored curve of no points (its storage null) is read as empty.
TEST(OpusFile, CurveOfNoPointsIsEmpty) {
  OpusImage image = small_file();
  set_le(image.bytes, image.offsets[7] + 8, 0, 4);  // the ScSm status block's NPT
  const OpusRead r = read(image.bytes);
  ASSERT_FALSE(r.refused);
  ASSERT_TRUE(r.ig.instrument->sample_spectrum);
  EXPECT_TRUE(r.ig.instrument->sample_spectrum->values.empty());
}

TEST(OpusFile, ChannelsWithoutTheirInterferogramAreRefused) {
  const OpusImage image = small_file();
  const OpusRead r = read(image.bytes, values::Channel::kReference);
  ASSERT_TRUE(r.refused);
  EXPECT_EQ(r.refused->code, Refusal::kNoInterferogram);
  EXPECT_EQ(r.refused->skip_text(), "it holds no interferogram of the chosen channel");
}

// One field of the small file corrupted; the refusal it must give.
struct Damage {
  const char* what;
  void (*apply)(OpusImage& image);
  Refusal code;
};

// The status block's first entry (NPT): its size field and its value.
std::size_t npt_entry(const OpusImage& image) { return image.offsets[5]; }

const Damage kDamages[] = {
    {"header cut short", [](OpusImage& i) { i.bytes.resize(20); }, Refusal::kShortHeader},
    {"directory past the end", [](OpusImage& i) { set_le(i.bytes, 12, i.bytes.size() - 12, 4); },
     Refusal::kBlockOutside},
    {"negative block count", [](OpusImage& i) { set_le(i.bytes, 20, 0xFFFFFFFFu, 4); },
     Refusal::kBadBlockSize},
    {"negative directory offset", [](OpusImage& i) { set_le(i.bytes, 12, 0x80000000u, 4); },
     Refusal::kBadBlockSize},
    {"negative block size", [](OpusImage& i) { set_le(i.bytes, i.entry(4) + 4, 0xFFFFFFFFu, 4); },
     Refusal::kBadBlockSize},
    {"huge block size", [](OpusImage& i) { set_le(i.bytes, i.entry(4) + 4, 0x7FFFFFFFu, 4); },
     Refusal::kBlockOutside},
    {"block one word past the end",
     [](OpusImage& i) {
       set_le(i.bytes, i.entry(7) + 4, (i.bytes.size() - i.offsets[7]) / 4 + 1, 4);
     },
     Refusal::kBlockOutside},
    {"negative block offset", [](OpusImage& i) { set_le(i.bytes, i.entry(4) + 8, 0xFFFFFFFCu, 4); },
     Refusal::kBlockOutside},
    {"NPT beyond the block", [](OpusImage& i) { set_le(i.bytes, npt_entry(i) + 8, 10, 4); },
     Refusal::kPointsBeyondBlock},
    {"negative NPT", [](OpusImage& i) { set_le(i.bytes, npt_entry(i) + 8, 0xFFFFFFFFu, 4); },
     Refusal::kBadParameters},
    {"status block missing", [](OpusImage& i) { set_le(i.bytes, i.entry(5), 0x50, 4); },
     Refusal::kNoParameterBlock},
    {"NPT missing", [](OpusImage& i) { i.bytes[npt_entry(i) + 2] = 'X'; },
     Refusal::kNoParameterBlock},
    {"parameter past its block", [](OpusImage& i) { set_le(i.bytes, npt_entry(i) + 6, 0x7FFF, 2); },
     Refusal::kBadParameters},
    {"negative parameter size", [](OpusImage& i) { set_le(i.bytes, npt_entry(i) + 6, 0xFFFF, 2); },
     Refusal::kBadParameters},
    {"f64 parameter of one word", [](OpusImage& i) { set_le(i.bytes, i.offsets[0] + 6, 1, 2); },
     Refusal::kBadParameters},
    {"a sample not a number",
     [](OpusImage& i) { testing::set_f32(i.bytes, i.offsets[4] + 8, std::nanf("")); },
     Refusal::kNotFinite},
    {"parameter blocks over one stretch",
     [](OpusImage& i) {
       for (const std::size_t b : {0, 1, 2, 5, 7}) {
         set_le(i.bytes, i.entry(b) + 4, (i.bytes.size() - i.offsets[0]) / 4, 4);
         set_le(i.bytes, i.entry(b) + 8, i.offsets[0], 4);
       }
     },
     Refusal::kBadBlockSize},
    {"no interferogram",
     [](OpusImage& i) {
       set_le(i.bytes, i.entry(3), 0xC07, 4);
       set_le(i.bytes, i.entry(4), 0xC07, 4);
       set_le(i.bytes, i.entry(5), 0xC17, 4);
     },
     Refusal::kNoInterferogram},
};

TEST(OpusFile, EachDamageIsRefusedWithItsReason) {
  for (const Damage& d : kDamages) {
    SCOPED_TRACE(d.what);
    OpusImage image = small_file();
    d.apply(image);
    const OpusRead r = read(image.bytes);
    ASSERT_TRUE(r.refused);
    EXPECT_EQ(r.refused->code, d.code);
    EXPECT_FALSE(r.refused->skip_text().empty());
    EXPECT_TRUE(r.ig.samples.empty());
  }
}

TEST(OpusFile, MorePointsThanTheStorageHoldsAreRefused) {
  std::vector<double> yin(7);
  const OpusRead r = read_opus("small.0", small_file().bytes, std::nullopt, yin);
  ASSERT_TRUE(r.refused);
  EXPECT_EQ(r.refused->code, Refusal::kTooManyPoints);
  EXPECT_EQ(r.refused->capacity, 7);
  EXPECT_EQ(r.refused->required, 8);
}

TEST(OpusFile, TheSignatureClaimsTheFile) {
  const OpusImage image = small_file();
  EXPECT_TRUE(looks_like_opus(image.bytes));
  EXPECT_FALSE(looks_like_opus(std::span(image.bytes).first(3)));
  testing::ByteImage other = image.bytes;
  other[3] = 0xFD;
  EXPECT_FALSE(looks_like_opus(other));
}

}  // namespace
}  // namespace ftir::opusfile
