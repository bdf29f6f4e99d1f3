// "ratio": transmittance (sample over background) or absorbance, on the sample's grid.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "spc_tool/spc_trace.h"

namespace ftir::spctool {

inline constexpr std::string_view kRatioHelp =
    R"(Usage: spc-tool ratio SAMPLE BACKGROUND -o OUT [--absorbance]

Writes the transmittance T = SAMPLE / BACKGROUND of two single-beam spectra, or with
--absorbance A = -log10(T), to OUT: a single-trace file in the format of SAMPLE, with
its header, Y units transmittance (128) or absorbance (2) and the comment
"Transmittance <sample> / <background>" (or "Absorbance -log10 <sample> / <background>").

T is computed at the X of every sample point: where the two files share their grid,
point by point; otherwise the background is interpolated linearly between its two
nearest points. Sample points outside the background's X range are left out (the count
is reported); files whose ranges do not overlap, interferograms (Y units 1) and files
with different X units are refused.

Points with no defined value are written as 0 and reported on standard error with
their count and X range: where the background is not positive (zero, negative), T and
A are undefined. A transmittance at or below 1e-6 (or not positive) gives the absorbance
of 1e-6, 6, as ftir-reduce --absorbance writes it.
)";

// The result of a ratio on the sample's grid, points first..last (0-based, inclusive).
struct RatioResult {
  std::size_t first = 0;
  std::size_t last = 0;
  std::vector<double> y;  // last - first + 1 values
  // Points written as 0, and the X of the first and last of them.
  std::size_t undefined = 0;
  double undefined_from = 0.0;
  double undefined_to = 0.0;
};

// T (or A with `absorbance`) of `sample` over `background`, both loaded; throws ToolError
// for ranges that do not overlap.
RatioResult ratio(const Trace& sample, const Trace& background, bool absorbance);

int run_ratio(std::span<char* const> args);

}  // namespace ftir::spctool
