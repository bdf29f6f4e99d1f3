// A multi-trace SPC file read as a record set: each trace's record holds, bit for bit, the
// samples the converter's reader takes from that trace cut out by `spc-tool split`.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "spcfile/multi_trace.h"
#include "spcfile/reader.h"
#include "support/spc_images.h"
#include "tools/tool_run.h"

namespace ftir {
namespace {

using testing::ByteImage;
using values::Refusal;

const std::filesystem::path kSamples =
    std::filesystem::path(FTIR_SOURCE_DIR) / "../shared/data/spc-samples";

TEST(SpcTraces, EachTraceIsWhatSplitCutsOut) {
  if (!std::filesystem::exists(kSamples / "IG_MULTI.SPC")) GTEST_SKIP() << "no sample files";
  const std::string multi = std::filesystem::canonical(kSamples / "IG_MULTI.SPC").string();
  const auto r = spcfile::read_spc_traces("IG_MULTI.SPC", testing::read_file_bytes(multi));
  ASSERT_FALSE(r.refused) << r.refused->text();
  EXPECT_EQ(r.set.shape, (std::vector<long>{10}));
  EXPECT_EQ(r.set.facts.points, 4096);

  testing::TempDir dir;
  const testing::ToolRun split = testing::spc_tool(dir, "split '" + multi + "' -o split");
  ASSERT_EQ(split.status, 0) << split.err;
  std::vector<double> yin(values::kCapacity);
  std::vector<unsigned char> scratch(std::size_t{1} << 16);
  for (long k = 0; k < 10; ++k) {
    SCOPED_TRACE(k);
    const std::string name = dir.file("split/IG_MULTI_" + std::string(k < 9 ? "0" : "") +
                                      std::to_string(k + 1) + ".spc");
    const auto one = spcfile::read_spc(name, values::kCapacity, yin, scratch);
    ASSERT_FALSE(one.refused);
    const values::RecordSet ref = values::set_of_one(one.ig);
    EXPECT_EQ(r.set.facts.xinc, ref.facts.xinc);
    EXPECT_EQ(r.set.facts.points, ref.facts.points);
    EXPECT_FALSE(r.set.table[static_cast<std::size_t>(k)].refused);
    const auto x = r.set.record(k);
    ASSERT_TRUE(std::equal(x.begin(), x.end(), ref.samples.begin(), ref.samples.end()));
  }
}

TEST(SpcTraces, DamagedFilesAreRefused) {
  if (!std::filesystem::exists(kSamples / "IG_MULTI.SPC")) GTEST_SKIP() << "no sample files";
  const ByteImage good = testing::read_file_bytes(kSamples / "IG_MULTI.SPC");
  // Ten traces of a 32-byte subheader and 4096 i32 after the 512-byte header; a log
  // block follows them.
  const ByteImage short_by_one(good.begin(), good.begin() + 512 + 10 * (32 + 4 * 4096) - 1);
  ByteImage many = good;
  many[24] = 0xFF; many[25] = 0xFF; many[26] = 0xFF; many[27] = 0x7F;  // 2^31 - 1 traces
  ByteImage single = good;
  single[0] = static_cast<unsigned char>(single[0] & ~0x04);
  const std::tuple<const char*, ByteImage, Refusal, std::optional<long>> kCases[] = {
      {"last trace cut short", short_by_one, Refusal::kTruncated, 9},
      {"more traces than the file holds", many, Refusal::kTruncated, 10},
      {"a single trace", single, Refusal::kUnsupportedLayout, {}},
      {"header cut short", ByteImage(good.begin(), good.begin() + 500), Refusal::kCannotOpen, {}},
  };
  for (const auto& [what, bytes, code, record] : kCases) {
    SCOPED_TRACE(what);
    const auto r = spcfile::read_spc_traces("IG_MULTI.SPC", bytes);
    ASSERT_TRUE(r.refused);
    EXPECT_EQ(r.refused->reason.code, code) << r.refused->text();
    EXPECT_EQ(r.refused->record, record);
  }
  const auto big = spcfile::read_spc_traces("IG_MULTI.SPC", good, 10 * 4096 - 1);
  ASSERT_TRUE(big.refused);
  EXPECT_EQ(big.refused->reason.code, Refusal::kTooManyPoints);
}

}  // namespace
}  // namespace ftir
