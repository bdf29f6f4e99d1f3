// Runs the command line in-process, as main() does, with its two streams caught in strings.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "report/clock.h"
#include "report/console.h"

namespace ftir::testing {

class TextSink : public report::Sink {
 public:
  void write(std::string_view bytes) override { text.append(bytes); }
  std::string text;
};

struct CliResult {
  int status = 0;
  std::string out;
  std::string err;
};

// Runs `ftir-reduce args...` in the working directory with `clock`, on one core.
inline CliResult run_cli(const report::Clock& clock, std::vector<std::string> args) {
  args.insert(args.begin(), "ftir-reduce");
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  TextSink out;
  TextSink err;
  cli::Streams streams{out, err, false};
  const int status =
      cli::run_command_line(static_cast<int>(argv.size()), argv.data(), clock, streams, 1);
  return {status, out.text, err.text};
}

}  // namespace ftir::testing
