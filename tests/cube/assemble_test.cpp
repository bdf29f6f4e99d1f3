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

// The part of `c` a shard holds: spectra and columns of `records`, in their order.
struct Part {
  std::vector<double> spectra;
  std::vector<std::vector<double>> columns;
  std::vector<std::span<const double>> spans() const {
    return {columns.begin(), columns.end()};
  }
};
Part part(const CubeData& c, const std::vector<int>& records) {
  const auto k = static_cast<std::size_t>(c.description.points());
  Part p;
  p.columns.resize(c.columns.size());
  for (int r : records) {
    const auto at = static_cast<std::size_t>(r) * k;
    p.spectra.insert(p.spectra.end(), c.spectra.begin() + static_cast<long>(at),
                     c.spectra.begin() + static_cast<long>(at + k));
    for (std::size_t i = 0; i < c.columns.size(); ++i) p.columns[i].push_back(c.columns[i][static_cast<std::size_t>(r)]);
  }
  return p;
}

// The description of shard `index` of `count`: its own history, and the SHA-256 of input
// `index` only.
CubeDescription shard_description(const CubeData& c, int index, int count) {
  CubeDescription d = c.description;
  d.is_shard = true;
  d.shard = {index, count};
  d.history = "2026-12-08T04:00:00Z shard " + std::to_string(index);
  for (std::size_t i = 0; i < d.inputs.size(); ++i) {
    if (static_cast<int>(i) != index) d.inputs[i].sha256.clear();
  }
  return d;
}

// An image of 20 x 19 pixels in four tiles meeting at (13, 5): shard 0 holds the top left
// and bottom right, shard 1 the others.
std::vector<std::string> write_image_shards(const ftir::testing::TempDir& dir, const CubeData& c) {
  const std::array<std::array<int, 4>, 4> tiles = {
      {{0, 0, 13, 5}, {13, 5, 7, 14}, {0, 5, 13, 14}, {13, 0, 7, 5}}};
  std::vector<std::string> names;
  for (int s = 0; s < 2; ++s) {
    names.push_back(dir.file("shard" + std::to_string(s) + ".nc"));
    CubeWriter writer;
    EXPECT_EQ(writer.open(names.back(), shard_description(c, s, 2)), "");
    for (int t = 2 * s; t < 2 * s + 2; ++t) {
      const auto [row, column, height, width] = tiles[static_cast<std::size_t>(t)];
      std::vector<int> records;
      for (int y = row; y < row + height; ++y) {
        for (int x = column; x < column + width; ++x) records.push_back(y * 19 + x);
      }
      const Part p = part(c, records);
      EXPECT_EQ(writer.put_tile(row, column, height, width, p.spectra, p.spans()), "");
    }
    EXPECT_EQ(writer.finish(), "");
  }
  return names;
}

TEST(Assemble, ImageShardsGiveTheSingleRunsBytes) {
  ftir::testing::TempDir dir;
  CubeData c = cube_data(20, 19, 0, 3);
  c.description.history = kHistory;
  ASSERT_EQ(write_cube(dir.file("single.nc"), c.description, c.spectra, c.columns), "");
  const std::vector<std::string> shards = write_image_shards(dir, c);
  ASSERT_EQ(assemble(dir.file("joined.nc"), {shards[1], shards[0]}, kHistory), "");
  EXPECT_EQ(ftir::testing::read_file_bytes(dir.file("joined.nc")),
            ftir::testing::read_file_bytes(dir.file("single.nc")));
}

