// WRITSC: writes one trace (a spectrum or a phase curve) as an old-format SPC file.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string_view>

#include "report/clock.h"
#include "simd/kernels.h"
#include "values/interferogram.h"

namespace ftir::spcfile {

// Bytes the run's I/O buffer holds: a header and the largest data block in one piece.
inline constexpr int kMaxPoints = values::kCapacity;
inline constexpr std::size_t kIoBufferBytes = 512 + 32 + 4 * static_cast<std::size_t>(kMaxPoints);

// Writes `nout` (>= 1) points: X from xout[0] and xout[nout-1] only, Y from
// yout[0..nout-1], 0-based (`nout` 0, which no caller passes, writes the header alone with
// X 0). `oname` is the name as given; `title` is stored at its full length (at most
// 130); `resol` goes to the resolution text by "(F7.3)"; `clock` stamps the date. The file
// is written under a temporary name of its own beside its target (see TempFile) and renamed
// over it, so a failed write never leaves a partial file. A file that cannot be written
// stops the run with one line naming it and the reason (exit 1). Callers check
// scale_factor_usable() first. `iexp`, when given, is spectrum_exponent(yout[0..nout-1]),
// known to a caller that found the largest value on an earlier pass; WRITSC then skips its
// own pass over the values.
void WRITSC(std::string_view oname, std::string_view title, int ixtype, int iytype, double resol,
            int nout, double spare1, std::span<const double> xout, std::span<const double> yout,
            const report::Clock& clock, std::span<unsigned char> scratch,
            std::optional<int> iexp = std::nullopt);

// The exponent that WRITSC stores: trunc(log2(2 * ymax)) + 1 computed exactly from the
// binary exponent of ymax, the largest finite |y| (1 when every value is zero or not finite).
// Every finite value then fits a 32-bit integer after division by 2^(exponent - 32).
int spectrum_exponent(std::span<const double> yout);
// The same from ymax itself (0 or more, finite).
int spectrum_exponent(double ymax);

// |y| when y is finite, 0 for an infinity or a NaN: what spectrum_exponent takes the largest
// of. For a caller that finds the largest on a pass of its own.
inline double finite_magnitude(double y) { return simd::finite_magnitude(y); }

// Whether the factor 2^(exponent - 32), held as a binary32, is a usable scale for yout: false
// when it rounds to zero (largest |y| below about 2^-119) or overflows (above about 2^159),
// where every point would be written as the same meaningless value.
bool scale_factor_usable(std::span<const double> yout);
// The same for the exponent spectrum_exponent gave.
bool scale_factor_usable(int iexp);

// trunc(y / factor) as a 32-bit integer; a NaN quotient gives 0 and one beyond the integer
// range saturates (neither arises for finite spectra with their own exponent).
std::int32_t scaled_integer(double y, double factor);

}  // namespace ftir::spcfile
