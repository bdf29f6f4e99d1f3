// Single-trace SPC files made by the commands that compute a new trace (co-add, ratio):
// laid out like one of their inputs, so the converter and the viewer read them as they read
// that input.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "spc_tool/spc_trace.h"

namespace ftir::spctool {

// What changes from the model file.
struct TraceContent {
  double firstx = 0.0;  // X of the first and the last point
  double lastx = 0.0;
  std::span<const double> y;  // at least 2 values, all finite
  int yunits = 0;             // Y unit code of the SPC layout
  std::string comment;        // cut to the 130 bytes of the header field
};

// The bytes of a file in the variant of `model` (a readable single-trace file) with its
// header fields (date, X units, resolution text, spare values) and `content`: flags 0x00,
// one trace, no log block, Y as 32-bit integers rounded to nearest with the exponent the
// converter's writer would choose for them (it is also put in the subheader of the new
// format). The old format stores firstx and lastx as f32, as it always does. Throws
// ToolError for a value that is not finite or fewer than 2 points.
std::vector<unsigned char> encode_like(const Trace& model, const TraceContent& content);

}  // namespace ftir::spctool
