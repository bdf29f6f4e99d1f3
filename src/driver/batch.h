// The batch loop and the run as a whole.
#pragma once

#include "driver/run_parameters.h"
#include "driver/workspace.h"
#include "report/clock.h"
#include "report/console.h"
#include "report/report.h"

namespace ftir::driver {

// Processes every listed file in order; returns the number of files skipped.
int run_batch(report::Report& report, const report::Clock& clock, RunParameters& params,
              Workspace& ws);

// The whole run in the working directory: red.dat, red.out, the batch, the stop.
// Returns the exit status: 0 after "OK", 2 after "OK" with skipped files, 1 on a failure.
int run_program(report::Console& console, const report::Clock& clock);

}  // namespace ftir::driver
