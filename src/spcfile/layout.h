// The SPC byte layout: header variants, field offsets, flag bits, and plain records
// decoded from (or encoded into) a byte buffer field by field.
//
// Bytes 0 and 1 of every variant are `flags` and `version`; `version` picks the variant:
//   0x4D  old format: 256-byte SpcOldHeader (its last 32 bytes are the subheader), data at 256
//   0x4C  new format, most significant byte first: recognised and refused
//   other new format, least significant byte first (0x4B): 512-byte SpcHeader, 32-byte
//         SpcSubheader, data at 544
// All numbers are least-significant byte first, except old-format 32-bit data values
// (see bytes.h). Text fields have a fixed width, no terminator and no length count.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace ftir::spcfile {

inline constexpr std::size_t kFlagsOffset = 0;
inline constexpr std::size_t kVersionOffset = 1;

// `flags` bits.
inline constexpr std::uint8_t kFlagShortY = 0x01;   // Y values are 16-bit integers
inline constexpr std::uint8_t kFlagCompat = 0x02;   // compatibility flag: refused
inline constexpr std::uint8_t kFlagMulti = 0x04;    // several traces in one file: refused
inline constexpr std::uint8_t kFlagXArray = 0x80;   // an X array precedes the Y values: refused
inline constexpr std::uint8_t kFlagsRefused = kFlagCompat | kFlagMulti | kFlagXArray;

// `version` values.
inline constexpr std::uint8_t kVersionNew = 0x4B;     // 'K'
inline constexpr std::uint8_t kVersionNewMsb = 0x4C;  // 'L'
inline constexpr std::uint8_t kVersionOld = 0x4D;     // 'M'

// A new-format `exponent` of -128 marks Y values stored as IEEE binary32.
inline constexpr int kExponentFloatY = -128;

inline constexpr std::size_t kSubheaderBytes = 32;
inline constexpr std::size_t kNewHeaderBytes = 512;
inline constexpr std::size_t kNewDataOffset = kNewHeaderBytes + kSubheaderBytes;
inline constexpr std::size_t kOldHeaderBytes = 256;  // subheader included
inline constexpr std::size_t kOldDataOffset = kOldHeaderBytes;

// SpcHeader, new format:
//   off width type     field       | off width type    field
//     0   1  u8        flags       |  36   9  text    restext
//     1   1  u8        version     |  45   9  text    source
//     2   1  u8        exptype     |  54   2  i16     peakpoint
//     3   1  i8        exponent    |  56  32  8 x f32 spare
//     4   4  i32       pointcount  |  88 130  text    comment
//     8   8  f64       firstx      | 218  30  text    axislabels
//    16   8  f64       lastx       | 248   4  u32     logoffset
//    24   4  i32       subfiles    | 252   4  u32     modflags
//    28   1  u8        xunits      | 256   1  u8      proccode
//    29   1  u8        yunits      | 257   1  u8      callevel
//    30   1  u8        zunits      | 258   2  i16     injection
//    31   1  u8        postflags   | 260   4  f32     datafactor
//    32   4  u32       stamp       | 264  48  text    method
//                                  | 312 200  bytes   zwblock
namespace new_offset {
inline constexpr std::size_t kExptype = 2;
inline constexpr std::size_t kExponent = 3;
inline constexpr std::size_t kPointcount = 4;
inline constexpr std::size_t kFirstx = 8;
inline constexpr std::size_t kLastx = 16;
inline constexpr std::size_t kSubfiles = 24;
inline constexpr std::size_t kXunits = 28;
inline constexpr std::size_t kYunits = 29;
inline constexpr std::size_t kZunits = 30;
inline constexpr std::size_t kPostflags = 31;
inline constexpr std::size_t kStamp = 32;
inline constexpr std::size_t kRestext = 36;
inline constexpr std::size_t kSource = 45;
inline constexpr std::size_t kPeakpoint = 54;
inline constexpr std::size_t kSpare = 56;
inline constexpr std::size_t kComment = 88;
inline constexpr std::size_t kAxislabels = 218;
inline constexpr std::size_t kLogoffset = 248;
inline constexpr std::size_t kModflags = 252;
inline constexpr std::size_t kProccode = 256;
inline constexpr std::size_t kCallevel = 257;
inline constexpr std::size_t kInjection = 258;
inline constexpr std::size_t kDatafactor = 260;
inline constexpr std::size_t kMethod = 264;
inline constexpr std::size_t kZwblock = 312;
inline constexpr std::size_t kEnd = 512;
}  // namespace new_offset
static_assert(new_offset::kSource - new_offset::kRestext == 9);
static_assert(new_offset::kComment - new_offset::kSpare == 8 * 4);
static_assert(new_offset::kAxislabels - new_offset::kComment == 130);
static_assert(new_offset::kEnd - new_offset::kZwblock == 200);
static_assert(new_offset::kEnd == kNewHeaderBytes);

