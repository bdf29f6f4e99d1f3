// The double-sided path: a segment centred on the centerburst, apodized after it,
// transformed, its magnitude scaled and cut to the requested range.
#pragma once

#include "transform/path.h"

namespace ftir::transform {

// Processes one double-sided record and writes its "spc" file. `res` is the run's
// resolution request: replaced by the resolution used (power-of-two mode, or a request
// finer than the record allows) and restored when the file is skipped as degenerate.
PathResult double_sided(PathContext& ctx, const PathRequest& req, double& res, PathStorage& ws);

}  // namespace ftir::transform
