#include "driver/settings.h"

#include "transform/windows.h"

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

std::string_view window_display_name(int iapod) {
  const transform::Window* window = transform::window_by_code(iapod);
  return window != nullptr ? window->name : std::string_view();
}

}  // namespace ftir::driver
