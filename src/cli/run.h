// A command-line run: the files of the command line planned, converted, shown in file
// order and summed up.
#pragma once

#include <string>
#include <vector>

#include "cli/convert.h"
#include "cli/settings.h"
#include "report/clock.h"
#include "report/console.h"

namespace ftir::cli {

// Where a command-line run writes: standard output (report lines, the summary table, the
// closing line) and standard error (errors, warnings, skips, and the progress line, only
// when standard error is a terminal).
struct Streams {
  report::Sink& out;
  report::Sink& err;
  bool err_is_terminal = false;
  report::Console* console = nullptr;  // the classic console, for a red.dat run (--report)
};

// The files this run converts (its shard of the list, in list order), each with the
// refusal the run gives it before reading: an output that another file of the list writes
// first, or one that would replace an input file.
std::vector<FileJob> plan_jobs(const Settings& settings);

// The note a run gives once, at its first instrument file (`first`), when options that only
// an SPC file's conversion takes were given: "note: --sides and --sampr do not apply to
// instrument files (...): each file's own processing decides".
std::string spc_only_note(const std::vector<std::string>& options, const std::string& first);

// The 0-based indices of list entries that shard k of n (1-based) converts: k-1, k-1+n, ...
std::vector<std::size_t> shard_indices(std::size_t files, int k, int n);

// Runs the settings' files. Returns the exit status: 0 every file converted (or read and
// counted), 2 some skipped, 1 when the output folder, the log, the summary or the red.dat
// cannot be made or written.
int run_files(const Settings& settings, const report::Clock& clock, Streams& streams);

}  // namespace ftir::cli
