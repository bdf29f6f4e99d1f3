// Cutting a multi-trace file into single-trace files. The published layout puts the traces
// one after the other, each a 32-byte subheader and its points, after the 512-byte header
// of the new format or the 224 bytes that precede the first subheader in the old one; every
// trace shares the header's point count and X range.
#include "spc_tool/split.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "spc_tool/command_line.h"
#include "spcfile/bytes.h"
#include "spcfile/layout.h"

namespace ftir::spctool {
namespace {

// Flags of the multi-trace layout that a single trace does not keep: several traces,
// random and ordered Z values.
constexpr std::uint8_t kMultiTraceFlags = 0x04 | 0x08 | 0x10;
constexpr std::uint8_t kXPerTrace = 0x40;

[[noreturn]] void refuse(const Trace& multi, const std::string& reason) {
  throw ToolError(multi.path + ": cannot split: " + reason);
}

std::string base_name(const std::string& name) {
  const std::size_t dot = name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

}  // namespace

std::vector<Trace> split_traces(const Trace& multi, const std::string& folder) {
  const auto& h = multi.header;
  const std::uint8_t flags = h.flags;
  if (h.variant == spcfile::SpcVariant::kNewMsbFirst) {
    refuse(multi, "the new format with the most significant byte first is not supported");
  }
  if ((flags & spcfile::kFlagMulti) == 0) {
    refuse(multi, "it holds a single trace (flag 0x04 is clear)");
  }
  if ((flags & (spcfile::kFlagXArray | kXPerTrace)) != 0) {
    refuse(multi, "its traces have X arrays (flags 0x40, 0x80), not evenly spaced points");
  }
  if ((flags & spcfile::kFlagCompat) != 0) {
    refuse(multi, "the compatibility flag (0x02) is not supported");
  }
  if (multi.declared < 2) refuse(multi, "the header declares fewer than 2 points");

  const bool old_format = multi.old_format();
  const std::size_t first_subheader =
      old_format ? spcfile::old_offset::kSubheader : spcfile::kNewHeaderBytes;
  const std::size_t width = (flags & spcfile::kFlagShortY) != 0 ? 2 : 4;
  const auto points = static_cast<std::size_t>(multi.declared);
  const std::size_t stride = spcfile::kSubheaderBytes + points * width;
  const std::size_t size = multi.bytes.size();
  // The new format says how many traces there are; the old format has them up to the end.
  std::size_t count = 0;
  if (old_format) {
    count = size > first_subheader ? (size - first_subheader) / stride : 0;
    if (count == 0) refuse(multi, "the file ends inside trace 1");
  } else {
    if (h.header.subfiles < 1) refuse(multi, "the header declares no traces");
    count = static_cast<std::size_t>(h.header.subfiles);
    const std::size_t held = (size - first_subheader) / stride;
    if (held < count) {
      refuse(multi, "the file ends inside trace " + std::to_string(held + 1) + " of " +
                        std::to_string(count));
    }
  }

  const int digits = static_cast<int>(std::to_string(count).size());
  const std::string prefix =
      (folder.empty() ? std::string() : folder + "/") + base_name(multi.name) + "_";
  const bool f32_header = !old_format && multi.exponent == spcfile::kExponentFloatY;
  std::vector<Trace> traces;
  traces.reserve(count);
  for (std::size_t k = 0; k < count; ++k) {
    const std::size_t at = first_subheader + k * stride;
    const spcfile::ConstBytes in(multi.bytes);
    // Each trace carries its own exponent; -128 there, or in the new format's header,
    // marks f32 values.
    const int subexp = spcfile::get_i8(in, at + spcfile::sub_offset::kSubexp);
    if (old_format && subexp == spcfile::kExponentFloatY) {
      refuse(multi, "trace " + std::to_string(k + 1) +
                        " holds f32 values, which a single old-format trace cannot carry");
    }
    std::vector<unsigned char> bytes(
        multi.bytes.begin(), multi.bytes.begin() + static_cast<std::ptrdiff_t>(first_subheader));
    bytes.insert(bytes.end(), multi.bytes.begin() + static_cast<std::ptrdiff_t>(at),
                 multi.bytes.begin() + static_cast<std::ptrdiff_t>(at + stride));
    const spcfile::Bytes out(bytes);
    spcfile::put_u8(out, spcfile::kFlagsOffset,
                    static_cast<std::uint8_t>(flags & ~kMultiTraceFlags));
    if (old_format) {
      spcfile::put_i16le(out, spcfile::old_offset::kExponent, static_cast<std::int16_t>(subexp));
    } else {
      spcfile::put_i8(out, spcfile::new_offset::kExponent,
                      static_cast<std::int8_t>(f32_header ? spcfile::kExponentFloatY : subexp));
      spcfile::put_i32le(out, spcfile::new_offset::kSubfiles, 1);
      spcfile::put_u32le(out, spcfile::new_offset::kLogoffset, 0);
    }
    char number[16];
    std::snprintf(number, sizeof number, "%0*zu", digits, k + 1);
    traces.push_back(parse_trace(prefix + number + ".spc", std::move(bytes)));
  }
  return traces;
}

int run_split(std::span<char* const> args) {
  const Arguments a = parse_arguments(args, {{"--output", "-o", true}});
  if (a.files.size() != 1) usage_error("split takes one FILE");
  const std::string folder = a.value("--output");
  if (folder.empty()) usage_error("split needs -o DIR");
  const Trace multi = read_trace(a.files[0]);
  const std::vector<Trace> traces = split_traces(multi, folder);
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) throw ToolError(folder + ": " + error.message());
  for (std::size_t k = 0; k < traces.size(); ++k) {
    refuse_overwriting_inputs(traces[k].path, a.files);
    write_file(traces[k].path, traces[k].bytes);
    write_stdout(traces[k].path + ": trace " + std::to_string(k + 1) + " of " +
                 std::to_string(traces.size()) + ", " + std::to_string(traces[k].declared) +
                 " points\n");
  }
  return 0;
}

}  // namespace ftir::spctool
