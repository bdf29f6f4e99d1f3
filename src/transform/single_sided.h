// The single-sided path: phase from a short symmetric piece around the centerburst, then
// the Mertz transform of the long side with the interpolated phase removed.
#pragma once

#include "transform/path.h"

namespace ftir::transform {

// The phase of the record: fills ws.phase (is points on 0..fmax) and, when iphase is 1,
// writes the "phz" and "shr" files. Returns is, the half-length of the phase piece, or 0
// when a phase file may not be written (see output_refusal; its Skipped line is reported).
int phase_determination(PathContext& ctx, const PathRequest& req, PathStorage& ws);

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
// Returns the sum of f * yin(i)^2 in order. Stops with "Crash" when x leaves the tables.
double phase_correct(const PhaseTables& p, int is, double fmax, double delta, int lnum,
                     std::span<const Complex> work, std::span<double> yin, Lagint& lagint);

// Processes one single-sided record (phase, then the phase-corrected transform) and
// writes its "spc" file. `res` becomes the output resolution, or is restored when the
// file is skipped as degenerate.
PathResult single_sided(PathContext& ctx, const PathRequest& req, double& res, PathStorage& ws);

}  // namespace ftir::transform
