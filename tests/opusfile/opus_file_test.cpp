// The OPUS reader on a small hand-made file: the blocks that count, the points and scale of
// each, the channel's parameters; then the same file corrupted one field at a time, each
// refused with its reason and nothing read outside the image.
#include "opusfile/opus_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
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
  const auto& blocks = parse.file.blocks;
  EXPECT_EQ(std::tuple(blocks[3].superseded, blocks[4].superseded), std::tuple(true, false));
  EXPECT_EQ(std::tuple(block_name(blocks[2].type), block_name(blocks[4].type),
                       block_name(blocks[5].type)),
            std::tuple("Transform", "IgSm", "Data status of IgSm"));

  const OpusRead r = read(image.bytes);
  ASSERT_FALSE(r.refused);
  EXPECT_EQ(r.ig.format, values::SourceFormat::kOpus);
  // NPT 8 of the block's 9 values, times CSF 0.5; the stale block's 9s nowhere.
  EXPECT_EQ(std::vector<double>(r.ig.samples.begin(), r.ig.samples.end()),
            (std::vector<double>{0.5, 1, 1.5, 4, 1.5, 1, 0.5, 0}));
  EXPECT_EQ(std::tuple(r.ig.declared_points, r.ig.xinc, r.ig.laser), std::tuple(8, 1.0, 15800.0));
  ASSERT_TRUE(r.ig.instrument);
  const values::Instrument& in = *r.ig.instrument;
  const values::InstrumentParameters& p = in.parameters;
  EXPECT_EQ(std::tuple(in.block, in.channel, in.scans, p.aqm, p.apf, p.phz),
            std::tuple("IgSm", values::Channel::kSample, 1, "SN", "BX", "MC"));
  EXPECT_EQ(std::tuple(p.hfl, p.ssp, p.pkl, p.zff, p.phr, p.lfq, p.hfq, p.csf),
            std::tuple(7900.0, 1, 3, 4, 16.0, 4000.0, 400.0, 0.5));
  ASSERT_TRUE(in.sample_spectrum);
  // Stored from high to low X and kept that way round, the step negative; the values as
  // stored, the CSF beside them.
  const values::StoredCurve& c = *in.sample_spectrum;
  EXPECT_EQ(std::tuple(c.x_first, c.x_last, c.x_step(), c.y(0)),
            std::tuple(3000.0, 1500.0, -500.0, 8.0));
  EXPECT_EQ(c.values, (std::vector<float>{4, 3, 2, 1}));
  EXPECT_FALSE(in.reference_spectrum);

  // The reference channel has no interferogram here.
  const OpusRead ref = read(image.bytes, values::Channel::kReference);
  ASSERT_TRUE(ref.refused);
  EXPECT_EQ(ref.refused->code, Refusal::kNoInterferogram);
  EXPECT_EQ(ref.refused->skip_text(),
            "it holds no reference interferogram (IgRf), only the sample channel's (IgSm): a "
            "file of one channel");
  // Forward and backward scans split the block in halves.
  const OpusRead dd = read(small_file("DD").bytes);
  ASSERT_FALSE(dd.refused);
  EXPECT_EQ(
      std::tuple(dd.ig.instrument->scans, dd.ig.instrument->scan_points, dd.ig.samples.size()),
      std::tuple(2, 4, 8u));
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

// One field of the small file corrupted; the refusal it must give. npt(i): the status block's
// first entry (NPT), its size field at +6 and its value at +8.
using Damage = std::tuple<const char*, Refusal, void (*)(OpusImage& image)>;  // what, code, apply

std::size_t npt(const OpusImage& image) { return image.offsets[5]; }
void put(OpusImage& image, std::size_t at, std::uint64_t value, int bytes) {
  set_le(image.bytes, at, value, bytes);
}

using enum Refusal;
// clang-format off
const Damage kDamages[] = {
    {"header cut short", kShortHeader, [](auto& i) { i.bytes.resize(20); }},
    {"directory past the end", kBlockOutside, [](auto& i) { put(i, 12, i.bytes.size() - 12, 4); }},
    {"negative block count", kBadBlockSize, [](auto& i) { put(i, 20, 0xFFFFFFFFu, 4); }},
    {"negative directory offset", kBadBlockSize, [](auto& i) { put(i, 12, 0x80000000u, 4); }},
    {"negative block size", kBadBlockSize, [](auto& i) { put(i, i.entry(4) + 4, 0xFFFFFFFFu, 4); }},
    {"huge block size", kBlockOutside, [](auto& i) { put(i, i.entry(4) + 4, 0x7FFFFFFFu, 4); }},
    {"block one word past the end", kBlockOutside,
     [](auto& i) { put(i, i.entry(7) + 4, (i.bytes.size() - i.offsets[7]) / 4 + 1, 4); }},
    {"negative block offset", kBlockOutside,
     [](auto& i) { put(i, i.entry(4) + 8, 0xFFFFFFFCu, 4); }},
    {"NPT beyond the block", kPointsBeyondBlock, [](auto& i) { put(i, npt(i) + 8, 10, 4); }},
    {"negative NPT", kBadParameters, [](auto& i) { put(i, npt(i) + 8, 0xFFFFFFFFu, 4); }},
    {"status block missing", kNoParameterBlock, [](auto& i) { put(i, i.entry(5), 0x50, 4); }},
    {"NPT missing", kNoParameterBlock, [](auto& i) { i.bytes[npt(i) + 2] = 'X'; }},
    {"parameter past its block", kBadParameters, [](auto& i) { put(i, npt(i) + 6, 0x7FFF, 2); }},
    {"negative parameter size", kBadParameters, [](auto& i) { put(i, npt(i) + 6, 0xFFFF, 2); }},
    {"f64 parameter of one word", kBadParameters, [](auto& i) { put(i, i.offsets[0] + 6, 1, 2); }},
    {"a sample not a number", kNotFinite,
     [](auto& i) { testing::set_f32(i.bytes, i.offsets[4] + 8, std::nanf("")); }},
    {"parameter blocks over one stretch", kBadBlockSize, [](auto& i) {
       for (const std::size_t b : {0, 1, 2, 5, 7}) {
         put(i, i.entry(b) + 4, (i.bytes.size() - i.offsets[0]) / 4, 4);
         put(i, i.entry(b) + 8, i.offsets[0], 4);
       }
     }},
    {"no interferogram", kNoInterferogram, [](auto& i) {
       for (const std::size_t b : {3, 4}) put(i, i.entry(b), 0xC07, 4);
       put(i, i.entry(5), 0xC17, 4);
     }},
};
// clang-format on

TEST(OpusFile, EachDamageIsRefusedWithItsReason) {
  for (const auto& [what, code, apply] : kDamages) {
    SCOPED_TRACE(what);
    OpusImage image = small_file();
    apply(image);
    const OpusRead r = read(image.bytes);
    ASSERT_TRUE(r.refused);
    EXPECT_EQ(r.refused->code, code);
    EXPECT_FALSE(r.refused->skip_text().empty());
    EXPECT_TRUE(r.ig.samples.empty());
  }
}

TEST(OpusFile, MorePointsThanTheStorageHoldsAreRefused) {
  std::vector<double> yin(7);
  const OpusRead r = read_opus("small.0", small_file().bytes, std::nullopt, yin);
  ASSERT_TRUE(r.refused);
  EXPECT_EQ(std::tuple(r.refused->code, r.refused->capacity, r.refused->required),
            std::tuple(Refusal::kTooManyPoints, 7, 8));
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
