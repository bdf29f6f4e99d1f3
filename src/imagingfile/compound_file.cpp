// The compound file's tables and streams, every index checked against the file's size.
#include "imagingfile/compound_file.h"

#include <algorithm>
#include <array>

#include "spcfile/bytes.h"

namespace ftir::imagingfile {

using spcfile::get_u16le;
using spcfile::get_u32le;
using spcfile::get_uint_le;

namespace {

// Header fields (byte offsets).
constexpr std::size_t kSectorShift = 30;
constexpr std::size_t kMiniSectorShift = 32;
constexpr std::size_t kFatSectors = 44;
constexpr std::size_t kDirectoryStart = 48;
constexpr std::size_t kMiniCutoff = 56;
constexpr std::size_t kMiniFatStart = 60;
constexpr std::size_t kDifatStart = 68;
constexpr std::size_t kDifatSectors = 72;
constexpr std::size_t kHeaderDifat = 76;  // 109 FAT sector numbers
constexpr std::size_t kHeaderDifatCount = 109;
static_assert(kHeaderDifat + 4 * kHeaderDifatCount == kCompoundHeaderBytes);
// Directory entry fields.
constexpr std::size_t kEntryBytes = 128;
constexpr std::size_t kEntryNameBytes = 64;
constexpr std::size_t kEntryType = 66;
constexpr std::size_t kEntryStart = 116;
constexpr std::size_t kEntrySize = 120;
constexpr std::uint32_t kMaxSector = 0xFFFFFFF9u;  // larger values are markers
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFEu;
constexpr std::array<unsigned char, 8> kMagic = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// Sector `s` of the file, or an empty span when it lies (partly) outside.
std::span<const unsigned char> sector(std::span<const unsigned char> bytes, std::size_t ss,
                                      std::uint32_t s) {
  const std::uint64_t at = (static_cast<std::uint64_t>(s) + 1) * ss;
  if (s > kMaxSector || at > bytes.size() || bytes.size() - at < ss) return {};
  return bytes.subspan(static_cast<std::size_t>(at), ss);
}

// The sectors of the chain from `start` in `table`; a chain may not be longer than the table.
std::optional<std::string> chain(const std::vector<std::uint32_t>& table, std::uint32_t start,
                                 std::vector<std::uint32_t>& out) {
  out.clear();
  for (std::uint32_t s = start; s != kEndOfChain;) {
    if (s >= table.size()) return "a sector chain leaves the allocation table";
    if (out.size() >= table.size()) return "a sector chain loops";
    out.push_back(s);
    s = table[s];
  }
  return std::nullopt;
}

// Appends the u32 entries of a table sector.
bool append_table(std::span<const unsigned char> bytes, std::size_t ss, std::uint32_t s,
                  std::vector<std::uint32_t>& table) {
  const auto sec = sector(bytes, ss, s);
  if (sec.empty()) return false;
  for (std::size_t i = 0; i < ss; i += 4) table.push_back(get_u32le(sec, i));
  return true;
}

std::optional<std::string> read_chain(std::span<const unsigned char> bytes, std::size_t ss,
                                      const std::vector<std::uint32_t>& table,
                                      std::uint32_t start, std::vector<unsigned char>& out) {
  std::vector<std::uint32_t> sectors;
  if (auto e = chain(table, start, sectors)) return e;
  out.clear();
  out.reserve(sectors.size() * ss);
  for (const std::uint32_t s : sectors) {
    const auto sec = sector(bytes, ss, s);
    if (sec.empty()) return "a sector lies beyond the end of the file";
    out.insert(out.end(), sec.begin(), sec.end());
  }
  return std::nullopt;
}

}  // namespace

bool looks_like_compound(std::span<const unsigned char> bytes) {
  return bytes.size() >= kMagic.size() && std::equal(kMagic.begin(), kMagic.end(), bytes.begin());
}

std::optional<std::string> parse_compound(std::span<const unsigned char> bytes,
                                          CompoundFile& out) {
  if (bytes.size() < kCompoundHeaderBytes) return "the file ends inside its header";
  if (!looks_like_compound(bytes)) return "not a compound file";
  const int shift = get_u16le(bytes, kSectorShift);
  const int mini_shift = get_u16le(bytes, kMiniSectorShift);
  if ((shift != 9 && shift != 12) || mini_shift < 4 || mini_shift >= shift) {
    return "unusable sector sizes";
  }
  const std::size_t ss = std::size_t{1} << shift;
  out.sector_bytes = ss;
  out.mini_sector_bytes = std::size_t{1} << mini_shift;
  out.mini_cutoff = get_u32le(bytes, kMiniCutoff);
  const std::uint64_t sectors_in_file = bytes.size() / ss;
  const std::uint32_t fat_sectors = get_u32le(bytes, kFatSectors);
  if (fat_sectors > sectors_in_file) return "more table sectors than the file holds";

  // The allocation table: its first 109 sectors named in the header, the rest in a chain
  // of further sectors, each ending with the number of the next.
  out.fat.clear();
  std::uint32_t listed = 0;
  for (std::size_t i = 0; i < kHeaderDifatCount && listed < fat_sectors; ++i, ++listed) {
    if (!append_table(bytes, ss, get_u32le(bytes, kHeaderDifat + 4 * i), out.fat)) {
      return "a table sector lies beyond the end of the file";
    }
  }
  std::uint32_t difat = get_u32le(bytes, kDifatStart);
  const std::uint32_t difat_sectors = get_u32le(bytes, kDifatSectors);
  for (std::uint32_t d = 0; d < difat_sectors && listed < fat_sectors; ++d) {
    const auto sec = sector(bytes, ss, difat);
    if (sec.empty()) return "a table sector lies beyond the end of the file";
    for (std::size_t i = 0; i + 4 < ss && listed < fat_sectors; i += 4, ++listed) {
      if (!append_table(bytes, ss, get_u32le(sec, i), out.fat)) {
        return "a table sector lies beyond the end of the file";
      }
    }
    difat = get_u32le(sec, ss - 4);
  }
  if (listed < fat_sectors) return "the allocation table is incomplete";

  std::vector<unsigned char> dir;
  if (auto e = read_chain(bytes, ss, out.fat, get_u32le(bytes, kDirectoryStart), dir)) return e;
  out.entries.clear();
  for (std::size_t at = 0; at + kEntryBytes <= dir.size(); at += kEntryBytes) {
    const auto e = std::span<const unsigned char>(dir).subspan(at, kEntryBytes);
    CompoundEntry entry;
    const std::size_t name_bytes =
        std::min<std::size_t>(get_u16le(e, kEntryNameBytes), kEntryNameBytes);
    // The stated length counts the closing NUL character; a name is kept to its low bytes.
    for (std::size_t i = 0; i + 2 < name_bytes; i += 2) entry.name.push_back(static_cast<char>(e[i]));
    entry.type = e[kEntryType];
    entry.start = get_u32le(e, kEntryStart);
    entry.size = shift == 9 ? get_u32le(e, kEntrySize) : get_uint_le(e, kEntrySize, 8);
    out.entries.push_back(std::move(entry));
  }
  if (out.entries.empty() || out.entries[0].type != 5) return "the directory has no root";

  out.mini_fat.clear();
  std::vector<unsigned char> mini_fat_bytes;
  const std::uint32_t mini_fat_start = get_u32le(bytes, kMiniFatStart);
  if (mini_fat_start != kEndOfChain) {
    if (auto e = read_chain(bytes, ss, out.fat, mini_fat_start, mini_fat_bytes)) return e;
    for (std::size_t i = 0; i + 4 <= mini_fat_bytes.size(); i += 4) {
      out.mini_fat.push_back(get_u32le(mini_fat_bytes, i));
    }
  }
  const CompoundEntry& root = out.entries[0];
  if (root.start != kEndOfChain) {
    if (auto e = read_chain(bytes, ss, out.fat, root.start, out.mini_stream)) return e;
  }
  if (root.size > out.mini_stream.size()) return "the mini stream is shorter than stated";
  return std::nullopt;
}

std::optional<std::string> read_stream(std::span<const unsigned char> bytes,
                                       const CompoundFile& file, const CompoundEntry& entry,
                                       std::vector<unsigned char>& out) {
  if (entry.type != 2) return "not a stream";
  if (entry.size >= file.mini_cutoff) {
    if (auto e = read_chain(bytes, file.sector_bytes, file.fat, entry.start, out)) return e;
  } else {
    std::vector<std::uint32_t> pieces;
    if (entry.size > 0) {
      if (auto e = chain(file.mini_fat, entry.start, pieces)) return e;
    }
    out.clear();
    const std::size_t ms = file.mini_sector_bytes;
    for (const std::uint32_t p : pieces) {
      const std::uint64_t at = static_cast<std::uint64_t>(p) * ms;
      if (at + ms > file.mini_stream.size()) return "a mini sector lies beyond the mini stream";
      const auto from = file.mini_stream.begin() + static_cast<std::ptrdiff_t>(at);
      out.insert(out.end(), from, from + static_cast<std::ptrdiff_t>(ms));
    }
  }
  if (entry.size > out.size()) return "a stream is longer than its sectors";
  out.resize(static_cast<std::size_t>(entry.size));
  return std::nullopt;
}

}  // namespace ftir::imagingfile