// SpcOldHeader, old format:
//   off width type     field       | off width type    field
//     0   1  u8        flags       |  20   1  u8      month
//     1   1  u8        version     |  21   1  u8      day
//     2   2  i16       exponent    |  22   1  u8      hour
//     4   4  f32       pointcount  |  23   1  u8      minute
//     8   4  f32       firstx      |  24   8  text    restext
//    12   4  f32       lastx       |  32   2  i16     peakpoint
//    16   1  u8        xunits      |  34   2  i16     scans
//    17   1  u8        yunits      |  36  28  7 x f32 spare
//    18   2  i16       year        |  64 130  text    comment
//                                  | 194  30  text    axislabels
//                                  | 224  32  bytes   SpcSubheader
namespace old_offset {
inline constexpr std::size_t kExponent = 2;
inline constexpr std::size_t kPointcount = 4;
inline constexpr std::size_t kFirstx = 8;
inline constexpr std::size_t kLastx = 12;
inline constexpr std::size_t kXunits = 16;
inline constexpr std::size_t kYunits = 17;
inline constexpr std::size_t kYear = 18;
inline constexpr std::size_t kMonth = 20;
inline constexpr std::size_t kDay = 21;
inline constexpr std::size_t kHour = 22;
inline constexpr std::size_t kMinute = 23;
inline constexpr std::size_t kRestext = 24;
inline constexpr std::size_t kPeakpoint = 32;
inline constexpr std::size_t kScans = 34;
inline constexpr std::size_t kSpare = 36;
inline constexpr std::size_t kComment = 64;
inline constexpr std::size_t kAxislabels = 194;
inline constexpr std::size_t kSubheader = 224;
inline constexpr std::size_t kEnd = 256;
}  // namespace old_offset
static_assert(old_offset::kPeakpoint - old_offset::kRestext == 8);
static_assert(old_offset::kComment - old_offset::kSpare == 7 * 4);
static_assert(old_offset::kAxislabels - old_offset::kComment == 130);
static_assert(old_offset::kSubheader - old_offset::kAxislabels == 30);
static_assert(old_offset::kEnd - old_offset::kSubheader == kSubheaderBytes);
static_assert(old_offset::kEnd == kOldHeaderBytes);

// SpcSubheader (32 bytes), in the published layout's terms:
//   off width type  field       | off width type  field
//     0   1  u8     subflags    |  12   4  f32    noise
//     1   1  i8     subexp      |  16   4  i32    npoints
//     2   2  i16    subindex    |  20   4  i32    scans
//     4   4  f32    start_z     |  24   4  f32    w_level
//     8   4  f32    end_z       |  28   4  bytes  reserved
namespace sub_offset {
inline constexpr std::size_t kSubflags = 0;
inline constexpr std::size_t kSubexp = 1;
inline constexpr std::size_t kSubindex = 2;
inline constexpr std::size_t kStartZ = 4;
inline constexpr std::size_t kEndZ = 8;
inline constexpr std::size_t kNoise = 12;
inline constexpr std::size_t kNpoints = 16;
inline constexpr std::size_t kScans = 20;
inline constexpr std::size_t kWLevel = 24;
inline constexpr std::size_t kReserved = 28;
inline constexpr std::size_t kEnd = 32;
}  // namespace sub_offset
static_assert(sub_offset::kEnd == kSubheaderBytes);

