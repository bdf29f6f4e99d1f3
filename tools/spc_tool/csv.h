// "csv": the points of an SPC file as text.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "spc_tool/spc_trace.h"

namespace ftir::spctool {

inline constexpr std::string_view kCsvHelp = R"(Usage: spc-tool csv FILE [--block NAME]

One "x,y" line per point of FILE: X from firstx and lastx, Y scaled as the converter's
reader scales it (32-bit integers by 2^(exponent-32), 16-bit by 2^(exponent-16), f32
values for exponent -128), each number in the shortest form that reads back the same.

An OPUS or OMNIC SPA file gives its interferogram as ftir-reduce reads it (X the point
numbers the file states, Y the samples times the file's Y scale), or with --block NAME:
  IgSm, IgRf          the sample or the reference (background) interferogram
  ScSm, ScRf          the single-channel spectrum the instrument stored, of either channel
  AB, TR, PhSm        the stored absorbance, transmittance, the sample's phase
)";

// One "x,y" line per point of the interferogram or stored curve `block` names ("" the
// interferogram ftir-reduce reads) of the instrument file `bytes`; `path` names it in
// messages. Throws ToolError for a file the converter's reader refuses or a block the file
// does not hold.
std::string instrument_csv_text(const std::string& path, std::span<const unsigned char> bytes,
                                const std::string& block);

// One "x,y" line per point of `trace` (points loaded), each number in the shortest form
// that reads back to the same value (f32 values as f32).
std::string csv_text(const Trace& trace);

int run_csv(std::span<char* const> args);

}  // namespace ftir::spctool
