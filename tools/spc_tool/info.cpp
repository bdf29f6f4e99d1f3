// The "info" view: every header field, with unit codes and flags named.
#include "spc_tool/info.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "omnicfile/spa_file.h"
#include "opusfile/opus_file.h"
#include "spc_tool/command_line.h"
#include "spc_tool/instrument_info.h"
#include "spcfile/layout.h"

namespace ftir::spctool {
namespace {

using spcfile::SpcVariant;

std::size_t sample_width(SampleKind kind) { return kind == SampleKind::kInt16 ? 2 : 4; }

template <std::size_t N>
std::string text_of(const std::array<char, N>& field) {
  const auto end = std::find(field.begin(), field.end(), '\0');
  return std::string(field.begin(), end);
}

const char* x_unit_name(int code) {
  switch (code) {
    case 0:
      return "arbitrary";
    case 1:
      return "wavenumber, cm-1";
    case 2:
      return "micrometers";
    case 3:
      return "nanometers";
    case 4:
      return "seconds";
    case 5:
      return "minutes";
    case 6:
      return "hertz";
    case 7:
      return "kilohertz";
    case 8:
      return "megahertz";
    case 9:
      return "mass, M/z";
    case 10:
      return "parts per million";
    case 11:
      return "days";
    case 12:
      return "years";
    case 13:
      return "Raman shift, cm-1";
    case 14:
      return "electron volts";
    case 16:
      return "diode number";
    case 17:
      return "channel";
    case 18:
      return "degrees";
    case 19:
      return "degrees Fahrenheit";
    case 20:
      return "degrees Celsius";
    case 21:
      return "kelvin";
    case 22:
      return "data points";
    case 23:
      return "milliseconds";
    case 24:
      return "microseconds";
    case 25:
      return "nanoseconds";
    case 26:
      return "gigahertz";
    case 27:
      return "centimeters";
    case 28:
      return "meters";
    case 29:
      return "millimeters";
    case 30:
      return "hours";
    case 255:
      return "double interferogram";
    default:
      return nullptr;
  }
}

const char* y_unit_name(int code) {
  switch (code) {
    case 0:
      return "arbitrary intensity";
    case 1:
      return "interferogram";
    case 2:
      return "absorbance";
    case 3:
      return "Kubelka-Munk";
    case 4:
      return "counts";
    case 5:
      return "volts";
    case 6:
      return "degrees";
    case 7:
      return "milliamps";
    case 8:
      return "millimeters";
    case 9:
      return "millivolts";
    case 10:
      return "log(1/R)";
    case 11:
      return "percent";
    case 12:
      return "intensity";
    case 13:
      return "relative intensity";
    case 14:
      return "energy";
    case 16:
      return "decibels";
    case 19:
      return "degrees Fahrenheit";
    case 20:
      return "degrees Celsius";
    case 21:
      return "kelvin";
    case 22:
      return "index of refraction";
    case 23:
      return "extinction coefficient";
    case 24:
      return "real";
    case 25:
      return "imaginary";
    case 26:
      return "complex";
    case 128:
      return "transmission";
    case 129:
      return "reflectance";
    case 130:
      return "arbitrary or single beam with valley peaks";
    case 131:
      return "emission";
    default:
      return nullptr;
  }
}

std::string unit_text(int code, const char* name) {
  return std::to_string(code) + " (" + (name != nullptr ? name : "unknown code") + ")";
}

std::string flags_text(std::uint8_t flags) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%02X", flags);
  std::string text = hex;
  text += (flags & spcfile::kFlagShortY) != 0 ? " (16-bit integer Y" : " (32-bit Y";
  if ((flags & spcfile::kFlagCompat) != 0) text += "; compatibility flag: not readable";
  if ((flags & spcfile::kFlagMulti) != 0) text += "; several traces: not readable";
  if ((flags & spcfile::kFlagXArray) != 0) text += "; X array before Y: not readable";
  if ((flags & 0x78) != 0) text += "; multi-trace or axis-label options";
  return text + ")";
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

// Old-format years are four digits or counted from 1900; the top 4 bits of the field may
// hold a Z unit code in multi-trace files.
std::string date_text(int year, int month, int day, int hour, int minute) {
  if (year == 0 && month == 0 && day == 0 && hour == 0 && minute == 0) return "none";
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", year, month, day, hour, minute);
  return text;
}

}  // namespace

std::string info_text(const Trace& trace) {
  const auto& h = trace.header;
  std::string out;
  auto line = [&out](std::string_view field, const std::string& value) {
    out.append(field);
    out.append(value);
    out.push_back('\n');
  };
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%02X", h.version);
  line("file:        ", printable(trace.path));
  switch (h.variant) {
    case SpcVariant::kOld:
      line("format:      ",
           std::string("old (version ") + hex + "), 256-byte header, data from byte 256");
      break;
    case SpcVariant::kNew:
      line("format:      ",
           std::string("new (version ") + hex +
               "), least significant byte first, 512-byte header, data from byte 544");
      break;
    case SpcVariant::kNewMsbFirst:
      line("format:      ",
           std::string("new (version ") + hex + "), most significant byte first: not readable");
      line("flags:       ", flags_text(h.flags));
      return out;
  }
  line("flags:       ", flags_text(h.flags));

  const std::int64_t data_values =
      trace.file_bytes > h.data_offset
          ? static_cast<std::int64_t>((trace.file_bytes - h.data_offset) / sample_width(trace.kind))
          : 0;
  std::string points =
      trace.old_format() ? number(h.old_header.pointcount) : std::to_string(h.header.pointcount);
  if (data_values < trace.declared) {
    points += " (the file holds only " + std::to_string(data_values) + ")";
  }
  line("points:      ", points);
  line("first X:     ", number(trace.firstx()));
  line("last X:      ", number(trace.lastx()));

  std::string exponent = std::to_string(trace.exponent);
  switch (trace.kind) {
    case SampleKind::kFloat32:
      exponent += " (Y values are IEEE f32)";
      break;
    case SampleKind::kInt16:
      exponent += " (Y = 16-bit integer x 2^(" + std::to_string(trace.exponent) + "-16))";
      break;
    case SampleKind::kInt32:
    case SampleKind::kInt32HighHalfFirst:
      exponent += " (Y = 32-bit integer x 2^(" + std::to_string(trace.exponent) + "-32))";
      break;
  }
  line("exponent:    ", exponent);

  if (trace.old_format()) {
    const auto& o = h.old_header;
    int year = static_cast<std::uint16_t>(o.year) & 0x0FFF;
    if (year > 0 && year < 1000) year += 1900;
    line("date:        ", date_text(year, o.month, o.day, o.hour, o.minute));
  } else {
    // Minute in bits 0-5, hour 6-10, day 11-15, month 16-19, year 20-31.
    const std::uint32_t s = h.header.stamp;
    line("date:        ", date_text(static_cast<int>(s >> 20), static_cast<int>((s >> 16) & 0xF),
                                    static_cast<int>((s >> 11) & 0x1F),
                                    static_cast<int>((s >> 6) & 0x1F), static_cast<int>(s & 0x3F)));
  }
  line("resolution:  ", "\"" + printable(trace.restext()) + "\"");
  if (!trace.old_format()) line("source:      ", "\"" + printable(text_of(h.header.source)) + "\"");
  const int peakpoint = trace.old_format() ? h.old_header.peakpoint : h.header.peakpoint;
  line("peak point:  ", std::to_string(peakpoint));
  line("comment:     ", "\"" + printable(trim(trace.comment())) + "\"");
  line("x units:     ", unit_text(trace.xunits(), x_unit_name(trace.xunits())));
  line("y units:     ", unit_text(trace.yunits(), y_unit_name(trace.yunits())));
  const auto& spare = trace.old_format() ? std::span<const float>(h.old_header.spare)
                                         : std::span<const float>(h.header.spare);
  line("spare 1, 2:  ", number(spare[0]) + ", " + number(spare[1]));
  return out;
}

int run_info(std::span<char* const> args) {
  const Arguments a = parse_arguments(args, {});
  if (a.files.size() != 1) usage_error("info takes one FILE");
  // Instrument files are told by their signatures, as the converter tells them.
  std::vector<unsigned char> bytes = read_file_bytes(a.files[0]);
  // An instrument file whose layout cannot be read is described up to where it fails, and
  // ends with status 1 as a file spc-tool cannot read does.
  std::optional<values::Refused> refused;
  if (opusfile::looks_like_opus(bytes)) {
    write_stdout(opus_info_text(a.files[0], bytes));
    refused = opusfile::parse_opus(bytes).refused;
  } else if (omnicfile::looks_like_spa(bytes)) {
    write_stdout(spa_info_text(a.files[0], bytes));
    refused = omnicfile::parse_spa(bytes).refused;
  } else {
    write_stdout(info_text(parse_trace(a.files[0], std::move(bytes))));
  }
  if (refused) throw ToolError(a.files[0] + ": not readable: " + refused->skip_text());
  return 0;
}

}  // namespace ftir::spctool
