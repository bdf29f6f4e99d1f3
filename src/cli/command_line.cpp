#include "cli/command_line.h"

#include <string_view>

#include "cli/check.h"
#include "cli/explain.h"
#include "cli/options.h"
#include "cli/run_page.h"

namespace ftir::cli {

int run_command_line(int argc, const char* const* argv, const report::Clock& clock,
                     Streams& streams, int cores) {
  if (argc >= 2 && std::string_view(argv[1]) == "--check") {
    // ftir-reduce --check [FILE]: the red.dat checker takes the rest.
    if (argc > 3) {
      streams.err.write("ftir-reduce: --check takes one red.dat at most (see ftir-reduce --help)\n");
      return 1;
    }
    return run_check(streams.out, argc == 3 ? argv[2] : "red.dat");
  }
  try {
    Command command = parse_options(argc, argv, cores);
    if (const auto* leave = std::get_if<PrintAndLeave>(&command)) {
      streams.out.write(leave->text);
      return 0;
    }
    if (const auto* red_dat = std::get_if<RedDatRun>(&command)) {
      return run_red_dat_with_page(red_dat->report_path, clock, streams);
    }
    const Settings& settings = std::get<Settings>(command);
    if (settings.explain) return run_explain(settings, streams);
    return run_files(settings, clock, streams);
  } catch (const OptionError& e) {
    streams.err.write(std::string("ftir-reduce: ") + e.what() +
                      (e.see_help() ? " (see ftir-reduce --help)\n" : "\n"));
    return 1;
  }
}

}  // namespace ftir::cli
