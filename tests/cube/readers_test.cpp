// A cube as other projects' readers see it: xarray through its netcdf4 and h5netcdf engines,
// h5py, and h5wasm (HDF5 compiled to WebAssembly, as a browser runs it) under node. Each
// prints the float32 bits of every point, the float64 bits of the wavenumbers, the ZPD
// indices, the status codes and some attributes, which must be those put, bit for bit.
#include <gtest/gtest.h>

#include <fstream>

#include "cube/cube_fixture.h"
#include "cube/writer.h"
#include "support/spc_images.h"

namespace ftir::cube {
namespace {

std::string expected_lines(const testing::CubeData& c) {
  std::string out;
  for (std::size_t i = 0; i < c.spectra.size(); ++i)
    out += (i == 0 ? "" : " ") + testing::float_bits(c.spectra[i]);
  out += '\n';
  for (std::size_t i = 0; i < c.wavenumbers(); ++i) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &c.description.wavenumber[i], sizeof bits);
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(bits));
    out += (i == 0 ? "" : " ") + std::string(text);
  }
  for (std::size_t column : {0u, 2u}) {
    out += '\n';
    for (std::size_t i = 0; i < c.columns[column].size(); ++i) {
      out += (i == 0 ? "" : " ") + std::to_string(static_cast<int>(c.columns[column][i]));
    }
  }
  return out +
         "\ntile A1|CF-1.10|ftir-reduce 1.0.0|absorbance|converted refused "
         "no_signal|tile.seq,tile.bsp\n";
}

// A 3 x 4 image of 5 points, NaN and -0.0 among them, as cube.nc in `dir`; then `command`.
void read_back(const std::string& script_name, const std::string& script,
               const std::string& command) {
  ftir::testing::TempDir dir;
  const testing::CubeData c = testing::cube_data(3, 4, 0, 5);
  ASSERT_EQ(write_cube(dir.file("cube.nc"), c.description, c.spectra, c.columns), "");
  std::ofstream(dir.file(script_name)) << script;
  int status = 0;
  const std::string out = testing::shell(dir.path(), command, status);
  ASSERT_EQ(status, 0) << out;
  EXPECT_EQ(out, expected_lines(c) + "|");
}

constexpr const char* kShow = R"(import sys
import numpy as np
def text(v):
    return v.decode() if isinstance(v, bytes) else str(v)
def show(spectrum, wavenumber, zpd, status, attrs, spectrum_attrs, status_attrs):
    assert spectrum.dtype == np.float32 and spectrum.shape == (3, 4, 5), (spectrum.dtype, spectrum.shape)
    print(" ".join("%08x" % v for v in np.ascontiguousarray(spectrum).reshape(-1).view(np.uint32)))
    print(" ".join("%016x" % v for v in np.asarray(wavenumber, dtype=np.float64).view(np.uint64)))
    print(" ".join(str(int(v)) for v in np.asarray(zpd).reshape(-1)))
    print(" ".join(str(int(v)) for v in np.asarray(status).reshape(-1)))
    print("|".join([text(attrs["title"]), text(attrs["Conventions"]), text(attrs["source"]),
                    text(spectrum_attrs["long_name"]), text(status_attrs["flag_meanings"]),
                    ",".join(text(s) for s in attrs["input_files"])]))
)";

void python_reader(const std::string& modules, const std::string& body,
                   const std::string& arguments = "") {
  const std::string python = FTIR_PYTHON3;
  if (std::system((python + " -c 'import " + modules + "' > /dev/null 2>&1").c_str()) != 0) {
    GTEST_SKIP() << python << ": " << modules << " missing";
  }
  read_back("read.py", kShow + body, python + " read.py" + arguments);
}

constexpr const char* kXarray = R"(import xarray
ds = xarray.open_dataset("cube.nc", engine=sys.argv[1])
assert ds["spectrum"].dims == ("y", "x", "wavenumber")
assert list(ds["x"].values) == [2.75, 8.25, 13.75, 19.25], ds["x"].values
show(ds["spectrum"].values, ds["wavenumber"].values, ds["zpd_index"].values, ds["status"].values,
     ds.attrs, ds["spectrum"].attrs, ds["status"].attrs)
)";

TEST(CubeReaders, XarrayNetcdf4Engine) { python_reader("xarray, netCDF4", kXarray, " netcdf4"); }

TEST(CubeReaders, XarrayH5netcdfEngine) { python_reader("xarray, h5netcdf", kXarray, " h5netcdf"); }

TEST(CubeReaders, H5py) {
  python_reader("h5py", R"(import h5py
f = h5py.File("cube.nc", "r")
show(f["spectrum"][...], f["wavenumber"][...], f["zpd_index"][...], f["status"][...],
     f.attrs, f["spectrum"].attrs, f["status"].attrs)
)");
}

// The reader is installed by scripts/install-node-readers.sh.
TEST(CubeReaders, H5wasmUnderNode) {
  const std::string reader = FTIR_H5WASM_READER;
  if (std::system("command -v node > /dev/null 2>&1") != 0) GTEST_SKIP() << "node is missing";
  if (!std::filesystem::exists(reader))
    GTEST_SKIP() << reader << " is missing (scripts/install-node-readers.sh BUILD_DIR)";
  read_back("read.mjs", R"(const h5wasm = (await import(process.argv[2])).default;
await h5wasm.ready;
const f = new h5wasm.File("cube.nc", "r");
const hex = (words, width) => Array.from(words, (v) => v.toString(16).padStart(width, "0"));
const spectrum = f.get("spectrum");
if (spectrum.dtype !== "<f" || spectrum.shape.join() !== "3,4,5") throw new Error(spectrum.dtype + spectrum.shape);
const s = spectrum.value;
const w = f.get("wavenumber").value;
const halves = hex(new Uint32Array(w.buffer, w.byteOffset, 2 * w.length), 8);  // little-endian
const attr = (object, name) => object.attrs[name].value;
process.stdout.write([
  hex(new Uint32Array(s.buffer, s.byteOffset, s.length), 8).join(" "),
  Array.from(w, (_, i) => halves[2 * i + 1] + halves[2 * i]).join(" "),
  Array.from(f.get("zpd_index").value).join(" "),
  Array.from(f.get("status").value).join(" "),
  [attr(f, "title"), attr(f, "Conventions"), attr(f, "source"), attr(spectrum, "long_name"),
   attr(f.get("status"), "flag_meanings"), [].concat(attr(f, "input_files")).join(",")].join("|"),
].join("\n") + "\n");
)",
            "node read.mjs '" + reader + "'");
}

}  // namespace
}  // namespace ftir::cube
