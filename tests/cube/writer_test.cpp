// The cube writer: layout as ncdump (netCDF's own tool) shows it, values read back, and no
// cube and no temporary file after any failure.
#include "cube/writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "cube/cube_fixture.h"
#include "cube/reader.h"
#include "support/spc_images.h"

namespace ftir::cube {
namespace {

using testing::cube_data;
using testing::CubeData;
using testing::float_bits;
using testing::names_in;

std::string command_output(const std::string& command) {
  std::string out;
  if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

// `ncdump -hs` of a cube without the line naming the library's versions.
std::string header_of(const std::string& path) {
  std::istringstream in(command_output("ncdump -hs '" + path + "'"));
  std::string kept;
  for (std::string line; std::getline(in, line);) {
    if (line.find("_NCProperties") == std::string::npos) kept += line + '\n';
  }
  return kept;
}

std::vector<std::span<const double>> spans_of(const std::vector<std::vector<double>>& columns,
                                              std::size_t first, std::size_t count) {
  std::vector<std::span<const double>> spans;
  for (const auto& c : columns) spans.emplace_back(c.data() + first, count);
  return spans;
}

TEST(CubeWriter, ImageLayoutAsNcdumpShowsIt) {
  if (std::system("command -v ncdump > /dev/null 2>&1") != 0) GTEST_SKIP() << "ncdump is missing";
  ftir::testing::TempDir dir;
  const CubeData c = cube_data(2, 3, 0, 4);
  ASSERT_EQ(write_cube(dir.file("a.nc"), c.description, c.spectra, c.columns), "");
  EXPECT_EQ(header_of(dir.file("a.nc")), R"(netcdf a {
dimensions:
	y = 2 ;
	x = 3 ;
	wavenumber = 4 ;
variables:
	double wavenumber(wavenumber) ;
		wavenumber:units = "cm-1" ;
		wavenumber:long_name = "wavenumber" ;
		wavenumber:_Storage = "contiguous" ;
		wavenumber:_Endianness = "little" ;
	double y(y) ;
		y:units = "um" ;
		y:long_name = "y of the pixel centre" ;
		y:axis = "Y" ;
		y:_Storage = "contiguous" ;
		y:_Endianness = "little" ;
	double x(x) ;
		x:units = "um" ;
		x:long_name = "x of the pixel centre" ;
		x:axis = "X" ;
		x:_Storage = "contiguous" ;
		x:_Endianness = "little" ;
	float spectrum(y, x, wavenumber) ;
		spectrum:long_name = "absorbance" ;
		spectrum:units = "1" ;
		spectrum:_Storage = "chunked" ;
		spectrum:_ChunkSizes = 2, 3, 4 ;
		spectrum:_Shuffle = "true" ;
		spectrum:_DeflateLevel = 1 ;
		spectrum:_Endianness = "little" ;
	int zpd_index(y, x) ;
		zpd_index:long_name = "ZPD index used" ;
		zpd_index:_Storage = "chunked" ;
		zpd_index:_ChunkSizes = 2, 3 ;
		zpd_index:_Shuffle = "true" ;
		zpd_index:_DeflateLevel = 1 ;
		zpd_index:_Endianness = "little" ;
	double energy(y, x) ;
		energy:long_name = "energy of the interferogram" ;
		energy:units = "1" ;
		energy:_Storage = "chunked" ;
		energy:_ChunkSizes = 2, 3 ;
		energy:_Shuffle = "true" ;
		energy:_DeflateLevel = 1 ;
		energy:_Endianness = "little" ;
	byte status(y, x) ;
		status:long_name = "status" ;
		status:flag_values = 0b, 1b, 2b ;
		status:flag_meanings = "converted refused no_signal" ;
		status:_Storage = "chunked" ;
		status:_ChunkSizes = 2, 3 ;
		status:_Shuffle = "true" ;
		status:_DeflateLevel = 1 ;

// global attributes:
		:Conventions = "CF-1.10" ;
		:title = "tile A1" ;
		:source = "ftir-reduce 1.0.0" ;
		:history = "2026-12-08T03:17:06Z ftir-reduce tile.seq" ;
		:window = "APBH3" ;
		:zero_filling = 2 ;
		:laser_wavenumber = 15798. ;
		:kept_range = 400., 3999.5 ;
		string :input_files = "tile.seq", "tile.bsp" ;
		string :input_sha256 = "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb" ;
		:_SuperblockVersion = 2 ;
		:_IsNetcdf4 = 1 ;
		:_Format = "netCDF-4" ;
}
)");
  // Pixel centres half a pitch (5.5 um) in from the corner.
  const std::string data = command_output("ncdump -v x,y '" + dir.file("a.nc") + "'");
  EXPECT_NE(data.find(" y = 2.75, 8.25 ;"), std::string::npos) << data;
  EXPECT_NE(data.find(" x = 2.75, 8.25, 13.75 ;"), std::string::npos) << data;
}

TEST(CubeWriter, ChunksOfSeriesAndLargeImagesTimeAndShard) {
  if (std::system("command -v ncdump > /dev/null 2>&1") != 0) GTEST_SKIP() << "ncdump is missing";
  ftir::testing::TempDir dir;
  CubeData s = cube_data(0, 0, 300, 5);
  s.description.time = std::vector<double>(300, 2.5);
  s.description.time_units = "seconds since 2026-12-08 00:00:00";
  s.description.is_shard = true;
  s.description.shard = {1, 3};
  s.description.quantity = Quantity::kSingleBeam;
  ASSERT_EQ(write_cube(dir.file("s.nc"), s.description, s.spectra, s.columns), "");
  CubeData image = cube_data(40, 17, 0, 3);
  image.description.quantity = Quantity::kTransmittance;
  ASSERT_EQ(write_cube(dir.file("i.nc"), image.description, image.spectra, image.columns), "");
  const struct {
    const char* file;
    const char* line;
  } expected[] = {
      {"s.nc", "\tfloat spectrum(record, wavenumber) ;\n"},
      {"s.nc", "\t\tspectrum:_ChunkSizes = 256, 5 ;\n"},
      {"s.nc", "\t\tspectrum:long_name = \"single beam\" ;\n"},
      {"s.nc", "\t\tspectrum:coordinates = \"time\" ;\n"},
      {"s.nc", "\tdouble time(record) ;\n"},
      {"s.nc", "\t\ttime:units = \"seconds since 2026-12-08 00:00:00\" ;\n"},
      {"s.nc", "\tbyte shard_covered(record) ;\n"},
      {"s.nc", "\t\t:shard_index = 1 ;\n\t\t:shard_count = 3 ;\n"},
      {"i.nc", "\t\tspectrum:_ChunkSizes = 16, 16, 3 ;\n"},
      {"i.nc", "\t\tspectrum:long_name = \"transmittance\" ;\n"},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(e.line);
    EXPECT_NE(header_of(dir.file(e.file)).find(e.line), std::string::npos);
  }
  EXPECT_EQ(header_of(dir.file("i.nc")).find("shard"), std::string::npos);
}

// Every record's spectrum and table read back as the float32 (and the column's type) of
// what was put, whether the records came in pieces across bands, as tiles, or at once; the
// same calls give the same bytes.
TEST(CubeWriter, PiecesTilesAndWholeHoldTheSameValues) {
  ftir::testing::TempDir dir;
  const CubeData c = cube_data(20, 19, 0, 3);  // a band is 16 rows: one whole, one partial
  const std::size_t k = 3;
  ASSERT_EQ(write_cube(dir.file("whole.nc"), c.description, c.spectra, c.columns), "");
  ASSERT_EQ(write_cube(dir.file("again.nc"), c.description, c.spectra, c.columns), "");
  {
    CubeWriter pieces;
    ASSERT_EQ(pieces.open(dir.file("pieces.nc"), c.description), "");
    for (int first = 0; first < 380; first += 7) {
      const int count = std::min(7, 380 - first);
      const auto f = static_cast<std::size_t>(first);
      const auto n = static_cast<std::size_t>(count);
      ASSERT_EQ(pieces.put_records(first, count, {c.spectra.data() + f * k, n * k},
                                   spans_of(c.columns, f, n)),
                "");
    }
    ASSERT_EQ(pieces.finish(), "");
  }
  {
    CubeWriter tiles;
    ASSERT_EQ(tiles.open(dir.file("tiles.nc"), c.description), "");
    // Four tiles that meet at (13, 5), put bottom right first.
    for (auto [row, column, height, width] : {std::array{13, 5, 7, 14}, std::array{0, 0, 13, 5},
                                              std::array{0, 5, 13, 14}, std::array{13, 0, 7, 5}}) {
      std::vector<double> spectra;
      std::vector<std::vector<double>> columns(3);
      for (int y = row; y < row + height; ++y) {
        for (int x = column; x < column + width; ++x) {
          const auto r = static_cast<std::size_t>(y * 19 + x);
          spectra.insert(spectra.end(), c.spectra.begin() + static_cast<long>(r * k),
                         c.spectra.begin() + static_cast<long>((r + 1) * k));
          for (std::size_t i = 0; i < 3; ++i) columns[i].push_back(c.columns[i][r]);
        }
      }
      ASSERT_EQ(tiles.put_tile(row, column, height, width, spectra, spans_of(columns, 0, columns[0].size())), "");
    }
    ASSERT_EQ(tiles.finish(), "");
  }
  EXPECT_EQ(ftir::testing::read_file_bytes(dir.file("whole.nc")),
            ftir::testing::read_file_bytes(dir.file("again.nc")));
  EXPECT_EQ(ftir::testing::read_file_bytes(dir.file("whole.nc")),
            ftir::testing::read_file_bytes(dir.file("pieces.nc")));
  for (const char* name : {"whole.nc", "pieces.nc", "tiles.nc"}) {
    SCOPED_TRACE(name);
    CubeReader reader;
    ASSERT_EQ(reader.open(dir.file(name)), "");
    EXPECT_EQ(reader.description(), c.description);
    std::vector<float> spectra;
    ASSERT_EQ(reader.read_records(0, 380, spectra), "");
    for (std::size_t i = 0; i < c.spectra.size(); ++i) {
      ASSERT_EQ(float_bits(spectra[i]), float_bits(c.spectra[i])) << i;
    }
    std::vector<double> column;
    ASSERT_EQ(reader.read_column(1, column), "");
    EXPECT_EQ(column, c.columns[1]);
    ASSERT_EQ(reader.read_column(2, column), "");
    EXPECT_EQ(column, c.columns[2]);
  }
  EXPECT_EQ(names_in(dir.path()),
            (std::vector<std::string>{"again.nc", "pieces.nc", "tiles.nc", "whole.nc"}));
}

TEST(CubeWriter, HistoryLineQuotesWhatAShellWouldSplit) {
  const struct {
    std::vector<std::string> arguments;
    const char* line;
  } cases[] = {
      {{"ftir-reduce", "-j", "2", "a.0", "--cube", "day.nc"},
       "2026-12-08T03:17:06Z ftir-reduce -j 2 a.0 --cube day.nc"},
      {{"ftir-reduce", "my file.spc", "it's", ""},
       "2026-12-08T03:17:06Z ftir-reduce 'my file.spc' 'it'\\''s' ''"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(history_line(1796699826, c.arguments), c.line);
  }
  EXPECT_EQ(history_line(0, {}), "1970-01-01T00:00:00Z");
}

// Ways a cube can fail; after each the folder holds only the older file under the target's
// name, unchanged.
TEST(CubeWriter, AFailureLeavesNoCubeAndNoTemporary) {
  const CubeData c = cube_data(4, 4, 0, 6);
  const struct {
    const char* what;
    std::function<std::string(CubeWriter&, const std::string&)> run;
    const char* problem;
  } cases[] = {
      {"records missing",
       [&](CubeWriter& w, const std::string& target) {
         std::string p = w.open(target, c.description);
         if (p.empty()) p = w.put_records(0, 3, {c.spectra.data(), 18}, spans_of(c.columns, 0, 3));
         return p.empty() ? w.finish() : p;
       },
       ": records missing"},
      {"out of order",
       [&](CubeWriter& w, const std::string& target) {
         std::string p = w.open(target, c.description);
         return p.empty() ? w.put_records(1, 1, {c.spectra.data(), 6}, spans_of(c.columns, 0, 1)) : p;
       },
       ": records put out of order"},
      {"put twice",
       [&](CubeWriter& w, const std::string& target) {
         std::string p = w.open(target, c.description);
         if (p.empty()) p = w.put_tile(0, 0, 1, 1, {c.spectra.data(), 6}, spans_of(c.columns, 0, 1));
         return p.empty() ? w.put_tile(0, 0, 1, 1, {c.spectra.data(), 6}, spans_of(c.columns, 0, 1)) : p;
       },
       ": a record put twice"},
      {"a status beyond its byte",
       [&](CubeWriter&, const std::string& target) {
         std::vector<std::vector<double>> columns = c.columns;
         columns[2][5] = 300;
         return write_cube(target, c.description, c.spectra, columns);
       },
       ": NetCDF: Numeric conversion not representable"},
      {"abandoned",
       [&](CubeWriter& w, const std::string& target) {
         std::string p = w.open(target, c.description);
         if (p.empty()) p = w.put_records(0, 16, c.spectra, spans_of(c.columns, 0, 16));
         w.abandon();
         return p.empty() ? w.finish() : p;
       },
       ": the cube is not open"},
      {"never finished",
       [&](CubeWriter&, const std::string& target) {
         CubeWriter w;
         std::string p = w.open(target, c.description);
         if (p.empty()) p = w.put_records(0, 16, c.spectra, spans_of(c.columns, 0, 16));
         return p.empty() ? std::string("no problem: ") : p;
       },
       "no problem: "},
  };
  for (const auto& e : cases) {
    SCOPED_TRACE(e.what);
    ftir::testing::TempDir dir;
    std::ofstream(dir.file("cube.nc")) << "older";
    CubeWriter writer;
    const std::string problem = e.run(writer, dir.file("cube.nc"));
    const std::string expected = std::string(e.problem) == "no problem: "
                                     ? e.problem
                                     : "Cannot write " + dir.file("cube.nc") + e.problem;
    EXPECT_EQ(problem, expected);
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"cube.nc"});
    EXPECT_EQ(ftir::testing::read_file_bytes(dir.file("cube.nc")),
              (ftir::testing::ByteImage{'o', 'l', 'd', 'e', 'r'}));
  }
  ftir::testing::TempDir dir;
  EXPECT_EQ(write_cube(dir.file("no/cube.nc"), c.description, c.spectra, c.columns),
            "Cannot write " + dir.file("no/cube.nc") + ": No such file or directory");
}

// A full disk, as a file-size limit in a child process makes one: the write fails and the
// temporary file goes.
TEST(CubeWriter, AFullDiskLeavesNothing) {
  ftir::testing::TempDir dir;
  const CubeData c = cube_data(64, 64, 0, 200);  // 3.3 MB of noise-like floats
  const int status = testing::in_child([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{200000, 200000};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const std::string problem = write_cube(dir.file("cube.nc"), c.description, c.spectra, c.columns);
    return problem.rfind("Cannot write " + dir.file("cube.nc") + ": ", 0) == 0 ? 0 : 1;
  });
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(names_in(dir.path()).empty());
}

// SIGTERM or SIGINT while records are being put: the process ends by the signal at the next
// put, with neither the cube nor its temporary file left.
TEST(CubeWriter, AStopSignalLeavesNothing) {
  const CubeData c = cube_data(4, 4, 0, 6);
  for (int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    ftir::testing::TempDir dir;
    const int status = testing::in_child([&] {
      std::signal(signal, SIG_DFL);
      CubeWriter writer;
      if (!writer.open(dir.file("cube.nc"), c.description).empty()) return 2;
      if (!writer.put_records(0, 8, {c.spectra.data(), 48}, spans_of(c.columns, 0, 8)).empty()) return 3;
      if (names_in(dir.path()).size() != 1) return 4;  // the temporary file
      ::kill(::getpid(), signal);
      writer.put_records(8, 8, {c.spectra.data() + 48, 48}, spans_of(c.columns, 8, 8));
      writer.finish();
      return 5;
    });
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_TRUE(names_in(dir.path()).empty());
  }
}

}  // namespace
}  // namespace ftir::cube
