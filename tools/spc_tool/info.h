// "info": the header of an SPC file in plain words.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "spc_tool/spc_trace.h"

namespace ftir::spctool {

inline constexpr std::string_view kInfoHelp = R"(Usage: spc-tool info FILE

The header of FILE in plain words, one "field: value" line each: format, flags, points,
first and last X, exponent, date, resolution text, comment, X and Y units. Files the
converter refuses (several traces, X arrays, most significant byte first) are described
as far as their header goes. OPUS and OMNIC SPA files are described by their directory:
each block or section with its kind, offset, size and points, then every parameter; one
whose layout cannot be read is described up to where it fails, and ends with status 1.
)";

// One "field: value" line per header field of `trace` (read by read_trace).
std::string info_text(const Trace& trace);

int run_info(std::span<char* const> args);

}  // namespace ftir::spctool
