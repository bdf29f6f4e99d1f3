// The OPUS series reader: the block's six-word header and its records, every count checked
// against the block before anything is allocated.
#include "opusfile/series.h"

#include <cmath>
#include <limits>
#include <memory>

#include "opusfile/reader.h"
#include "spcfile/bytes.h"

namespace ftir::opusfile {

using spcfile::get_f32le;
using spcfile::get_f64le;
using spcfile::get_i32le;
using values::Refusal;
using values::Refused;
using values::SetRefusal;

SeriesInfo decode_series_info(std::span<const unsigned char> b) {
  SeriesInfo i;
  std::size_t at = 0;
  const auto i32 = [&b, &at] { const std::int32_t v = get_i32le(b, at); at += 4; return v; };
  const auto f64 = [&b, &at] { const double v = get_f64le(b, at); at += 8; return v; };
  i.nss = i32(); i.nsr = i32(); i.nsn = i32(); i.npt = i32();
  i.gfw = i32(); i.gbw = i32(); i.bfw = i32(); i.bbw = i32();
  i.hfl = f64(); i.lfl = f64(); i.hff = f64(); i.lff = f64();
  i.filter_size = i32(); i.filter_type = i32();
  i.fxv = f64(); i.lxv = f64(); i.mny = f64(); i.mxy = f64(); i.csf = f64(); i.pka = f64();
  i.pra = f64();
  i.pkl = i32(); i.prl = i32();
  i.srt = f64(); i.ert = f64();
  return i;
}

const Block* find_series_block(const OpusFile& file, int data, int channel) {
  const Block* found = nullptr;
  for (const Block& b : file.blocks) {
    if (b.type.extended == kExtendedSeries && b.type.parameters == 0 && b.type.data == data &&
        b.type.channel == channel) {
      found = &b;  // a later one replaces an earlier one
    }
  }
  return found;
}

SeriesRead read_opus_series(std::string_view name, std::span<const unsigned char> bytes,
                            std::optional<values::Channel> channel, std::uint64_t max_samples) {
  SeriesRead out;
  const std::string file_name(name);
  const auto refuse = [&](Refusal code, std::string detail, std::optional<long> record = {}) {
    out.refused = SetRefusal{Refused{code, std::move(detail)}, file_name, record};
    return std::move(out);
  };
  OpusParse parse = parse_opus(bytes);
  if (parse.refused) {
    out.refused = SetRefusal{*parse.refused, file_name, std::nullopt};
    return out;
  }
  const OpusFile& file = parse.file;
  values::Channel chosen = channel.value_or(values::Channel::kSample);
  const Block* block = nullptr;
  if (chosen == values::Channel::kSample) {
    block = find_series_block(file, kDataInterferogram, kChannelSample);
  }
  if (block == nullptr && (!channel || chosen == values::Channel::kReference)) {
    chosen = values::Channel::kReference;
    block = find_series_block(file, kDataInterferogram, kChannelReference);
  }
  if (block == nullptr) return refuse(Refusal::kNoInterferogram, "it holds no interferogram series");
  const auto b = bytes.subspan(block->offset, block->bytes);
  if (b.size() < kSeriesHeaderBytes) {
    return refuse(Refusal::kBadBlockSize, "the series block is shorter than its header");
  }
  const std::int64_t m = get_i32le(b, kSeriesCountOffset);
  const std::int64_t first = get_i32le(b, kSeriesFirstOffset);
  const std::int64_t data_bytes = get_i32le(b, kSeriesDataBytesOffset);
  const std::int64_t info_bytes = get_i32le(b, kSeriesInfoBytesOffset);
  if (m < 1 || first < static_cast<std::int64_t>(kSeriesHeaderBytes) || data_bytes < 8 ||
      info_bytes < static_cast<std::int64_t>(kInfoBytes)) {
    return refuse(Refusal::kBadBlockSize,
                  "the series header states " + std::to_string(m) + " records of " +
                      std::to_string(data_bytes) + " data and " + std::to_string(info_bytes) +
                      " info bytes from byte " + std::to_string(first));
  }
  // Each factor is below 2^31, so the record size and count multiply within 63 bits.
  const std::int64_t record_bytes = data_bytes + info_bytes;
  const std::int64_t room = static_cast<std::int64_t>(b.size()) - first;
  if (room < 0 || m > room / record_bytes) {
    return refuse(Refusal::kBlockOutside,
                  std::to_string(m) + " records of " + std::to_string(record_bytes) +
                      " bytes do not fit in the series block of " + std::to_string(b.size()) +
                      " bytes");
  }
  const auto info_of = [&](std::int64_t r) {
    const auto at = static_cast<std::size_t>(first + r * record_bytes + data_bytes);
    return decode_series_info(b.subspan(at, kInfoBytes));
  };
  const SeriesInfo info0 = info_of(0);
  const std::int64_t npt = info0.npt;
  if (npt < 2 || npt > data_bytes / 4) {
    return refuse(Refusal::kPointsBeyondBlock,
                  "NPT " + std::to_string(npt) + " does not fit the record's " +
                      std::to_string(data_bytes) + " data bytes",
                  0);
  }
  if (npt > values::kCapacity || static_cast<std::uint64_t>(m) > max_samples / static_cast<std::uint64_t>(npt)) {
    return refuse(Refusal::kTooManyPoints,
                  std::to_string(m) + " records of " + std::to_string(npt) +
                      " points, more than a read may hold");
  }

  // The shared facts as a single read of this channel states them, from record 0's info.
  Block proto = *block;
  proto.npt = info0.npt;
  proto.fxv = info0.fxv;
  proto.lxv = info0.lxv;
  proto.csf = info0.csf;
  values::Interferogram ig;
  ig.name = file_name;
  ig.format = values::SourceFormat::kOpus;
  ig.xinc = (info0.lxv - info0.fxv) / static_cast<double>(npt - 1);
  auto facts = std::make_shared<values::Instrument>(instrument_facts(bytes, file, proto, chosen));
  ig.laser = facts->parameters.lwn;
  ig.scans = facts->scans;
  ig.instrument = facts;
  values::RecordSet& set = out.set;
  set = values::set_of_one(ig);
  set.facts.points = static_cast<int>(npt);
  set.shape = {static_cast<long>(m)};
  set.table.assign(static_cast<std::size_t>(m), {});
  set.samples.assign(static_cast<std::size_t>(m * npt), 0.0);
  for (std::int64_t r = 0; r < m; ++r) {
    const SeriesInfo info = info_of(r);
    if (info.npt != npt) {
      return refuse(Refusal::kBadBlockSize,
                    "NPT " + std::to_string(info.npt) + ", the series' first record " +
                        std::to_string(npt),
                    static_cast<long>(r));
    }
    values::RecordFacts& row = set.table[static_cast<std::size_t>(r)];
    row.index = static_cast<long>(r);
    row.time = info.srt;
    row.zpd = info.pkl;
    row.scale = info.csf;
    row.good_scans = info.gfw + info.gbw;
    row.bad_scans = info.bfw + info.bbw;
    const auto at = static_cast<std::size_t>(first + r * record_bytes);
    const auto x = set.record(static_cast<long>(r));
    bool finite = true;
    for (std::size_t k = 0; k < x.size(); ++k) {
      x[k] = static_cast<double>(get_f32le(b, at + 4 * k)) * info.csf;
      finite = finite && std::isfinite(x[k]);
    }
    if (!finite) row.refused = Refused{Refusal::kNotFinite, {}};
  }
  return out;
}

}  // namespace ftir::opusfile
