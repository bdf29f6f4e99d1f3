// libFuzzer target for READSC: each input is written to a file and read as an
// interferogram, once with the driver's request and capacity and once with a narrow range
// and a small capacity, then once more as the converter reads (no X values). A stop
// (refusal, capacity, short header) is a normal outcome; a sanitizer report, a crash or a
// broken postcondition is a finding.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "report/fake_console.h"
#include "report/report.h"
#include "report/stop.h"
#include "spcfile/reader.h"
#include "spcfile/writer.h"

namespace {

using ftir::spcfile::kIoBufferBytes;
using ftir::spcfile::kMaxPoints;

// Storage made once for the whole fuzzing session, as the program makes it once per run.
struct Storage {
  std::vector<double> xin = std::vector<double>(kMaxPoints);
  std::vector<double> yin = std::vector<double>(kMaxPoints);
  std::vector<unsigned char> io = std::vector<unsigned char>(kIoBufferBytes);
  std::string path;

  Storage() {
    std::random_device seed;
    path = (std::filesystem::temp_directory_path() /
            ("ftir-fuzz-reader-" + std::to_string(seed()) + ".spc"))
               .string();
  }
  ~Storage() {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
};

void check(bool condition) {
  if (!condition) std::abort();
}

// With `with_x` false, as the converter reads: no X values, samples four at a time.
void read_once(Storage& s, double xlo, double xhi, int nmax, bool with_x = true) {
  ftir::testing::FakeConsole console;  // end of input at the pause: no command is ever run
  ftir::report::Report report(console);
  try {
    const ftir::spcfile::ReadResult r =
        ftir::spcfile::READSC(report, s.path, xlo, xhi, nmax,
                              with_x ? std::span<double>(s.xin) : std::span<double>(), s.yin, s.io);
    check(r.npts >= 0 && r.npts <= nmax);
    if (r.skip_reason != nullptr) return;
    check(console.output.empty());
    const double lo = std::fmin(xlo, xhi);
    const double hi = std::fmax(xlo, xhi);
    for (std::size_t i = 0; i < static_cast<std::size_t>(r.npts); ++i) {
      check(std::isfinite(s.yin[i]));
      check(!with_x || (lo <= s.xin[i] && s.xin[i] <= hi));
    }
  } catch (const ftir::report::RunStop& stop) {
    check(stop.exit_status() == ftir::report::kExitFailure);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Storage storage;
  {
    std::ofstream out(storage.path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  read_once(storage, static_cast<double>(-9.0e10f), static_cast<double>(9.0e10f), kMaxPoints);
  read_once(storage, 100.0, -100.0, 64);
  read_once(storage, static_cast<double>(-9.0e10f), static_cast<double>(9.0e10f), kMaxPoints,
            false);
  return 0;
}
