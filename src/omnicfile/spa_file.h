// The OMNIC SPA layout described once: a title, a directory of typed sections, the header
// section with the points, X axis and sampling facts, and the float32 data sections,
// parsed from the file's bytes in memory. The reader, spc-tool and the tests read these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "values/refusal.h"

namespace ftir::omnicfile {

// The file opens with its signature; the title follows at byte 30 (at most 256 bytes, NUL
// ended), the number of directory entries is a u16 at 294, and the directory starts at 304:
// 16-byte entries of a key (u8), the section's offset (u32 at +2) and size in bytes (u32 at
// +6).
inline constexpr std::size_t kSignatureBytes = 18;
inline constexpr std::size_t kTitleOffset = 30;
inline constexpr std::size_t kTitleBytes = 256;
inline constexpr std::size_t kEntryCountOffset = 294;
// When the file was acquired: a u32 count of seconds from 1899-12-31 00:00, local time.
inline constexpr std::size_t kAcquiredOffset = 296;
inline constexpr std::size_t kDirectoryOffset = 304;
inline constexpr std::size_t kEntryBytes = 16;
static_assert(kTitleOffset + kTitleBytes <= kEntryCountOffset);

// Section keys.
inline constexpr int kKeyHeader = 2;
inline constexpr int kKeyData = 3;
inline constexpr int kKeyHistory = 27;
inline constexpr int kKeySampleInterferogram = 102;
inline constexpr int kKeyBackgroundInterferogram = 103;

// The header section's fields, at these offsets from its start: points (u32), X unit (u8),
// Y unit (u8), first and last X (f32), points of the scan (u32), scans co-added (u32), the
// transform's points (u32), background scans (u32), laser wavenumber (f32, cm-1) and the
// sample spacing in laser fringes (f32).
inline constexpr std::size_t kPointsOffset = 4;
inline constexpr std::size_t kXUnitOffset = 8;
inline constexpr std::size_t kYUnitOffset = 12;
inline constexpr std::size_t kFirstXOffset = 16;
inline constexpr std::size_t kLastXOffset = 20;
inline constexpr std::size_t kScanPointsOffset = 28;
inline constexpr std::size_t kScansOffset = 36;
inline constexpr std::size_t kTransformPointsOffset = 44;
inline constexpr std::size_t kBackgroundScansOffset = 52;
inline constexpr std::size_t kLaserOffset = 80;
inline constexpr std::size_t kSpacingOffset = 84;
inline constexpr std::size_t kHeaderSectionBytes = 88;  // the fields above need this many

// X units: 1 wavenumbers (cm-1), 2 data points (an interferogram).
inline constexpr int kXWavenumbers = 1;
inline constexpr int kXDataPoints = 2;

struct Section {
  int key = 0;
  std::size_t offset = 0;
  std::size_t bytes = 0;
};

struct SpaHeader {
  int points = 0;  // of the data section (key 3)
  int x_units = 0;
  int y_units = 0;
  double first_x = 0.0;  // f32, widened
  double last_x = 0.0;
  std::uint32_t scan_points = 0;
  std::uint32_t scans = 0;
  std::uint32_t transform_points = 0;
  std::uint32_t background_scans = 0;
  double laser = 0.0;             // cm-1, f32 widened
  double sampling_spacing = 0.0;  // laser fringes between samples, f32 widened
};

struct SpaFile {
  std::string title;
  std::uint32_t acquired = 0;     // seconds from 1899-12-31 00:00 (0: not stated)
  std::vector<Section> sections;  // in directory order, the empty entries that close it left out
  SpaHeader header;

  // The last section of `key` (the later one counts), or null.
  const Section* find(int key) const;
};

struct SpaParse {
  // kShortHeader, kBlockOutside, kNoParameterBlock (no header section), kBadParameters (a
  // header section too short), kPointsBeyondBlock (more points than the data section
  // holds), kTooManyPoints (more than values::kCapacity).
  std::optional<values::Refused> refused;
  SpaFile file;  // as far as it was parsed
};

// The decimal number an f32 field was typed as: the shortest that gives the f32 back.
double decimal_of_f32(float v);

// Whether a file starting with these bytes is an SPA file by its signature.
bool looks_like_spa(std::span<const unsigned char> first_bytes);

// Parses the whole file image; reads nothing outside `bytes`.
SpaParse parse_spa(std::span<const unsigned char> bytes);

// The float32 values of a section into out (bytes / 4 of them at most out.size()); returns
// how many were stored.
std::size_t read_section(std::span<const unsigned char> bytes, const Section& section,
                         std::span<double> out);
std::size_t read_section(std::span<const unsigned char> bytes, const Section& section,
                         std::span<float> out);

}  // namespace ftir::omnicfile
