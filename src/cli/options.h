// The command line's options: parsed into Settings, or refused with a message that names
// the option and what it allows.
#pragma once

#include <stdexcept>
#include <string>
#include <variant>

#include "cli/settings.h"

namespace ftir::cli {

// A bad command line; what() names the option and what is allowed. see_help(): the line
// ends with a pointer to --help (an unknown option that has a near one names that instead).
class OptionError : public std::runtime_error {
 public:
  explicit OptionError(const std::string& what, bool see_help = true)
      : std::runtime_error(what), see_help_(see_help) {}
  bool see_help() const { return see_help_; }

 private:
  bool see_help_;
};

// What the command line asks for: a run with these settings, or a text to print and leave
// with status 0 (--help, --version).
struct PrintAndLeave {
  std::string text;
};
// `--report FILE` alone: the red.dat run of ./red.dat, exactly as with no arguments, and
// the page of that run.
struct RedDatRun {
  std::string report_path;
};
using Command = std::variant<Settings, PrintAndLeave, RedDatRun>;

// Parses argv[1..argc-1]; `cores` is the default of --jobs. Reads the list of --files-from
// (standard input for "-"). Throws OptionError.
Command parse_options(int argc, const char* const* argv, int cores);

// A number as a person writes it ("4", "4.", "1e3", "-10"), rounded once to the nearest
// double (as red.dat's fields are); nullopt when the whole text is not one number.
std::optional<double> parse_number(std::string_view text);

}  // namespace ftir::cli
