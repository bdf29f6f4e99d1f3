// What a command-line run shows and writes about its files, all drawn from the per-file
// records: the summary table, the closing line, the --summary rows and the equivalent
// red.dat.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "cli/convert.h"
#include "cli/settings.h"
#include "driver/file_record.h"

namespace ftir::cli {

// Per file: name, side taken, points, centerburst, resolution, points written, and the
// output name or the skip reason; LF lines with a header row.
std::string summary_table(std::span<const driver::FileRecord> records);

// The note of a record whose two scans differ beyond kScanDifferenceLimit ("scans differ by
// 7.3 %, above 5 %").
std::string scans_note(const driver::FileRecord& r);

// "<n> files: <c> converted, <s> skipped" (and ", <k> read and counted" when any were).
std::string closing_line(std::span<const driver::FileRecord> records);

// The --summary rows: input, outputs (separated by ";" in CSV), points read, centerburst,
// side, window, resolution, points written, status, reason, milliseconds; when any file was
// converted with a transform control or from two scans, then also: zero_fill,
// phase_resolution, zpd, phase, grid, direction (as given; empty when not), scans (1 or 2),
// centerburst_backward, energy_forward, energy_backward, scan_difference, scans_differ.
std::string summary_csv(std::span<const driver::FileRecord> records);
std::string summary_json(std::span<const driver::FileRecord> records);

// The red.dat that runs what this run ran, or the reason why none can: a red.dat run
// carries each file's resolution to the next, uses one path (idbl) and one laser
// wavenumber for all files, and holds names and the folder in 40 columns. Relative names
// and the output folder are written as seen from the folder of settings.red_dat_path,
// where a run of it starts.
struct RedDatText {
  std::string text;    // empty when the run cannot be expressed
  std::string reason;  // why not
};
RedDatText equivalent_red_dat(const Settings& settings, std::span<const FileJob> jobs,
                              std::span<const FileOutcome> outcomes);

// A value as red.dat's decimal field (columns 1-15, point always written) and free-form
// fields read it back exactly; nullopt when it does not fit 15 columns.
std::optional<std::string> decimal_text(double value);

}  // namespace ftir::cli
