// The batch rules that flag files unlike the rest.
#include "page/flags.h"

#include <algorithm>
#include <cmath>

#include "driver/settings.h"
#include "page/curves.h"
#include "page/text.h"
#include "quality/checks.h"

namespace ftir::page {

namespace {

// Two scans that disagree: the quality checks' row.
constexpr const quality::CheckRow& kScansRow = quality::row(quality::Check::kDirections);

struct Spread {
  double median = 0.0;
  double mad = 0.0;
};

Spread robust_spread(std::vector<double> values) {
  Spread s;
  s.median = quantile(values, 0.5);
  for (double& v : values) v = std::fabs(v - s.median);
  s.mad = quantile(values, 0.5);
  return s;
}

bool same_resolution(double a, double b) {
  return std::fabs(a - b) <= 1e-9 * std::max(std::fabs(a), std::fabs(b));
}

bool converted(const driver::FileRecord& r) {
  return r.status == driver::FileStatus::kConverted;
}

// Flags the records whose `value` strays from the batch, the MAD floored at
// `floor_of(median)`.
template <typename Value, typename Floor>
void flag_spread(std::span<const driver::FileRecord> records, BatchFlags& flags,
                 const std::string& what, Value value, Floor floor_of) {
  std::vector<double> values;
  for (const driver::FileRecord& r : records) {
    if (converted(r)) values.push_back(value(r));
  }
  if (static_cast<int>(values.size()) < kMinFilesForSpread) return;
  const Spread s = robust_spread(values);
  const double limit = kMadFactor * std::max(s.mad, floor_of(s.median));
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (!converted(records[i])) continue;
    const double v = value(records[i]);
    if (std::fabs(v - s.median) > limit) {
      flags.files[i].push_back({what, what + " " + format_number(v, 6) + ", batch median " +
                                          format_number(s.median, 6) + " (MAD " +
                                          format_number(s.mad, 3) + ")"});
    }
  }
}

}  // namespace

std::string flag_rule() {
  return "A converted file is flagged when its centerburst position, interferogram energy or "
         "spectrum peak lies further from the median of the run's converted files than " +
         format_number(kMadFactor) +
         " times their median absolute deviation (MAD), the MAD taken as at least " +
         format_number(kCenterburstFloor) + " point for the centerburst and " +
         format_number(kRelativeFloor * 100) +
         " % of the median for energy and peak (these need at least " +
         std::to_string(kMinFilesForSpread) +
         " converted files), and when its resolution differs from the one most converted "
         "files have.";
}

std::string scan_flag_rule() {
  return "A file of two scans is flagged when the relative difference of their spectra, "
         "sqrt(sum (f - b)^2 / sum ((f + b)/2)^2), exceeds " +
         format_number(kScansRow.limit * 100) + " %; it is averaged all the same.";
}

BatchFlags flag_unusual_files(std::span<const driver::FileRecord> records) {
  BatchFlags flags;
  flags.files.resize(records.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    const driver::FileRecord& r = records[i];
    if (converted(r) && r.scan_difference && *r.scan_difference > kScansRow.limit) {
      flags.files[i].push_back({"scans", "forward and backward scans differ by " +
                                             format_number(100.0 * r.scan_difference.value_or(0.0), 3) +
                                             " %"});
    }
  }
  flag_spread(
      records, flags, "centerburst",
      [](const driver::FileRecord& r) { return static_cast<double>(r.jmax); },
      [](double) { return kCenterburstFloor; });
  const auto relative = [](double median) { return kRelativeFloor * std::fabs(median); };
  flag_spread(
      records, flags, "energy", [](const driver::FileRecord& r) { return r.energy; },
      relative);
  flag_spread(
      records, flags, "peak", [](const driver::FileRecord& r) { return r.peak; }, relative);

  // The batch's resolution: the value most converted files share; a tie for the most
  // leaves the resolution unflagged.
  std::vector<std::pair<double, int>> counts;
  for (const driver::FileRecord& r : records) {
    if (!converted(r) || r.res == 0.0) continue;  // 0: an instrument file that states none
    auto it = std::find_if(counts.begin(), counts.end(),
                           [&](const auto& c) { return same_resolution(c.first, r.res); });
    if (it == counts.end()) {
      counts.emplace_back(r.res, 1);
    } else {
      ++it->second;
    }
  }
  if (counts.size() > 1) {
    std::sort(counts.begin(), counts.end(),
              [](const auto& a, const auto& b) { return a.second > b.second; });
    if (counts[0].second > counts[1].second) {
      const double batch_res = counts[0].first;
      for (std::size_t i = 0; i < records.size(); ++i) {
        if (converted(records[i]) && records[i].res != 0.0 &&
            !same_resolution(records[i].res, batch_res)) {
          flags.files[i].push_back({"resolution", "resolution " +
                                                      format_number(records[i].res, 6) +
                                                      " cm-1, most files " +
                                                      format_number(batch_res, 6) + " cm-1"});
        }
      }
    }
  }
  for (const auto& f : flags.files) flags.flagged += f.empty() ? 0 : 1;
  return flags;
}

}  // namespace ftir::page
