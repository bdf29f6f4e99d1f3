// Files unlike the rest of their batch: centerburst, energy and peak far from the batch
// median, or a resolution other than the batch's.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "driver/file_record.h"

namespace ftir::page {

struct Flag {
  std::string what;    // one word for the table: "centerburst", "energy", "peak", "resolution"
  std::string detail;  // the file's value against the batch's, in words
};

struct BatchFlags {
  std::vector<std::vector<Flag>> files;  // one list per record, in the records' order
  int flagged = 0;                       // records with at least one flag
};

// How a value is judged, as the page states it.
inline constexpr double kMadFactor = 5.0;          // flagged beyond this many MADs ...
inline constexpr double kCenterburstFloor = 1.0;   // ... with the MAD taken as at least 1 point
inline constexpr double kRelativeFloor = 0.02;     // ... or 2 % of the median (energy, peak)
inline constexpr int kMinFilesForSpread = 3;       // fewer converted files: no median rule

// The rule in words, for the page.
std::string flag_rule();

// The rule for records of two scans in words (shown when a run has any).
std::string scan_flag_rule();

// Compares every converted record with the converted records of the batch. A value is
// flagged when it lies further from the batch median than kMadFactor times the median
// absolute deviation, the deviation taken as at least its floor (kCenterburstFloor
// points for the centerburst, kRelativeFloor of the median for energy and peak); this
// needs kMinFilesForSpread converted files. The resolution is flagged when it differs
// (beyond rounding) from the one most converted files share; not when two values tie.
// Records that were not converted get no flags. A record of two scans whose spectra differ
// beyond the limit of the quality checks' "directions" row is flagged "scans".
BatchFlags flag_unusual_files(std::span<const driver::FileRecord> records);

}  // namespace ftir::page
