// Reading one SPC file for spc-tool: its header, and its points as the converter reads them.
#include "spc_tool/spc_trace.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>
#include <utility>

#include "driver/batch.h"
#include "omnicfile/spa_file.h"
#include "opusfile/opus_file.h"
#include "spcfile/bytes.h"
#include "spcfile/file_access.h"

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

// The whole file, opened as the converter opens its inputs (never blocking, regular files
// only) and read no further than one byte past the limit of its format (kMaxFileBytes for
// SPC, the converter's own for an instrument file), so that a file growing while it is read
// costs no more memory than the largest one taken.
std::vector<unsigned char> read_all(const std::string& path) {
  const spcfile::OpenedInput opened = spcfile::try_open_input(path);
  if (opened.not_regular) fail(path, "not a regular file (a FIFO, socket or device)");
  if (opened.file == nullptr) fail(path, std::strerror(opened.error != 0 ? opened.error : ENOENT));
  const std::unique_ptr<std::FILE, FileCloser> file(opened.file);
  std::size_t limit = std::max(kMaxFileBytes, driver::kInstrumentFileLimit);
  const auto too_large = [&path, &limit](const std::string& size) {
    fail(path, size + "more than the " + std::to_string(limit) +
                   " bytes spc-tool reads (see spc-tool --help)");
  };
  struct stat st {};
  const bool sized = ::fstat(::fileno(file.get()), &st) == 0;
  const auto check_size = [&]() {
    if (sized && static_cast<std::uintmax_t>(st.st_size) > limit) {
      too_large(std::to_string(st.st_size) + " bytes, ");
    }
  };
  check_size();
  std::vector<unsigned char> bytes;
  std::array<unsigned char, 65536> chunk{};
  while (true) {
    errno = 0;
    const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file.get());
    const bool first = bytes.empty();
    bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
    if (first) {
      // The first chunk tells the format, and with it the limit.
      limit = instrument_format(bytes).empty() ? kMaxFileBytes : driver::kInstrumentFileLimit;
      check_size();
    }
    if (bytes.size() > limit) too_large("");
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

std::string_view instrument_format(std::span<const unsigned char> bytes) {
  if (opusfile::looks_like_opus(bytes)) return "OPUS";
  if (omnicfile::looks_like_spa(bytes)) return "OMNIC SPA";
  return {};
}

Trace read_trace(const std::string& path) {
  std::vector<unsigned char> bytes = read_all(path);
  if (const std::string_view format = instrument_format(bytes); !format.empty()) {
    fail(path, "an " + std::string(format) +
                   " file, not SPC: convert it with ftir-reduce first (spc-tool info and csv "
                   "read it as it is)");
  }
  return parse_trace(path, std::move(bytes));
}

std::vector<unsigned char> read_file_bytes(const std::string& path) { return read_all(path); }

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
  trace.facts = spcfile::describe_header(bytes);
  trace.exponent = trace.facts.exponent;
  trace.kind = trace.facts.kind;
  const std::int64_t declared = trace.facts.declared;
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
  // The reader's rules: integers scale by the factor (held as f32), each product rounded to
  // f32 once; old-format X use the increment rounded to f32.
  const spcfile::HeaderDescription& d = trace.facts;
  trace.x_is_f32 = trace.old_format();
  const double firstx = d.x.first;
  const double step = trace.x_is_f32 ? static_cast<double>(static_cast<float>(d.xinc)) : d.xinc;
  const double factor = d.factor;

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
