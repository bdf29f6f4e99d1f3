// An instrument file's conversion: its plan from the file's parameters and the settings,
// the scans transformed and averaged, the ratio of the two channels, the emit step.
#include "driver/instrument.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/batch.h"
#include "report/format_text.h"
#include "simd/kernels.h"
#include "spcfile/writer.h"

namespace ftir::driver {
namespace {

using transform::InstrumentPhase;
using transform::Ramp;
using values::Refusal;

// The instruments' window codes and the windows of the registry they name.
struct WindowCode {
  std::string_view code;
  std::string_view option;
};
constexpr std::array<WindowCode, 8> kWindowCodes = {{{"BX", "boxcar"},
                                                     {"TR", "triangle"},
                                                     {"HG", "happ-genzel"},
                                                     {"B3", "blackman-harris"},
                                                     {"B4", "blackman-harris-4"},
                                                     {"NBW", "nb-weak"},
                                                     {"NBM", "nb-medium"},
                                                     {"NBS", "nb-strong"}}};

// The phase piece and the long side span 0.9 * 2 * nyquist / resolution points: the
// instrument's own rule for a resolution, which its stored phase and spectra follow.
constexpr double kLengthFactor = 0.9;

// The SPC Y-unit codes of the ratios.
constexpr int kYAbsorbance = 2;
constexpr int kYTransmittance = 128;

// A ratio at or below this (or not positive) has no absorbance: the point is written as
// the absorbance of this ratio, 6.
constexpr double kSmallestRatio = 1.0e-6;

values::Refused parameter_refusal(std::string text) {
  return {Refusal::kInstrumentParameter, std::move(text), 0, 0};
}

std::string number(double v) { return report::shortest_text(v); }

// "--res 8 for RES 4", or "--res 8 (RES not stated)": an option given in place of what
// the file states.
std::string replacement(std::string given, std::string_view key, const std::string& stated) {
  return given + (stated.empty() ? " (" + std::string(key) + " not stated)"
                                 : " for " + std::string(key) + " " + stated);
}

std::string stated_number(const std::optional<double>& v) { return v ? number(*v) : ""; }

}  // namespace

InstrumentPlan plan_instrument(const values::Interferogram& ig,
                               const ConversionSettings* settings) {
  InstrumentPlan plan;
  const values::Instrument& facts = *ig.instrument;
  const values::InstrumentParameters& p = facts.parameters;
  const bool opus = ig.format == values::SourceFormat::kOpus;
  InstrumentUsed& used = plan.used;
  used.format = opus ? "OPUS" : "OMNIC";
  used.block = facts.block;
  auto refuse = [&plan](std::string text) -> InstrumentPlan& {
    plan.refused = parameter_refusal(std::move(text));
    return plan;
  };
  transform::InstrumentRecipe& r = plan.recipe;

  // Laser and grid: the grid folds at HFL, which the laser and the sample spacing fix.
  const std::optional<double> laser = settings && settings->laser ? settings->laser : p.lwn;
  if (!laser || !(*laser > 0.0) || !std::isfinite(*laser)) {
    return refuse("the file states no laser wavenumber (LWN); --laser gives it");
  }
  double fold = 0.0;  // laser / nyquist
  if (p.hfl && p.lwn && *p.hfl > 0.0) {
    fold = *p.lwn / *p.hfl;
  } else if (p.ssp && *p.ssp > 0) {
    fold = *p.ssp;
  } else {
    return refuse("the file states neither its folding limit (HFL) nor its sample spacing (SSP)");
  }
  r.nyquist = *laser / fold;
  if (!std::isfinite(r.nyquist) || !(r.nyquist > 0.0)) {
    return refuse("its folding limit gives no usable grid");
  }
  used.laser = *laser;
  used.nyquist = r.nyquist;
  if (settings && settings->laser) {
    used.replaced.push_back(
        replacement("--laser " + number(*settings->laser), "LWN", stated_number(p.lwn)));
  }

  // Window.
  if (settings && settings->window_given) {
    r.window = transform::window_by_code(settings->iapod);
    used.replaced.push_back(
        opus ? replacement("--window " + std::string(r.window->option), "APF", p.apf)
             : "--window " + std::string(r.window->option) + " for happ-genzel");
  } else if (!p.apf.empty()) {
    const auto it = std::find_if(kWindowCodes.begin(), kWindowCodes.end(),
                                 [&p](const WindowCode& w) { return w.code == p.apf; });
    if (it == kWindowCodes.end()) {
      return refuse("its window (APF \"" + p.apf +
                    "\") is not one this converter can honour; --window chooses one");
    }
    r.window = transform::window_by_option(it->option);
  } else {
    r.window = transform::window_by_option("happ-genzel");
  }
  used.window = std::string(r.window->option);

  // Phase mode.
  r.mode = InstrumentPhase::kMertz;
  used.phase = "mertz";
  const PhaseChoice* phase = settings && settings->phase ? &*settings->phase : nullptr;
  if (phase != nullptr) {
    const std::string_view mode_name = phase_mode_name(phase->mode);
    used.replaced.push_back(replacement(
        "--phase " + (mode_name.empty() ? std::string("mertz") : std::string(mode_name)), "PHZ",
        p.phz));
    switch (phase->mode) {
      case transform::PhaseMode::kClassic:
      case transform::PhaseMode::kMertz:
        break;
      case transform::PhaseMode::kPower:
      case transform::PhaseMode::kMagnitude:
        r.mode = InstrumentPhase::kPower;
        used.phase = "power";
        break;
      case transform::PhaseMode::kStored:
        r.mode = InstrumentPhase::kStored;
        used.phase = "stored";
        if (phase->stored == nullptr || phase->stored->angle.empty()) {
          return refuse("the stored phase holds no angle");
        }
        r.stored_phase = {phase->stored->first, phase->stored->step, phase->stored->angle};
        break;
      case transform::PhaseMode::kMertzSigned:
        return refuse(
            "--phase mertz-signed is not made for instrument files (mertz, power, "
            "magnitude or stored:FILE)");
    }
  } else if (!p.phz.empty() && p.phz != "ML") {
    if (p.phz == "PW") {
      r.mode = InstrumentPhase::kPower;
      used.phase = "power";
    } else {
      return refuse("its phase correction (PHZ \"" + p.phz +
                    "\") is not one this converter can honour; --phase chooses one");
    }
  }
  if (settings && settings->grid == Grid::kClassic) {
    return refuse("instrument files are converted on the exact grid (--grid exact)");
  }

  // Scans and centerburst.
  plan.scans = facts.scans;
  if (settings && settings->two_scans && *settings->two_scans) plan.scans = 2;
  const int npts = static_cast<int>(ig.samples.size());
  const int scan_points = plan.scans == 2 ? npts / 2 : npts;
  if (plan.scans == 2 && npts % 2 != 0) {
    return refuse("its two scans need an even number of points, not " + std::to_string(npts));
  }
  if (settings && settings->two_scans && *settings->two_scans && facts.scans != 2) {
    used.replaced.push_back(replacement("--two-scans", "AQM", p.aqm));
  }
  if (settings && settings->direction) plan.direction = *settings->direction;
  if (p.gfw && p.gbw && *p.gfw >= 0.0 && *p.gbw >= 0.0 && *p.gfw + *p.gbw > 0.0) {
    plan.weight_forward = *p.gfw;
    plan.weight_backward = *p.gbw;
  }
  if (settings && settings->zpd) {
    const std::string given = settings->zpd->mode == ZpdMode::kIndex
                                  ? std::to_string(settings->zpd->index)
                                  : std::string(zpd_mode_name(settings->zpd->mode));
    // PKL counts from 0, --zpd from 1.
    used.replaced.push_back(
        replacement("--zpd " + given, "PKL", p.pkl ? std::to_string(*p.pkl) + " (0-based)" : ""));
    if (settings->zpd->mode == ZpdMode::kIndex) {
      plan.zpd = settings->zpd->index - 1;
    } else {
      plan.zpd_rule = settings->zpd->mode;
    }
  } else if (p.pkl) {
    plan.zpd = *p.pkl;
  }
  if (plan.zpd && (*plan.zpd < 0 || *plan.zpd >= scan_points)) {
    return refuse("its centerburst index " + std::to_string(*plan.zpd) + " lies beyond the " +
                  std::to_string(scan_points) + " points of a scan");
  }
  // The centerburst as the first scan has it, for the lengths below.
  const int zpd = plan.zpd ? *plan.zpd
                           : extreme_index(ig.samples.first(static_cast<std::size_t>(scan_points)),
                                           plan.zpd_rule);
  r.zpd = zpd;
  const bool single = plan.scans == 1;
  const int after = scan_points - zpd;  // the centerburst and the samples after it
  const int short_side = std::min(zpd, after - 1);

  // Phase piece: from the phase resolution; without one, the record's short side on a
  // phase transform as long as the spectrum's.
  const std::optional<double> phr =
      settings && settings->phase_resolution ? settings->phase_resolution : p.phr;
  bool phase_at_full_length = false;
  if (settings && settings->phase_resolution) {
    used.replaced.push_back(
        replacement("--phase-resolution " + number(*phr), "PHR", stated_number(p.phr)));
  }
  if (phr) {
    r.phase_halfwidth = kLengthFactor * 2.0 * r.nyquist / *phr;
    used.phase_resolution = *phr;
  } else {
    r.phase_halfwidth = short_side;
    phase_at_full_length = true;
  }
  // Long side: from the resolution; without one, every sample after the centerburst (a
  // two-direction scan: its short side).
  const std::optional<double> res =
      settings && settings->res_given ? std::optional<double>(settings->res) : p.res;
  if (settings && settings->res_given) {
    used.replaced.push_back(replacement("--res " + number(*res), "RES", stated_number(p.res)));
  }
  if (res) {
    r.long_side = kLengthFactor * 2.0 * r.nyquist / *res;
    used.resolution = *res;
  } else {
    r.long_side = single ? after : short_side;
    r.cut_at_scan_end = true;
  }
  r.ramp = !single ? Ramp::kNone : opus ? Ramp::kQuintic : Ramp::kLinear;

  // Zero filling: the setting, the file's factor, or the transform length it states.
  // Beyond 2^30 the transform refuses the recipe itself.
  const long long fitted = transform::power_of_two_at_least(r.long_side, 1 << 30);
  const int unfilled = fitted == 0 ? 1 << 30 : static_cast<int>(fitted);
  if (settings && settings->zero_fill) {
    r.zero_fill = *settings->zero_fill;
    used.replaced.push_back(p.zff || !p.transform_points
                                ? replacement("--zero-fill " + std::to_string(r.zero_fill), "ZFF",
                                              p.zff ? std::to_string(*p.zff) : "")
                                : "--zero-fill " + std::to_string(r.zero_fill) +
                                      " for a transform of " + std::to_string(*p.transform_points) +
                                      " points");
  } else if (p.zff) {
    r.zero_fill = *p.zff;
  } else if (p.transform_points && *p.transform_points % unfilled == 0) {
    r.zero_fill = *p.transform_points / unfilled;
  }
  if (r.zero_fill < 1 || (r.zero_fill & (r.zero_fill - 1)) != 0 || r.zero_fill > 16) {
    return refuse("its zero filling factor (ZFF " + std::to_string(r.zero_fill) +
                  ") is not 1, 2, 4, 8 or 16; --zero-fill chooses one");
  }
  used.zero_fill = r.zero_fill;
  if (phase_at_full_length) r.phase_length = r.zero_fill * unfilled;

  // Range: the setting's, or the file's (its bounds in either order). The file's range
  // keeps the points k = floor(low / dnu) .. floor(high / dnu) - 1, as the instrument's
  // stored spectra do; a range given keeps the points from low to high.
  const double dnu = r.nyquist / (r.zero_fill * unfilled / 2);
  if (settings && settings->range_given) {
    used.low = settings->wlow;
    used.high = settings->whigh;
    used.replaced.push_back(
        replacement("--range " + number(used.low) + ":" + number(used.high), "LFQ/HFQ",
                    p.lfq && p.hfq ? number(*p.lfq) + "/" + number(*p.hfq) : ""));
    r.wlow = (std::ceil(used.low / dnu) + 0.5) * dnu;
    r.whigh = (std::floor(used.high / dnu) + 1.5) * dnu;
  } else if (p.lfq && p.hfq) {
    used.low = std::min(*p.lfq, *p.hfq);
    used.high = std::max(*p.lfq, *p.hfq);
    r.wlow = used.low;
    r.whigh = used.high;
  } else {
    used.low = settings ? settings->wlow : 400.0;
    used.high = settings ? settings->whigh : 4000.0;
    r.wlow = (std::ceil(used.low / dnu) + 0.5) * dnu;
    r.whigh = (std::floor(used.high / dnu) + 1.5) * dnu;
  }

  if (p.nli && *p.nli == 1 && p.nla && p.nlb) {
    plan.nla = *p.nla;
    plan.nlb = *p.nlb;
    used.nonlinearity = true;
  }
  return plan;
}

std::optional<Agreement> agreement(double x_first, double x_step, std::span<const double> y,
                                   const values::StoredCurve& stored, bool free_scale) {
  const std::size_t n = stored.values.size();
  const double step = std::fabs(stored.x_step());
  if (n < 2 || !(step > 0.0) || !(x_step > 0.0)) return std::nullopt;
  const double low = std::min(stored.x_first, stored.x_last);
  const bool descending = stored.x_first > stored.x_last;
  std::vector<double> ref;
  std::vector<double> ours;
  for (std::size_t i = 0; i < y.size(); ++i) {
    const double at = (x_first + static_cast<double>(i) * x_step - low) / step;
    const double k = std::round(at);
    if (k < 0.0 || k >= static_cast<double>(n) || std::fabs(at - k) > 1e-3) continue;
    const auto j = static_cast<std::size_t>(k);
    ref.push_back(stored.y(descending ? n - 1 - j : j));
    ours.push_back(y[i]);
  }
  if (ref.empty()) return std::nullopt;
  const double top = *std::max_element(ref.begin(), ref.end());
  std::vector<double> q;
  for (std::size_t i = 0; i < ref.size(); ++i) {
    if (top > 0.0 && ref[i] >= 0.05 * top && std::isfinite(ours[i])) q.push_back(ours[i] / ref[i]);
  }
  if (q.size() < static_cast<std::size_t>(kLeastCheckPoints)) return std::nullopt;
  Agreement a;
  a.points = static_cast<int>(q.size());
  if (free_scale) {
    double sum = 0.0;
    double squares = 0.0;
    for (const double v : q) {
      sum += v;
      squares += v * v;
    }
    if (!(squares > 0.0)) return std::nullopt;
    a.scale = sum / squares;
  }
  std::vector<double> deviation;
  deviation.reserve(q.size());
  for (const double v : q) deviation.push_back(std::fabs(v * a.scale - 1.0) * 100.0);
  std::sort(deviation.begin(), deviation.end());
  const auto at = [&deviation](double f) {
    return deviation[static_cast<std::size_t>(
        std::floor(f * static_cast<double>(deviation.size() - 1)))];
  };
  a.median = at(0.5);
  a.p95 = at(0.95);
  return a;
}

std::string measured_text(const values::MeasuredAt& m) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", m.year, m.month, m.day, m.hour,
                m.minute, m.second);
  return m.zone.empty() ? std::string(text) : std::string(text) + " " + m.zone;
}

