// The page of a run (--report): the command line's settings in words, the page written
// after a command-line run, and the red.dat run that also writes its page.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "cli/run.h"
#include "cli/settings.h"
#include "page/settings.h"
#include "report/clock.h"
#include "driver/file_record.h"

namespace ftir::cli {

// A command-line run's settings in words: path, window, resolution, range, laser,
// sampling, output folder, phase files.
std::vector<page::Setting> describe_settings(const Settings& settings);

// Writes the page of a command-line run to settings.report_path. Returns "" or the reason
// it was not written (it would replace one of the run's files, or cannot be written).
std::string write_run_page(const Settings& settings, const report::Clock& clock,
                           std::span<const driver::FileRecord> records);

// `ftir-reduce --report FILE`: runs ./red.dat on the classic console exactly as with no
// arguments (every console line, red.out and output byte), keeping the written curves,
// then writes the page. Returns the run's exit status, or 1 when the page cannot be
// written (with a line on standard error).
int run_red_dat_with_page(const std::string& report_path, const report::Clock& clock,
                          Streams& streams);

}  // namespace ftir::cli
