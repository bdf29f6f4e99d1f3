#include "driver/settings.h"

#include <charconv>
#include <cmath>
#include <memory>
#include <vector>

#include "report/format_text.h"
#include "spcfile/reader.h"
#include "spcfile/writer.h"
#include "transform/windows.h"

namespace ftir::driver {

int extreme_index(std::span<const double> samples, ZpdMode rule) {
  std::size_t best = 0;
  for (std::size_t i = 1; i < samples.size(); ++i) {
    const bool better = rule == ZpdMode::kMax   ? samples[i] > samples[best]
                        : rule == ZpdMode::kMin ? samples[i] < samples[best]
                                                : std::fabs(samples[i]) > std::fabs(samples[best]);
    if (better) best = i;
  }
  return static_cast<int>(best);
}

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

std::string_view phase_mode_name(transform::PhaseMode mode) {
  using transform::PhaseMode;
  switch (mode) {
    case PhaseMode::kMertz:
      return "mertz";
    case PhaseMode::kMertzSigned:
      return "mertz-signed";
    case PhaseMode::kPower:
      return "power";
    case PhaseMode::kMagnitude:
      return "magnitude";
    case PhaseMode::kStored:
      return "stored";
    case PhaseMode::kClassic:
      break;
  }
  return "";
}

std::string_view zpd_mode_name(ZpdMode mode) {
  switch (mode) {
    case ZpdMode::kMax:
      return "max";
    case ZpdMode::kMin:
      return "min";
    case ZpdMode::kAbs:
      return "abs";
    case ZpdMode::kIndex:
      break;
  }
  return "";
}

std::string_view direction_name(Direction direction) {
  switch (direction) {
    case Direction::kForward:
      return "forward";
    case Direction::kBackward:
      return "backward";
    case Direction::kBoth:
      break;
  }
  return "both";
}

std::optional<long long> whole_number(std::string_view text, long long low, long long high) {
  long long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

FromText<int> zero_fill_from_text(std::string_view text) {
  const std::optional<long long> f = whole_number(text, 1, 16);
  if (!f || (*f & (*f - 1)) != 0) return {std::nullopt, "is not 1, 2, 4, 8 or 16"};
  return {static_cast<int>(*f), {}};
}

FromText<Zpd> zpd_from_text(std::string_view text) {
  for (ZpdMode m : {ZpdMode::kMax, ZpdMode::kMin, ZpdMode::kAbs}) {
    if (text == zpd_mode_name(m)) return {Zpd{m, 0}, {}};
  }
  if (const std::optional<long long> i = whole_number(text, 1, values::kCapacity)) {
    return {Zpd{ZpdMode::kIndex, static_cast<int>(*i)}, {}};
  }
  return {std::nullopt,
          "is not max, min, abs or an index from 1 to " + std::to_string(values::kCapacity)};
}

FromText<PhaseChoice> phase_from_text(std::string_view text) {
  using transform::PhaseMode;
  PhaseChoice choice;
  constexpr std::string_view kStored = "stored:";
  if (text.starts_with(kStored) && text.size() > kStored.size()) {
    choice.mode = PhaseMode::kStored;
    choice.file = std::string(text.substr(kStored.size()));
    StoredPhaseRead read = read_stored_phase(choice.file);
    if (!read.phase) return {std::nullopt, "cannot be used: " + read.refused};
    choice.stored = std::move(read.phase);
    return {std::move(choice), {}};
  }
  for (PhaseMode m :
       {PhaseMode::kMertz, PhaseMode::kMertzSigned, PhaseMode::kPower, PhaseMode::kMagnitude}) {
    if (text == phase_mode_name(m)) {
      choice.mode = m;
      return {std::move(choice), {}};
    }
  }
  return {std::nullopt, "is not mertz, mertz-signed, power, magnitude or stored:FILE"};
}

FromText<Grid> grid_from_text(std::string_view text) {
  if (text == "classic") return {Grid::kClassic, {}};
  if (text == "exact") return {Grid::kExact, {}};
  return {std::nullopt, "is not classic or exact"};
}

FromText<Direction> direction_from_text(std::string_view text) {
  for (Direction d : {Direction::kForward, Direction::kBackward, Direction::kBoth}) {
    if (text == direction_name(d)) return {d, {}};
  }
  return {std::nullopt, "is not forward, backward or both"};
}

ControlsAsked controls_asked(const ConversionSettings& settings) {
  ControlsAsked a;
  if (settings.zero_fill) a.zero_fill = std::to_string(*settings.zero_fill);
  if (settings.phase_resolution)
    a.phase_resolution = report::shortest_text(*settings.phase_resolution);
  if (settings.zpd) {
    a.zpd = settings.zpd->mode == ZpdMode::kIndex ? std::to_string(settings.zpd->index)
                                                  : std::string(zpd_mode_name(settings.zpd->mode));
  }
  if (settings.phase) {
    a.phase = phase_mode_name(settings.phase->mode);
    if (settings.phase->mode == transform::PhaseMode::kStored && !settings.phase->file.empty()) {
      a.phase += ":" + settings.phase->file;  // a phase handed over as values names no file
    }
  }
  if (settings.grid) a.grid = *settings.grid == Grid::kExact ? "exact" : "classic";
  if (settings.direction) a.direction = direction_name(*settings.direction);
  a.two_scans = settings.two_scans.value_or(false);
  return a;
}

FileControls file_controls(const ConversionSettings& settings) {
  FileControls c;
  c.transform.zero_fill = settings.zero_fill.value_or(0);
  c.transform.phase_resolution = settings.phase_resolution.value_or(0.0);
  if (settings.phase) {
    c.transform.phase = settings.phase->mode;
    c.stored = settings.phase->stored;
    c.transform.stored = c.stored.get();
  }
  c.transform.exact_grid = settings.grid == Grid::kExact;
  c.zpd = settings.zpd.value_or(Zpd{});
  c.direction = settings.direction.value_or(Direction::kBoth);
  c.two_scans = settings.two_scans.value_or(false);
  return c;
}

StoredPhaseRead read_stored_phase(const std::string& path) {
  // The file's own storage: a phase is read once, before any file is converted.
  constexpr int kCapacity = transform::PhaseTables::kCapacity;
  std::vector<double> angle(kCapacity);
  std::vector<unsigned char> io(spcfile::kIoBufferBytes);
  spcfile::SpcRead read = spcfile::read_spc(path, kCapacity, angle, io);
  if (read.refused) return {nullptr, path + ": " + read.refused->skip_text()};
  const int n = static_cast<int>(read.ig.samples.size());
  // A cut file is refused as a cut interferogram is: its angles would end short of its axis.
  if (read.ig.points_held < read.ig.declared_points) {
    return {nullptr, path + ": the header declares " + std::to_string(read.ig.declared_points) +
                         " points, the file holds " + std::to_string(read.ig.points_held)};
  }
  if (n < 3) return {nullptr, path + ": fewer than 3 phase points"};
  auto phase = std::make_shared<values::StoredPhase>();
  phase->first = read.ig.x.first;
  phase->step = (read.ig.x.last - read.ig.x.first) / (n - 1);
  phase->angle.assign(angle.begin(), angle.begin() + n);
  return {std::move(phase), ""};
}

std::string_view window_display_name(int iapod, bool red_dat) {
  const transform::Window* window =
      red_dat ? transform::red_dat_window(iapod) : transform::window_by_code(iapod);
  return window != nullptr ? window->name : std::string_view();
}

}  // namespace ftir::driver
