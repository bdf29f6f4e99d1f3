// Multi-trace SPC files (new format, evenly spaced X): every trace a record of one set.
// A trace reads as the single-trace file cut out of it would: the header with the trace's
// own exponent, its subheader and its points.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "values/record_set.h"

namespace ftir::spcfile {

struct TracesRead {
  std::optional<values::SetRefusal> refused;
  values::RecordSet set;
};

// Reads the traces of the file image `bytes` named `name`. The table holds each trace's
// Z start (time) and scans. Refuses: a file with a single trace, X arrays, the
// compatibility flag or the most-significant-byte-first format (kUnsupportedLayout,
// kMsbFirst); fewer than 2 points; more traces than the file holds (kTruncated, naming
// the first trace it lacks); more points a trace than a record holds, or more than
// `max_samples` samples in all (kTooManyPoints). A trace holding a value that scales to
// no finite number is marked refused in the table.
TracesRead read_spc_traces(std::string_view name, std::span<const unsigned char> bytes,
                           std::uint64_t max_samples = std::uint64_t{1} << 26);

}  // namespace ftir::spcfile
