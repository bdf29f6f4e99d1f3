// A cube as other projects' readers see it: xarray through its netcdf4 and h5netcdf engines,
// h5py, ncdump, and h5wasm (HDF5 compiled to WebAssembly) under node. Each must give the
// float32 of every point put, bit for bit, with the axis, table and attributes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "cube/cube_fixture.h"
#include "cube/writer.h"
#include "support/spc_images.h"

namespace ftir::cube {
namespace {

using testing::cube_data;
using testing::CubeData;

// What every reader prints: the spectra's float32 bits record after record, the
// wavenumbers' float64 bits, the ZPD indices, the status codes, and some attributes.
std::string expected_lines(const CubeData& c) {
  std::string out;
  for (std::size_t i = 0; i < c.spectra.size(); ++i) {
    out += (i == 0 ? "" : " ") + testing::float_bits(c.spectra[i]);
  }
  out += '\n';
  for (std::size_t i = 0; i < c.description.wavenumber.size(); ++i) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &c.description.wavenumber[i], sizeof bits);
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(bits));
    out += (i == 0 ? "" : " ") + std::string(text);
  }
  out += '\n';
  for (int column : {0, 2}) {
    for (std::size_t i = 0; i < c.columns[static_cast<std::size_t>(column)].size(); ++i) {
      out += (i == 0 ? "" : " ") +
             std::to_string(static_cast<int>(c.columns[static_cast<std::size_t>(column)][i]));
    }
    out += '\n';
  }
  out += "tile A1|CF-1.10|ftir-reduce 1.0.0|absorbance|converted refused no_signal|tile.seq,tile.bsp\n";
  return out;
}

struct Reader {
  std::string out;
  std::string err;
  int status = 0;
};

Reader run(const ftir::testing::TempDir& dir, const std::string& command) {
  const std::string full = "cd '" + dir.path().string() + "' && " + command + " > out.txt 2> err.txt";
  Reader r;
  r.status = std::system(full.c_str());
  std::ifstream out(dir.file("out.txt"));
  std::ifstream err(dir.file("err.txt"));
  r.out.assign(std::istreambuf_iterator<char>(out), {});
  r.err.assign(std::istreambuf_iterator<char>(err), {});
  return r;
}

// The cube every reader reads: a 3 x 4 image of 5 points, NaN and -0.0 among them.
const CubeData& cube() {
  static const CubeData c = cube_data(3, 4, 0, 5);
  return c;
}

std::string write_test_cube(const ftir::testing::TempDir& dir) {
  const std::string path = dir.file("cube.nc");
  EXPECT_EQ(write_cube(path, cube().description, cube().spectra, cube().columns), "");
  return path;
}

constexpr const char* kPythonPrint = R"(
def text(v):
    return v.decode() if isinstance(v, bytes) else str(v)
def strings(v):
    return ",".join(text(s) for s in (v if isinstance(v, (list, tuple)) or hasattr(v, "shape") else [v]))
def show(spectrum, wavenumber, zpd, status, attrs, spectrum_attrs, status_attrs):
    import numpy as np
    assert spectrum.dtype == np.float32 and spectrum.shape == (3, 4, 5), (spectrum.dtype, spectrum.shape)
    print(" ".join("%08x" % v for v in np.ascontiguousarray(spectrum).reshape(-1).view(np.uint32)))
    print(" ".join("%016x" % v for v in np.asarray(wavenumber, dtype=np.float64).view(np.uint64)))
    print(" ".join(str(int(v)) for v in np.asarray(zpd).reshape(-1)))
    print(" ".join(str(int(v)) for v in np.asarray(status).reshape(-1)))
    print("|".join([text(attrs["title"]), text(attrs["Conventions"]), text(attrs["source"]),
                    text(spectrum_attrs["long_name"]), text(status_attrs["flag_meanings"]),
                    strings(attrs["input_files"])]))
)";

