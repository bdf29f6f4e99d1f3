// spc-tool: looks into SPC files, the interferograms the converter reads and the spectra it
// writes (header fields in plain words, the points as CSV, a plot as SVG), and carries a
// measurement on from them: traces split out of a multi-trace file, co-added interferograms,
// transmittance or absorbance, JCAMP-DX exchange files.
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "spc_tool/coadd.h"
#include "spc_tool/command_line.h"
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

Reads SPC files, old format (0x4D) and new format (0x4B), as the converter reads them.

  info    FILE                        the header in plain words
  csv     FILE                        one "x,y" line per point
  svg     FILE... [-o PLOT.svg]       the spectra overlaid in an SVG picture
  split   FILE -o DIR                 each trace of a multi-trace file as a file
  coadd   FILE... -o OUT              the average of interferograms of one geometry
  ratio   SAMPLE BACKGROUND -o OUT    transmittance, or with --absorbance absorbance
  jcamp   FILE -o OUT.jdx             a JCAMP-DX 5.01 file of a spectrum

A file that cannot be read, or a request that cannot be honoured, gives one line on
standard error and exit status 1.
)";

constexpr std::string_view kInfoHelp = R"(Usage: spc-tool info FILE

The header of FILE in plain words, one "field: value" line each: format, flags, points,
first and last X, exponent, date, resolution text, comment, X and Y units. Files the
converter refuses (several traces, X arrays, most significant byte first) are described
as far as their header goes.
)";

constexpr std::string_view kCsvHelp = R"(Usage: spc-tool csv FILE

One "x,y" line per point of FILE: X from firstx and lastx, Y scaled as the converter's
reader scales it (32-bit integers by 2^(exponent-32), 16-bit by 2^(exponent-16), f32
values for exponent -128), each number in the shortest form that reads back the same.
)";

constexpr std::string_view kSvgHelp = R"(Usage: spc-tool svg FILE... [-o PLOT.svg] [--title TEXT]

The spectra overlaid in one self-contained SVG picture: wavenumbers from high (left) to
low (right), labelled ticks, the first file's comment as title (or TEXT), one colour per
file with a legend. Files of the same name in different folders are told apart in the
legend by the shortest end of their paths that differs. Written to PLOT.svg, or to
standard output without -o.
)";

int run_view(std::string_view command, std::span<char* const> args) {
  using namespace ftir::spctool;
  const Arguments a = parse_arguments(args, {});
  if (a.files.size() != 1) usage_error(std::string(command) + " takes one FILE");
  Trace trace = read_trace(a.files[0]);
  if (command == "info") {
    write_stdout(info_text(trace));
  } else {
    load_points(trace);
    write_stdout(csv_text(trace));
  }
  return 0;
}

int run_info(std::span<char* const> args) { return run_view("info", args); }
int run_csv(std::span<char* const> args) { return run_view("csv", args); }

int run_svg(std::span<char* const> args) {
  using namespace ftir::spctool;
  const Arguments a = parse_arguments(args, {{"--output", "-o", true}, {"--title", "", true}});
  if (a.files.empty()) usage_error("svg needs at least one FILE");
  std::vector<Trace> traces;
  traces.reserve(a.files.size());
  for (const std::string& file : a.files) {
    traces.push_back(read_trace(file));
    load_points(traces.back());
  }
  const std::string svg = svg_plot(traces, a.value("--title"));
  const std::string output = a.value("--output");
  if (output.empty()) {
    write_stdout(svg);
  } else {
    refuse_overwriting_inputs(output, a.files);
    write_file(output, svg);
  }
  return 0;
}

struct Command {
  std::string_view name;
  std::string_view help;
  int (*run)(std::span<char* const> args);
};

constexpr Command kCommands[] = {
    {"info", kInfoHelp, run_info},
    {"csv", kCsvHelp, run_csv},
    {"svg", kSvgHelp, run_svg},
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
    return 1;
  }
}
