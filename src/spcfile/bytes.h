// Little-endian byte helpers for SPC files: fields are decoded from, and encoded into,
// byte buffers at fixed offsets, never by reading or writing whole structs.
#pragma once

#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>

namespace ftir::spcfile {

static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559,
              "SPC files hold IEEE 754 binary32 and binary64 values");

using ConstBytes = std::span<const unsigned char>;
using Bytes = std::span<unsigned char>;

// The unsigned value of `count` bytes from `offset`, least-significant byte first.
inline std::uint64_t get_uint_le(ConstBytes bytes, std::size_t offset, std::size_t count) {
  assert(offset + count <= bytes.size());
  std::uint64_t value = 0;
  for (std::size_t i = count; i-- > 0;) value = (value << 8) | bytes[offset + i];
  return value;
}

// Stores the low `count` bytes of `value` from `offset`, least-significant byte first.
inline void put_uint_le(Bytes bytes, std::size_t offset, std::size_t count, std::uint64_t value) {
  assert(offset + count <= bytes.size());
  for (std::size_t i = 0; i < count; ++i) {
    bytes[offset + i] = static_cast<unsigned char>(value & 0xFFu);
    value >>= 8;
  }
}

inline std::uint8_t get_u8(ConstBytes bytes, std::size_t offset) {
  assert(offset < bytes.size());
  return bytes[offset];
}
inline std::int8_t get_i8(ConstBytes bytes, std::size_t offset) {
  return std::bit_cast<std::int8_t>(get_u8(bytes, offset));
}
inline std::uint16_t get_u16le(ConstBytes bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(get_uint_le(bytes, offset, 2));
}
inline std::int16_t get_i16le(ConstBytes bytes, std::size_t offset) {
  return std::bit_cast<std::int16_t>(get_u16le(bytes, offset));
}
inline std::uint32_t get_u32le(ConstBytes bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(get_uint_le(bytes, offset, 4));
}
inline std::int32_t get_i32le(ConstBytes bytes, std::size_t offset) {
  return std::bit_cast<std::int32_t>(get_u32le(bytes, offset));
}
inline float get_f32le(ConstBytes bytes, std::size_t offset) {
  return std::bit_cast<float>(get_u32le(bytes, offset));
}
inline double get_f64le(ConstBytes bytes, std::size_t offset) {
  return std::bit_cast<double>(get_uint_le(bytes, offset, 8));
}

inline void put_u8(Bytes bytes, std::size_t offset, std::uint8_t value) {
  assert(offset < bytes.size());
  bytes[offset] = value;
}
inline void put_i8(Bytes bytes, std::size_t offset, std::int8_t value) {
  put_u8(bytes, offset, std::bit_cast<std::uint8_t>(value));
}
inline void put_u16le(Bytes bytes, std::size_t offset, std::uint16_t value) {
  put_uint_le(bytes, offset, 2, value);
}
inline void put_i16le(Bytes bytes, std::size_t offset, std::int16_t value) {
  put_u16le(bytes, offset, std::bit_cast<std::uint16_t>(value));
}
inline void put_u32le(Bytes bytes, std::size_t offset, std::uint32_t value) {
  put_uint_le(bytes, offset, 4, value);
}
inline void put_i32le(Bytes bytes, std::size_t offset, std::int32_t value) {
  put_u32le(bytes, offset, std::bit_cast<std::uint32_t>(value));
}
inline void put_f32le(Bytes bytes, std::size_t offset, float value) {
  put_u32le(bytes, offset, std::bit_cast<std::uint32_t>(value));
}
inline void put_f64le(Bytes bytes, std::size_t offset, double value) {
  put_uint_le(bytes, offset, 8, std::bit_cast<std::uint64_t>(value));
}

// Old-format 32-bit data values: the more significant 16-bit half first, each half
// least-significant byte first. A value whose bytes, most significant first, are
// b3 b2 b1 b0 is stored as b2 b3 b0 b1 (65536 as 01 00 00 00, 1 as 00 00 01 00).
inline std::int32_t get_i32_high_half_first(ConstBytes bytes, std::size_t offset) {
  const std::uint32_t high = get_u16le(bytes, offset);
  const std::uint32_t low = get_u16le(bytes, offset + 2);
  return std::bit_cast<std::int32_t>((high << 16) | low);
}
inline void put_i32_high_half_first(Bytes bytes, std::size_t offset, std::int32_t value) {
  const auto bits = std::bit_cast<std::uint32_t>(value);
  put_u16le(bytes, offset, static_cast<std::uint16_t>(bits >> 16));
  put_u16le(bytes, offset + 2, static_cast<std::uint16_t>(bits & 0xFFFFu));
}

}  // namespace ftir::spcfile