void python_reader(const std::string& module, const std::string& body) {
  ftir::testing::TempDir dir;
  const std::string python = FTIR_PYTHON3;
  if (std::system((python + " -c 'import " + module + "' > /dev/null 2>&1").c_str()) != 0) {
    GTEST_SKIP() << python << ": " << module << " is missing";
  }
  write_test_cube(dir);
  std::ofstream(dir.file("read.py")) << kPythonPrint << body;
  const Reader r = run(dir, python + " read.py cube.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected_lines(cube()));
}

TEST(CubeReaders, XarrayNetcdf4Engine) {
  python_reader("xarray, netCDF4", R"(
import sys, xarray
ds = xarray.open_dataset(sys.argv[1], engine="netcdf4")
assert ds["spectrum"].dims == ("y", "x", "wavenumber")
show(ds["spectrum"].values, ds["wavenumber"].values, ds["zpd_index"].values, ds["status"].values,
     ds.attrs, ds["spectrum"].attrs, ds["status"].attrs)
)");
}

TEST(CubeReaders, XarrayH5netcdfEngine) {
  python_reader("xarray, h5netcdf", R"(
import sys, xarray
ds = xarray.open_dataset(sys.argv[1], engine="h5netcdf")
assert ds["spectrum"].dims == ("y", "x", "wavenumber")
assert list(ds["x"].values) == [2.75, 8.25, 13.75, 19.25], ds["x"].values
show(ds["spectrum"].values, ds["wavenumber"].values, ds["zpd_index"].values, ds["status"].values,
     ds.attrs, ds["spectrum"].attrs, ds["status"].attrs)
)");
}

TEST(CubeReaders, H5py) {
  python_reader("h5py", R"(
import sys, h5py
f = h5py.File(sys.argv[1], "r")
show(f["spectrum"][...], f["wavenumber"][...], f["zpd_index"][...], f["status"][...],
     f.attrs, f["spectrum"].attrs, f["status"].attrs)
)");
}

// ncdump prints decimals: 9 significant digits give back every float32 exactly.
TEST(CubeReaders, Ncdump) {
  if (std::system("command -v ncdump > /dev/null 2>&1") != 0) GTEST_SKIP() << "ncdump is missing";
  ftir::testing::TempDir dir;
  write_test_cube(dir);
  const Reader r = run(dir, "ncdump -p 9,17 -v spectrum cube.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::size_t data = r.out.find(" spectrum =");
  ASSERT_NE(data, std::string::npos) << r.out;
  std::istringstream values(r.out.substr(data + 11));
  std::string got;
  for (std::string word; values >> word && word != ";";) {
    if (word.back() == ',' || word.back() == ';') word.pop_back();
    const double value = word.rfind("NaN", 0) == 0 ? std::nan("") : std::strtod(word.c_str(), nullptr);
    got += (got.empty() ? "" : " ") + testing::float_bits(value);
  }
  const std::string expected = expected_lines(cube());
  EXPECT_EQ(got, expected.substr(0, expected.find('\n')));
  EXPECT_NE(r.out.find(":title = \"tile A1\" ;"), std::string::npos);
}

// The reader a browser page would run, installed by scripts/install-h5wasm.sh.
TEST(CubeReaders, H5wasmUnderNode) {
  const std::string reader = FTIR_H5WASM_READER;
  if (std::system("command -v node > /dev/null 2>&1") != 0) GTEST_SKIP() << "node is missing";
  if (!std::filesystem::exists(reader)) {
    GTEST_SKIP() << reader << " is missing (scripts/install-h5wasm.sh BUILD_DIR)";
  }
  ftir::testing::TempDir dir;
  write_test_cube(dir);
  std::ofstream(dir.file("read.mjs")) << R"(
const h5wasm = (await import(process.argv[2])).default;
await h5wasm.ready;
const f = new h5wasm.File(process.argv[3], "r");
const hex = (array, width) => Array.from(array, (v) => v.toString(16).padStart(width, "0")).join(" ");
const spectrum = f.get("spectrum");
if (spectrum.dtype !== "<f" || spectrum.shape.join() !== "3,4,5") throw new Error(spectrum.dtype + spectrum.shape);
const s = spectrum.value;
const w = f.get("wavenumber").value;
const words = new Uint32Array(w.buffer, w.byteOffset, 2 * w.length);
const doubles = [];
for (let i = 0; i < w.length; ++i) {
  doubles.push(words[2 * i + 1].toString(16).padStart(8, "0") + words[2 * i].toString(16).padStart(8, "0"));
}
const attr = (object, name) => object.attrs[name].value;
process.stdout.write([
  hex(new Uint32Array(s.buffer, s.byteOffset, s.length), 8),
  doubles.join(" "),
  Array.from(f.get("zpd_index").value).join(" "),
  Array.from(f.get("status").value).join(" "),
  [attr(f, "title"), attr(f, "Conventions"), attr(f, "source"), attr(spectrum, "long_name"),
   attr(f.get("status"), "flag_meanings"), [].concat(attr(f, "input_files")).join(",")].join("|"),
].join("\n") + "\n");
)";
  const Reader r = run(dir, "node read.mjs '" + reader + "' cube.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected_lines(cube()));
}

}  // namespace
}  // namespace ftir::cube
