// The command line's way in: `ftir-reduce [OPTIONS] FILE...` converts the named files,
// `ftir-reduce --check [FILE]` checks a red.dat, --help and --version print.
#pragma once

#include "cli/run.h"
#include "report/clock.h"

namespace ftir::cli {

// Runs what argv[1..argc-1] ask for (argc >= 2); returns the exit status. A bad command
// line gives one line on standard error naming the option and what it allows, status 1.
int run_command_line(int argc, const char* const* argv, const report::Clock& clock,
                     Streams& streams, int cores);

}  // namespace ftir::cli
