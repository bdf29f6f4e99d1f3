// The single-sided path: phase from a short symmetric piece around the centerburst, then
// the Mertz transform of the long side with the interpolated phase removed.
#pragma once

#include "transform/path.h"

namespace ftir::transform {

// The phase of the record: fills ws.phase (is points on 0..fmax) and, when iphase is 1,
// writes the "phz" and "shr" files. Returns is, the half-length of the phase piece, or 0
// when a phase file may not be written (see output_refusal; its Skipped line is reported).
int phase_determination(PathContext& ctx, const PathRequest& req, PathStorage& ws);

// Processes one single-sided record (phase, then the phase-corrected transform) and
// writes its "spc" file. `res` becomes the output resolution, or is restored when the
// file is skipped as degenerate.
PathResult single_sided(PathContext& ctx, const PathRequest& req, double& res, PathStorage& ws);

}  // namespace ftir::transform
