#include "driver/settings.h"

#include <cmath>

namespace ftir::driver {

RunParameters file_parameters(const ConversionSettings& settings, double wref, double res) {
  RunParameters p;
  p.iphase = settings.phase_files ? 1 : 0;
  p.sampr = settings.sampr;
  p.iapod = settings.iapod;
  p.ipow2 = settings.npow > 0 ? 1 : 0;
  p.npow = settings.npow > 0 ? settings.npow : 14;
  p.ires = settings.no_res ? 0 : 1;
  p.idbl = settings.sides == Sides::kSingle ? 0 : 1;
  p.res = res;
  p.wlow = settings.wlow;
  p.whigh = settings.whigh;
  p.wref = wref;
  p.wlref = 1.0 / wref;
  p.outdir = settings.outdir;
  return p;
}

std::optional<double> laser_from_x_range(double firstx, double lastx, int xunits, double sampr) {
  constexpr int kWavenumbers = 1;
  if (firstx != 0.0 || xunits != kWavenumbers || !(lastx > 0.0)) return std::nullopt;
  const double wref = 2.0 * lastx / sampr;
  if (!std::isfinite(wref)) return std::nullopt;
  return wref;
}

}  // namespace ftir::driver
