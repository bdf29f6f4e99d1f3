// libFuzzer target for READSC: each input is written to a file and read as an
// interferogram: with the driver's request and capacity, again with a buffer so small that
// the data block comes in many chunks (the outcome must be the same), once more as the
// converter reads (no X values: the same samples), and with a narrow range and a small
// capacity. A stop (refusal, capacity, short header) is a normal outcome; a sanitizer report,
// a crash or a broken postcondition is a finding.
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
#include "spcfile/layout.h"
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
  std::vector<unsigned char> small_io =
      std::vector<unsigned char>(ftir::spcfile::kNewDataOffset + 58);
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

// What one read gave: its points, reason or stop text.
struct Outcome {
  std::vector<double> x;
  std::vector<double> y;
  std::string ending;  // the skip reason or the stop text; empty when read
  bool operator==(const Outcome&) const = default;
};

// With `with_x` false, as the converter reads: no X values (x stays empty).
Outcome read_once(Storage& s, double xlo, double xhi, int nmax, std::span<unsigned char> io,
                  bool with_x = true) {
  ftir::testing::FakeConsole console;  // end of input at the pause: no command is ever run
  ftir::report::Report report(console);
  Outcome outcome;
  try {
    const ftir::spcfile::ReadResult r =
        ftir::spcfile::READSC(report, s.path, xlo, xhi, nmax,
                              with_x ? std::span<double>(s.xin) : std::span<double>(), s.yin, io);
    check(r.npts >= 0 && r.npts <= nmax);
    if (r.skip_reason != nullptr) {
      outcome.ending = r.skip_reason;
      return outcome;
    }
    check(console.output.empty());
    const double lo = std::fmin(xlo, xhi);
    const double hi = std::fmax(xlo, xhi);
    for (std::size_t i = 0; i < static_cast<std::size_t>(r.npts); ++i) {
      check(std::isfinite(s.yin[i]));
      check(!with_x || (lo <= s.xin[i] && s.xin[i] <= hi));
    }
    if (with_x) outcome.x.assign(s.xin.begin(), s.xin.begin() + r.npts);
    outcome.y.assign(s.yin.begin(), s.yin.begin() + r.npts);
  } catch (const ftir::report::RunStop& stop) {
    check(stop.exit_status() == ftir::report::kExitFailure);
    outcome.ending = stop.text();
  }
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Storage storage;
  {
    std::ofstream out(storage.path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  const double lo = static_cast<double>(-9.0e10f);
  const double hi = static_cast<double>(9.0e10f);
  const Outcome whole = read_once(storage, lo, hi, kMaxPoints, storage.io);
  // A buffer just large enough for a header takes the data block in many chunks: the
  // outcome must not depend on the buffer's size.
  check(read_once(storage, lo, hi, kMaxPoints, storage.small_io) == whole);
  // Read as the converter reads, without X values: the same samples and the same ending.
  Outcome no_x = read_once(storage, lo, hi, kMaxPoints, storage.io, false);
  no_x.x = whole.x;
  check(no_x == whole);
  read_once(storage, 100.0, -100.0, 64, storage.io);
  return 0;
}