std::string utf8_of_latin1(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || (byte >= 0x80 && byte < 0xA0)) continue;
    if (byte < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | (byte >> 6));
      out += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return out;
}

std::string instrument_output_base(std::string_view fname) {
  const std::size_t slash = fname.find_last_of("\\:/");
  const std::size_t dot = fname.rfind('.');
  const bool numbered =
      dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash) &&
      dot + 1 < fname.size() &&
      fname.substr(dot + 1).find_first_not_of("0123456789") == std::string_view::npos;
  // OUTNAM replaces what follows the last dot: a numbered extension is kept behind one more.
  return numbered ? std::string(fname) + ".spc" : std::string(fname);
}

namespace {

// One channel's spectrum by `plan` from its samples (anywhere but ws.scans), left in
// ws.yin(0..count-1) at (first_k + i) * dnu. The scans are split into ws.scans, corrected,
// each transformed on its own and averaged. Returns the refusal, if any; fills the
// record's scan facts.
struct ChannelSpectrum {
  std::optional<values::Refused> refused;
  int first_k = 0;
  int count = 0;
  double dnu = 0.0;
  double energy = 0.0;
  double peak = 0.0;
  int n = 0;
  int nph = 0;
};

ChannelSpectrum channel_spectrum(const InstrumentPlan& plan, std::span<const double> samples,
                                 Workspace& ws, FileRecord& record) {
  ChannelSpectrum out;
  const int npts = static_cast<int>(samples.size());
  const int half = plan.scans == 2 ? npts / 2 : npts;
  std::span<double> first(ws.scans.data(), static_cast<std::size_t>(half));
  std::span<double> second;
  if (plan.scans == 2) {
    second = std::span<double>(ws.scans.data() + half, static_cast<std::size_t>(half));
    transform::split_directions(samples, first, second);
  } else {
    std::copy(samples.begin(), samples.end(), first.begin());
  }
  const bool want_forward = plan.scans == 1 || plan.direction != Direction::kBackward;
  const bool want_backward = plan.scans == 2 && plan.direction != Direction::kForward;

  auto transform_one = [&](std::span<double> scan, std::span<double> into, int& jmax,
                           double& energy) -> std::optional<transform::InstrumentSpectrum> {
    std::optional<transform::Nonlinearity> nonlinearity;
    if (plan.nla) nonlinearity = transform::Nonlinearity{*plan.nla, plan.nlb};
    transform::remove_scan_mean(scan, nonlinearity);
    transform::InstrumentRecipe recipe = plan.recipe;
    recipe.zpd = plan.zpd ? *plan.zpd : extreme_index(scan, plan.zpd_rule);
    jmax = recipe.zpd + 1;
    transform::InstrumentSpectrum s =
        transform::instrument_transform(scan, recipe, ws.instrument, ws.fft, into);
    if (s.refused) {
      out.refused = s.refused;
      return std::nullopt;
    }
    energy = s.energy;
    return s;
  };

  std::optional<transform::InstrumentSpectrum> fw;
  std::optional<transform::InstrumentSpectrum> bw;
  const std::span<double> yin(ws.yin);
  if (want_forward) {
    const std::span<double> into = want_backward ? std::span<double>(ws.first_spectrum) : yin;
    int jmax = 0;
    double energy = 0.0;
    fw = transform_one(first, into, jmax, energy);
    if (!fw) return out;
    record.jmax = jmax;
    if (plan.scans == 2) {
      record.jmax_forward = jmax;
      record.energy_forward = energy;
    }
  }
  if (want_backward) {
    int jmax = 0;
    double energy = 0.0;
    bw = transform_one(second, yin, jmax, energy);
    if (!bw) return out;
    record.jmax_backward = jmax;
    record.energy_backward = energy;
    if (!fw) record.jmax = jmax;
  }
  const transform::InstrumentSpectrum& s = fw ? *fw : *bw;
  out.first_k = s.first_k;
  out.count = static_cast<int>(s.values.size());
  out.dnu = s.dnu;
  out.n = s.n;
  out.nph = s.nph;
  out.energy = s.energy;
  if (fw && bw) {
    if (fw->values.size() != bw->values.size() || fw->first_k != bw->first_k) {
      out.refused = values::Refused{Refusal::kScansApart, {}, 0, 0};
      return out;
    }
    const std::optional<double> difference = transform::average_directions(
        fw->values, bw->values, plan.weight_forward, plan.weight_backward, yin);
    if (!difference) {
      out.refused = parameter_refusal("its scans' weights (GFW, GBW) cannot be averaged");
      return out;
    }
    record.scan_difference = *difference;
    record.scans_differ = *difference > kScanDifferenceLimit;
    out.energy = (fw->energy + bw->energy) * 0.5;
  }
  out.peak = simd::largest_finite_magnitude(yin.data(), static_cast<std::size_t>(out.count));
  return out;
}

}  // namespace