// A series in three shards of uneven, interleaved record ranges across the 256-record bands.
TEST(Assemble, SeriesShardsGiveTheSingleRunsBytes) {
  ftir::testing::TempDir dir;
  CubeData c = cube_data(0, 0, 600, 4);
  c.description.history = kHistory;
  c.description.inputs.push_back({"c.0", std::string(64, 'c')});
  c.description.time.resize(600);
  for (int r = 0; r < 600; ++r) c.description.time[static_cast<std::size_t>(r)] = 0.5 * r;
  c.description.time_units = "s";
  ASSERT_EQ(write_cube(dir.file("single.nc"), c.description, c.spectra, c.columns), "");
  const std::vector<std::vector<std::pair<int, int>>> ranges = {
      {{0, 100}, {400, 450}}, {{100, 400}}, {{450, 600}}};
  std::vector<std::string> shards;
  for (int s = 0; s < 3; ++s) {
    shards.push_back(dir.file("s" + std::to_string(s) + ".nc"));
    CubeWriter writer;
    ASSERT_EQ(writer.open(shards.back(), shard_description(c, s, 3)), "");
    for (auto [first, end] : ranges[static_cast<std::size_t>(s)]) {
      std::vector<int> records;
      for (int r = first; r < end; ++r) records.push_back(r);
      const Part p = part(c, records);
      ASSERT_EQ(writer.put_records(first, end - first, p.spectra, p.spans()), "");
    }
    ASSERT_EQ(writer.finish(), "");
  }
  ASSERT_EQ(assemble(dir.file("joined.nc"), shards, kHistory), "");
  EXPECT_EQ(ftir::testing::read_file_bytes(dir.file("joined.nc")),
            ftir::testing::read_file_bytes(dir.file("single.nc")));
}

TEST(Assemble, ShardsThatAreNotOneRunAreRefused) {
  CubeData c = cube_data(4, 4, 0, 3);
  const std::vector<int> top = {0, 1, 2, 3, 4, 5, 6, 7};
  const std::vector<int> bottom = {8, 9, 10, 11, 12, 13, 14, 15};
  const struct {
    const char* what;
    std::function<void(CubeDescription&)> second;  // changes shard 1
    std::vector<int> second_records;
    const char* problem;  // after "Cannot assemble <out>: "
  } cases[] = {
      {"the same shard twice", [](CubeDescription& d) { d.shard.index = 0; }, bottom,
       "@1 and @0 are both shard 1 of 2"},
      {"another title", [](CubeDescription& d) { d.title = "tile B"; }, bottom,
       "@1 and @0 are not shards of one run (their title differ)"},
      {"another wavenumber", [](CubeDescription& d) { d.wavenumber[1] += 1e-9; }, bottom,
       "@1 and @0 are not shards of one run (their wavenumbers differ)"},
      {"other parameters", [](CubeDescription& d) { d.parameters[1].value = 4; }, bottom,
       "@1 and @0 are not shards of one run (their processing parameters differ)"},
      {"a different file read", [](CubeDescription& d) { d.inputs[0].sha256 = std::string(64, 'f'); },
       bottom, "the shards read different files as tile.seq"},
      {"a record held twice", [](CubeDescription&) {}, {7, 8, 9, 10, 11, 12, 13, 14, 15},
       "record 7 is held by @0 and @1"},
      {"a record held by none", [](CubeDescription&) {}, {9, 10, 11, 12, 13, 14, 15},
       "record 8 is held by no shard"},
      {"three shards expected", [](CubeDescription& d) { d.shard.count = 3; }, bottom,
       "@1 and @0 are not shards of one run (their shard count differ)"},
      {"a whole cube", [](CubeDescription& d) { d.is_shard = false; }, {}, "@1 is not a shard"},
  };
  for (const auto& e : cases) {
    SCOPED_TRACE(e.what);
    ftir::testing::TempDir dir;
    const std::string name[2] = {dir.file("s0.nc"), dir.file("s1.nc")};
    CubeDescription d0 = c.description;
    d0.is_shard = true;
    d0.shard = {0, 2};
    CubeDescription d1 = d0;
    d1.shard.index = 1;
    e.second(d1);
    const Part p0 = part(c, top);
    CubeWriter w0;
    ASSERT_EQ(w0.open(name[0], d0), "");
    ASSERT_EQ(w0.put_records(0, 8, p0.spectra, p0.spans()), "");
    ASSERT_EQ(w0.finish(), "");
    if (d1.is_shard) {
      const Part p1 = part(c, e.second_records);
      CubeWriter w1;
      ASSERT_EQ(w1.open(name[1], d1), "");
      const int n = static_cast<int>(e.second_records.size());
      ASSERT_EQ(w1.put_records(16 - n, n, p1.spectra, p1.spans()), "");
      ASSERT_EQ(w1.finish(), "");
    } else {
      ASSERT_EQ(write_cube(name[1], d1, c.spectra, c.columns), "");
    }
    std::string expected = std::string("Cannot assemble ") + dir.file("out.nc") + ": " + e.problem;
    expected = std::regex_replace(expected, std::regex("@0"), name[0]);
    expected = std::regex_replace(expected, std::regex("@1"), name[1]);
    EXPECT_EQ(assemble(dir.file("out.nc"), {name[0], name[1]}, kHistory), expected);
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"s0.nc", "s1.nc"}));
  }
}

