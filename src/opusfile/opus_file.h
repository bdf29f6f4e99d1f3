// The OPUS layout described once: the header, the directory of typed blocks, the parameter
// blocks of three-letter keys and the data blocks, parsed from the file's bytes in memory.
// The reader, spc-tool and the tests read these facts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "values/refusal.h"

namespace ftir::opusfile {

// The header: a magic number, the program version (f64), then where the directory lies,
// how many entries it has room for and how many it holds (each an i32).
inline constexpr std::size_t kHeaderBytes = 24;
inline constexpr std::size_t kVersionOffset = 4;
inline constexpr std::size_t kDirectoryOffsetOffset = 12;
inline constexpr std::size_t kDirectoryRoomOffset = 16;
inline constexpr std::size_t kBlockCountOffset = 20;
// A directory entry: the type word, the block's size in 32-bit words, its offset in bytes.
inline constexpr std::size_t kEntryBytes = 12;
static_assert(kBlockCountOffset + 4 == kHeaderBytes);

// The type word's fields, lowest bits first: complex part (2 bits), channel (2), parameter
// kind (6), data kind (7), derivative (2), extended kind (3).
struct BlockType {
  std::uint32_t code = 0;
  int complex_part = 0;  // 0 none, 1 real, 2 imaginary, 3 amplitude
  int channel = 0;       // 0 none, 1 sample, 2 reference, 3 ratio of the two
  int parameters = 0;    // 0 a data block; 1 data status, 2 instrument, 3 acquisition,
                         // 4 transform, 5 plot, 6 optics, 7 GC, 8 library search,
                         // 9 communication, 10 sample origin, 11 lab and process
  int data = 0;          // 1 spectrum, 2 interferogram, 3 phase, 4 absorbance,
                         // 5 transmittance, ..., 13 the directory
  int derivative = 0;
  int extended = 0;  // 5: history text

  // The same block kind with another parameter field (a data block's status block).
  bool same_kind_as(const BlockType& other) const;
};

BlockType decode_block_type(std::uint32_t code);

inline constexpr int kParametersDataStatus = 1;
inline constexpr int kDataSpectrum = 1;
inline constexpr int kDataInterferogram = 2;
inline constexpr int kDataPhase = 3;
inline constexpr int kDataAbsorbance = 4;
inline constexpr int kDataTransmittance = 5;
inline constexpr int kDataDirectory = 13;
inline constexpr int kChannelSample = 1;
inline constexpr int kChannelReference = 2;
inline constexpr int kChannelRatio = 3;

// A parameter entry: its key, its type (0 i32, 1 f64, 2 string, 3 enum, 4 senum: the last
// three are text), and the value of that type. Key and text view the parsed bytes.
struct Parameter {
  std::string_view key;
  int type = 0;
  std::int32_t integer = 0;
  double real = 0.0;
  std::string_view text;  // up to the value's first NUL

  bool is_text() const { return type >= 2; }
};

struct Block {
  BlockType type;
  std::size_t offset = 0;  // in the file, bytes
  std::size_t bytes = 0;   // the directory's size times 4
  // A later block of the same type replaces this one: the later one counts.
  bool superseded = false;
  std::vector<Parameter> parameters;  // a parameter block's entries, in file order
  // A data block that counts: its data status block (index into OpusFile::blocks) and what
  // it states: points NPT, first and last X, Y scale CSF, point format DPF (1 f32, 2 i32).
  int status = -1;
  int npt = 0;
  double fxv = 0.0;
  double lxv = 0.0;
  double csf = 1.0;
  int dpf = 1;

  bool is_data() const;
  bool is_parameters() const { return type.parameters != 0 && type.extended == 0; }
  const Parameter* find(std::string_view key) const;  // null when absent
};

struct OpusFile {
  double version = 0.0;
  std::int32_t directory_offset = 0;
  std::int32_t directory_room = 0;
  std::vector<Block> blocks;  // in directory order, unused entries left out
};

// The name of a block's kind: "IgSm", "IgRf", "PhSm", "ScSm", "ScRf", "AB", "TR" and the
// like for data blocks, the parameter block's kind ("Data status", "Instrument", ...)
// with its channel for parameter blocks, "Directory", "History", or "Type 0x...".
std::string block_name(const BlockType& type);

struct OpusParse {
  // kShortHeader, kBlockOutside, kBadBlockSize, kBadParameters, kNoParameterBlock,
  // kPointsBeyondBlock, kTooManyPoints (a block of more than values::kCapacity points).
  std::optional<values::Refused> refused;
  OpusFile file;  // as far as it was parsed
};

// Whether a file starting with these bytes is an OPUS file by its magic number.
bool looks_like_opus(std::span<const unsigned char> first_bytes);

// Parses the whole file image; the parameters' keys and texts view `bytes`, which must
// outlive the result. Reads nothing outside `bytes`; every block the directory
// lists must lie inside it; each data block that counts needs a status block stating NPT,
// and NPT values must fit in the block. The parameter blocks that count may together be no
// larger than the file (kBadBlockSize), so the parameters parsed are bounded by its size.
OpusParse parse_opus(std::span<const unsigned char> bytes);

// The data block of this kind and channel that counts (the later of repeated ones), or null.
const Block* find_data_block(const OpusFile& file, int data, int channel);

// The parameter block of `kind` for a channel: the reference channel's own blocks (channel
// 2) when present, else the blocks without a channel, which hold the sample channel's
// parameters and those of a file with one channel only. Null when absent.
const Block* find_parameter_block(const OpusFile& file, int kind, int channel);

// The values of a data block, times its CSF, into `out` (npt of them; out.size() >= npt).
// Returns whether every one is a finite number.
bool read_values(std::span<const unsigned char> bytes, const Block& block, std::span<double> out);

// The values of a data block as stored, without its CSF, into `out` (npt of them); i32
// values (DPF 2) rounded to f32.
void read_stored_values(std::span<const unsigned char> bytes, const Block& block,
                        std::span<float> out);

}  // namespace ftir::opusfile
