// A console that keeps what is written to it: a file's report in a command-line run is
// collected here and printed by the run in file order. It never pauses: there is no input
// line and no command interpreter behind it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "report/console.h"

namespace ftir::cli {

class BufferConsole : public report::Console {
 public:
  void write(std::string_view bytes) override { text.append(bytes); }
  std::optional<std::string> read_line(int) override { return std::nullopt; }
  void run_command(const std::string&) override {}

  std::string text;
};

}  // namespace ftir::cli
