// The cube writer: layout as ncdump (netCDF's own tool) shows it, values read back, and no
// cube and no temporary file after any failure.
#include "cube/writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <fstream>

#include "cube/cube_fixture.h"
#include "cube/reader.h"
#include "support/spc_images.h"

namespace ftir::cube {
namespace {

using testing::cube_data;
using testing::CubeData;
using testing::names_in;

// `ncdump -hs` of a cube without the line naming the library's versions.
std::string header_of(const ftir::testing::TempDir& dir, const std::string& name) {
  int status = 0;
  std::string dump =
      testing::shell(dir.path(), "ncdump -hs " + name + " | grep -v _NCProperties", status);
  EXPECT_EQ(status, 0);
  return dump;
}

// The layout, fragment by fragment, of an image, a series with times written as a shard,
// and an image larger than one chunk.
TEST(CubeWriter, LayoutAsNcdumpShowsIt) {
  if (std::system("command -v ncdump > /dev/null 2>&1") != 0) GTEST_SKIP() << "ncdump is missing";
  ftir::testing::TempDir dir;
  const CubeData a = cube_data(2, 3, 0, 4);
  ASSERT_EQ(write_cube(dir.file("a.nc"), a.description, a.spectra, a.columns), "");
  CubeData s = cube_data(0, 0, 300, 5);
  s.description.time.assign(300, 2.5);
  s.description.time_units = "s";
  s.description.is_shard = true;
  s.description.shard = {1, 3};
  s.description.quantity = Quantity::kSingleBeam;
  ASSERT_EQ(write_cube(dir.file("s.nc"), s.description, s.spectra, s.columns), "");
  CubeData i = cube_data(40, 17, 0, 3);
  i.description.quantity = Quantity::kTransmittance;
  ASSERT_EQ(write_cube(dir.file("i.nc"), i.description, i.spectra, i.columns), "");
  for (const auto& [file, lines] : std::vector<std::pair<const char*, const char*>>{
           {"a.nc",
            "dimensions:\n\ty = 2 ;\n\tx = 3 ;\n\twavenumber = 4 ;\nvariables:\n"
            "\tdouble wavenumber(wavenumber) ;\n\t\twavenumber:units = \"cm-1\" ;\n"},
           {"a.nc",
            "\tdouble x(x) ;\n\t\tx:units = \"um\" ;\n\t\tx:long_name = \"x of the pixel centre\" "
            ";\n"},
           {"a.nc",
            "\tfloat spectrum(y, x, wavenumber) ;\n\t\tspectrum:long_name = \"absorbance\" ;\n"
            "\t\tspectrum:units = \"1\" ;\n\t\tspectrum:_Storage = \"chunked\" ;\n"
            "\t\tspectrum:_ChunkSizes = 2, 3, 4 ;\n\t\tspectrum:_Shuffle = \"true\" ;\n"
            "\t\tspectrum:_DeflateLevel = 1 ;\n"},
           {"a.nc", "\tint zpd_index(y, x) ;\n\t\tzpd_index:long_name = \"ZPD index used\" ;\n"},
           {"a.nc",
            "\tbyte status(y, x) ;\n\t\tstatus:long_name = \"status\" ;\n\t\tstatus:flag_values = "
            "0b, 1b, 2b ;\n"
            "\t\tstatus:flag_meanings = \"converted refused no_signal\" ;\n"},
           {"a.nc",
            "// global attributes:\n\t\t:Conventions = \"CF-1.10\" ;\n\t\t:title = \"tile A1\" ;\n"
            "\t\t:source = \"ftir-reduce 1.0.0\" ;\n\t\t:history = \"2026-12-08T03:17:06Z "
            "ftir-reduce tile.seq\" ;\n"
            "\t\t:window = \"APBH3\" ;\n\t\t:zero_filling = 2 ;\n\t\t:laser_wavenumber = 15798. ;\n"
            "\t\t:kept_range = 400., 3999.5 ;\n\t\tstring :input_files = \"tile.seq\", "
            "\"tile.bsp\" ;\n"
            "\t\tstring :input_sha256 = "
            "\"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\", "
            "\"bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb\" ;\n"},
           {"s.nc",
            "\tfloat spectrum(record, wavenumber) ;\n\t\tspectrum:long_name = \"single beam\" ;\n"
            "\t\tspectrum:units = \"1\" ;\n\t\tspectrum:coordinates = \"time\" ;\n"},
           {"s.nc", "\t\tspectrum:_ChunkSizes = 256, 5 ;\n"},
           {"s.nc", "\tdouble time(record) ;\n\t\ttime:units = \"s\" ;\n"},
           {"s.nc", "\tbyte shard_covered(record) ;\n"},
           {"s.nc", "\t\t:shard_index = 1 ;\n\t\t:shard_count = 3 ;\n"},
           {"i.nc", "\t\tspectrum:_ChunkSizes = 16, 16, 3 ;\n"},
           {"i.nc", "\t\tspectrum:long_name = \"transmittance\" ;\n"}}) {
    SCOPED_TRACE(lines);
    EXPECT_NE(header_of(dir, file).find(lines), std::string::npos);
  }
  EXPECT_EQ(header_of(dir, "a.nc").find("shard"), std::string::npos);
  // Pixel centres half a pitch (5.5 um) in from the corner.
  int status = 0;
  EXPECT_NE(testing::shell(dir.path(), "ncdump -v x a.nc", status).find(" x = 2.75, 8.25, 13.75 ;"),
            std::string::npos);
}

// Records put in pieces across bands, as tiles in any order, or at once: the same values
// (read back as the float32 of what was put); the same calls give the same bytes.
TEST(CubeWriter, PiecesTilesAndWholeHoldTheSameValues) {
  ftir::testing::TempDir dir;
  const CubeData c = cube_data(20, 19, 0, 3);  // a band is 16 rows: one whole, one partial
  ASSERT_EQ(write_cube(dir.file("whole.nc"), c.description, c.spectra, c.columns), "");
  ASSERT_EQ(write_cube(dir.file("again.nc"), c.description, c.spectra, c.columns), "");
  CubeWriter pieces;
  ASSERT_EQ(pieces.open(dir.file("pieces.nc"), c.description), "");
  for (int first = 0; first < 380; first += 7) {
    std::vector<int> records;
    for (int r = first; r < std::min(first + 7, 380); ++r) records.push_back(r);
    const CubeData p = c.part(records);
    ASSERT_EQ(pieces.put_records(first, static_cast<int>(records.size()), p.spectra, p.spans()),
              "");
  }
  ASSERT_EQ(pieces.finish(), "");
  CubeWriter tiles;
  ASSERT_EQ(tiles.open(dir.file("tiles.nc"), c.description), "");
  for (auto [row, column, height, width] : {std::array{13, 5, 7, 14}, std::array{0, 0, 13, 5},
                                            std::array{0, 5, 13, 14}, std::array{13, 0, 7, 5}}) {
    std::vector<int> records;
    for (int y = row; y < row + height; ++y) {
      for (int x = column; x < column + width; ++x) records.push_back(y * 19 + x);
    }
    const CubeData p = c.part(records);
    ASSERT_EQ(tiles.put_tile(row, column, height, width, p.spectra, p.spans()), "");
  }
  ASSERT_EQ(tiles.finish(), "");
  const auto bytes = ftir::testing::read_file_bytes(dir.file("whole.nc"));
  EXPECT_EQ(ftir::testing::read_file_bytes(dir.file("again.nc")), bytes);
  EXPECT_EQ(ftir::testing::read_file_bytes(dir.file("pieces.nc")), bytes);
  for (const char* name : {"whole.nc", "tiles.nc"}) {
    SCOPED_TRACE(name);
    CubeReader reader;
    ASSERT_EQ(reader.open(dir.file(name)), "");
    EXPECT_EQ(reader.description(), c.description);
    std::vector<float> spectra;
    ASSERT_EQ(reader.read_records(0, 380, spectra), "");
    for (std::size_t i = 0; i < c.spectra.size(); ++i) {
      ASSERT_EQ(testing::float_bits(spectra[i]), testing::float_bits(c.spectra[i])) << i;
    }
    std::vector<double> column;
    for (std::size_t k : {0u, 1u, 2u}) {
      ASSERT_EQ(reader.read_column(k, column), "");
      EXPECT_EQ(column, c.columns[k]);
    }
  }
  EXPECT_EQ(names_in(dir.path()),
            (std::vector<std::string>{"again.nc", "pieces.nc", "tiles.nc", "whole.nc"}));
}

TEST(CubeWriter, HistoryLineQuotesWhatAShellWouldSplit) {
  EXPECT_EQ(history_line(1796699826, {"ftir-reduce", "-j", "2", "a.0", "--cube", "day.nc"}),
            "2026-12-08T03:17:06Z ftir-reduce -j 2 a.0 --cube day.nc");
  EXPECT_EQ(history_line(0, {"ftir-reduce", "my file.spc", "it's", ""}),
            "1970-01-01T00:00:00Z ftir-reduce 'my file.spc' 'it'\\''s' ''");
}

// Ways a cube can fail; after each the folder holds only the older file under the
// target's name, unchanged. A full disk is a file-size limit in a child process.
TEST(CubeWriter, AFailureLeavesNoCubeAndNoTemporary) {
  const CubeData c = cube_data(4, 4, 0, 6);
  const CubeData big = cube_data(64, 64, 0, 200);  // 3.3 MB of noise-like floats
  using Run = std::function<std::string(CubeWriter&, const std::string&)>;
  const auto put = [&](int first, int count) {
    std::vector<int> records;
    for (int r = first; r < first + count; ++r) records.push_back(r);
    return c.part(records);
  };
  const std::vector<std::tuple<const char*, Run, std::string>> cases = {
      {"records missing",
       [&](CubeWriter& w, const std::string& target) {
         const CubeData p = put(0, 3);
         if (std::string problem = w.open(target, c.description); !problem.empty()) return problem;
         if (std::string problem = w.put_records(0, 3, p.spectra, p.spans()); !problem.empty())
           return problem;
         return w.finish();
       },
       ": records missing"},
      {"out of order",
       [&](CubeWriter& w, const std::string& target) {
         const CubeData p = put(0, 1);
         if (std::string problem = w.open(target, c.description); !problem.empty()) return problem;
         return w.put_records(1, 1, p.spectra, p.spans());
       },
       ": records put out of order"},
      {"a status beyond its byte",
       [&](CubeWriter&, const std::string& target) {
         std::vector<std::vector<double>> columns = c.columns;
         columns[2][5] = 300;
         return write_cube(target, c.description, c.spectra, columns);
       },
       ": NetCDF: Numeric conversion not representable"},
      {"abandoned",
       [&](CubeWriter& w, const std::string& target) {
         const CubeData p = put(0, 16);
         if (std::string problem = w.open(target, c.description); !problem.empty()) return problem;
         if (std::string problem = w.put_records(0, 16, p.spectra, p.spans()); !problem.empty())
           return problem;
         w.abandon();
         return w.finish();
       },
       ": the cube is not open"},
      {"a full disk",
       [&](CubeWriter&, const std::string& target) {
         const int status = testing::in_child([&] {
           std::signal(SIGXFSZ, SIG_IGN);
           const rlimit limit{200000, 200000};
           ::setrlimit(RLIMIT_FSIZE, &limit);
           const std::string problem =
               write_cube(target, big.description, big.spectra, big.columns);
           return problem.find(target + ": ") != std::string::npos ? 0 : 1;
         });
         return std::string(WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "" : "no failure");
       },
       ""},
  };
  for (const auto& [what, run, problem] : cases) {
    SCOPED_TRACE(what);
    ftir::testing::TempDir dir;
    std::ofstream(dir.file("cube.nc")) << "older";
    CubeWriter writer;
    EXPECT_EQ(run(writer, dir.file("cube.nc")),
              problem.empty() ? "" : "Cannot write " + dir.file("cube.nc") + problem);
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"cube.nc"});
    EXPECT_EQ(ftir::testing::read_file_bytes(dir.file("cube.nc")),
              (ftir::testing::ByteImage{'o', 'l', 'd', 'e', 'r'}));
  }
}

// SIGTERM or SIGINT while records are being put: the process ends by the signal at the next
// put, before finish() could name the cube, with no temporary file left.
TEST(CubeWriter, AStopSignalLeavesNothing) {
  const CubeData c = cube_data(4, 4, 0, 6);
  const CubeData first = c.part({0, 1, 2, 3, 4, 5, 6, 7});
  const CubeData rest = c.part({8, 9, 10, 11, 12, 13, 14, 15});
  for (int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    ftir::testing::TempDir dir;
    const int status = testing::in_child([&] {
      std::signal(signal, SIG_DFL);
      CubeWriter writer;
      if (!writer.open(dir.file("cube.nc"), c.description).empty()) return 2;
      if (!writer.put_records(0, 8, first.spectra, first.spans()).empty()) return 2;
      if (names_in(dir.path()).size() != 1) return 2;  // the temporary file
      ::kill(::getpid(), signal);
      writer.put_records(8, 8, rest.spectra, rest.spans());
      writer.finish();
      return 3;
    });
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_TRUE(names_in(dir.path()).empty());
  }
}

}  // namespace
}  // namespace ftir::cube
