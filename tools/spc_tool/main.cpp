// spc-tool: looks into SPC files, the interferograms the converter reads and the spectra it
// writes (header fields in plain words, the points as CSV, a plot as SVG), and carries a
// measurement on from them: traces split out of a multi-trace file, co-added interferograms,
// transmittance or absorbance, JCAMP-DX exchange files.
#include <cstdio>
#include <exception>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "driver/batch.h"
#include "spc_tool/coadd.h"
#include "spc_tool/command_line.h"
#include "spc_tool/csv.h"
#include "spc_tool/info.h"
#include "spc_tool/jcamp.h"
#include "spc_tool/ratio.h"
#include "spc_tool/spc_trace.h"
#include "spc_tool/split.h"
#include "spc_tool/svg_plot.h"

#ifndef FTIR_VERSION
#define FTIR_VERSION "unknown"
#endif

namespace {

using ftir::spctool::ToolError;

constexpr std::string_view kHelp = R"(Usage: spc-tool COMMAND [ARGUMENT]...
       spc-tool COMMAND --help     what COMMAND does, its options and refusals
       spc-tool --version

Reads SPC files, old format (0x4D) and new format (0x4B), as the converter reads them;
info and csv also read OPUS and OMNIC SPA files (instrument files). The other commands
take SPC files: convert an instrument file with ftir-reduce first.

  info    FILE                        the header in plain words (an instrument file's
                                      blocks and parameters)
  csv     FILE [--block NAME]         one "x,y" line per point (an instrument file's
                                      interferogram, or a spectrum it stores)
  svg     FILE... [-o PLOT.svg]       the spectra overlaid in an SVG picture
  split   FILE -o DIR                 each trace of a multi-trace file as a file
  coadd   FILE... -o OUT              the average of interferograms of one geometry
  ratio   SAMPLE BACKGROUND -o OUT    transmittance, or with --absorbance absorbance
  jcamp   FILE -o OUT.jdx             a JCAMP-DX 5.01 file of a spectrum

A file that cannot be read, or a request that cannot be honoured, gives one line on
standard error and exit status 1. Only regular files are read (a FIFO or a device is
refused at once), of at most 5400512 bytes: the largest file holding no more points
than the converter's 270000, however they are split into traces (a 512-byte header,
then traces of 2 points or more, each a 32-byte subheader, then 4 bytes a point). An
instrument file is read up to 67108864 bytes, as ftir-reduce reads it.
)";

static_assert(ftir::driver::kInstrumentFileLimit == 67108864);  // the number the help states

struct Command {
  std::string_view name;
  std::string_view help;
  int (*run)(std::span<char* const> args);
};

constexpr Command kCommands[] = {
    {"info", ftir::spctool::kInfoHelp, ftir::spctool::run_info},
    {"csv", ftir::spctool::kCsvHelp, ftir::spctool::run_csv},
    {"svg", ftir::spctool::kSvgHelp, ftir::spctool::run_svg},
    {"split", ftir::spctool::kSplitHelp, ftir::spctool::run_split},
    {"coadd", ftir::spctool::kCoaddHelp, ftir::spctool::run_coadd},
    {"ratio", ftir::spctool::kRatioHelp, ftir::spctool::run_ratio},
    {"jcamp", ftir::spctool::kJcampHelp, ftir::spctool::run_jcamp},
};

int run(int argc, char** argv) {
  if (argc < 2) ftir::spctool::usage_error("no command given");
  const std::string_view command = argv[1];
  if (command == "-h" || command == "--help" || command == "help") {
    ftir::spctool::write_stdout(kHelp);
    return 0;
  }
  if (command == "--version") {
    ftir::spctool::write_stdout(std::string("spc-tool ") + FTIR_VERSION + "\n");
    return 0;
  }
  const std::span<char* const> args(argv + 2, static_cast<std::size_t>(argc - 2));
  for (const Command& c : kCommands) {
    if (c.name != command) continue;
    for (const char* arg : args) {
      if (std::string_view(arg) == "--help" || std::string_view(arg) == "-h") {
        ftir::spctool::write_stdout(c.help);
        return 0;
      }
    }
    return c.run(args);
  }
  ftir::spctool::usage_error("unknown command '" + std::string(command) + "'");
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const ToolError& e) {
    std::fprintf(stderr, "spc-tool: %s\n", e.what());
  } catch (const std::bad_alloc&) {  // many large files under a limit on the process's memory
    std::fputs("spc-tool: out of memory\n", stderr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "spc-tool: %s\n", e.what());
  }
  return 1;
}
