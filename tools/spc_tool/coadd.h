// "coadd": the average of interferograms of one geometry, as a file the converter reads.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "spc_tool/spc_trace.h"

namespace ftir::spctool {

inline constexpr std::string_view kCoaddHelp = R"(Usage: spc-tool coadd FILE... -o OUT
       spc-tool coadd --traces FILE -o OUT

Writes the point-by-point average of interferograms (or of spectra) to OUT, a
single-trace file in the format of the first file, with its header (X range, units,
date), its Y values as 32-bit integers and the comment "Co-added <n>: <files>". Each
file's values are scaled by its own exponent, as the converter's reader scales them, so
files stored with different exponents or sample widths average correctly. With --traces
the traces of one multi-trace file are averaged (see spc-tool split).

Every record must have the geometry of the first: the same point count, the same first
and last X, every declared point present, and the centerburst (the sample of largest
magnitude once the mean is removed, as the converter finds it) at the same point. A
record that differs is refused with the reason and its file named, and so is a file
named twice (by any name), which would count twice.
)";

// The sample of largest |y - mean| (the mean summed in index order), 1-based; the first
// of equal magnitudes.
int centerburst(std::span<const double> y);

// The average of `records` (at least one, points loaded) after the geometry checks; throws
// ToolError naming the file that differs from the first.
std::vector<double> coadd(std::span<const Trace> records);

int run_coadd(std::span<char* const> args);

}  // namespace ftir::spctool