std::string processing_text(const InstrumentUsed& u, int scans) {
  std::string line = u.format + " " + u.block;
  if (scans == 2) line += ", two scans";
  line += ", " + u.window + ", phase " + u.phase;
  if (u.phase_resolution > 0.0)
    line += " at " + report::shortest_text(u.phase_resolution) + " cm-1";
  if (u.resolution > 0.0) line += ", resolution " + report::shortest_text(u.resolution) + " cm-1";
  line += ", zero filling " + std::to_string(u.zero_fill) + ", transform " +
          std::to_string(u.transform_points) + " points";
  if (u.nonlinearity) line += ", detector nonlinearity corrected";
  if (u.output != "single channel") line += "; " + u.output + " of the two channels";
  for (std::size_t i = 0; i < u.replaced.size(); ++i) {
    line += (i == 0 ? "; given: " : ", ") + u.replaced[i];
  }
  return line;
}

namespace {

// The date stamp of a spectrum: when its interferogram was measured.
class MeasuredClock : public report::Clock {
 public:
  explicit MeasuredClock(const values::MeasuredAt& at)
      : at_{at.year, at.month, at.day, at.hour, at.minute} {}
  report::LocalDateTime now() const override { return at_; }

 private:
  report::LocalDateTime at_;
};

// The spectrum's SPC comment: "<sample>: <contents>, <measured>", the sample's name (as
// stored, single-byte) cut to leave room for the rest.
std::string spectrum_comment(const values::Instrument& facts, const std::string& contents) {
  std::string rest = contents;
  if (facts.measured) rest += ", " + measured_text(*facts.measured);
  std::string sample;
  for (const char c : facts.sample_name) {
    sample += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
  }
  sample = sample.substr(0, sample.find_last_not_of(' ') + 1);
  const std::size_t room = static_cast<std::size_t>(transform::Title::kLength) - rest.size();
  if (sample.empty() || room < 3) return rest.substr(0, transform::Title::kLength);
  return sample.substr(0, room - 2) + ": " + rest;
}

// The curve the instrument stored of what the conversion writes, and its block's name.
std::pair<const std::optional<values::StoredCurve>*, std::string_view> stored_check(
    const values::Instrument& facts, Ratio ratio) {
  if (ratio == Ratio::kAbsorbance) return {&facts.absorbance, "AB"};
  if (ratio == Ratio::kTransmittance) return {&facts.transmittance, "TR"};
  if (facts.channel == values::Channel::kReference) return {&facts.reference_spectrum, "ScRf"};
  return {&facts.sample_spectrum, facts.block == "data" ? "data" : "ScSm"};
}

}  // namespace

