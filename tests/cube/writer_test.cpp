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

std::string command_output(const std::string& command) {
  std::string out;
  if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

TEST(CubeWriter, DumpForLayout) {
  ftir::testing::TempDir dir;
  const CubeData c = cube_data(2, 3, 0, 4);
  ASSERT_EQ(write_cube(dir.file("a.nc"), c.description, c.spectra, c.columns), "");
  std::printf("%s", command_output("ncdump -s " + dir.file("a.nc")).c_str());
  CubeData s = cube_data(0, 0, 300, 5);
  s.description.time = std::vector<double>(300, 2.5);
  s.description.time_units = "s";
  s.description.is_shard = true;
  s.description.shard = {1, 3};
  ASSERT_EQ(write_cube(dir.file("s.nc"), s.description, s.spectra, s.columns), "");
  std::printf("%s", command_output("ncdump -hs " + dir.file("s.nc")).c_str());
}

}  // namespace
}  // namespace ftir::cube
