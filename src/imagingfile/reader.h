// Reading imaging data as record sets: an FPA tile (NAME.seq beside its header NAME.bsp)
// and a mosaic (stem.dmt beside its tiles Stem_XXXX_YYYY.drd), every pixel a record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "imagingfile/imaging_header.h"
#include "values/record_set.h"

namespace ftir::imagingfile {

// The data files (.seq, .drd and the vendor's spectra files): a 1020-byte header, then
// little-endian f32 values band by band: every pixel's value of point 0, then of point 1,
// and so on; within a band, pixel rows bottom to top, each row left to right.
inline constexpr std::size_t kDataHeaderBytes = 1020;
inline constexpr std::size_t kDataPointsOffset = 9;  // u32
inline constexpr std::size_t kDataWidthOffset = 24;  // u16
inline constexpr std::size_t kDataHeightOffset = 26;  // u16

struct DataShape {
  std::uint32_t points = 0;
  int width = 0;
  int height = 0;
};

// The most samples a read holds at once (512 MiB as doubles): a header asking for more is
// refused before anything is allocated.
struct ReadLimits {
  std::uint64_t max_samples = std::uint64_t{1} << 26;
};

struct SetRead {
  std::optional<values::SetRefusal> refused;
  values::RecordSet set;
};

// Where a data file's pixels go in a set's block: stored row r (from the bottom), column
// c, to record (row + r) * stride + column + c.
struct Placement {
  long row = 0;
  long column = 0;
  long stride = 0;
};

// Reads the data file `path` of the shape its header states, which must equal `expected`
// and the file's size, into the records `where` names (set.samples must hold them). A
// record with a non-finite sample is marked refused in set.table. Returns the refusal:
// kCannotOpen, kShortHeader, kBadBlockSize (size or shape disagree), kTruncated.
std::optional<values::SetRefusal> read_data_file(const std::string& path,
                                                 const DataShape& expected, Placement where,
                                                 values::RecordSet& set);

// The shape a data file's header states, or its refusal.
std::optional<values::SetRefusal> read_data_shape(const std::string& path, DataShape& out);

// A tile: `path` names its .seq file (the header is the .bsp of the same name).
SetRead read_tile(const std::string& path, ReadLimits limits = {});

// A mosaic's layout: its header, its grid of tiles and the tile files found.
struct MosaicLayout {
  ImagingHeader header;
  int tiles_x = 0;  // columns of tiles, left to right
  int tiles_y = 0;  // rows of tiles, top to bottom
  DataShape tile;   // every tile's shape
  std::vector<std::string> files;  // tile (x, y) at y * tiles_x + x; empty: missing
  std::vector<std::string> notes;
};

struct LayoutRead {
  std::optional<values::SetRefusal> refused;
  MosaicLayout layout;
};

// Reads a mosaic's header `path` (.dmt) and finds its tiles beside it: a tile file outside
// the grid or of another shape is refused, a missing one noted.
LayoutRead read_mosaic_layout(const std::string& path);

// The whole mosaic as one image: tile (x, y) at columns x * w .. and, rows counted from
// the bottom as the tiles store theirs, at rows (tiles_y - 1 - y) * h ..; a missing
// tile's pixels are NaN and refused with a note.
SetRead read_mosaic(const std::string& path, ReadLimits limits = {});

}  // namespace ftir::imagingfile
