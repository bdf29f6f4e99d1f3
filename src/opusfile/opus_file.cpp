// The OPUS layout: header, directory, parameter blocks and data blocks, each checked
// against the bytes before anything is read from it.
#include "opusfile/opus_file.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <utility>
#include <vector>

#include "simd/kernels.h"
#include "spcfile/bytes.h"
#include "values/interferogram.h"

namespace ftir::opusfile {
namespace {

using spcfile::get_f64le;
using spcfile::get_i32le;
using spcfile::get_u32le;
using values::Refusal;
using values::Refused;

constexpr unsigned char kMagic[4] = {0x0A, 0x0A, 0xFE, 0xFE};
// The parameter field of the type word: a data block and its status block differ only there.
constexpr std::uint32_t kParameterBits = 0x3F0u;
// A parameter entry: key (3 characters and a NUL), type (i16), value size in 16-bit words
// (i16), then the value.
constexpr std::size_t kEntryHeadBytes = 8;

Refused refusal(Refusal code) { return {code, {}, 0, 0}; }

// Parses the entries of a parameter block; false when one runs past the block's end, states
// a negative size, or is too short for its number type. An END entry or the block's end
// closes the list.
bool parse_parameters(std::span<const unsigned char> bytes, Block& block) {
  const std::size_t end = block.offset + block.bytes;
  std::size_t at = block.offset;
  // Entries are 12 bytes and more; most hold a number of 12 or 16.
  block.parameters.reserve(block.bytes / 16);
  while (at < end) {
    if (end - at >= 3 && bytes[at] == 'E' && bytes[at + 1] == 'N' && bytes[at + 2] == 'D') break;
    if (end - at < kEntryHeadBytes) return false;
    Parameter p;
    p.key = std::string_view(reinterpret_cast<const char*>(bytes.data() + at), 3);
    // The entry's head lies inside the block, checked above: loads without a test each.
    const unsigned char* head = bytes.data() + at;
    p.type = simd::load_le<std::int16_t>(head + 4);
    const int words = simd::load_le<std::int16_t>(head + 6);
    if (words < 0) return false;
    const auto value_bytes = static_cast<std::size_t>(words) * 2;
    const std::size_t value = at + kEntryHeadBytes;
    if (end - value < value_bytes) return false;
    switch (p.type) {
      case 0:
        if (value_bytes < 4) return false;
        p.integer = simd::load_le<std::int32_t>(bytes.data() + value);
        break;
      case 1:
        if (value_bytes < 8) return false;
        p.real = get_f64le(bytes, value);
        break;
      default: {
        if (p.type < 0) return false;
        // Text up to its first NUL.
        const auto* first = reinterpret_cast<const char*>(bytes.data() + value);
        const auto* last = std::find(first, first + value_bytes, '\0');
        p.text = std::string_view(first, static_cast<std::size_t>(last - first));
        break;
      }
    }
    block.parameters.push_back(p);
    at = value + value_bytes;
  }
  return true;
}

// Reads NPT, FXV, LXV, CSF and DPF of a data block from its status block.
std::optional<Refused> take_status(const Block& status, Block& data) {
  const Parameter* npt = status.find("NPT");
  if (npt == nullptr || npt->type != 0) return refusal(Refusal::kNoParameterBlock);
  if (npt->integer < 0) return refusal(Refusal::kBadParameters);
  if (static_cast<std::size_t>(npt->integer) > data.bytes / 4) {
    return refusal(Refusal::kPointsBeyondBlock);
  }
  if (npt->integer > values::kCapacity) {
    return Refused{Refusal::kTooManyPoints, {}, values::kCapacity, npt->integer};
  }
  data.npt = npt->integer;
  auto real = [&status](std::string_view key, double fallback) {
    const Parameter* p = status.find(key);
    return p != nullptr && p->type == 1 ? p->real : fallback;
  };
  data.fxv = real("FXV", 0.0);
  data.lxv = real("LXV", 0.0);
  data.csf = real("CSF", 1.0);
  const Parameter* dpf = status.find("DPF");
  data.dpf = dpf != nullptr && dpf->type == 0 ? dpf->integer : 1;
  return std::nullopt;
}

std::string hex_of(std::uint32_t code) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) text.push_back(kDigits[(code >> shift) & 0xFu]);
  return text;
}

std::string data_name(const BlockType& t) {
  std::string name;
  const bool single = t.channel == kChannelSample || t.channel == kChannelReference;
  switch (t.data) {
    case kDataSpectrum:
      name = single ? "Sc" : "Spectrum";
      break;
    case kDataInterferogram:
      name = single ? "Ig" : "Interferogram";
      break;
    case kDataPhase:
      name = single ? "Ph" : "Phase";
      break;
    case kDataAbsorbance:
      name = "AB";
      break;
    case kDataTransmittance:
      name = "TR";
      break;
    case 6:
      name = "KM";
      break;
    default:
      name = "Data " + std::to_string(t.data);
      break;
  }
  if (t.data <= kDataPhase && single) name += t.channel == kChannelSample ? "Sm" : "Rf";
  if (t.derivative != 0) name += " (derivative " + std::to_string(t.derivative) + ")";
  return name;
}

}  // namespace

