// Records of a made-up batch for the page's tests: smooth humps with a few absorption
// dips, the phase of single-sided files, and a skipped file.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "driver/file_record.h"

namespace ftir::testing {

// File `i` of a batch: converted, single-sided with a phase curve when `phase`, its
// hump scaled by 1 + i/100 so every spectrum differs.
inline driver::FileRecord synthetic_record(int i, bool phase) {
  driver::FileRecord r;
  r.input = "scans/scan" + std::to_string(i + 1) + ".spc";
  r.npts = 16384;
  r.jmax = 1025;
  r.side = phase ? driver::Side::kSingle : driver::Side::kDouble;
  r.iapod = 2;
  r.res_requested = 4.0;
  r.res = 4.0;
  r.lnum = 4096;
  r.status = driver::FileStatus::kConverted;
  r.outputs = {"out/scan" + std::to_string(i + 1) + ".spc"};
  r.energy = 1.0e8;
  r.spectrum.x_first = 400.0;
  r.spectrum.x_step = 1.929;
  const double scale = 1.0 + i / 100.0;
  for (double x = 400.0; x <= 4000.0; x += r.spectrum.x_step) {
    const double hump = std::exp(-std::pow((x - 2200.0) / 900.0, 2.0));
    const double dips = 1.0 - 0.6 * std::exp(-std::pow((x - 1600.0) / 6.0, 2.0)) -
                        0.5 * std::exp(-std::pow((x - 2900.0) / 10.0, 2.0));
    r.spectrum.y.push_back(5000.0 * scale * hump * dips);
  }
  r.points_written = static_cast<int>(r.spectrum.y.size());
  r.first_x = 400.0;
  r.last_x = r.first_x + (r.points_written - 1) * r.spectrum.x_step;
  r.peak = 5000.0 * scale;
  if (phase) {
    r.phase.x_first = 0.0;
    r.phase.x_step = 7900.41 / 255.0;
    for (int k = 0; k < 256; ++k) r.phase.y.push_back(0.3 + 0.5 * std::sin(k / 40.0));
  }
  return r;
}

inline driver::FileRecord skipped_record(const std::string& name, const std::string& reason) {
  driver::FileRecord r;
  r.input = name;
  r.npts = 2048;
  r.jmax = 1;
  r.status = driver::FileStatus::kSkipped;
  r.reason = reason;
  return r;
}

// `n` converted files, the third of them skipped instead when n >= 3.
inline std::vector<driver::FileRecord> synthetic_batch(int n, bool phase) {
  std::vector<driver::FileRecord> records;
  for (int i = 0; i < n; ++i) {
    records.push_back(i == 2 ? skipped_record("scans/bad.spc", "centerburst on the first sample")
                             : synthetic_record(i, phase));
  }
  return records;
}

}  // namespace ftir::testing
