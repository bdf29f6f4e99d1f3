// The SPA interferogram reader: which section holds the interferogram of the chosen channel,
// and the instrument facts its header states.
#include "omnicfile/reader.h"

#include <chrono>
#include <cmath>
#include <memory>
#include <string>

#include "omnicfile/spa_file.h"
#include "report/format_text.h"

namespace ftir::omnicfile {
namespace {

// The date and time of a count of seconds from 1899-12-31 00:00.
values::MeasuredAt measured_at(std::uint32_t seconds) {
  using namespace std::chrono;
  const sys_days day = sys_days(year(1899) / December / 31) + days(seconds / 86400);
  const year_month_day ymd(day);
  const std::uint32_t in_day = seconds % 86400;
  values::MeasuredAt at;
  at.year = static_cast<int>(ymd.year());
  at.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  at.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  at.hour = static_cast<int>(in_day / 3600);
  at.minute = static_cast<int>(in_day / 60 % 60);
  at.second = static_cast<int>(in_day % 60);
  return at;
}

}  // namespace

SpaRead read_spa(std::string_view name, std::span<const unsigned char> bytes,
                 std::optional<values::Channel> channel, std::span<double> yin) {
  SpaRead read;
  read.ig.name = name;
  read.ig.format = values::SourceFormat::kOmnic;
  SpaParse parse = parse_spa(bytes);
  if (parse.refused) {
    read.refused = std::move(parse.refused);
    return read;
  }
  const SpaFile& file = parse.file;
  const SpaHeader& h = file.header;
  const values::Channel chosen = channel.value_or(values::Channel::kSample);
  const Section* data = file.find(kKeyData);
  const bool data_is_interferogram = h.x_units == kXDataPoints;
  auto facts = std::make_shared<values::Instrument>();
  facts->channel = chosen;

  const Section* source = nullptr;
  std::size_t points = 0;
  double first_x = 0.0;
  if (data_is_interferogram && chosen == values::Channel::kSample) {
    source = data;
    points = static_cast<std::size_t>(h.points);
    first_x = h.first_x;
    facts->block = "data";
  } else {
    source = file.find(chosen == values::Channel::kSample ? kKeySampleInterferogram
                                                          : kKeyBackgroundInterferogram);
    if (source != nullptr) points = source->bytes / 4;
    facts->block =
        chosen == values::Channel::kSample ? "sample interferogram" : "background interferogram";
  }
  if (source == nullptr) {
    std::string detail;
    if (channel == values::Channel::kReference) {
      detail = "it holds no background interferogram, only the sample's: a file of one channel";
    }
    read.refused = values::Refused{values::Refusal::kNoInterferogram, std::move(detail), 0, 0};
    return read;
  }
  if (points > yin.size()) {
    read.refused = values::Refused{values::Refusal::kTooManyPoints,
                                   {},
                                   static_cast<int>(yin.size()),
                                   points > static_cast<std::size_t>(values::kCapacity) * 2
                                       ? values::kCapacity * 2
                                       : static_cast<int>(points)};
    return read;
  }
  read_section(bytes, *source, yin.first(points));
  for (const double y : yin.first(points)) {
    if (!std::isfinite(y)) {
      read.refused = values::Refused{values::Refusal::kNotFinite, {}, 0, 0};
      return read;
    }
  }
  const int n = static_cast<int>(points);
  read.ig.samples = yin.first(points);
  read.ig.declared_points = n;
  read.ig.points_held = n;
  const double last_x = data_is_interferogram && source == data ? h.last_x : first_x + (n - 1);
  read.ig.x = {first_x, last_x, 0};
  read.ig.xinc = n < 2 ? 0.0 : (last_x - first_x) / (n - 1);
  if (h.laser > 0.0 && std::isfinite(h.laser)) read.ig.laser = h.laser;

  values::InstrumentParameters& p = facts->parameters;
  // The header's sampling facts as stated; the conversion judges them (a damaged header
  // states a laser of 6.5e-10 cm-1 as readily as one of 15798).
  p.lwn = h.laser;
  if (!(h.laser > 0.0 && std::isfinite(h.laser))) {
    p.problems.push_back({"LWN", "its header states a laser wavenumber of " +
                                     report::shortest_text(h.laser) + " cm-1"});
  }
  if (h.sampling_spacing > 0.0 && std::isfinite(h.sampling_spacing)) {
    // Samples every `spacing` fringes fold the spectrum at laser / spacing.
    p.hfl = h.laser / h.sampling_spacing;
    if (h.sampling_spacing == std::floor(h.sampling_spacing) && h.sampling_spacing < 1e6) {
      p.ssp = static_cast<int>(h.sampling_spacing);
    }
  } else {
    p.problems.push_back({"", "its header states a sample spacing of " +
                                  report::shortest_text(h.sampling_spacing) + " laser fringes"});
  }
  p.transform_points = h.transform_points;
  p.npt = n;
  p.fxv = first_x;
  p.lxv = last_x;
  facts->scan_points = n;
  facts->sample_name = file.title;
  if (file.acquired != 0) facts->measured = measured_at(file.acquired);
  if (!data_is_interferogram && data != nullptr && h.points > 0) {
    values::StoredCurve curve;
    curve.x_first = h.first_x;
    curve.x_last = h.last_x;
    curve.values.resize(static_cast<std::size_t>(h.points));
    read_section(bytes, *data, curve.values);
    facts->sample_spectrum = std::move(curve);
  }
  read.ig.instrument = std::move(facts);
  return read;
}

}  // namespace ftir::omnicfile