bool BlockType::same_kind_as(const BlockType& other) const {
  return (code & ~kParameterBits) == (other.code & ~kParameterBits);
}

BlockType decode_block_type(std::uint32_t code) {
  BlockType t;
  t.code = code;
  t.complex_part = static_cast<int>(code & 0x3u);
  t.channel = static_cast<int>((code >> 2) & 0x3u);
  t.parameters = static_cast<int>((code >> 4) & 0x3Fu);
  t.data = static_cast<int>((code >> 10) & 0x7Fu);
  t.derivative = static_cast<int>((code >> 17) & 0x3u);
  t.extended = static_cast<int>((code >> 19) & 0x7u);
  return t;
}

bool Block::is_data() const {
  return type.parameters == 0 && type.extended == 0 && type.data != 0 &&
         type.data != kDataDirectory;
}

const Parameter* Block::find(std::string_view key) const {
  // A key stated twice: the later entry counts, as a later block does.
  if (key.size() != 3) return nullptr;
  for (auto p = parameters.rbegin(); p != parameters.rend(); ++p) {
    if (p->key[0] == key[0] && p->key[1] == key[1] && p->key[2] == key[2]) return &*p;
  }
  return nullptr;
}

std::string block_name(const BlockType& t) {
  static constexpr const char* kKinds[] = {
      "",   "Data status",    "Instrument",    "Acquisition",   "Transform",      "Plot", "Optics",
      "GC", "Library search", "Communication", "Sample origin", "Lab and process"};
  if (t.extended == 5) return "History";
  if (t.extended != 0) return "Type " + hex_of(t.code);
  if (t.parameters == 0) {
    if (t.data == kDataDirectory) return "Directory";
    if (t.data == 0) return "Type " + hex_of(t.code);
    return data_name(t);
  }
  if (t.parameters == kParametersDataStatus) {
    if (t.data == 0) return "Data status";
    return "Data status of " + data_name(t);
  }
  std::string name = t.parameters < static_cast<int>(std::size(kKinds))
                         ? kKinds[t.parameters]
                         : "Parameters " + std::to_string(t.parameters);
  if (t.channel == kChannelReference) name += " (reference)";
  return name;
}

bool looks_like_opus(std::span<const unsigned char> first_bytes) {
  return first_bytes.size() >= 4 &&
         std::equal(std::begin(kMagic), std::end(kMagic), first_bytes.begin());
}

OpusParse parse_opus(std::span<const unsigned char> bytes) {
  OpusParse parse;
  auto refuse = [&parse](Refused r) {
    parse.refused = std::move(r);
    return parse;
  };
  if (bytes.size() < kHeaderBytes) return refuse(refusal(Refusal::kShortHeader));
  OpusFile& file = parse.file;
  file.version = get_f64le(bytes, kVersionOffset);
  file.directory_offset = get_i32le(bytes, kDirectoryOffsetOffset);
  file.directory_room = get_i32le(bytes, kDirectoryRoomOffset);
  const std::int32_t count = get_i32le(bytes, kBlockCountOffset);
  if (file.directory_offset < 0 || count < 0) return refuse(refusal(Refusal::kBadBlockSize));
  const auto size = static_cast<std::int64_t>(bytes.size());
  const std::int64_t directory_end =
      std::int64_t{file.directory_offset} + std::int64_t{count} * std::int64_t{kEntryBytes};
  if (directory_end > size) return refuse(refusal(Refusal::kBlockOutside));

  file.blocks.reserve(static_cast<std::size_t>(count));
  for (std::int32_t i = 0; i < count; ++i) {
    const auto at =
        static_cast<std::size_t>(file.directory_offset) + static_cast<std::size_t>(i) * kEntryBytes;
    const std::uint32_t code = get_u32le(bytes, at);
    const std::int32_t words = get_i32le(bytes, at + 4);
    const std::int32_t offset = get_i32le(bytes, at + 8);
    if (code == 0 && words == 0 && offset == 0) continue;  // an unused entry
    if (words < 0) return refuse(refusal(Refusal::kBadBlockSize));
    if (offset < 0 || std::int64_t{offset} + std::int64_t{words} * 4 > size) {
      return refuse(refusal(Refusal::kBlockOutside));
    }
    Block block;
    block.type = decode_block_type(code);
    block.offset = static_cast<std::size_t>(offset);
    block.bytes = static_cast<std::size_t>(words) * 4;
    file.blocks.push_back(std::move(block));
  }

  // A type listed twice: the later block counts (a file edited in place appends the block
  // anew and leaves the old one). Sorted by type, then by place, the last of each type counts.
  std::vector<std::pair<std::uint32_t, std::size_t>> by_type;
  by_type.reserve(file.blocks.size());
  for (std::size_t i = 0; i < file.blocks.size(); ++i) {
    by_type.emplace_back(file.blocks[i].type.code, i);
  }
  std::sort(by_type.begin(), by_type.end());
  for (std::size_t k = 0; k + 1 < by_type.size(); ++k) {
    if (by_type[k].first == by_type[k + 1].first) file.blocks[by_type[k].second].superseded = true;
  }
  // The parameter blocks that count, parsed. Blocks of a sound file do not overlap, so
  // together they are no larger than the file; a directory listing one stretch of bytes
  // under many types would otherwise have it parsed again for each.
  std::size_t parameter_bytes = 0;
  for (const Block& block : file.blocks) {
    if (!block.superseded && block.is_parameters()) parameter_bytes += block.bytes;
  }
  if (parameter_bytes > bytes.size()) return refuse(refusal(Refusal::kBadBlockSize));
  // The status block of each data kind (the type without its parameter field): by the
  // sort above, the status blocks that count are in order of their kinds.
  std::vector<std::pair<std::uint32_t, std::size_t>> status_of_kind;
  for (std::size_t i = 0; i < file.blocks.size(); ++i) {
    Block& block = file.blocks[i];
    if (block.superseded || !block.is_parameters()) continue;
    if (!parse_parameters(bytes, block)) return refuse(refusal(Refusal::kBadParameters));
    if (block.type.parameters == kParametersDataStatus) {
      status_of_kind.emplace_back(block.type.code & ~kParameterBits, i);
    }
  }
  // Two status types of one kind (they differ in the parameter field's other values): the
  // later block counts.
  std::sort(status_of_kind.begin(), status_of_kind.end());
  for (Block& block : file.blocks) {
    if (block.superseded || !block.is_data()) continue;
    const std::uint32_t kind = block.type.code & ~kParameterBits;
    auto after = std::upper_bound(status_of_kind.begin(), status_of_kind.end(),
                                  std::pair{kind, file.blocks.size()});
    if (after == status_of_kind.begin() || std::prev(after)->first != kind) {
      return refuse(refusal(Refusal::kNoParameterBlock));
    }
    const std::size_t status_index = std::prev(after)->second;
    const Block& status = file.blocks[status_index];
    if (auto refused = take_status(status, block)) return refuse(std::move(*refused));
    block.status = static_cast<int>(status_index);
  }
  return parse;
}

