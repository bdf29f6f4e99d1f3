// Shards of one run joined: the very bytes the single run writes (its history given), and a
// refusal, with nothing written, for shards that do not make one run.
#include "cube/assemble.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "cube/cube_fixture.h"
#include "cube/reader.h"
#include "cube/writer.h"
#include "support/spc_images.h"

namespace ftir::cube {
namespace {

using testing::cube_data;
using testing::CubeData;
using testing::names_in;

constexpr const char* kHistory = "2026-12-08T03:17:06Z ftir-reduce --cube run.nc tile.seq";

std::vector<int> range(int first, int end) {
  std::vector<int> records;
  for (int r = first; r < end; ++r) records.push_back(r);
  return records;
}

// Shard `index` of `count`: its own history, the SHA-256 of input `index` only.
CubeDescription shard_of(CubeDescription d, int index, int count) {
  d.is_shard = true;
  d.shard = {index, count};
  d.history = "2026-12-08T04:00:00Z shard " + std::to_string(index);
  for (std::size_t i = 0; i < d.inputs.size(); ++i) {
    if (static_cast<int>(i) != index) d.inputs[i].sha256.clear();
  }
  return d;
}

// A 20 x 19 image in four tiles meeting at (13, 5): shard 0 holds the top left and bottom
// right, shard 1 the others.
void write_image_shards(const ftir::testing::TempDir& dir, const CubeData& c) {
  const std::array<std::array<int, 4>, 4> tiles = {
      {{0, 0, 13, 5}, {13, 5, 7, 14}, {0, 5, 13, 14}, {13, 0, 7, 5}}};
  for (int s = 0; s < 2; ++s) {
    CubeWriter writer;
    ASSERT_EQ(
        writer.open(dir.file("shard" + std::to_string(s) + ".nc"), shard_of(c.description, s, 2)),
        "");
    for (std::size_t t = 2 * static_cast<std::size_t>(s); t < 2 * static_cast<std::size_t>(s) + 2;
         ++t) {
      const auto [row, column, height, width] = tiles[t];
      std::vector<int> records;
      for (int y = row; y < row + height; ++y) {
        for (int x = column; x < column + width; ++x) records.push_back(y * 19 + x);
      }
      const CubeData p = c.part(records);
      ASSERT_EQ(writer.put_tile(row, column, height, width, p.spectra, p.spans()), "");
    }
    ASSERT_EQ(writer.finish(), "");
  }
}

// The image in tiles; a series with times in three shards of uneven, interleaved record
// ranges across its 256-record bands.
TEST(Assemble, ShardsGiveTheSingleRunsBytes) {
  ftir::testing::TempDir dir;
  CubeData image = cube_data(20, 19, 0, 3);
  image.description.history = kHistory;
  ASSERT_EQ(write_cube(dir.file("single.nc"), image.description, image.spectra, image.columns), "");
  write_image_shards(dir, image);
  ASSERT_EQ(
      assemble(dir.file("joined.nc"), {dir.file("shard1.nc"), dir.file("shard0.nc")}, kHistory),
      "");
  EXPECT_EQ(ftir::testing::read_file_bytes(dir.file("joined.nc")),
            ftir::testing::read_file_bytes(dir.file("single.nc")));

  CubeData series = cube_data(0, 0, 600, 4);
  series.description.history = kHistory;
  series.description.inputs.push_back({"c.0", std::string(64, 'c')});
  for (int r = 0; r < 600; ++r) series.description.time.push_back(0.5 * r);
  series.description.time_units = "s";
  ASSERT_EQ(write_cube(dir.file("single.nc"), series.description, series.spectra, series.columns),
            "");
  const std::vector<std::vector<std::pair<int, int>>> ranges = {
      {{0, 100}, {400, 450}}, {{100, 400}}, {{450, 600}}};
  std::vector<std::string> shards;
  for (int s = 0; s < 3; ++s) {
    shards.push_back(dir.file("s" + std::to_string(s) + ".nc"));
    CubeWriter writer;
    ASSERT_EQ(writer.open(shards.back(), shard_of(series.description, s, 3)), "");
    for (auto [first, end] : ranges[static_cast<std::size_t>(s)]) {
      const CubeData p = series.part(range(first, end));
      ASSERT_EQ(writer.put_records(first, end - first, p.spectra, p.spans()), "");
    }
    ASSERT_EQ(writer.finish(), "");
  }
  ASSERT_EQ(assemble(dir.file("joined.nc"), shards, kHistory), "");
  EXPECT_EQ(ftir::testing::read_file_bytes(dir.file("joined.nc")),
            ftir::testing::read_file_bytes(dir.file("single.nc")));
}

TEST(Assemble, ShardsThatAreNotOneRunAreRefused) {
  const CubeData c = cube_data(4, 4, 0, 3);
  const std::vector<
      std::tuple<const char*, std::function<void(CubeDescription&)>, int, const char*>>
      cases = {
          // what, change to shard 1, its first record (it holds the rest), the problem
          {"the same shard twice", [](CubeDescription& d) { d.shard.index = 0; }, 8,
           "@1 and @0 are both shard 1 of 2"},
          {"another wavenumber", [](CubeDescription& d) { d.wavenumber[1] += 1e-9; }, 8,
           "@1 and @0 are not shards of one run (their wavenumbers differ)"},
          {"other parameters", [](CubeDescription& d) { d.parameters[1].value = 4; }, 8,
           "@1 and @0 are not shards of one run (their processing parameters differ)"},
          {"a different file read",
           [](CubeDescription& d) { d.inputs[0].sha256 = std::string(64, 'f'); }, 8,
           "the shards read different files as tile.seq"},
          {"a record held twice", [](CubeDescription&) {}, 7, "record 7 is held by @0 and @1"},
          {"a record held by none", [](CubeDescription&) {}, 9, "record 8 is held by no shard"},
          {"a whole cube", [](CubeDescription& d) { d.is_shard = false; }, 0, "@1 is not a shard"},
      };
  for (const auto& [what, change, first, problem] : cases) {
    SCOPED_TRACE(what);
    ftir::testing::TempDir dir;
    const std::string name[2] = {dir.file("s0.nc"), dir.file("s1.nc")};
    CubeDescription d[2] = {shard_of(c.description, 0, 2), shard_of(c.description, 1, 2)};
    d[0].inputs = d[1].inputs = c.description.inputs;
    change(d[1]);
    for (int s = 0; s < 2; ++s) {
      const int from = s == 0 ? 0 : first;
      const int end = s == 0 ? 8 : 16;
      const CubeData p = c.part(range(from, end));
      CubeWriter w;
      ASSERT_EQ(w.open(name[s], d[s]), "");
      ASSERT_EQ(w.put_records(from, end - from, p.spectra, p.spans()), "");
      ASSERT_EQ(w.finish(), "");
    }
    std::string expected = "Cannot assemble " + dir.file("out.nc") + ": " + problem;
    expected = std::regex_replace(std::regex_replace(expected, std::regex("@0"), name[0]),
                                  std::regex("@1"), name[1]);
    EXPECT_EQ(assemble(dir.file("out.nc"), {name[0], name[1]}, kHistory), expected);
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"s0.nc", "s1.nc"}));
  }
}

