// Whole runs in a temporary folder: red.dat, interferograms, the run, what it left.
#pragma once

#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "driver/batch.h"
#include "report/fake_console.h"
#include "report/report.h"
#include "spcfile/reader.h"
#include "spcfile/writer.h"
#include "support/spc_images.h"

namespace ftir::testing {

// The fields of red.dat, written in their columns.
struct RedDat {
  std::vector<std::string> files;
  int iphase = 0;
  double sampr = 1.0;
  int iapod = 3;
  int ipow2 = 0;
  int npow = 13;
  int ires = 1;
  int idbl = 1;
  std::string res = "4.0";
  std::string wlow = "400";
  std::string whigh = "4000";
  std::string wref = "16384.0";
  std::string outdir = "out";
  std::string ilog = "    1";

  std::string text() const {
    auto i5 = [](int v) {
      std::string s = std::to_string(v);
      return std::string(s.size() < 5 ? 5 - s.size() : 0, ' ') + s + "\n";
    };
    std::string t = i5(static_cast<int>(files.size()));
    for (const std::string& f : files) t += f + "\n";
    t += i5(iphase) + std::to_string(sampr) + "\n" + i5(iapod) + i5(ipow2) + i5(npow) + i5(ires) +
         i5(idbl) + res + "\n" + wlow + "\n" + whigh + "\n" + wref + "\n" + outdir + "\n" + ilog +
         "\n";
    return t;
  }
};

// A temporary folder that is the working directory while the object lives.
class RunDir : public TempDir {
 public:
  RunDir() : previous_(std::filesystem::current_path()) { std::filesystem::current_path(path()); }
  ~RunDir() { std::filesystem::current_path(previous_); }

  // Writes an old-format interferogram whose samples are the integers `y` (exponent 32,
  // so every sample reads back exactly).
  void write_interferogram(std::string_view name, const std::vector<std::int32_t>& y) const {
    OldHeaderFields h;
    h.exponent = 32;
    h.pointcount = static_cast<float>(y.size());
    h.firstx = 0.0f;
    h.lastx = static_cast<float>(y.size() - 1);
    ByteImage image = old_format_header(h);
    for (std::int32_t v : y) append_i32_old(image, v);
    write(name, image);
  }

  void write_text(std::string_view name, const std::string& text) const {
    std::ofstream(file(name), std::ios::binary) << text;
  }
  std::string read_text(std::string_view name) const {
    ByteImage bytes = read_file_bytes(file(name));
    return std::string(bytes.begin(), bytes.end());
  }

  // Runs the converter here with a fake console and clock; returns the exit status.
  int run() {
    console.output.clear();
    console.commands.clear();
    return driver::run_program(console, clock);
  }

  // Writes red.dat from `red`, then runs.
  int run(const RedDat& red) {
    write_text("red.dat", red.text());
    return run();
  }

  FakeConsole console;
  FakeClock clock;

 private:
  std::filesystem::path previous_;
};


// A damped two-tone burst centred at `center` (1-based) of `npts` samples, largest at
// the centre, zero mean to within a few counts.
inline std::vector<std::int32_t> burst(int npts, int center, double width = 40.0) {
  std::vector<std::int32_t> y(static_cast<std::size_t>(npts));
  for (int i = 1; i <= npts; ++i) {
    const double d = i - center;
    const double v = 100000.0 * std::exp(-std::fabs(d) / width) *
                     (0.6 * std::cos(0.9 * d) + 0.4 * std::cos(1.7 * d));
    y[static_cast<std::size_t>(i) - 1] = static_cast<std::int32_t>(std::lround(v));
  }
  return y;
}

// A file the converter wrote, read back through its own reader (READSC): X and Y of every
// point, 0-based. `skip_reason` is set when the reader would skip the file.
struct SpectrumFile {
  std::vector<double> x;
  std::vector<double> y;
  const char* skip_reason = nullptr;
  std::string console;  // what the reader reported, normally nothing
};

inline SpectrumFile read_spectrum(const std::string& path) {
  constexpr int kCapacity = 270000;
  FakeConsole console;
  report::Report report(console);
  std::vector<double> xin(kCapacity);
  std::vector<double> yin(kCapacity);
  std::vector<unsigned char> io(spcfile::kIoBufferBytes);
  const spcfile::ReadResult read =
      spcfile::READSC(report, path, -9.0e10, 9.0e10, kCapacity, xin, yin, io);
  SpectrumFile spectrum;
  spectrum.x.assign(xin.begin(), xin.begin() + read.npts);
  spectrum.y.assign(yin.begin(), yin.begin() + read.npts);
  spectrum.skip_reason = read.skip_reason;
  spectrum.console = console.output;
  return spectrum;
}

inline std::string name40(std::string name) {
  name.resize(40, ' ');
  return name;
}
inline std::string name50(std::string name) {
  name.resize(50, ' ');
  return name;
}

}  // namespace ftir::testing
