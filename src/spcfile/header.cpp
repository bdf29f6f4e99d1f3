// The SPC header description: the reader's rules for variants, sample kinds, scales and
// declared points, in one place.
#include "spcfile/header.h"

#include <cmath>
#include <limits>
#include <string>
#include <string_view>

#include "spcfile/bytes.h"

namespace ftir::spcfile {
namespace {

values::Refused refusal(values::Refusal code) { return {code, {}, 0, 0}; }

// Which of the refused flags a header sets, and what to do about several traces.
std::string unsupported_layout_text(std::uint8_t flags) {
  std::string which;
  auto add = [&which](std::string_view part) {
    which += (which.empty() ? "" : ", ") + std::string(part);
  };
  if ((flags & kFlagMulti) != 0) add("several traces: spc-tool split writes each to a file");
  if ((flags & kFlagXArray) != 0) add("an X array");
  if ((flags & kFlagCompat) != 0) add("the compatibility flag");
  return "this file format is not supported (" + which + ")";
}

HeaderVariant variant_named(std::uint8_t version) {
  switch (version) {
    case kVersionOld:
      return HeaderVariant::kOld;
    case kVersionNew:
      return HeaderVariant::kNewLsbFirst;
    case kVersionNewMsb:
      return HeaderVariant::kNewMsbFirst;
    default:
      break;
  }
  return HeaderVariant::kUnknown;
}

void describe_old(std::span<const unsigned char, kOldHeaderBytes> bytes, bool short_y,
                  HeaderDescription& d) {
  const SpcOldHeader h = decode_old_header(bytes);
  d.kind = short_y ? SampleKind::kInt16 : SampleKind::kInt32HighHalfFirst;
  d.exponent = h.exponent;
  d.pointcount = static_cast<double>(h.pointcount);
  d.x = {static_cast<double>(h.firstx), static_cast<double>(h.lastx), h.xunits};
  d.spare1 = static_cast<double>(h.spare[0]);
  d.spare2 = static_cast<double>(h.spare[1]);
  // Written this way round, a NaN count is fewer than 2 points.
  if (!(h.pointcount >= 2.0f)) return;
  constexpr auto kMaxIndex = std::numeric_limits<std::int32_t>::max();
  d.declared = h.pointcount >= static_cast<float>(kMaxIndex)
                   ? kMaxIndex
                   : static_cast<std::int64_t>(h.pointcount);
  // The increment comes from the f32 fields in f64 (the reader's X use it rounded to f32).
  d.xinc = (d.x.last - d.x.first) / (d.pointcount - 1.0);
}

void describe_new(std::span<const unsigned char, kNewHeaderBytes> bytes, bool short_y,
                  HeaderDescription& d) {
  const SpcHeader h = decode_new_header(bytes);
  d.exponent = h.exponent;
  if (d.exponent == kExponentFloatY) {
    d.kind = SampleKind::kFloat32;
  } else {
    d.kind = short_y ? SampleKind::kInt16 : SampleKind::kInt32;
  }
  d.pointcount = h.pointcount;
  d.x = {h.firstx, h.lastx, h.xunits};
  d.spare1 = static_cast<double>(h.spare[0]);
  d.spare2 = static_cast<double>(h.spare[1]);
  if (h.pointcount < 2) return;
  d.declared = h.pointcount;
  d.xinc = (h.lastx - h.firstx) / static_cast<double>(h.pointcount - 1);
}

}  // namespace

HeaderDescription describe_header(std::span<const unsigned char> start) {
  HeaderDescription d;
  if (start.size() < 2) return d;
  d.flags = get_u8(start, kFlagsOffset);
  const std::uint8_t version = get_u8(start, kVersionOffset);
  d.variant = variant_named(version);
  d.layout = variant_of(version);
  d.data_offset = header_bytes(d.layout);
  // The reader tests the flags before it looks at the version.
  if ((d.flags & kFlagsRefused) != 0) {
    d.refused = refusal(values::Refusal::kUnsupportedLayout);
    d.refused->detail = unsupported_layout_text(d.flags);
  } else if (d.layout == SpcVariant::kNewMsbFirst) {
    d.refused = refusal(values::Refusal::kMsbFirst);
  }
  d.complete = start.size() >= d.data_offset;
  if (!d.complete) return d;
  const bool short_y = (d.flags & kFlagShortY) != 0;
  switch (d.layout) {
    case SpcVariant::kOld:
      describe_old(start.first<kOldHeaderBytes>(), short_y, d);
      break;
    case SpcVariant::kNew:
      describe_new(start.first<kNewHeaderBytes>(), short_y, d);
      break;
    case SpcVariant::kNewMsbFirst:
      return d;  // nothing past the version is decoded
  }
  d.factor = sample_factor(d.kind, d.exponent);
  if (!d.refused && d.declared < 2) d.refused = refusal(values::Refusal::kFewPoints);
  return d;
}

bool looks_like_spc(std::span<const unsigned char> first_bytes) {
  return first_bytes.size() >= 2 &&
         variant_named(get_u8(first_bytes, kVersionOffset)) != HeaderVariant::kUnknown;
}

double sample_factor(SampleKind kind, int exponent) {
  const int shift = kind == SampleKind::kInt16 ? 16 : 32;
  return static_cast<double>(static_cast<float>(std::ldexp(1.0, exponent - shift)));
}

std::optional<double> laser_from_x(const values::XAxisFacts& x, double sampr) {
  constexpr int kWavenumbers = 1;
  // Written this way round, a NaN first X starts nowhere.
  if (x.units != kWavenumbers || !(x.last > 0.0) || !(std::fabs(x.first) <= kZeroFirstX * x.last)) {
    return std::nullopt;
  }
  const double wref = 2.0 * x.last / sampr;
  if (!std::isfinite(wref)) return std::nullopt;
  return wref;
}

}  // namespace ftir::spcfile
