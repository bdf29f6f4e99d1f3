// Running the tools as a user does, in a temporary folder, and the spectra they are given.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "report/fake_console.h"
#include "spcfile/writer.h"
#include "support/spc_images.h"

namespace ftir::testing {

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs spc-tool with `args` (already quoted as the shell needs) inside `dir`.
inline ToolRun spc_tool(const TempDir& dir, const std::string& args) {
  const std::string out = dir.file("stdout");
  const std::string err = dir.file("stderr");
  const std::string command = "cd '" + dir.path().string() + "' && '" + SPC_TOOL_EXE + "' " + args +
                              " > '" + out + "' 2> '" + err + "'";
  const int status = std::system(command.c_str());
  ToolRun run;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const ByteImage o = read_file_bytes(out);
  const ByteImage e = read_file_bytes(err);
  run.out.assign(o.begin(), o.end());
  run.err.assign(e.begin(), e.end());
  return run;
}

// A spectrum as the converter writes it: old format, the title in 80 characters.
inline void write_spectrum(const std::string& path, const std::string& title, std::vector<double> x,
                           std::vector<double> y) {
  std::vector<unsigned char> scratch(spcfile::kIoBufferBytes);
  const FakeClock clock({2026, 12, 7, 9, 41});
  std::string padded = title;
  padded.resize(80, ' ');
  spcfile::WRITSC(path, padded, 1, 0, 4.0, static_cast<int>(y.size()), 0.25, x, y, clock, scratch);
}

}  // namespace ftir::testing