std::string run_command(const ftir::testing::TempDir& dir, const std::string& arguments, int& status) {
  const std::string command = "cd '" + dir.path().string() + "' && '" + FTIR_REDUCE_EXE + "' " +
                              arguments + " > out.txt 2> err.txt";
  status = std::system(command.c_str());
  std::ifstream out(dir.file("out.txt"));
  std::ifstream err(dir.file("err.txt"));
  std::string text((std::istreambuf_iterator<char>(out)), {});
  text += "|";
  text.append(std::istreambuf_iterator<char>(err), {});
  std::filesystem::remove(dir.file("out.txt"));
  std::filesystem::remove(dir.file("err.txt"));
  return text;
}

TEST(Assemble, CommandLine) {
  ftir::testing::TempDir dir;
  const CubeData c = cube_data(20, 19, 0, 3);
  write_image_shards(dir, c);
  int status = 0;
  EXPECT_EQ(run_command(dir, "assemble all.nc shard0.nc shard1.nc", status), "|");
  EXPECT_EQ(status, 0);
  CubeReader reader;
  ASSERT_EQ(reader.open(dir.file("all.nc")), "");
  EXPECT_TRUE(std::regex_match(
      reader.description().history,
      std::regex("20[0-9][0-9]-[01][0-9]-[0-3][0-9]T[0-2][0-9]:[0-5][0-9]:[0-6][0-9]Z "
                 "ftir-reduce assemble all.nc shard0.nc shard1.nc")))
      << reader.description().history;
  EXPECT_EQ(reader.description().inputs, c.description.inputs);  // both digests, one from each
  EXPECT_EQ(run_command(dir, "assemble shard1.nc shard0.nc shard1.nc", status),
            "|ftir-reduce assemble: shard1.nc: the output would replace the shard shard1.nc\n");
  EXPECT_NE(status, 0);
  EXPECT_EQ(run_command(dir, "assemble all.nc", status),
            "|usage: ftir-reduce assemble OUT.nc SHARD.nc...\n");
  EXPECT_NE(status, 0);
  EXPECT_EQ(run_command(dir, "assemble b.nc shard0.nc", status),
            "|ftir-reduce assemble: Cannot assemble b.nc: shard 2 of 2 is missing\n");
  EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"all.nc", "shard0.nc", "shard1.nc"}));
}

// The converter starts without the netCDF library and the dozens it needs: it loads it for
// the first cube only.
TEST(Assemble, TheConverterDoesNotLinkTheNetcdfLibrary) {
  if (std::system("command -v readelf > /dev/null 2>&1") != 0) GTEST_SKIP() << "readelf is missing";
  ftir::testing::TempDir dir;
  const std::string command = std::string("readelf -d '") + FTIR_REDUCE_EXE + "' > '" + dir.file("d.txt") + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream in(dir.file("d.txt"));
  const std::string dynamic((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(dynamic.find("(NEEDED)"), std::string::npos);
  EXPECT_EQ(dynamic.find("netcdf"), std::string::npos) << dynamic;
  EXPECT_EQ(dynamic.find("hdf5"), std::string::npos) << dynamic;
}

}  // namespace
}  // namespace ftir::cube
