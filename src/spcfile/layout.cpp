// Decoding and encoding of SPC header records, field by field.
#include "spcfile/layout.h"

#include <algorithm>

#include "spcfile/bytes.h"

namespace ftir::spcfile {
namespace {

template <std::size_t N>
std::array<char, N> get_text(ConstBytes bytes, std::size_t offset) {
  std::array<char, N> text{};
  for (std::size_t i = 0; i < N; ++i) text[i] = static_cast<char>(get_u8(bytes, offset + i));
  return text;
}

template <std::size_t N>
void put_text(Bytes bytes, std::size_t offset, const std::array<char, N>& text) {
  for (std::size_t i = 0; i < N; ++i) put_u8(bytes, offset + i, static_cast<std::uint8_t>(text[i]));
}

template <std::size_t N>
std::array<float, N> get_floats(ConstBytes bytes, std::size_t offset) {
  std::array<float, N> values{};
  for (std::size_t i = 0; i < N; ++i) values[i] = get_f32le(bytes, offset + 4 * i);
  return values;
}

}  // namespace

SpcVariant variant_of(std::uint8_t version) {
  if (version == kVersionOld) return SpcVariant::kOld;
  if (version == kVersionNewMsb) return SpcVariant::kNewMsbFirst;
  return SpcVariant::kNew;  // 0x4B and every other value
}

std::size_t header_bytes(SpcVariant variant) {
  switch (variant) {
    case SpcVariant::kOld:
      return kOldHeaderBytes;
    case SpcVariant::kNewMsbFirst:
      return 2;
    case SpcVariant::kNew:
      break;
  }
  return kNewDataOffset;
}

SpcHeader decode_new_header(std::span<const unsigned char, kNewHeaderBytes> bytes) {
  namespace o = new_offset;
  SpcHeader h;
  h.flags = get_u8(bytes, kFlagsOffset);
  h.version = get_u8(bytes, kVersionOffset);
  h.exptype = get_u8(bytes, o::kExptype);
  h.exponent = get_i8(bytes, o::kExponent);
  h.pointcount = get_i32le(bytes, o::kPointcount);
  h.firstx = get_f64le(bytes, o::kFirstx);
  h.lastx = get_f64le(bytes, o::kLastx);
  h.subfiles = get_i32le(bytes, o::kSubfiles);
  h.xunits = get_u8(bytes, o::kXunits);
  h.yunits = get_u8(bytes, o::kYunits);
  h.zunits = get_u8(bytes, o::kZunits);
  h.postflags = get_u8(bytes, o::kPostflags);
  h.stamp = get_u32le(bytes, o::kStamp);
  h.restext = get_text<9>(bytes, o::kRestext);
  h.source = get_text<9>(bytes, o::kSource);
  h.peakpoint = get_i16le(bytes, o::kPeakpoint);
  h.spare = get_floats<8>(bytes, o::kSpare);
  h.comment = get_text<130>(bytes, o::kComment);
  h.axislabels = get_text<30>(bytes, o::kAxislabels);
  h.logoffset = get_u32le(bytes, o::kLogoffset);
  h.modflags = get_u32le(bytes, o::kModflags);
  h.proccode = get_u8(bytes, o::kProccode);
  h.callevel = get_u8(bytes, o::kCallevel);
  h.injection = get_i16le(bytes, o::kInjection);
  h.datafactor = get_f32le(bytes, o::kDatafactor);
  h.method = get_text<48>(bytes, o::kMethod);
  std::copy_n(bytes.begin() + o::kZwblock, h.zwblock.size(), h.zwblock.begin());
  return h;
}

SpcSubheader decode_subheader(std::span<const unsigned char, kSubheaderBytes> bytes) {
  namespace o = sub_offset;
  SpcSubheader s;
  s.subflags = get_u8(bytes, o::kSubflags);
  s.subexp = get_i8(bytes, o::kSubexp);
  s.subindex = get_i16le(bytes, o::kSubindex);
  s.start_z = get_f32le(bytes, o::kStartZ);
  s.end_z = get_f32le(bytes, o::kEndZ);
  s.noise = get_f32le(bytes, o::kNoise);
  s.npoints = get_i32le(bytes, o::kNpoints);
  s.scans = get_i32le(bytes, o::kScans);
  s.w_level = get_f32le(bytes, o::kWLevel);
  std::copy_n(bytes.begin() + o::kReserved, s.reserved.size(), s.reserved.begin());
  return s;
}

SpcOldHeader decode_old_header(std::span<const unsigned char, kOldHeaderBytes> bytes) {
  namespace o = old_offset;
  SpcOldHeader h;
  h.flags = get_u8(bytes, kFlagsOffset);
  h.version = get_u8(bytes, kVersionOffset);
  h.exponent = get_i16le(bytes, o::kExponent);
  h.pointcount = get_f32le(bytes, o::kPointcount);
  h.firstx = get_f32le(bytes, o::kFirstx);
  h.lastx = get_f32le(bytes, o::kLastx);
  h.xunits = get_u8(bytes, o::kXunits);
  h.yunits = get_u8(bytes, o::kYunits);
  h.year = get_i16le(bytes, o::kYear);
  h.month = get_u8(bytes, o::kMonth);
  h.day = get_u8(bytes, o::kDay);
  h.hour = get_u8(bytes, o::kHour);
  h.minute = get_u8(bytes, o::kMinute);
  h.restext = get_text<8>(bytes, o::kRestext);
  h.peakpoint = get_i16le(bytes, o::kPeakpoint);
  h.scans = get_i16le(bytes, o::kScans);
  h.spare = get_floats<7>(bytes, o::kSpare);
  h.comment = get_text<130>(bytes, o::kComment);
  h.axislabels = get_text<30>(bytes, o::kAxislabels);
  h.subheader = decode_subheader(bytes.subspan<o::kSubheader, kSubheaderBytes>());
  return h;
}

bool decode_header(std::span<const unsigned char> bytes, DecodedHeader& out) {
  if (bytes.size() < 2) return false;
  out.flags = get_u8(bytes, kFlagsOffset);
  out.version = get_u8(bytes, kVersionOffset);
  out.variant = variant_of(out.version);
  out.data_offset = header_bytes(out.variant);
  if (bytes.size() < out.data_offset) return false;
  switch (out.variant) {
    case SpcVariant::kOld:
      out.old_header = decode_old_header(bytes.first<kOldHeaderBytes>());
      out.subheader = out.old_header.subheader;
      break;
    case SpcVariant::kNew:
      out.header = decode_new_header(bytes.first<kNewHeaderBytes>());
      out.subheader = decode_subheader(bytes.subspan<kNewHeaderBytes, kSubheaderBytes>());
      break;
    case SpcVariant::kNewMsbFirst:
      break;
  }
  return true;
}

void encode_old_header(const SpcOldHeader& h, std::span<unsigned char, kOldHeaderBytes> bytes) {
  namespace o = old_offset;
  put_u8(bytes, kFlagsOffset, h.flags);
  put_u8(bytes, kVersionOffset, h.version);
  put_i16le(bytes, o::kExponent, h.exponent);
  put_f32le(bytes, o::kPointcount, h.pointcount);
  put_f32le(bytes, o::kFirstx, h.firstx);
  put_f32le(bytes, o::kLastx, h.lastx);
  put_u8(bytes, o::kXunits, h.xunits);
  put_u8(bytes, o::kYunits, h.yunits);
  put_i16le(bytes, o::kYear, h.year);
  put_u8(bytes, o::kMonth, h.month);
  put_u8(bytes, o::kDay, h.day);
  put_u8(bytes, o::kHour, h.hour);
  put_u8(bytes, o::kMinute, h.minute);
  put_text(bytes, o::kRestext, h.restext);
  put_i16le(bytes, o::kPeakpoint, h.peakpoint);
  put_i16le(bytes, o::kScans, h.scans);
  for (std::size_t i = 0; i < h.spare.size(); ++i) put_f32le(bytes, o::kSpare + 4 * i, h.spare[i]);
  put_text(bytes, o::kComment, h.comment);
  put_text(bytes, o::kAxislabels, h.axislabels);

  namespace s = sub_offset;
  const Bytes sub = Bytes(bytes).subspan(o::kSubheader, kSubheaderBytes);
  const SpcSubheader& sh = h.subheader;
  put_u8(sub, s::kSubflags, sh.subflags);
  put_i8(sub, s::kSubexp, sh.subexp);
  put_i16le(sub, s::kSubindex, sh.subindex);
  put_f32le(sub, s::kStartZ, sh.start_z);
  put_f32le(sub, s::kEndZ, sh.end_z);
  put_f32le(sub, s::kNoise, sh.noise);
  put_i32le(sub, s::kNpoints, sh.npoints);
  put_i32le(sub, s::kScans, sh.scans);
  put_f32le(sub, s::kWLevel, sh.w_level);
  std::copy(sh.reserved.begin(), sh.reserved.end(), sub.begin() + s::kReserved);
}

}  // namespace ftir::spcfile
