// The double-sided path: a segment centred on the centerburst, apodized after it,
// transformed, its magnitude scaled and cut to the requested range.
#pragma once

#include "transform/path.h"

namespace ftir::transform {

// Transforms one double-sided record into its spectrum, cut to [wlow, whigh] (none in range:
// refused with kEmptyRange, the facts kept). `res` is the run's resolution request: replaced
// by the resolution used (power-of-two mode, or a request finer than the record allows) and
// restored when the record is refused as degenerate. `phase`: the phase in ws.phase that
// corrects the spectrum in place of taking its magnitude (none: the magnitude); a point
// beyond its grid refuses the record (kPhaseGrid).
PathOutcome double_sided(report::Report& report, const PathRequest& req, double& res,
                         PathStorage& ws, const PhaseOutcome* phase = nullptr);

}  // namespace ftir::transform
