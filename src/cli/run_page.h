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
// sampling, output folder, phase files. Where the run read instrument files, the settings
// their own processing decides say "from each file" (all of the files, or beside the value
// the other files take).
enum class InstrumentShare { kNone, kSome, kAll };
std::vector<page::Setting> describe_settings(const Settings& settings,
                                             InstrumentShare instruments = InstrumentShare::kNone);

// The page of a command-line run, as HTML.
std::string run_page(const Settings& settings, const report::Clock& clock,
                     std::span<const driver::FileRecord> records);

// `ftir-reduce --report FILE`: runs ./red.dat on the classic console exactly as with no
// arguments (every console line, red.out and output byte), keeping the written curves,
// then writes the page. A page that would replace a file of the run, or that cannot be
// created, is refused before the run (one line on standard error, status 1, nothing run).
// Returns the run's exit status, or 1 when the page cannot be written.
int run_red_dat_with_page(const std::string& report_path, const report::Clock& clock,
                          Streams& streams);

}  // namespace ftir::cli
