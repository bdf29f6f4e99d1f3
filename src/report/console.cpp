#include "report/console.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace ftir::report {

void StdConsole::write(std::string_view bytes) { std::fwrite(bytes.data(), 1, bytes.size(), stdout); }

void StdConsole::flush() { std::fflush(stdout); }

bool StdConsole::interactive() const { return ::isatty(STDIN_FILENO) == 1; }

std::optional<std::string> StdConsole::read_line(int max_chars) {
  flush();
  std::string line;
  bool any = false;
  for (int c = std::getchar(); c != EOF; c = std::getchar()) {
    any = true;
    if (c == '\n') break;
    if (static_cast<int>(line.size()) < max_chars) line += static_cast<char>(c);
  }
  if (!any) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

void StdConsole::run_command(const std::string& command) {
  flush();
  // The command's own status is not the run's concern: the pause returns either way.
  [[maybe_unused]] int status = std::system(command.c_str());
}

}  // namespace ftir::report