void convert_instrument(report::Report& report, Workspace& ws, std::string_view fname,
                        const values::Interferogram& ig, FileRecord& record,
                        const FileOptions& options, EmitContext& emit) {
  const Road road = options.road;
  const ConversionSettings* settings = options.settings;
  const Ratio ratio = settings ? settings->ratio : Ratio::kNone;
  InstrumentPlan plan = plan_instrument(ig, settings);
  record.scans = plan.scans;
  if (plan.refused) return refuse(road, report, record, fname, *plan.refused);
  if (ratio != Ratio::kNone && ig.instrument->channel != values::Channel::kSample) {
    return refuse(road, report, record, fname,
                  parameter_refusal("it holds no sample interferogram to take a ratio of"));
  }
  record.side = plan.scans == 2 ? Side::kDouble : Side::kSingle;
  record.iapod = plan.recipe.window->code;
  ChannelSpectrum sample = channel_spectrum(plan, ig.samples, ws, record);
  if (sample.refused) return refuse(road, report, record, fname, *sample.refused);
  plan.used.transform_points = sample.n;
  plan.used.phase_points = sample.nph;
  int iytype = 0;
  if (ratio != Ratio::kNone) {
    // The reference channel, read from the same file, on the sample's range.
    std::vector<double> kept(ws.yin.data(), ws.yin.data() + sample.count);
    const ReadOutcome reference =
        read_interferogram(fname, ws, ReadOptions{values::Channel::kReference});
    if (reference.refused) return refuse(road, report, record, fname, *reference.refused);
    InstrumentPlan rplan = plan_instrument(reference.ig, settings);
    if (rplan.refused) return refuse(road, report, record, fname, *rplan.refused);
    rplan.recipe.wlow = plan.recipe.wlow;
    rplan.recipe.whigh = plan.recipe.whigh;
    FileRecord scratch;
    ChannelSpectrum ref = channel_spectrum(rplan, reference.ig.samples, ws, scratch);
    if (ref.refused) return refuse(road, report, record, fname, *ref.refused);
    if (ref.first_k != sample.first_k || ref.count != sample.count || ref.dnu != sample.dnu) {
      return refuse(road, report, record, fname, {Refusal::kChannelsApart, {}, 0, 0});
    }
    const bool absorbance = ratio == Ratio::kAbsorbance;
    double peak = 0.0;
    for (std::size_t i = 0; i < kept.size(); ++i) {
      const double t = kept[i] / ws.yin[i];
      double& y = ws.yin[i];
      y = absorbance ? -std::log10(t > kSmallestRatio ? t : kSmallestRatio) : t;
      peak = std::max(peak, spcfile::finite_magnitude(y));
    }
    sample.peak = peak;
    iytype = absorbance ? kYAbsorbance : kYTransmittance;
    plan.used.output = absorbance ? "absorbance" : "transmittance";
    plan.used.y_units = iytype;
    plan.used.contents = plan.used.output;
  } else {
    plan.used.output = "single channel";
    plan.used.contents = ig.instrument->channel == values::Channel::kReference ? "reference channel"
                                                                               : "sample channel";
  }
  const values::Instrument& facts = *ig.instrument;
  plan.used.sample_name = utf8_of_latin1(facts.sample_name);
  if (facts.measured) plan.used.measured = measured_text(*facts.measured);
  const auto [stored, block] = stored_check(facts, ratio);
  if (stored->has_value()) {
    const std::optional<Agreement> a =
        agreement((sample.first_k) * sample.dnu, sample.dnu,
                  std::span<const double>(ws.yin).first(static_cast<std::size_t>(sample.count)),
                  **stored, ratio == Ratio::kNone);
    if (a) {
      plan.used.check_block = block;
      plan.used.check_median = a->median;
      plan.used.check_p95 = a->p95;
      plan.used.check_scale = a->scale;
    }
  }
  const std::string line =
      " Processed as the instrument did: " + processing_text(plan.used, plan.scans);
  report.console("(A)", {line});
  report.log("(A)", {line});
  for (int i = 0; i < sample.count; ++i) {
    ws.xin[static_cast<std::size_t>(i)] = (sample.first_k + i) * sample.dnu;
  }
  record.instrument = plan.used;
  ws.title.set(spectrum_comment(facts, plan.used.contents));
  std::optional<MeasuredClock> measured_clock;
  if (facts.measured) measured_clock.emplace(*facts.measured);
  transform::PathOutcome out;
  out.points = sample.count;
  out.delta = sample.dnu;
  out.res = plan.used.resolution > 0.0 ? plan.used.resolution : sample.dnu;
  out.lnum = sample.n / 2 + 1;
  out.energy = sample.energy;
  out.peak = sample.peak;
  if (out.points == 0) out.refused = values::Refused{Refusal::kEmptyRange, {}, 0, 0};
  const std::string base = instrument_output_base(fname);
  emit.output_base = base;
  emit.iytype = iytype;
  if (measured_clock) emit.stamp = &*measured_clock;
  // One name line, as a double-sided spectrum has; the record keeps the side found above.
  const Side side = record.side;
  // The record's resolution is the one the processing stated (0: none, the long side took
  // every sample); the grid step stands apart in record.grid_step.
  if (emit_spectrum(emit, Side::kDouble, out, plan.used.low, plan.used.high)) {
    record.res = plan.used.resolution;
  }
  record.side = side;
}

}  // namespace ftir::driver
