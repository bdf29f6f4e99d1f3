#include "cube/cube.h"

#include <ctime>

namespace ftir::cube {

const char* long_name_of(Quantity quantity) {
  switch (quantity) {
    case Quantity::kSingleBeam:
      return "single beam";
    case Quantity::kAbsorbance:
      return "absorbance";
    case Quantity::kTransmittance:
      return "transmittance";
  }
  return "";
}

std::string source_text() { return std::string("ftir-reduce ") + FTIR_VERSION; }

std::string history_line(long long unix_seconds, const std::vector<std::string>& arguments) {
  const auto seconds = static_cast<std::time_t>(unix_seconds);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
  std::string line = stamp;
  for (const std::string& argument : arguments) {
    line += ' ';
    const bool plain =
        !argument.empty() && argument.find_first_not_of(
                                 "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                 "0123456789_-+=./,:@%") == std::string::npos;
    if (plain) {
      line += argument;
      continue;
    }
    // In single quotes a quote itself is written as '\''.
    line += '\'';
    for (char c : argument) line += c == '\'' ? std::string("'\\''") : std::string(1, c);
    line += '\'';
  }
  return line;
}

}  // namespace ftir::cube
