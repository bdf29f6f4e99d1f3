// OPUS series blocks built from the real IgSm of test.0000 (no open sample holds one): the
// file's interferogram entry replaced by a series of records, each the stored IgSm values
// with its own info record, read back as a record set.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <tuple>
#include <vector>

#include "opusfile/reader.h"
#include "opusfile/series.h"
#include "support/spc_images.h"

namespace ftir {
namespace {

using testing::ByteImage;
using values::Refusal;

const std::filesystem::path kTest0000 = FTIR_SOURCE_DIR "/tests/data/opus/test.0000";

// test.0000's directory entry of IgSm (type 0x807: amplitude, sample channel,
// interferogram) and of its status block, as its directory lists them.
constexpr std::size_t kIgSmEntry = 24 + 12 * 5;
constexpr std::uint32_t kSeriesIgSm = 0x807u | (2u << 19);
constexpr int kNpt = 3177;

void put32(ByteImage& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(v >> (8 * i));
}
void put64(ByteImage& b, std::size_t at, double v) {
  std::uint64_t u;
  std::memcpy(&u, &v, 8);
  for (int i = 0; i < 8; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(u >> (8 * i));
}

// test.0000's IgSm: stored values times this scale (its status block's CSF) are its samples.
constexpr double kIgSmCsf = 1.0 / 128.0;

struct Record {
  double csf = kIgSmCsf;
  int npt = kNpt;
  int pkl = 562;
  double srt = 0.0;
  int gfw = 0, bfw = 0;
};

// What the series header states; unset (and first 24): as the records are laid out.
struct Stated {
  std::optional<std::int32_t> count;
  std::int32_t first = 24;
  std::optional<std::int32_t> data_bytes;
  std::optional<std::int32_t> info_bytes;
};

// test.0000 with its IgSm entry pointing at a series block appended to the file: the
// records, from byte 24 of the block, hold IgSm's stored f32 values and a 152-byte info
// record (FXV 0 and LXV NPT - 1, as IgSm's status block states); the header states
// `stated` where given.
ByteImage with_series(const std::vector<Record>& records, Stated stated = {}) {
  ByteImage b = testing::read_file_bytes(kTest0000);
  std::uint32_t ig_offset = 0;
  std::memcpy(&ig_offset, b.data() + kIgSmEntry + 8, 4);
  const ByteImage ig(b.begin() + ig_offset, b.begin() + ig_offset + 4 * kNpt);
  const std::size_t block = b.size();
  const auto or_real = [](std::optional<std::int32_t> v, std::size_t real) {
    return static_cast<std::uint32_t>(v.value_or(static_cast<std::int32_t>(real)));
  };
  ByteImage s(24, 0);
  put32(s, 0, 1);
  put32(s, 4, or_real(stated.count, records.size()));
  put32(s, 8, static_cast<std::uint32_t>(stated.first));
  put32(s, 12, or_real(stated.data_bytes, 4 * kNpt));
  put32(s, 16, or_real(stated.info_bytes, 152));
  for (const Record& r : records) {
    s.insert(s.end(), ig.begin(), ig.end());
    const std::size_t info = s.size();
    s.resize(info + 152, 0);
    put32(s, info + 12, static_cast<std::uint32_t>(r.npt));
    put32(s, info + 16, static_cast<std::uint32_t>(r.gfw));
    put32(s, info + 24, static_cast<std::uint32_t>(r.bfw));
    put64(s, info + 72, 0.0);  // FXV, LXV
    put64(s, info + 80, kNpt - 1.0);
    put64(s, info + 104, r.csf);
    put32(s, info + 128, static_cast<std::uint32_t>(r.pkl));
    put64(s, info + 136, r.srt);
  }
  b.insert(b.end(), s.begin(), s.end());
  put32(b, kIgSmEntry, kSeriesIgSm);
  put32(b, kIgSmEntry + 4, static_cast<std::uint32_t>(s.size() / 4));
  put32(b, kIgSmEntry + 8, static_cast<std::uint32_t>(block));
  return b;
}

TEST(OpusSeries, EachRecordIsTheSingleFilesInterferogram) {
  const ByteImage single = testing::read_file_bytes(kTest0000);
  std::vector<double> yin(values::kCapacity);
  const auto one = opusfile::read_opus("test.0000", single, std::nullopt, yin);
  ASSERT_FALSE(one.refused);
  EXPECT_EQ(one.ig.instrument->parameters.csf, kIgSmCsf);
  const ByteImage file = with_series({{kIgSmCsf, kNpt, 562, 0.5, 1, 0},
                                      {2 * kIgSmCsf, kNpt, 561, 1.5, 2, 1},
                                      {kIgSmCsf, kNpt, 563, 2.5, 3, 0}});
  const auto r = opusfile::read_opus_series("series.0", file, std::nullopt);
  ASSERT_FALSE(r.refused) << r.refused->text();
  const values::RecordSet& s = r.set;
  EXPECT_EQ(s.shape, (std::vector<long>{3}));
  EXPECT_EQ(s.facts.points, kNpt);
  EXPECT_EQ(s.facts.format, values::SetFormat::kOpus);
  const values::RecordSet ref = values::set_of_one(one.ig);
  EXPECT_EQ(s.facts.parameters, ref.facts.parameters);
  EXPECT_EQ(s.facts.laser, 15797.962252);
  EXPECT_EQ(s.facts.undersampling, 3);
  EXPECT_EQ(s.facts.xinc, ref.facts.xinc);
  const std::tuple<int, double, int, double, int, int> kRows[] = {
      {0, 1.0, 562, 0.5, 1, 0}, {1, 2.0, 561, 1.5, 2, 1}, {2, 1.0, 563, 2.5, 3, 0}};  // CSF / IgSm's
  for (const auto& [rec, csf, pkl, srt, good, bad] : kRows) {
    SCOPED_TRACE(rec);
    const values::RecordFacts& row = s.table[static_cast<std::size_t>(rec)];
    EXPECT_EQ(std::tie(row.index, *row.scale, *row.zpd, *row.time, *row.good_scans, *row.bad_scans),
              std::make_tuple(long{rec}, csf * kIgSmCsf, pkl, srt, good, bad));
    EXPECT_FALSE(row.refused);
    for (std::size_t k = 0; k < kNpt; ++k) {
      ASSERT_EQ(s.record(rec)[k], one.ig.samples[k] * csf) << k;
    }
  }
}

TEST(OpusSeries, DamagedSeriesAreRefusedNamingTheRecord) {
  const std::vector<Record> three(3);
  std::vector<Record> npt_differs(3);
  npt_differs[2].npt = kNpt - 1;
  std::vector<Record> npt_beyond(1);
  npt_beyond[0].npt = kNpt + 1;
  const std::tuple<const char*, ByteImage, Refusal, std::optional<long>> kCases[] = {
      {"no records", with_series(three, {0, 24, {}, {}}), Refusal::kBadBlockSize, {}},
      {"negative count", with_series(three, {-5, 24, {}, {}}), Refusal::kBadBlockSize, {}},
      {"count beyond the block", with_series(three, {4, 24, {}, {}}), Refusal::kBlockOutside, {}},
      {"count and size overflow", with_series(three, {0x7FFFFFFF, 24, 0x7FFFFFF0, 152}),
       Refusal::kBlockOutside, {}},
      {"first record beyond the block", with_series(three, {3, 0x7FFFFFF0, {}, {}}), Refusal::kBlockOutside, {}},
      {"info record too short", with_series(three, {{}, 24, {}, 100}), Refusal::kBadBlockSize, {}},
      {"NPT beyond the data", with_series(npt_beyond), Refusal::kPointsBeyondBlock, 0},
      {"NPT differs", with_series(npt_differs), Refusal::kBadBlockSize, 2},
  };
  for (const auto& [what, file, code, record] : kCases) {
    SCOPED_TRACE(what);
    const auto r = opusfile::read_opus_series("series.0", file, std::nullopt);
    ASSERT_TRUE(r.refused);
    EXPECT_EQ(r.refused->reason.code, code) << r.refused->text();
    EXPECT_EQ(r.refused->record, record);
    EXPECT_EQ(r.refused->file, "series.0");
  }
  const auto big = opusfile::read_opus_series("series.0", with_series(three), std::nullopt, 3 * kNpt - 1);
  ASSERT_TRUE(big.refused);
  EXPECT_EQ(big.refused->reason.code, Refusal::kTooManyPoints);
}

TEST(OpusSeries, NonFiniteValuesRefuseTheirRecordOnly) {
  std::vector<Record> three(3);
  three[1].csf = std::numeric_limits<double>::infinity();
  const auto r = opusfile::read_opus_series("series.0", with_series(three), std::nullopt);
  ASSERT_FALSE(r.refused);
  EXPECT_FALSE(r.set.table[0].refused);
  ASSERT_TRUE(r.set.table[1].refused);
  EXPECT_EQ(r.set.table[1].refused->code, Refusal::kNotFinite);
  EXPECT_FALSE(r.set.table[2].refused);
}

}  // namespace
}  // namespace ftir
