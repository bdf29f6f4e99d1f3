// Options, output and the input guard shared by the spc-tool commands.
#include "spc_tool/command_line.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "report/stop.h"
#include "spc_tool/spc_trace.h"
#include "spcfile/file_access.h"

namespace ftir::spctool {

std::string Arguments::value(std::string_view name, const std::string& fallback) const {
  const auto found = values.find(name);
  return found == values.end() ? fallback : found->second;
}

Arguments parse_arguments(std::span<char* const> args, std::initializer_list<Option> options) {
  Arguments parsed;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg.size() < 2 || arg[0] != '-') {
      parsed.files.emplace_back(arg);
      continue;
    }
    const Option* match = nullptr;
    for (const Option& option : options) {
      if (arg == option.name || (!option.alias.empty() && arg == option.alias)) match = &option;
    }
    if (match == nullptr) usage_error("unknown option '" + std::string(arg) + "'");
    if (!match->takes_value) {
      parsed.flags.emplace(match->name);
      continue;
    }
    if (i + 1 >= args.size()) usage_error(std::string(arg) + " needs a value");
    parsed.values[std::string(match->name)] = args[++i];
  }
  return parsed;
}

void usage_error(const std::string& what) { throw ToolError(what + " (see spc-tool --help)"); }

void write_stdout(std::string_view text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    throw ToolError(std::string("cannot write to standard output: ") + std::strerror(errno));
  }
}

void write_stderr(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

void write_file(const std::string& path, std::span<const unsigned char> bytes) {
  try {
    const int error = spcfile::write_whole_file(path, bytes);
    if (error != 0) throw ToolError(path + ": " + std::strerror(error));
  } catch (const report::RunStop& stop) {  // the temporary file could not be created
    throw ToolError(stop.text());
  }
}

void write_file(const std::string& path, std::string_view text) {
  write_file(path, std::span(reinterpret_cast<const unsigned char*>(text.data()), text.size()));
}

void refuse_overwriting_inputs(const std::string& output, std::span<const std::string> inputs) {
  for (const std::string& input : inputs) {
    std::error_code error;
    if (std::filesystem::equivalent(output, input, error)) {
      throw ToolError(output + ": the output would replace the input " + input);
    }
  }
}

}  // namespace ftir::spctool
