// The "csv" view: every point as "x,y".
#include "spc_tool/csv.h"

#include <charconv>

#include "spc_tool/command_line.h"

namespace ftir::spctool {
namespace {

void append_shortest(std::string& out, double value, bool as_f32) {
  char text[64];
  const auto result = as_f32 ? std::to_chars(text, text + sizeof text, static_cast<float>(value))
                             : std::to_chars(text, text + sizeof text, value);
  out.append(text, result.ptr);
}

}  // namespace

std::string csv_text(const Trace& trace) {
  std::string out;
  out.reserve(trace.x.size() * 24);
  for (std::size_t i = 0; i < trace.x.size(); ++i) {
    append_shortest(out, trace.x[i], trace.x_is_f32);
    out.push_back(',');
    append_shortest(out, trace.y[i], true);
    out.push_back('\n');
  }
  return out;
}

int run_csv(std::span<char* const> args) {
  const Arguments a = parse_arguments(args, {});
  if (a.files.size() != 1) usage_error("csv takes one FILE");
  Trace trace = read_trace(a.files[0]);
  load_points(trace);
  write_stdout(csv_text(trace));
  return 0;
}

}  // namespace ftir::spctool
