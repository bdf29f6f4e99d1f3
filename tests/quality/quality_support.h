// Records and tiles for the quality checks' tests: real files read through the project's
// readers, the phase from the single-sided path, and the imaging tiles' samples.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "driver/batch.h"
#include "quality/checks.h"
#include "report/fake_console.h"
#include "report/report.h"
#include "spcfile/bytes.h"
#include "transform/single_sided.h"

namespace ftir::testing {

// The public SPC samples beside the checkout (or beside the folder of worktrees).
inline std::filesystem::path spc_samples() {
  const std::filesystem::path source = FTIR_SOURCE_DIR;
  for (const auto& up : {source / "..", source / "../.."}) {
    if (std::filesystem::is_directory(up / "shared/data/spc-samples")) {
      return up / "shared/data/spc-samples";
    }
  }
  return source / "../shared/data/spc-samples";
}

// A record's samples and facts, owned, with its inputs to the checks.
struct QualityRecord {
  std::vector<double> samples;
  int scans = 1;
  double laser = 15800.823;  // cm-1
  double sampr = 1.0;        // samples per laser fringe
  std::optional<int> stored;
  std::optional<double> low_cut;
  std::optional<double> high_cut;
  // The single-sided path's phase and magnitude, on their grid.
  std::vector<double> angle;
  std::vector<double> magnitude;
  double phase_first = 0.0;
  double phase_step = 0.0;
};

// The centerburst of each scan, 0-based in the scan's own order (the backward reversed).
inline std::array<int, 2> found_zpd(const QualityRecord& r) {
  const std::size_t n = r.samples.size() / static_cast<std::size_t>(r.scans);
  std::array<int, 2> found = {-1, -1};
  found[0] = quality::find_centerburst(std::span<const double>(r.samples).first(n)).index;
  if (r.scans == 2) {
    std::vector<double> backward(r.samples.rbegin(), r.samples.rbegin() + static_cast<long>(n));
    found[1] = quality::find_centerburst(backward).index;
  }
  return found;
}

// The phase of the record's first scan as the single-sided path finds it (mean removed,
// centerburst as the conversion locates it).
inline void add_phase(QualityRecord& r, driver::Workspace& ws) {
  const int n = static_cast<int>(r.samples.size()) / r.scans;
  const quality::Centerburst c =
      quality::find_centerburst(std::span<const double>(r.samples).first(static_cast<std::size_t>(n)));
  for (int i = 0; i < n; ++i) ws.yin[static_cast<std::size_t>(i)] = r.samples[static_cast<std::size_t>(i)] - c.mean;
  transform::PathRequest req;
  req.sampr = r.sampr;
  req.wlref = 1.0 / r.laser;
  req.iapod = 1;
  req.npts = n;
  req.jmax = c.index + 1;
  FakeConsole console;
  report::Report report(console);
  transform::PathStorage storage = ws.paths();
  const transform::PhaseOutcome p = transform::phase_determination(report, req, storage);
  if (p.refused) return;
  r.angle.assign(ws.phase.angle.begin(), ws.phase.angle.begin() + p.points);
  r.magnitude.assign(ws.phase.magnitude.begin(), ws.phase.magnitude.begin() + p.points);
  r.phase_first = p.first;
  r.phase_step = p.delta;
}

inline quality::RecordInput input_of(const QualityRecord& r) {
  quality::RecordInput in;
  in.samples = r.samples;
  in.scans = r.scans;
  in.found_zpd = found_zpd(r);
  in.stored_zpd = {r.stored, r.scans == 2 ? r.stored : std::nullopt};
  in.phase = {r.angle, r.phase_first, r.phase_step};
  in.magnitude = {r.magnitude, r.phase_first, r.phase_step};
  in.low_cut = r.low_cut;
  in.high_cut = r.high_cut;
  return in;
}

// A file read by the converter's reader choice (SPC, OPUS, OMNIC); empty samples when
// refused.
inline QualityRecord read_record(const std::string& path, driver::Workspace& ws,
                                 driver::ReadOptions options = {}) {
  QualityRecord r;
  const driver::ReadOutcome read = driver::read_interferogram(path, ws, options);
  if (read.refused) return r;
  r.samples.assign(read.ig.samples.begin(), read.ig.samples.end());
  r.scans = read.ig.scans;
  if (read.ig.laser) r.laser = *read.ig.laser;
  if (read.ig.instrument) {
    const values::InstrumentParameters& p = read.ig.instrument->parameters;
    r.scans = read.ig.instrument->scans;
    if (p.ssp) r.sampr = 1.0 / *p.ssp;
    r.stored = p.pkl;
    r.low_cut = p.lfl;
    r.high_cut = p.hfl;
  }
  add_phase(r, ws);
  return r;
}

// An imaging tile (.seq): a 1020-byte header, the point count (u32) at byte 9, width and
// height (u16) at 24 and 26, then f32 samples band by band.
struct Tile {
  int width = 0;
  int height = 0;
  int points = 0;
  std::vector<double> values;
  quality::TileInput input(bool background) const {
    return {width, height, points, values, background};
  }
};

inline Tile read_tile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
  Tile t;
  if (bytes.size() < 1020) return t;
  t.points = static_cast<int>(spcfile::get_u32le(bytes, 9));
  t.width = spcfile::get_u16le(bytes, 24);
  t.height = spcfile::get_u16le(bytes, 26);
  const std::size_t count = static_cast<std::size_t>(t.points) * static_cast<std::size_t>(t.width) *
                            static_cast<std::size_t>(t.height);
  if (bytes.size() < 1020 + 4 * count) return t;
  for (std::size_t i = 0; i < count; ++i) t.values.push_back(spcfile::get_f32le(bytes, 1020 + 4 * i));
  return t;
}

}  // namespace ftir::testing
