// The page of a run: one self-contained HTML file (inline CSS, SVG drawn by an inline
// script, no network access, no external fonts) with the run's settings, a sortable
// table of its files, flags for files unlike the rest, an overlay of all spectra and a
// small plot per file that opens large on click.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "page/settings.h"
#include "driver/file_record.h"

namespace ftir::page {

inline constexpr int kFileColumns = 320;     // pixel columns a file's curves are thinned to
inline constexpr int kOverlayColumns = 800;  // columns of the batch's median and band
inline constexpr int kOverlayLinesMax = 20;  // more spectra than this: median and band
inline constexpr int kKeptColumns = 1024;    // columns a run keeps of each curve

struct RunPage {
  std::string title = "ftir-reduce run";
  std::vector<Setting> settings;  // the run's settings in words, in the order shown
  std::string ending;             // how the run ended: "OK", or the stop text
};

// The whole page. Spectra and phase curves are taken from the records' `spectrum` and
// `phase` (empty when the run kept none); names and texts may hold any bytes.
std::string render_page(const RunPage& run, std::span<const driver::FileRecord> records);

// Shrinks the record's kept curves to what the page can use (kKeptColumns columns), so
// that a run of many long spectra keeps little; a run calls it as each file ends.
void shrink_for_page(driver::FileRecord& record);

// Writes `html` to `path` (created or replaced). Returns "" on success, otherwise a line
// naming the file and the system's reason ("Cannot write run.html: No such file or
// directory").
std::string write_page(const std::string& path, std::string_view html);

}  // namespace ftir::page
