// "split": each trace of a multi-trace SPC file as a single-trace file the converter reads.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "spc_tool/spc_trace.h"

namespace ftir::spctool {

inline constexpr std::string_view kSplitHelp = R"(Usage: spc-tool split FILE -o DIR

Writes each trace of a multi-trace SPC file (flag 0x04) as a single-trace file in DIR
(created when missing): DIR/<name>_<k>.spc, k counted from 1 and written with as many
digits as the largest k. Each file keeps the header of FILE (format, X range, point
count, units, date, comment) with flags 0x00, one trace and no log block, the trace's
own exponent, subheader and data bytes unchanged, so the converter reads exactly the
trace's values at exactly the X values of FILE.

Refused, with the reason: a file holding a single trace, X arrays (flags 0x40, 0x80),
the compatibility flag (0x02), the new format with the most significant byte first,
fewer than 2 points, and a file that ends inside one of its traces.
)";

// The traces of `multi`, each parsed from the bytes of its single-trace file and named
// `folder`/<base>_<k>.spc (no folder part when `folder` is empty). Throws ToolError with
// the reason when the file cannot be split.
std::vector<Trace> split_traces(const Trace& multi, const std::string& folder);

int run_split(std::span<char* const> args);

}  // namespace ftir::spctool
