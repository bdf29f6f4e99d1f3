// spc-tool: looks into SPC files, the interferograms the converter reads and the spectra it
// writes: header fields in plain words, the points as CSV, or a plot as SVG.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "spc_tool/spc_trace.h"
#include "spc_tool/svg_plot.h"

namespace {

using ftir::spctool::ToolError;

constexpr std::string_view kHelp = R"(Usage: spc-tool info FILE
       spc-tool csv FILE
       spc-tool svg FILE... [-o PLOT.svg] [--title TEXT]

Shows SPC files, old format (0x4D) and new format (0x4B), as the converter reads them.

  info   the header in plain words: format, flags, points, first and last X, exponent,
         date, resolution text, comment, X and Y units
  csv    one "x,y" line per point: X from firstx and lastx, Y scaled as the converter's
         reader scales it (32-bit integers by 2^(exponent-32), 16-bit by 2^(exponent-16),
         f32 values for exponent -128)
  svg    the spectra overlaid in one self-contained SVG picture: wavenumbers from high
         (left) to low (right), labelled ticks, the first file's comment as title (or
         --title), one colour per file with a legend; written to PLOT.svg, or to standard
         output without -o

A file that cannot be read gives one line on standard error and exit status 1.
)";

[[noreturn]] void usage_error(const std::string& what) {
  throw ToolError(what + " (see spc-tool --help)");
}

void write_stdout(const std::string& text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    throw ToolError(std::string("cannot write to standard output: ") + std::strerror(errno));
  }
}

// Writes through "<path>.tmp" and a rename, so a failure leaves no partial picture.
void write_file(const std::string& path, const std::string& text) {
  const std::string temp = path + ".tmp";
  auto fail = [&](int error_number) {
    std::remove(temp.c_str());
    throw ToolError(path + ": " + std::strerror(error_number != 0 ? error_number : EIO));
  };
  errno = 0;
  std::FILE* file = std::fopen(temp.c_str(), "wb");
  if (file == nullptr) fail(errno);
  const std::size_t written = std::fwrite(text.data(), 1, text.size(), file);
  const int write_error = errno;
  if (std::fclose(file) != 0 || written != text.size())
    fail(write_error != 0 ? write_error : errno);
  if (std::rename(temp.c_str(), path.c_str()) != 0) fail(errno);
}

int run(int argc, char** argv) {
  if (argc < 2) usage_error("no command given");
  const std::string_view command = argv[1];
  if (command == "-h" || command == "--help" || command == "help") {
    write_stdout(std::string(kHelp));
    return 0;
  }
  if (command == "info" || command == "csv") {
    if (argc != 3) usage_error(std::string(command) + " takes one FILE");
    ftir::spctool::Trace trace = ftir::spctool::read_trace(argv[2]);
    if (command == "info") {
      write_stdout(ftir::spctool::info_text(trace));
    } else {
      ftir::spctool::load_points(trace);
      write_stdout(ftir::spctool::csv_text(trace));
    }
    return 0;
  }
  if (command == "svg") {
    std::vector<std::string> files;
    std::string output;
    std::string title;
    for (int i = 2; i < argc; ++i) {
      const std::string_view arg = argv[i];
      if (arg == "-o" || arg == "--output" || arg == "--title") {
        if (i + 1 >= argc) usage_error(std::string(arg) + " needs a value");
        (arg == "--title" ? title : output) = argv[++i];
      } else if (arg.size() > 1 && arg[0] == '-') {
        usage_error("unknown option '" + std::string(arg) + "'");
      } else {
        files.emplace_back(arg);
      }
    }
    if (files.empty()) usage_error("svg needs at least one FILE");
    std::vector<ftir::spctool::Trace> traces;
    traces.reserve(files.size());
    for (const std::string& file : files) {
      traces.push_back(ftir::spctool::read_trace(file));
      ftir::spctool::load_points(traces.back());
    }
    const std::string svg = ftir::spctool::svg_plot(traces, title);
    if (output.empty()) {
      write_stdout(svg);
    } else {
      write_file(output, svg);
    }
    return 0;
  }
  usage_error("unknown command '" + std::string(command) + "'");
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
