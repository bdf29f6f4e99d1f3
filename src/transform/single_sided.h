// The single-sided path: phase from a short symmetric piece around the centerburst, then
// the Mertz transform of the long side with the interpolated phase removed.
#pragma once

#include "transform/path.h"

namespace ftir::transform {

// Thrown by phase_correct when a point lies beyond the phase grid; its path refuses the
// record.
struct OutsidePhaseGrid {};

// The half-length of the phase piece: the largest power of two not above jmax and 4096
// (the classic rule), or the one req.controls.phase_resolution asks for.
int phase_half(const PathRequest& req);

// The phase of the record: fills ws.phase with points on 0..fmax (is of them on the classic
// grid, is + 1 on the exact grid; is, the half-length of the phase piece, a power of two);
// refused (kCenterburstFirst3) when the centerburst lies in the first 3 samples.
PhaseOutcome phase_determination(report::Report& report, const PathRequest& req, PathStorage& ws);

// The phase req.controls.stored holds, taken into ws.phase as it lies (phase_correct
// interpolates it onto the spectrum's grid); `is` as phase_determination finds it. Refused
// (kStoredPhase, the detail saying why) when its laser differs from the record's, when it
// has fewer than 3 points or more than the tables hold, or when it does not cover 0..fmax
// (without a laser stated: when it does not end at fmax, within 1e-6 of it).
PhaseOutcome stored_phase_tables(const PathRequest& req, PathStorage& ws);

// The shifted record's points t = 1..knt (knt = lnum + is) are record(istart + t - 1), 0.0
// outside record(1..npts); each is multiplied by the Mertz ramp (t / (2 * is + 1) up to
// t = 2 * is, then 1.0) and by weight(t), and loaded into load (2 * lnum points, imaginary
// parts 0.0): points is + 1.. at 1.., the min(is, lnum) points before them wrapped to the
// end, zeros between. Returns the sum of f * value^2 in order (f 0.5 at both ends, else 1.0).
double load_weighted_record(std::span<const double> record, int istart, int is, int lnum,
                            std::span<const double> weight, std::span<Complex> load);

// The phase correction of the transform's points 1..lnum at x = (i - 1) * delta: the sine
// and cosine of the phase tables (is points, last abscissa fmax up to rounding) interpolated
// by LAGINT in the three-point window that holds x, yin(i) = re * cosine + im * sine.
// Returns the sum of f * yin(i)^2 in order. Throws OutsidePhaseGrid (caught by its path) when
// x leaves the tables.
double phase_correct(const PhaseTables& p, int is, double fmax, double delta, int lnum,
                     std::span<const Complex> work, std::span<double> yin, Lagint& lagint);

// The Mertz transform of one single-sided record with the phase of phase_determination:
// its spectrum, cut to [wlow, whigh] (none in range: refused with kEmptyRange, the facts
// kept). `res` becomes the output resolution, or is restored when the record is refused as
// degenerate (kFewTransformPoints, kNoSignal, kTooLarge, kPhaseGrid).
PathOutcome mertz_transform(report::Report& report, const PathRequest& req, double& res,
                            const PhaseOutcome& phase, PathStorage& ws);

}  // namespace ftir::transform
