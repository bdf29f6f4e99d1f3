// Writing a computed trace in the layout of an input file.
#include "spc_tool/encode.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include "spcfile/bytes.h"
#include "spcfile/layout.h"
#include "spcfile/writer.h"

namespace ftir::spctool {

std::vector<unsigned char> encode_like(const Trace& model, const TraceContent& content) {
  const std::span<const double> y = content.y;
  if (y.size() < 2) throw ToolError(model.path + ": fewer than 2 points to write");
  for (std::size_t i = 0; i < y.size(); ++i) {
    if (!std::isfinite(y[i])) {
      throw ToolError(model.path + ": computed point " + std::to_string(i + 1) +
                      " is not a finite number");
    }
  }
  const int exponent = spcfile::spectrum_exponent(y);
  const double factor = std::ldexp(1.0, exponent - 32);
  auto integer = [factor](double value) {
    constexpr double kMax = std::numeric_limits<std::int32_t>::max();
    constexpr double kMin = std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(std::clamp(std::nearbyint(value / factor), kMin, kMax));
  };

  const bool old_format = model.old_format();
  // The new format holds the exponent in a signed byte whose -128 marks f32 values.
  if (!old_format && (exponent < -127 || exponent > 127)) {
    throw ToolError(model.path + ": the values are too small or too large for the new format");
  }
  const std::size_t header = old_format ? spcfile::kOldDataOffset : spcfile::kNewDataOffset;
  std::vector<unsigned char> bytes(model.bytes.begin(),
                                   model.bytes.begin() + static_cast<std::ptrdiff_t>(header));
  bytes.resize(header + 4 * y.size());
  const spcfile::Bytes out(bytes);
  std::array<unsigned char, 130> comment{};
  std::copy_n(content.comment.begin(), std::min(content.comment.size(), comment.size()),
              comment.begin());

  spcfile::put_u8(out, spcfile::kFlagsOffset, 0x00);
  if (old_format) {
    namespace o = spcfile::old_offset;
    spcfile::put_i16le(out, o::kExponent, static_cast<std::int16_t>(exponent));
    spcfile::put_f32le(out, o::kPointcount, static_cast<float>(y.size()));
    spcfile::put_f32le(out, o::kFirstx, static_cast<float>(content.firstx));
    spcfile::put_f32le(out, o::kLastx, static_cast<float>(content.lastx));
    spcfile::put_u8(out, o::kYunits, static_cast<std::uint8_t>(content.yunits));
    std::copy(comment.begin(), comment.end(), bytes.begin() + o::kComment);
    for (std::size_t i = 0; i < y.size(); ++i) {
      spcfile::put_i32_high_half_first(out, header + 4 * i, integer(y[i]));
    }
    return bytes;
  }
  namespace n = spcfile::new_offset;
  spcfile::put_i8(out, n::kExponent, static_cast<std::int8_t>(exponent));
  spcfile::put_i32le(out, n::kPointcount, static_cast<std::int32_t>(y.size()));
  spcfile::put_f64le(out, n::kFirstx, content.firstx);
  spcfile::put_f64le(out, n::kLastx, content.lastx);
  spcfile::put_i32le(out, n::kSubfiles, 1);
  spcfile::put_u8(out, n::kYunits, static_cast<std::uint8_t>(content.yunits));
  std::copy(comment.begin(), comment.end(), bytes.begin() + n::kComment);
  spcfile::put_u32le(out, n::kLogoffset, 0);
  spcfile::put_i8(out, spcfile::kNewHeaderBytes + spcfile::sub_offset::kSubexp,
                  static_cast<std::int8_t>(exponent));
  for (std::size_t i = 0; i < y.size(); ++i) spcfile::put_i32le(out, header + 4 * i, integer(y[i]));
  return bytes;
}

}  // namespace ftir::spctool
