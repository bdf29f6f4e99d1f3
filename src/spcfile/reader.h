// READSC: reads one interferogram from an SPC file (old format, or new format with the
// least significant byte first) into the caller's arrays.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "report/report.h"

namespace ftir::spcfile {

struct ReadResult {
  double xinc = 0.0;    // X increment between successive points of the file
  int npts = 0;         // points kept, 0 or more
  double spare1 = 0.0;  // spare values 1 and 2 of the header, widened from f32
  double spare2 = 0.0;
  // The sum of yin[0..npts-1], when the reader could take it exactly on its way (samples
  // without X, stored as integers with a usable scale): then any order of the adds gives
  // these bits, the sum in index order included.
  std::optional<double> sum;
  // Set when the file cannot be processed but the run goes on (the caller reports
  // " Skipped <name>: <reason>"); null otherwise.
  const char* skip_reason = nullptr;
};

// What READSC does with a file it refuses (unsupported flags, most significant byte
// first, more points than nmax): the classic run reports it and stops (after the pause, for
// the flags); a command-line run skips the file with the reason and goes on.
enum class Refusals { kStopRun, kSkipFile };

// The skip reasons of the refusals under Refusals::kSkipFile.
inline constexpr const char* kReasonUnsupported =
    "this file format is not supported (several traces, an X array or the compatibility flag)";
inline constexpr const char* kReasonMsbFirst =
    "new format with the most significant byte first is not supported";
inline constexpr const char* kReasonCapacity = "more points than the arrays hold";

// Reads `fname` (trailing blanks are not part of the name). The file's own points
// (1 to its declared count, as far as the file holds them) whose X lies in the requested
// range [min(xlo, xhi), max(xlo, xhi)] are stored, 0-based, in xin[0..npts-1] and
// yin[0..npts-1]; nmax is the capacity of both. An empty xin stores no X values (the
// converter never uses them) and lets the samples be decoded four at a time. `scratch` is
// the run's I/O buffer (at least 544 bytes; kIoBufferBytes reads a full record in one piece).
// Skips (npts 0): "the header declares fewer than 2 points", "a sample is not a finite
// number" (an f32 value or a scaled sample that is NaN or infinite).
// Stops: unsupported flags (message, pause, "Program terminating"), MSB-first new format
// ("Hu-Oh &#&$!#^*"), more points than nmax ("Program Terminated"), a file that cannot be
// opened, is not a regular file (see open_input) or ends inside its header (one line naming
// the file, exit 1). With Refusals::kSkipFile the first three are skips, reported by nothing
// but the reason.
ReadResult READSC(report::Report& report, std::string_view fname, double xlo, double xhi, int nmax,
                  std::span<double> xin, std::span<double> yin, std::span<unsigned char> scratch,
                  Refusals refusals = Refusals::kStopRun);

}  // namespace ftir::spcfile