const Block* find_data_block(const OpusFile& file, int data, int channel) {
  const Block* found = nullptr;
  for (const Block& block : file.blocks) {
    if (!block.superseded && block.is_data() && block.type.data == data &&
        block.type.channel == channel && block.type.derivative == 0) {
      found = &block;  // of two types of one kind, the later block counts
    }
  }
  return found;
}

const Block* find_parameter_block(const OpusFile& file, int kind, int channel) {
  const Block* without_channel = nullptr;
  for (const Block& block : file.blocks) {
    if (block.superseded || !block.is_parameters() || block.type.parameters != kind) continue;
    if (channel == kChannelReference && block.type.channel == kChannelReference) return &block;
    if (block.type.channel == 0) without_channel = &block;
  }
  return without_channel;
}

bool read_values(std::span<const unsigned char> bytes, const Block& block, std::span<double> out) {
  const auto n = static_cast<std::size_t>(block.npt);
  assert(out.size() >= n && block.offset + n * 4 <= bytes.size());
  // The block was checked whole: the values load without a test each. The finite test is
  // one flag for the whole block, without a branch a value (a NaN compares false).
  const unsigned char* p = bytes.data() + block.offset;
  const double csf = block.csf;
  double* y = out.data();
  constexpr double kLargest = std::numeric_limits<double>::max();
  bool finite = true;
  if (block.dpf == 2) {
    for (std::size_t i = 0; i < n; ++i) {
      y[i] = static_cast<double>(simd::load_le<std::int32_t>(p + i * 4)) * csf;
      finite &= std::fabs(y[i]) <= kLargest;
    }
  } else {
    for (std::size_t i = 0; i < n; ++i) {
      y[i] = static_cast<double>(simd::load_le<float>(p + i * 4)) * csf;
      finite &= std::fabs(y[i]) <= kLargest;
    }
  }
  return finite;
}

void read_stored_values(std::span<const unsigned char> bytes, const Block& block,
                        std::span<float> out) {
  const auto n = static_cast<std::size_t>(block.npt);
  assert(out.size() >= n && block.offset + n * 4 <= bytes.size());
  const unsigned char* p = bytes.data() + block.offset;
  if (block.dpf == 2) {
    for (std::size_t i = 0; i < n; ++i) {
      out[i] = static_cast<float>(simd::load_le<std::int32_t>(p + i * 4));
    }
  } else if constexpr (std::endian::native == std::endian::little) {
    // An empty curve's storage may be null, which memcpy must not be given.
    if (n > 0) std::memcpy(out.data(), p, n * 4);
  } else {
    for (std::size_t i = 0; i < n; ++i) out[i] = simd::load_le<float>(p + i * 4);
  }
}

}  // namespace ftir::opusfile
