// The compound file (the structured-storage container the imaging header files use): a
// 512-byte header, a sector allocation table, a directory of named streams, and small
// streams kept in a mini stream of 64-byte pieces. Read from the file's bytes in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace ftir::imagingfile {

inline constexpr std::size_t kCompoundHeaderBytes = 512;

// One directory entry: its name (the UTF-16 name's low bytes), kind (1 storage, 2 stream,
// 5 root), first sector and size in bytes.
struct CompoundEntry {
  std::string name;
  int type = 0;
  std::uint32_t start = 0;
  std::uint64_t size = 0;
};

struct CompoundFile {
  std::size_t sector_bytes = 512;
  std::size_t mini_sector_bytes = 64;
  std::uint64_t mini_cutoff = 4096;  // streams below this size live in the mini stream
  std::vector<std::uint32_t> fat;
  std::vector<std::uint32_t> mini_fat;
  std::vector<CompoundEntry> entries;  // entry 0 is the root, whose stream is the mini stream
  std::vector<unsigned char> mini_stream;
};

// Whether these bytes start with the compound file's magic number.
bool looks_like_compound(std::span<const unsigned char> bytes);

// Parses header, tables and directory. Returns the reason the bytes are no compound file
// (or a damaged one): every sector read lies inside `bytes`, every chain ends within the
// sectors the file has, so a looping or overlong chain is a reason, not a hang.
std::optional<std::string> parse_compound(std::span<const unsigned char> bytes,
                                          CompoundFile& out);

// The bytes of one stream entry into `out` (its size must be covered by its chain).
std::optional<std::string> read_stream(std::span<const unsigned char> bytes,
                                       const CompoundFile& file, const CompoundEntry& entry,
                                       std::vector<unsigned char>& out);

}  // namespace ftir::imagingfile
