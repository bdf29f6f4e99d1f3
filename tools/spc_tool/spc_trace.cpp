// Reading one SPC file for the viewer, and its "info" and "csv" views.
#include "spc_tool/spc_trace.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <span>
#include <string_view>
#include <utility>

#include "spcfile/bytes.h"

namespace ftir::spctool {
namespace {

using spcfile::ConstBytes;
using spcfile::SpcVariant;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

[[noreturn]] void fail(const std::string& path, const std::string& reason) {
  throw ToolError(path + ": " + reason);
}

std::vector<unsigned char> read_all(const std::string& path) {
  errno = 0;
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) fail(path, std::strerror(errno != 0 ? errno : ENOENT));
  std::vector<unsigned char> bytes;
  std::array<unsigned char, 65536> chunk{};
  while (true) {
    const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file.get());
    bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
    if (got < chunk.size()) {
      if (std::ferror(file.get())) fail(path, std::strerror(errno != 0 ? errno : EIO));
      return bytes;
    }
  }
}

template <std::size_t N>
std::string text_of(const std::array<char, N>& field) {
  const auto end = std::find(field.begin(), field.end(), '\0');
  return std::string(field.begin(), end);
}

std::size_t sample_width(SampleKind kind) { return kind == SampleKind::kInt16 ? 2 : 4; }

double raw_sample(ConstBytes bytes, std::size_t offset, SampleKind kind) {
  switch (kind) {
    case SampleKind::kInt16:
      return spcfile::get_i16le(bytes, offset);
    case SampleKind::kInt32:
      return spcfile::get_i32le(bytes, offset);
    case SampleKind::kInt32HighHalfFirst:
      return spcfile::get_i32_high_half_first(bytes, offset);
    case SampleKind::kFloat32:
      break;
  }
  return static_cast<double>(spcfile::get_f32le(bytes, offset));
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

void append_shortest(std::string& out, double value, bool as_f32) {
  char text[64];
  const auto result = as_f32 ? std::to_chars(text, text + sizeof text, static_cast<float>(value))
                             : std::to_chars(text, text + sizeof text, value);
  out.append(text, result.ptr);
}

}  // namespace

double Trace::firstx() const {
  return old_format() ? static_cast<double>(header.old_header.firstx) : header.header.firstx;
}
double Trace::lastx() const {
  return old_format() ? static_cast<double>(header.old_header.lastx) : header.header.lastx;
}
int Trace::xunits() const { return old_format() ? header.old_header.xunits : header.header.xunits; }
int Trace::yunits() const { return old_format() ? header.old_header.yunits : header.header.yunits; }
std::string Trace::restext() const {
  return old_format() ? text_of(header.old_header.restext) : text_of(header.header.restext);
}
std::string Trace::comment() const {
  return old_format() ? text_of(header.old_header.comment) : text_of(header.header.comment);
}

Trace read_trace(const std::string& path) { return parse_trace(path, read_all(path)); }

Trace parse_trace(const std::string& path, std::vector<unsigned char> file_bytes) {
  Trace trace;
  trace.path = path;
  const std::size_t slash = path.find_last_of('/');
  trace.name = slash == std::string::npos ? path : path.substr(slash + 1);
  trace.bytes = std::move(file_bytes);
  const std::vector<unsigned char>& bytes = trace.bytes;
  trace.file_bytes = bytes.size();
  if (bytes.empty()) fail(path, "the file is empty");
  if (!spcfile::decode_header(bytes, trace.header)) fail(path, "the file ends inside its header");

  const auto& h = trace.header;
  const bool short_y = (h.flags & spcfile::kFlagShortY) != 0;
  std::int64_t declared = 0;
  if (h.variant == SpcVariant::kOld) {
    trace.exponent = h.old_header.exponent;
    trace.kind = short_y ? SampleKind::kInt16 : SampleKind::kInt32HighHalfFirst;
    const float count = h.old_header.pointcount;
    constexpr auto kMaxIndex = std::numeric_limits<std::int32_t>::max();
    if (count >= 2.0f) {
      declared =
          count >= static_cast<float>(kMaxIndex) ? kMaxIndex : static_cast<std::int64_t>(count);
    }
  } else if (h.variant == SpcVariant::kNew) {
    trace.exponent = h.header.exponent;
    if (trace.exponent == spcfile::kExponentFloatY) {
      trace.kind = SampleKind::kFloat32;
    } else {
      trace.kind = short_y ? SampleKind::kInt16 : SampleKind::kInt32;
    }
    if (h.header.pointcount >= 2) declared = h.header.pointcount;
  }
  trace.declared = declared;
  if (h.variant != SpcVariant::kNewMsbFirst && bytes.size() > h.data_offset) {
    const auto held =
        static_cast<std::int64_t>((bytes.size() - h.data_offset) / sample_width(trace.kind));
    trace.present = std::min(declared, held);
  }
  return trace;
}

void load_points(Trace& trace) {
  const auto& h = trace.header;
  if ((h.flags & spcfile::kFlagMulti) != 0) {
    fail(trace.path, "several traces in one file (flag 0x04) are not supported");
  }
  if ((h.flags & spcfile::kFlagXArray) != 0) {
    fail(trace.path, "an X array before the Y values (flag 0x80) is not supported");
  }
  if ((h.flags & spcfile::kFlagCompat) != 0) {
    fail(trace.path, "the compatibility flag (0x02) is not supported");
  }
  if (h.variant == SpcVariant::kNewMsbFirst) {
    fail(trace.path, "the new format with the most significant byte first is not supported");
  }
  if (trace.declared < 2) fail(trace.path, "the header declares fewer than 2 points");
  if (trace.present == 0) fail(trace.path, "the file holds no data points");

  const std::vector<unsigned char>& bytes = trace.bytes;
  const auto present = static_cast<std::size_t>(trace.present);
  // The reader's rules: 32-bit integers scale by 2^(exponent - 32), 16-bit ones by
  // 2^(exponent - 16), the factor held as f32 and each product rounded to f32 once.
  const int shift = trace.kind == SampleKind::kInt16 ? 16 : 32;
  const auto factor =
      static_cast<double>(static_cast<float>(std::ldexp(1.0, trace.exponent - shift)));
  double firstx = 0.0;
  double step = 0.0;
  trace.x_is_f32 = trace.old_format();
  if (trace.old_format()) {
    const double q = (static_cast<double>(h.old_header.lastx) - h.old_header.firstx) /
                     (static_cast<double>(h.old_header.pointcount) - 1.0);
    firstx = h.old_header.firstx;
    step = static_cast<float>(q);
  } else {
    firstx = h.header.firstx;
    step = (h.header.lastx - h.header.firstx) / static_cast<double>(h.header.pointcount - 1);
  }

  trace.x.resize(present);
  trace.y.resize(present);
  const ConstBytes data(bytes);
  const std::size_t width = sample_width(trace.kind);
  for (std::size_t i = 0; i < present; ++i) {
    const auto steps = static_cast<double>(i);
    trace.x[i] = trace.x_is_f32 ? static_cast<double>(static_cast<float>(steps * step + firstx))
                                : firstx + steps * step;
    double y = raw_sample(data, h.data_offset + i * width, trace.kind);
    if (trace.kind != SampleKind::kFloat32) y = static_cast<double>(static_cast<float>(y * factor));
    if (!std::isfinite(y)) {
      fail(trace.path, "point " + std::to_string(i + 1) + " is not a finite number");
    }
    trace.y[i] = y;
  }
}

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

std::string trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  const std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string printable(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b < 0x7F) {
      out.push_back(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    }
  }
  return out;
}

}  // namespace ftir::spctool
