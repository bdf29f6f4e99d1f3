#include "driver/settings.h"

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

}  // namespace ftir::driver
