// The SPA layout: signature, title, directory and header section, each checked against the
// bytes before anything is read from it.
#include "omnicfile/spa_file.h"

#include <algorithm>
#include <charconv>
#include <cassert>
#include <string_view>

#include "simd/kernels.h"
#include "spcfile/bytes.h"
#include "values/interferogram.h"

namespace ftir::omnicfile {

// The decimal number an f32 field was typed as: the shortest one that gives the f32 back
// (15798.26 for the f32 nearest it, which lies 2.3e-4 below). The laser fixes the grid, and
// the f32 itself would put the last wavenumbers of a spectrum 1.5e-4 cm-1 away from the
// instrument's own.
double decimal_of_f32(float v) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, v).ptr;
  double d = 0.0;
  std::from_chars(text, end, d);
  return d;
}

namespace {

using spcfile::get_f32le;
using spcfile::get_u16le;
using spcfile::get_u32le;
using spcfile::get_u8;
using values::Refusal;
using values::Refused;

constexpr std::string_view kSignature = "Spectral Data File";
static_assert(kSignature.size() == kSignatureBytes);

// The reader's refusals in the format's own words: sections, not blocks; no NPT.
Refused refusal(Refusal code) {
  switch (code) {
    case Refusal::kBlockOutside:
      return {code, "its section directory or a section it lists lies outside the file", 0, 0};
    case Refusal::kNoParameterBlock:
      return {code, "it holds no header section (its points, X axis and sampling)", 0, 0};
    case Refusal::kBadParameters:
      return {code, "its header section is too short for the fields it holds", 0, 0};
    case Refusal::kPointsBeyondBlock:
      return {code, "its header states more points than its data section holds", 0, 0};
    default:
      return {code, {}, 0, 0};
  }
}

}  // namespace

const Section* SpaFile::find(int key) const {
  for (auto s = sections.rbegin(); s != sections.rend(); ++s) {
    if (s->key == key) return &*s;
  }
  return nullptr;
}

bool looks_like_spa(std::span<const unsigned char> first_bytes) {
  return first_bytes.size() >= kSignatureBytes &&
         std::equal(kSignature.begin(), kSignature.end(), first_bytes.begin(),
                    [](char a, unsigned char b) { return static_cast<unsigned char>(a) == b; });
}

SpaParse parse_spa(std::span<const unsigned char> bytes) {
  SpaParse parse;
  auto refuse = [&parse](Refused r) {
    parse.refused = std::move(r);
    return parse;
  };
  if (bytes.size() < kDirectoryOffset) return refuse(refusal(Refusal::kShortHeader));
  SpaFile& file = parse.file;
  const auto* title = reinterpret_cast<const char*>(bytes.data() + kTitleOffset);
  file.title.assign(title, std::find(title, title + kTitleBytes, '\0'));
  file.acquired = get_u32le(bytes, kAcquiredOffset);

  const std::size_t count = get_u16le(bytes, kEntryCountOffset);
  if (kDirectoryOffset + count * kEntryBytes > bytes.size()) {
    return refuse(refusal(Refusal::kBlockOutside));
  }
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = kDirectoryOffset + i * kEntryBytes;
    Section s;
    s.key = get_u8(bytes, at);
    s.offset = get_u32le(bytes, at + 2);
    s.bytes = get_u32le(bytes, at + 6);
    if (s.key == 0 && s.offset == 0 && s.bytes == 0) continue;  // an empty entry
    // Offsets and sizes are unsigned 32-bit: their sum cannot overflow a 64-bit size_t.
    if (s.offset > bytes.size() || s.bytes > bytes.size() - s.offset) {
      return refuse(refusal(Refusal::kBlockOutside));
    }
    file.sections.push_back(s);
  }

  const Section* head = file.find(kKeyHeader);
  if (head == nullptr) return refuse(refusal(Refusal::kNoParameterBlock));
  if (head->bytes < kHeaderSectionBytes) return refuse(refusal(Refusal::kBadParameters));
  const std::size_t h = head->offset;
  SpaHeader& d = file.header;
  const std::uint32_t points = get_u32le(bytes, h + kPointsOffset);
  d.x_units = get_u8(bytes, h + kXUnitOffset);
  d.y_units = get_u8(bytes, h + kYUnitOffset);
  d.first_x = static_cast<double>(get_f32le(bytes, h + kFirstXOffset));
  d.last_x = static_cast<double>(get_f32le(bytes, h + kLastXOffset));
  d.scan_points = get_u32le(bytes, h + kScanPointsOffset);
  d.scans = get_u32le(bytes, h + kScansOffset);
  d.transform_points = get_u32le(bytes, h + kTransformPointsOffset);
  d.background_scans = get_u32le(bytes, h + kBackgroundScansOffset);
  d.laser = decimal_of_f32(get_f32le(bytes, h + kLaserOffset));
  d.sampling_spacing = static_cast<double>(get_f32le(bytes, h + kSpacingOffset));
  if (points > static_cast<std::uint32_t>(values::kCapacity)) {
    return refuse({Refusal::kTooManyPoints,
                   {},
                   values::kCapacity,
                   points > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(points)});
  }
  d.points = static_cast<int>(points);
  const Section* data = file.find(kKeyData);
  if (data != nullptr && data->bytes / 4 < points) {
    return refuse(refusal(Refusal::kPointsBeyondBlock));
  }
  return parse;
}

namespace {

template <class T>
std::size_t read_floats(std::span<const unsigned char> bytes, const Section& section,
                        std::span<T> out) {
  assert(section.offset + section.bytes <= bytes.size());
  const std::size_t n = std::min(section.bytes / 4, out.size());
  const unsigned char* p = bytes.data() + section.offset;
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<T>(simd::load_le<float>(p + i * 4));
  return n;
}

}  // namespace

std::size_t read_section(std::span<const unsigned char> bytes, const Section& section,
                         std::span<double> out) {
  return read_floats(bytes, section, out);
}

std::size_t read_section(std::span<const unsigned char> bytes, const Section& section,
                         std::span<float> out) {
  return read_floats(bytes, section, out);
}

}  // namespace ftir::omnicfile
