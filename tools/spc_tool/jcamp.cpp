// Writing a JCAMP-DX 5.01 file: labelled data records ("##LABEL=value"), then the points
// in the compressed-table form (X++(Y..Y)) with plain ASCII numbers (AFFN).
#include "spc_tool/jcamp.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "spc_tool/command_line.h"

namespace ftir::spctool {
namespace {

constexpr std::size_t kLineLength = 80;

// The shortest text that reads back as `value` (as f32 when the file held f32).
std::string shortest(double value, bool as_f32) {
  char text[64];
  const auto result = as_f32 ? std::to_chars(text, text + sizeof text, static_cast<float>(value))
                             : std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string x_units(int code) {
  switch (code) {
    case 1:
    case 13:
      return "1/CM";
    case 2:
      return "MICROMETERS";
    case 3:
      return "NANOMETERS";
    case 4:
      return "SECONDS";
    default:
      return "ARBITRARY UNITS";
  }
}

std::string y_units(int code) {
  switch (code) {
    case 2:
      return "ABSORBANCE";
    case 3:
      return "KUBELKA-MUNK";
    case 4:
      return "COUNTS";
    case 128:
      return "TRANSMITTANCE";
    case 129:
      return "REFLECTANCE";
    default:
      return "ARBITRARY UNITS";
  }
}

// A label value on one line: control characters made blanks, no "##" that would start a
// new record.
std::string one_line(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  for (std::size_t at = text.find("##"); at != std::string::npos; at = text.find("##", at)) {
    text[at] = ' ';
  }
  return trim(text);
}

}  // namespace

std::string jcamp_text(const Trace& trace, const std::string& title) {
  const std::vector<double>& x = trace.x;  // only its count is used
  const std::vector<double>& y = trace.y;
  std::string heading = one_line(title);
  if (heading.empty()) heading = one_line(trace.comment());
  if (heading.empty()) heading = one_line(trace.name);

  // YFACTOR: the power of ten that brings the largest |Y| to 10^8 .. 10^9, well inside the
  // 32-bit integers that many readers hold Y in, with more digits than an f32 value has.
  double ymax = 0.0;
  for (double v : y) ymax = std::max(ymax, std::fabs(v));
  const int decade = ymax > 0.0 ? static_cast<int>(std::floor(std::log10(ymax))) - 8 : 0;
  const double yfactor = std::pow(10.0, decade);
  char factor_text[32];
  std::snprintf(factor_text, sizeof factor_text, "1E%d", decade);
  std::vector<long long> k(y.size());
  for (std::size_t i = 0; i < y.size(); ++i) k[i] = std::llround(y[i] / yfactor);
  const auto [lo, hi] = std::minmax_element(y.begin(), y.end());

  // X as the layout defines it, evenly spaced from the header's first to its last X (the
  // converter's reader steps old-format X in f32, which drifts by a few 1e-6 relative).
  const bool f32x = trace.x_is_f32;
  const double deltax = (trace.lastx() - trace.firstx()) / static_cast<double>(trace.declared - 1);
  auto x_at = [&](std::size_t i) { return trace.firstx() + static_cast<double>(i) * deltax; };
  std::string out;
  auto record = [&out](std::string_view label, const std::string& value) {
    out += "##";
    out += label;
    out += '=';
    out += value;
    out += '\n';
  };
  record("TITLE", heading);
  record("JCAMP-DX", "5.01");
  record("DATA TYPE", trace.yunits() == 1 ? "INFRARED INTERFEROGRAM" : "INFRARED SPECTRUM");
  record("ORIGIN", one_line(trace.name));
  record("OWNER", "");
  const std::string resolution = one_line(trace.restext());
  if (!resolution.empty()) record("RESOLUTION", resolution);
  record("XUNITS", x_units(trace.xunits()));
  record("YUNITS", y_units(trace.yunits()));
  record("XFACTOR", "1");
  record("YFACTOR", factor_text);
  record("FIRSTX", shortest(trace.firstx(), f32x));
  record("LASTX", shortest(x_at(x.size() - 1), f32x));
  record("DELTAX", shortest(deltax, false));
  record("MAXY", shortest(*hi, true));
  record("MINY", shortest(*lo, true));
  record("NPOINTS", std::to_string(x.size()));
  // FIRSTY as the first stored integer gives it, to 10 digits.
  char firsty[32];
  std::snprintf(firsty, sizeof firsty, "%.10g", static_cast<double>(k.front()) * yfactor);
  record("FIRSTY", firsty);
  record("XYDATA", "(X++(Y..Y))");
  std::string line;
  for (std::size_t i = 0; i < y.size(); ++i) {
    const std::string value = " " + std::to_string(k[i]);
    if (!line.empty() && line.size() + value.size() > kLineLength) {
      out += line;
      out += '\n';
      line.clear();
    }
    if (line.empty()) line = shortest(x_at(i), false);
    line += value;
  }
  out += line;
  out += '\n';
  record("END", "");
  return out;
}

int run_jcamp(std::span<char* const> args) {
  const Arguments a = parse_arguments(args, {{"--output", "-o", true}, {"--title", "", true}});
  if (a.files.size() != 1) usage_error("jcamp takes one FILE");
  const std::string output = a.value("--output");
  if (output.empty()) usage_error("jcamp needs -o OUT.jdx");
  refuse_overwriting_inputs(output, a.files);
  Trace trace = read_trace(a.files[0]);
  load_points(trace);
  write_file(output, jcamp_text(trace, a.value("--title")));
  return 0;
}

}  // namespace ftir::spctool
