// ftir-reduce: converts the interferograms listed in red.dat into spectra.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string_view>

#include "cli/check.h"
#include "driver/batch.h"

namespace {

constexpr std::string_view kVersion = "ftir-reduce 1.0.0\n";

constexpr std::string_view kHelp = R"(Usage: ftir-reduce [--help | --version | --check [FILE]]

Turns FTIR interferograms stored as SPC files into spectra. Each listed
interferogram has its mean removed and its centerburst located, is apodized,
Fourier transformed (double-sided magnitude, or single-sided with Mertz phase
correction), scaled, cut to the requested wavenumber range and written as an
old-format SPC file named <outdir>/<base name>.spc.

Everything comes from the file red.dat in the working directory, one field per
line (integer fields in columns 1-5, decimal fields in columns 1-15 where a
number without a point has five implied decimals, free-form numbers anywhere on
their line, names in columns 1-40):
  nfiles             number of interferogram files (at most 700)
  file names         one per line, nfiles lines
  iphase             1: also write the phase angle (.phz) and phase spectrum (.shr)
  sampr              sampling factor (points per laser wavelength); free form
  iapod              window: 0 boxcar, 1 triangle, 2 Happ-Genzel, 3 Blackman-Harris,
                     4/5/6 Norton-Beer weak/medium/strong
  ipow2              1: take (double-sided) or limit (single-sided) the transform to 2^npow
  npow               exponent for ipow2, 1 to 30
  ires               1: single-sided spectra honour the requested resolution res
  idbl               0: single-sided interferograms; any other value: double-sided
  res                requested resolution, cm-1
  wlow               low end of the output range, cm-1; free form
  whigh              high end of the output range, cm-1; free form
  wref               reference (laser) wavenumber, cm-1
  outdir             output directory
  ilog               optional: 1 writes the report and diagnostics to red.out

Exit status: 0 when every file produced its spectrum, 2 when the run ended with
OK but skipped files, 1 when the run stopped on a failure.

--check [FILE] reads FILE (default red.dat) as a run would, converts nothing,
and shows each field's line, columns, text and value, what the run would do,
and warnings for likely slips, each naming its line. Exit status: 0 no warning,
3 warnings, 1 when it cannot be read (with the line a run would stop on).

A worked example with a commented red.dat lies in the examples/ folder of the
source tree; see README.md there and at the top of the tree.
)";

// Descriptors 0, 1 and 2 closed when the program starts would be taken by the first files
// it opens: the pause would read a line of an interferogram and run it as a command, and the
// console would write into red.out. Each closed one is opened on /dev/null first. False when
// that fails.
bool open_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is the one just found closed.
    if (::open("/dev/null", O_RDWR) != fd) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (!open_standard_descriptors()) return 1;
  // A file-size limit then makes a write fail with EFBIG, an ordinary write failure that
  // names the file, instead of killing the run halfway through one.
  std::signal(SIGXFSZ, SIG_IGN);
  if (argc > 1) {
    const std::string_view arg = argv[1];
    if (arg == "--check") {
      if (argc > 3) {
        std::fprintf(stderr,
                     "ftir-reduce: --check takes one red.dat at most, see ftir-reduce --help\n");
        return 1;
      }
      ftir::report::StdConsole out;
      return ftir::cli::run_check(out, argc == 3 ? argv[2] : "red.dat");
    }
    if (argc == 2 && (arg == "--help" || arg == "-h")) {
      std::fwrite(kHelp.data(), 1, kHelp.size(), stdout);
      return 0;
    }
    if (argc == 2 && arg == "--version") {
      std::fwrite(kVersion.data(), 1, kVersion.size(), stdout);
      return 0;
    }
    std::fprintf(stderr,
                 "ftir-reduce: unexpected argument '%s'; it takes no arguments "
                 "(red.dat holds the run), see ftir-reduce --help\n",
                 argv[1]);
    return 1;
  }
  ftir::report::StdConsole console;
  ftir::report::SystemClock clock;
  return ftir::driver::run_program(console, clock);
}