struct SpcHeader {
  std::uint8_t flags = 0;
  std::uint8_t version = 0;
  std::uint8_t exptype = 0;
  std::int8_t exponent = 0;
  std::int32_t pointcount = 0;
  double firstx = 0.0;
  double lastx = 0.0;
  std::int32_t subfiles = 0;
  std::uint8_t xunits = 0;
  std::uint8_t yunits = 0;
  std::uint8_t zunits = 0;
  std::uint8_t postflags = 0;
  std::uint32_t stamp = 0;
  std::array<char, 9> restext{};
  std::array<char, 9> source{};
  std::int16_t peakpoint = 0;
  std::array<float, 8> spare{};
  std::array<char, 130> comment{};
  std::array<char, 30> axislabels{};
  std::uint32_t logoffset = 0;
  std::uint32_t modflags = 0;
  std::uint8_t proccode = 0;
  std::uint8_t callevel = 0;
  std::int16_t injection = 0;
  float datafactor = 0.0f;
  std::array<char, 48> method{};
  std::array<std::uint8_t, 200> zwblock{};
};

struct SpcSubheader {
  std::uint8_t subflags = 0;
  std::int8_t subexp = 0;
  std::int16_t subindex = 0;
  float start_z = 0.0f;
  float end_z = 0.0f;
  float noise = 0.0f;
  std::int32_t npoints = 0;
  std::int32_t scans = 0;
  float w_level = 0.0f;
  std::array<std::uint8_t, 4> reserved{};
};

struct SpcOldHeader {
  std::uint8_t flags = 0;
  std::uint8_t version = 0;
  std::int16_t exponent = 0;
  float pointcount = 0.0f;
  float firstx = 0.0f;
  float lastx = 0.0f;
  std::uint8_t xunits = 0;
  std::uint8_t yunits = 0;
  std::int16_t year = 0;
  std::uint8_t month = 0;
  std::uint8_t day = 0;
  std::uint8_t hour = 0;
  std::uint8_t minute = 0;
  std::array<char, 8> restext{};
  std::int16_t peakpoint = 0;
  std::int16_t scans = 0;
  std::array<float, 7> spare{};
  std::array<char, 130> comment{};
  std::array<char, 30> axislabels{};
  SpcSubheader subheader{};
};

enum class SpcVariant { kNew, kNewMsbFirst, kOld };

// The variant that a `version` byte selects.
SpcVariant variant_of(std::uint8_t version);

// Bytes from the start of the file that hold the header and the first subheader of a
// variant (544, or 256 for the old format; 2 for the refused MSB-first format, of which
// only `flags` and `version` are decoded). The data block follows them.
std::size_t header_bytes(SpcVariant variant);

// Field-by-field decoders; each buffer must hold the record's full size.
SpcHeader decode_new_header(std::span<const unsigned char, kNewHeaderBytes> bytes);
SpcOldHeader decode_old_header(std::span<const unsigned char, kOldHeaderBytes> bytes);
SpcSubheader decode_subheader(std::span<const unsigned char, kSubheaderBytes> bytes);

// Every field of either variant, as found at the start of a file.
struct DecodedHeader {
  SpcVariant variant = SpcVariant::kNew;
  std::uint8_t flags = 0;
  std::uint8_t version = 0;
  SpcHeader header{};          // filled for SpcVariant::kNew
  SpcOldHeader old_header{};   // filled for SpcVariant::kOld (its subheader included)
  SpcSubheader subheader{};    // the first subheader, for kNew and kOld
  std::size_t data_offset = 0; // byte offset of the data block
};

// Decodes the start of a file. `bytes` must hold at least header_bytes(variant_of(bytes[1]))
// bytes (and at least 2); returns false, leaving `out` unspecified, when it does not.
bool decode_header(std::span<const unsigned char> bytes, DecodedHeader& out);

// Encodes every field of `header` (its subheader included) into 256 bytes.
void encode_old_header(const SpcOldHeader& header,
                       std::span<unsigned char, kOldHeaderBytes> bytes);

}  // namespace ftir::spcfile