TEST(Assemble, CommandLine) {
  ftir::testing::TempDir dir;
  const CubeData c = cube_data(20, 19, 0, 3);
  write_image_shards(dir, c);
  const std::string exe = std::string("'") + FTIR_REDUCE_EXE + "' assemble ";
  int status = 0;
  EXPECT_EQ(testing::shell(dir.path(), exe + "all.nc shard0.nc shard1.nc", status), "|");
  EXPECT_EQ(status, 0);
  CubeReader reader;
  ASSERT_EQ(reader.open(dir.file("all.nc")), "");
  EXPECT_TRUE(std::regex_match(
      reader.description().history,
      std::regex("20[0-9][0-9]-[01][0-9]-[0-3][0-9]T[0-2][0-9]:[0-5][0-9]:[0-6][0-9]Z "
                 "ftir-reduce assemble all.nc shard0.nc shard1.nc")))
      << reader.description().history;
  EXPECT_EQ(reader.description().inputs, c.description.inputs);  // both digests, one from each
  for (const auto& [arguments, err] : std::vector<std::pair<const char*, const char*>>{
           {"shard1.nc shard0.nc shard1.nc",
            "ftir-reduce assemble: shard1.nc: the output would replace the shard shard1.nc\n"},
           {"all.nc", "usage: ftir-reduce assemble OUT.nc SHARD.nc...\n"},
           {"b.nc shard0.nc",
            "ftir-reduce assemble: Cannot assemble b.nc: shard 2 of 2 is missing\n"}}) {
    EXPECT_EQ(testing::shell(dir.path(), exe + arguments, status), std::string("|") + err);
    EXPECT_EQ(WEXITSTATUS(status), 1);
  }
  EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"all.nc", "shard0.nc", "shard1.nc"}));
  // The converter starts without the netCDF library and the dozens it needs.
  EXPECT_EQ(
      testing::shell(
          dir.path(),
          "readelf -d '" + std::string(FTIR_REDUCE_EXE) + "' | grep -c -e netcdf -e hdf5", status),
      "0\n|");
}

}  // namespace
}  // namespace ftir::cube
