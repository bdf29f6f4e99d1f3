// The multi-trace reader: the header described once per trace, with that trace's exponent,
// and its points decoded as the single-trace reader decodes them.
#include "spcfile/multi_trace.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "simd/kernels.h"
#include "spcfile/bytes.h"
#include "spcfile/header.h"
#include "spcfile/layout.h"

namespace ftir::spcfile {

using values::Refusal;
using values::Refused;
using values::SetRefusal;

namespace {

// Flags a single trace does not keep: several traces, random and ordered Z values.
constexpr std::uint8_t kMultiTraceFlags = 0x04 | 0x08 | 0x10;
constexpr std::uint8_t kXPerTrace = 0x40;

// One sample as the single-trace reader stores it: integers scaled and rounded to f32.
template <SampleKind kKind>
double sample_at(const unsigned char* p, double factor) {
  const double y = simd::sample_value<kKind>(p);
  if constexpr (kKind == SampleKind::kFloat32) return y;
  return static_cast<double>(static_cast<float>(y * factor));
}

double sample_at(SampleKind kind, const unsigned char* p, double factor) {
  switch (kind) {
    case SampleKind::kInt16: return sample_at<SampleKind::kInt16>(p, factor);
    case SampleKind::kInt32: return sample_at<SampleKind::kInt32>(p, factor);
    case SampleKind::kInt32HighHalfFirst:
      return sample_at<SampleKind::kInt32HighHalfFirst>(p, factor);
    case SampleKind::kFloat32: break;
  }
  return sample_at<SampleKind::kFloat32>(p, factor);
}

}  // namespace

TracesRead read_spc_traces(std::string_view name, std::span<const unsigned char> bytes,
                           std::uint64_t max_samples) {
  TracesRead out;
  const std::string file(name);
  const auto refuse = [&](Refused reason, std::optional<long> record = {}) {
    out.refused = SetRefusal{std::move(reason), file, record};
    return std::move(out);
  };
  const auto detail = [](Refusal code, std::string text) { return Refused{code, std::move(text)}; };
  if (bytes.size() < kNewDataOffset) {
    return refuse(detail(Refusal::kCannotOpen, "the file ends inside its header"));
  }
  const std::uint8_t flags = bytes[kFlagsOffset];
  if (variant_of(bytes[1]) != SpcVariant::kNew) {
    return refuse(variant_of(bytes[1]) == SpcVariant::kNewMsbFirst
                      ? Refused{Refusal::kMsbFirst, {}}
                      : detail(Refusal::kUnsupportedLayout, "an old-format file"));
  }
  if ((flags & kFlagMulti) == 0) {
    return refuse(detail(Refusal::kUnsupportedLayout, "it holds a single trace"));
  }
  if ((flags & (kFlagXArray | kXPerTrace | kFlagCompat)) != 0) {
    return refuse(Refused{Refusal::kUnsupportedLayout, {}});
  }
  const std::int32_t count = get_i32le(bytes, new_offset::kSubfiles);
  // The header of each trace's single-trace form: the file's header with the multi-trace
  // flags cleared, the trace's exponent, one trace; then the trace's subheader.
  std::array<unsigned char, kNewDataOffset> head{};
  std::copy_n(bytes.begin(), kNewHeaderBytes, head.begin());
  put_u8(head, kFlagsOffset, static_cast<std::uint8_t>(flags & ~kMultiTraceFlags));
  put_i32le(head, new_offset::kSubfiles, 1);
  put_u32le(head, new_offset::kLogoffset, 0);
  const bool f32_header = get_i8(bytes, new_offset::kExponent) == kExponentFloatY;
  const auto describe = [&](std::size_t at) {
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), kSubheaderBytes,
                head.begin() + kNewHeaderBytes);
    const std::int8_t subexp = get_i8(bytes, at + sub_offset::kSubexp);
    put_i8(head, new_offset::kExponent,
           f32_header ? static_cast<std::int8_t>(kExponentFloatY) : subexp);
    return describe_header(head);
  };
  HeaderDescription d = describe(kNewHeaderBytes);
  if (d.refused) return refuse(*d.refused);
  if (count < 1) return refuse(detail(Refusal::kUnsupportedLayout, "the header declares no traces"));
  const std::int64_t npts = d.declared;
  if (npts > values::kCapacity) {
    return refuse(Refused{Refusal::kTooManyPoints, {}, values::kCapacity, static_cast<int>(npts)});
  }
  const std::size_t width = simd::sample_bytes(d.kind);
  const std::size_t stride = kSubheaderBytes + static_cast<std::size_t>(npts) * width;
  const std::size_t held = (bytes.size() - kNewHeaderBytes) / stride;
  if (held < static_cast<std::size_t>(count)) {
    return refuse(detail(Refusal::kTruncated, "the file ends inside trace " +
                                                  std::to_string(held + 1) + " of " +
                                                  std::to_string(count)),
                  static_cast<long>(held));
  }
  if (static_cast<std::uint64_t>(count) > max_samples / static_cast<std::uint64_t>(npts)) {
    return refuse(detail(Refusal::kTooManyPoints,
                         std::to_string(count) + " traces of " + std::to_string(npts) +
                             " points, more than a read may hold"));
  }

  values::Interferogram first;
  first.name = file;
  first.format = values::SourceFormat::kSpc;
  first.declared_points = static_cast<int>(npts);
  first.points_held = first.declared_points;
  first.xinc = d.xinc;
  first.x = d.x;
  first.spare1 = d.spare1;
  values::RecordSet& set = out.set;
  set = values::set_of_one(first);
  set.facts.points = static_cast<int>(npts);
  set.shape = {static_cast<long>(count)};
  set.table.assign(static_cast<std::size_t>(count), {});
  set.samples.assign(static_cast<std::size_t>(count) * static_cast<std::size_t>(npts), 0.0);
  for (std::int32_t k = 0; k < count; ++k) {
    const std::size_t at = kNewHeaderBytes + static_cast<std::size_t>(k) * stride;
    const HeaderDescription dk = describe(at);
    values::RecordFacts& row = set.table[static_cast<std::size_t>(k)];
    row.index = k;
    row.time = get_f32le(bytes, at + sub_offset::kStartZ);
    row.good_scans = get_i32le(bytes, at + sub_offset::kScans);
    const auto x = set.record(k);
    const unsigned char* p = bytes.data() + at + kSubheaderBytes;
    bool finite = true;
    for (std::size_t i = 0; i < x.size(); ++i) {
      x[i] = sample_at(dk.kind, p + i * width, dk.factor);
      finite = finite && std::isfinite(x[i]);
    }
    if (!finite) row.refused = Refused{Refusal::kNotFinite, {}};
  }
  return out;
}

}  // namespace ftir::spcfile
