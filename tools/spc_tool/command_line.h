// What every spc-tool command shares: its options read from the command line, output to
// standard output or to a file written whole, and the check that no output replaces an input.
#pragma once

#include <initializer_list>
#include <map>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ftir::spctool {

// One option of a command: its long name ("--output"), an optional short one ("-o"), and
// whether a value follows it.
struct Option {
  std::string_view name;
  std::string_view alias;
  bool takes_value = false;
};

// A command's arguments: the files in order, the values of value options and the flags
// given, both keyed by the long name.
struct Arguments {
  std::vector<std::string> files;
  std::map<std::string, std::string, std::less<>> values;
  std::set<std::string, std::less<>> flags;

  bool has(std::string_view flag) const { return flags.contains(flag); }
  // The value given for `name`, or `fallback` when it was not given.
  std::string value(std::string_view name, const std::string& fallback = "") const;
};

// Reads `args` (what follows the command name) against `options`. Throws ToolError for an
// unknown option or a value option at the end.
Arguments parse_arguments(std::span<char* const> args, std::initializer_list<Option> options);

// Throws ToolError with `what` and a pointer to the help.
[[noreturn]] void usage_error(const std::string& what);

void write_stdout(std::string_view text);
// Notes for the user that are not the command's output; a failure to write them is ignored.
void write_stderr(std::string_view text);

// Writes through "<path>.tmp" and a rename, so a failure leaves no partial file. Throws
// ToolError naming the file and the system's reason.
void write_file(const std::string& path, std::span<const unsigned char> bytes);
void write_file(const std::string& path, std::string_view text);

// Throws ToolError when `output` is one of `inputs` (the same file by any name).
void refuse_overwriting_inputs(const std::string& output, std::span<const std::string> inputs);

}  // namespace ftir::spctool
