// "csv": the points of an SPC file as text.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "spc_tool/spc_trace.h"

namespace ftir::spctool {

inline constexpr std::string_view kCsvHelp = R"(Usage: spc-tool csv FILE

One "x,y" line per point of FILE: X from firstx and lastx, Y scaled as the converter's
reader scales it (32-bit integers by 2^(exponent-32), 16-bit by 2^(exponent-16), f32
values for exponent -128), each number in the shortest form that reads back the same.
)";

// One "x,y" line per point of `trace` (points loaded), each number in the shortest form
// that reads back to the same value (f32 values as f32).
std::string csv_text(const Trace& trace);

int run_csv(std::span<char* const> args);

}  // namespace ftir::spctool
