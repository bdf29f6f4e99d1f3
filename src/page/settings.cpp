// The settings of a red.dat run in words.
#include "page/settings.h"

#include <cmath>

#include "page/text.h"
#include "driver/settings.h"

namespace ftir::page {

std::string window_name(int iapod, bool red_dat) {
  const std::string_view name = driver::window_display_name(iapod, red_dat);
  if (!name.empty()) return std::string(name);
  return "code " + std::to_string(iapod) + ", no window (boxcar)";
}

std::vector<Setting> describe_run(const driver::RunParameters& params, const std::string& source) {
  std::vector<Setting> settings;
  settings.push_back({"Settings from", source});
  const bool single = params.idbl == 0;
  settings.push_back({"Path", single ? "single-sided, Mertz phase correction (idbl 0)"
                                     : "double-sided, magnitude (idbl " +
                                           std::to_string(params.idbl) + ")"});
  settings.push_back({"Window", window_name(params.iapod, true) + " (iapod " +
                                    std::to_string(params.iapod) + ")"});

  std::string resolution = format_number(params.res) + " cm-1 requested";
  if (params.ipow2 == 0 && params.ires == 0) {
    resolution = "count only (ipow2 and ires 0): files are read and counted, nothing is written";
  } else if (params.ipow2 != 0) {
    resolution += single ? "; the transform limited to 2^" + std::to_string(params.npow) +
                               " points (ipow2 1)"
                         : "; the transform takes 2^" + std::to_string(params.npow) +
                               " points (ipow2 1)";
  } else if (single && params.ires == 0) {
    resolution = "the record's own (ires 0)";
  }
  if (params.ipow2 != 0 || params.ires != 0) {
    resolution += "; each file starts from the resolution the file before it used";
  }
  settings.push_back({"Resolution", resolution});
  settings.push_back({"Range", format_number(params.wlow) + " to " +
                                   format_number(params.whigh) + " cm-1"});
  settings.push_back({"Laser", format_number(params.wref) + " cm-1 reference wavenumber"});

  // Sample spacing xstep = 1/(sampr*wref) cm, and the spectra's top wavenumber fmax.
  const double xstep = params.wlref / params.sampr;
  std::string sampling = "sampr " + format_number(params.sampr);
  if (std::isfinite(xstep) && xstep > 0.0) {
    sampling += ": one sample per " + format_number(xstep * 1e4, 5) +
                " µm of path difference, spectra from 0 to " +
                format_number(1.0 / (2.0 * xstep), 6) + " cm-1";
  }
  settings.push_back({"Sampling", sampling});
  settings.push_back(
      {"Output folder", params.outdir.empty() ? "(the working folder)" : params.outdir});
  settings.push_back({"Phase files", !single         ? "not written (double-sided path)"
                                     : params.iphase == 1 ? "written (.phz and .shr)"
                                                          : "not written"});
  return settings;
}

}  // namespace ftir::page
