// ftir-reduce --check: reads red.dat as a run would, converts nothing, and says in plain
// words what the run would do and which lines look like slips.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "driver/run_parameters.h"
#include "report/console.h"

namespace ftir::cli {

// Exit status of a check that read red.dat but found likely slips (0: no warning, 1: red.dat
// cannot be read, as a run would stop on it).
inline constexpr int kExitCheckWarnings = 3;

// A likely slip, tied to the red.dat line it comes from (1-based).
struct CheckWarning {
  int line_number = 0;
  std::string text;
};

// A listed interferogram as its header describes it.
struct ListedFile {
  int line_number = 0;
  std::string name;   // as listed, trailing blanks removed
  std::string facts;  // "new format, 32-bit, 4645 points, X 0 to 7900.41 cm-1", or its problem
  std::string oname;  // the spectrum's name from OUTNAM, trailing blanks removed
};

struct CheckResult {
  std::vector<driver::FieldTrace> fields;       // every field read, in file order
  std::optional<driver::RunParameters> params;  // when red.dat reads
  std::string stop_text;                        // the run's stop line when it does not
  std::string folder;  // where names are looked up: the folder of red.dat, where a run starts
  std::vector<ListedFile> files;
  std::vector<CheckWarning> warnings;  // in line order
};

// Reads red.dat at `path` with the run's own parser and checks it: the fields' columns,
// value ranges, the listed files' headers (read without pausing or stopping), output names,
// the output folder and the output range. Relative names are taken from the folder of `path`.
CheckResult check_red_dat(const std::string& path);

// The check in plain words on `out` (LF lines): the fields as read, what the run would do,
// the listed files, the warnings, and the run's own stop line when red.dat cannot be read.
// Returns 0 (no warning), kExitCheckWarnings, or 1 (red.dat cannot be read).
int run_check(report::Sink& out, const std::string& path);

}  // namespace ftir::cli
