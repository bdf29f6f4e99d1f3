// OPUS series blocks: many records of one kind in one block (rapid-scan and time-resolved
// measurements), read as a record set beside the single-block reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "opusfile/opus_file.h"
#include "values/instrument.h"
#include "values/record_set.h"

namespace ftir::opusfile {

// The extended field of a block type that marks a series.
inline constexpr int kExtendedSeries = 2;

// A series block opens with six i32: its layout version, the record count M, the offset of
// the first record from the block's start, the data bytes and the info bytes of a record,
// and the entries of the store table. Records follow one another: the data (f32 values),
// then the info record.
inline constexpr std::size_t kSeriesHeaderBytes = 24;
inline constexpr std::size_t kSeriesCountOffset = 4;
inline constexpr std::size_t kSeriesFirstOffset = 8;
inline constexpr std::size_t kSeriesDataBytesOffset = 12;
inline constexpr std::size_t kSeriesInfoBytesOffset = 16;
inline constexpr std::size_t kSeriesStoreEntriesOffset = 20;
static_assert(kSeriesStoreEntriesOffset + 4 == kSeriesHeaderBytes);

// The info record: i32 NSS NSR NSN NPT GFW GBW BFW BBW, f64 HFL LFL HFF LFF, i32 filter
// size and type, f64 FXV LXV MNY MXY CSF PKA PRA, i32 PKL PRL, f64 SRT ERT.
inline constexpr std::size_t kInfoBytes = 152;
struct SeriesInfo {
  std::int32_t nss = 0, nsr = 0, nsn = 0, npt = 0, gfw = 0, gbw = 0, bfw = 0, bbw = 0;
  double hfl = 0.0, lfl = 0.0, hff = 0.0, lff = 0.0;
  std::int32_t filter_size = 0, filter_type = 0;
  double fxv = 0.0, lxv = 0.0, mny = 0.0, mxy = 0.0, csf = 1.0, pka = 0.0, pra = 0.0;
  std::int32_t pkl = 0, prl = 0;
  double srt = 0.0, ert = 0.0;
};

// Decodes an info record from its kInfoBytes bytes.
SeriesInfo decode_series_info(std::span<const unsigned char> bytes);

// The series block of this data kind and channel (the later of repeated ones), or null.
const Block* find_series_block(const OpusFile& file, int data, int channel);

struct SeriesRead {
  std::optional<values::SetRefusal> refused;
  values::RecordSet set;
};

// Reads the interferogram series of `channel` (none: the sample channel's, else the
// reference channel's) from the file image `bytes` named `name`: each record's values
// times its own CSF, its PKL, CSF, scans and start time in the table, the channel's
// parameters in the shared facts. Refuses (naming the record where one is at fault):
// counts or sizes that are negative, overflow or leave the block; records of differing
// point counts; more than `max_samples` samples in all; a record with a non-finite value
// is marked refused in the table.
SeriesRead read_opus_series(std::string_view name, std::span<const unsigned char> bytes,
                            std::optional<values::Channel> channel,
                            std::uint64_t max_samples = std::uint64_t{1} << 26);

}  // namespace ftir::opusfile
