// Reading one interferogram from an SPC file (old format, or new format with the least
// significant byte first) into the caller's arrays: read_spc returns the interferogram or
// the refusal as values; READSC applies the classic run's policy to them.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "report/report.h"
#include "values/interferogram.h"
#include "values/refusal.h"

namespace ftir::spcfile {

// The X range a conversion reads: the single-precision values of -9.0e10 and +9.0e10.
inline constexpr double kReadLow = -89999998976.0;
inline constexpr double kReadHigh = 89999998976.0;
static_assert(kReadLow == static_cast<double>(-9.0e10f) &&
              kReadHigh == static_cast<double>(9.0e10f));

// A file as read: the interferogram, or why the file yields none.
struct SpcRead {
  // kCannotOpen (detail: the line naming the file and why: it cannot be opened or read, is
  // not a regular file, or ends inside its header), kUnsupportedLayout, kMsbFirst,
  // kTooManyPoints (capacity nmax, required the points in range), kFewPoints, kNotFinite.
  std::optional<values::Refused> refused;
  // Without a refusal: every field; `samples` views yin[0..npts-1]. With one, what was
  // read before it (the name always; the header's fields once it was read whole).
  values::Interferogram ig;
  double spare2 = 0.0;  // spare value 2 of the header, widened from f32 (no output carries it)
};

// Reads `fname` (trailing blanks are not part of the name) as a conversion does: every
// point the file holds in kReadLow..kReadHigh, without X values, into yin (capacity nmax).
// `scratch` is the run's I/O buffer (at least 544 bytes; kIoBufferBytes reads a full
// record in one piece). Prints nothing and never stops: every failure is the refusal.
SpcRead read_spc(std::string_view fname, int nmax, std::span<double> yin,
                 std::span<unsigned char> scratch);

// As above, keeping the file's own points (1 to its declared count, as far as the file
// holds them) whose X lies in [min(xlo, xhi), max(xlo, xhi)], stored 0-based in
// yin[0..npts-1] and, unless xin is empty, their X in xin[0..npts-1]; nmax is the capacity
// of both. An empty xin lets the samples be decoded four at a time.
SpcRead read_spc(std::string_view fname, double xlo, double xhi, int nmax, std::span<double> xin,
                 std::span<double> yin, std::span<unsigned char> scratch);

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
// the flags); a command-line run skips the file with the reason (the refusal's skip text)
// and goes on.
enum class Refusals { kStopRun, kSkipFile };

// READSC: read_spc with the classic run's policy. Reads as the ranged read_spc does.
// Skips (npts 0): "the header declares fewer than 2 points", "a sample is not a finite
// number" (an f32 value or a scaled sample that is NaN or infinite).
// Stops: unsupported flags (message, pause, "Program terminating"), MSB-first new format
// ("Hu-Oh &#&$!#^*"), more points than nmax ("Program Terminated"), a file that cannot be
// opened or read, is not a regular file or ends inside its header (one line naming the
// file, exit 1). With Refusals::kSkipFile the first three are skips, reported by nothing
// but the reason.
ReadResult READSC(report::Report& report, std::string_view fname, double xlo, double xhi, int nmax,
                  std::span<double> xin, std::span<double> yin, std::span<unsigned char> scratch,
                  Refusals refusals = Refusals::kStopRun);

}  // namespace ftir::spcfile
