// An instrument file's conversion: its plan from the file's parameters and the settings,
// the scans transformed and averaged, the ratio of the two channels, the emit step.
#include "driver/instrument.h"

#include <algorithm>
#include <array>
#include <cmath>
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

values::Refused parameter_refusal(std::string text) {
  return {Refusal::kInstrumentParameter, std::move(text), 0, 0};
}

// What a file may state about its sampling and still be converted: the reference lasers
// of instruments lie between 5000 and 50000 cm-1 (a HeNe at 15798), and a record is taken
// every whole number of laser fringes (or half-fringes), 1 to 256: a value beyond these is
// a damaged one (a flipped byte reads a laser of 6.5e-10 cm-1).
constexpr double kLowestLaser = 5000.0;
constexpr double kHighestLaser = 50000.0;
constexpr double kLargestSpacing = 256.0;
// A spacing stated as the ratio of two reals (OPUS: LWN / HFL) is whole to this fraction.
constexpr double kSpacingTolerance = 1.0e-6;
constexpr int kLargestZeroFill = 16;

// The option that replaces a parameter of the file, by the parameter's key; empty: none.
std::string_view option_replacing(std::string_view key) {
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 9> kOptions = {{
      {"LWN", "--laser"},
      {"ZFF", "--zero-fill"},
      {"APF", "--window"},
      {"PHZ", "--phase"},
      {"PHR", "--phase-resolution"},
      {"RES", "--res"},
      {"LFQ", "--range"},
      {"HFQ", "--range"},
      {"PKL", "--zpd"},
  }};
  for (const auto& [k, option] : kOptions) {
    if (k == key) return option;
  }
  return {};
}

bool replaced(std::string_view key, const ConversionSettings* s) {
  if (s == nullptr) return false;
  if (key == "LWN") return s->laser.has_value();
  if (key == "ZFF") return s->zero_fill.has_value();
  if (key == "APF") return s->window_given;
  if (key == "PHZ") return s->phase.has_value();
  if (key == "PHR") return s->phase_resolution.has_value();
  if (key == "RES") return s->res_given;
  if (key == "LFQ" || key == "HFQ") return s->range_given;
  if (key == "PKL") return s->zpd.has_value();
  return false;
}

// A parameter's refusal: what is wrong, and the option that would replace it.
std::string cannot_honour(std::string what, std::string_view key) {
  const std::string_view option = option_replacing(key);
  if (option.empty()) return what + "; the converter cannot honour it";
  return what + "; " + std::string(option) + " replaces it";
}

std::string number(double value) { return report::shortest_text(value); }

bool known_acquisition(std::string_view aqm) {
  // Single or double sided, each with a plain, fast or forward-backward return.
  for (std::string_view code : {"SN", "SF", "SD", "DN", "DF", "DD"}) {
    if (aqm == code) return true;
  }
  return false;
}

// Whether a channel's samples hold no signal: all equal (zero, constant, or scaled by a CSF
// of 0), so that nothing remains once the mean is removed.
bool without_signal(std::span<const double> samples) {
  return std::all_of(samples.begin(), samples.end(),
                     [&samples](double y) { return y == samples.front(); });
}

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
  auto not_stated = [&used](std::string part, std::string value) {
    used.not_stated.push_back({std::move(part), std::move(value)});
  };
  transform::InstrumentRecipe& r = plan.recipe;

  // A parameter stated in a form no value can be read from, unless a setting replaces it.
  for (const values::ParameterProblem& problem : p.problems) {
    if (!replaced(problem.key, settings)) return refuse(cannot_honour(problem.text, problem.key));
  }

  // Laser and grid: the grid folds at HFL, which the laser and the sample spacing fix.
  const bool laser_given = settings && settings->laser;
  const std::optional<double> laser = laser_given ? settings->laser : p.lwn;
  if (!laser) {
    return refuse(opus ? "the file states no laser wavenumber (LWN); --laser gives it"
                       : "its header states no laser wavenumber; --laser gives it");
  }
  if (!laser_given && !(*laser >= kLowestLaser && *laser <= kHighestLaser)) {
    return refuse(cannot_honour(
        (opus ? "its laser wavenumber (LWN " : "its header's laser wavenumber (") +
            number(*laser) + " cm-1) is not a plausible one (" + number(kLowestLaser) + " to " +
            number(kHighestLaser) + " cm-1)",
        "LWN"));
  }
  if (!(*laser > 0.0) || !std::isfinite(*laser)) return refuse("the laser wavenumber is unusable");
  double fold = 0.0;  // laser / nyquist: the sample spacing in laser fringes
  if (p.hfl && p.lwn) {
    fold = *p.lwn / *p.hfl;
  } else if (p.ssp) {
    fold = *p.ssp;
  } else {
    return refuse(opus ? "the file states neither its folding limit (HFL) nor its sample "
                         "spacing (SSP)"
                       : "its header states no sample spacing");
  }
  const double whole = std::round(fold);
  if (!(whole >= 1.0 && whole <= kLargestSpacing &&
        std::fabs(fold - whole) <= kSpacingTolerance * whole) ||
      (opus && p.hfl && p.ssp && *p.ssp != whole)) {
    std::string stated =
        !opus ? "its header's sample spacing (" + number(fold) + " laser fringes)"
        : p.hfl && p.lwn
            ? "its sample spacing (LWN / HFL = " + number(fold) +
                  (p.ssp ? ", SSP " + std::to_string(*p.ssp) : std::string()) + ")"
            : "its sample spacing (SSP " + number(fold) + ")";
    return refuse(cannot_honour(stated + " is not a whole number of laser fringes from 1 to " +
                                    number(kLargestSpacing),
                                ""));
  }
  r.nyquist = *laser / fold;
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
    not_stated("window", "happ-genzel");
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
  } else if (p.phz.empty()) {
    not_stated("phase", "mertz");
  } else if (p.phz == "PW") {
    r.mode = InstrumentPhase::kPower;
    used.phase = "power";
  } else if (p.phz != "ML") {
    return refuse("its phase correction (PHZ \"" + p.phz +
                  "\") is not one this converter can honour; --phase chooses one");
  }
  if (settings && settings->grid == Grid::kClassic) {
    return refuse("instrument files are converted on the exact grid (--grid exact)");
  }

  // Scans and centerburst.
  if (opus && !p.aqm.empty() && !known_acquisition(p.aqm)) {
    return refuse(cannot_honour("its acquisition mode (AQM \"" + p.aqm +
                                    "\") is not one this converter knows (SN, SF, SD, DN, DF "
                                    "or DD)",
                                ""));
  }
  if (opus && p.aqm.empty()) not_stated("scans", "one");
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
  if (plan.scans == 1 && plan.direction == Direction::kBackward) {
    return refuse("--direction backward: the record holds one scan" +
                  (opus && !p.aqm.empty() ? " (AQM \"" + p.aqm + "\")" : std::string()));
  }
  for (const auto& [key, count] : {std::pair{"GFW", p.gfw}, std::pair{"GBW", p.gbw}}) {
    if (count && !(*count >= 0.0 && std::isfinite(*count))) {
      return refuse(cannot_honour(std::string("its scan count (") + key + " " + number(*count) +
                                      ") is not a count",
                                  ""));
    }
  }
  if (p.gfw && p.gbw && *p.gfw + *p.gbw > 0.0) {
    plan.weight_forward = *p.gfw;
    plan.weight_backward = *p.gbw;
  }
  const bool zpd_given = settings && settings->zpd;
  if (zpd_given) {
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
    const std::string points = std::to_string(scan_points);
    if (zpd_given) {
      return refuse("--zpd " + std::to_string(*plan.zpd + 1) + " lies beyond the " + points +
                    " points of a scan (1 to " + points + ")");
    }
    return refuse(cannot_honour("its centerburst (PKL " + std::to_string(*plan.zpd) +
                                    ", counted from 0) lies beyond the " + points +
                                    " points of a scan",
                                "PKL"));
  }
  // The centerburst as the first scan has it, for the lengths below.
  const int zpd = plan.zpd ? *plan.zpd
                           : extreme_index(ig.samples.first(static_cast<std::size_t>(scan_points)),
                                           plan.zpd_rule);
  r.zpd = zpd;
  const bool single = plan.scans == 1;
  const int after = scan_points - zpd;  // the centerburst and the samples after it
  const int short_side = std::min(zpd, after - 1);

  // A resolution (of the spectrum or of its phase) names the length of the record it
  // needs: 0.9 * 2 * nyquist / resolution points beside the centerburst. One the record
  // cannot give is refused with the finest it can.
  auto finer_than_record = [&](std::string stated, std::string_view key, double resolution,
                               int room) -> std::optional<std::string> {
    if (!(resolution > 0.0) || !std::isfinite(resolution)) {
      return cannot_honour(stated + " is not a number above 0", key);
    }
    if (kLengthFactor * 2.0 * r.nyquist / resolution < room) return std::nullopt;
    if (room < 2) return stated + " finds no samples beside the centerburst";
    return stated + " is finer than the record holds: the finest is " +
           report::rounded_up_text(kLengthFactor * 2.0 * r.nyquist / (room - 1), 4) + " cm-1";
  };
  // A value as its option or the file states it.
  auto stated = [opus](bool given, std::string_view option, std::string_view words,
                       std::string_view key, double value) {
    if (given) return std::string(option) + " " + number(value) + " cm-1";
    return "its " + std::string(words) + " (" + (opus ? std::string(key) + " " : std::string()) +
           number(value) + " cm-1)";
  };

  // Phase piece: from the phase resolution; without one, the record's short side on a
  // phase transform as long as the spectrum's.
  const bool phr_given = settings && settings->phase_resolution;
  const std::optional<double> phr = phr_given ? settings->phase_resolution : p.phr;
  bool phase_at_full_length = false;
  if (settings && settings->phase_resolution) {
    used.replaced.push_back(
        replacement("--phase-resolution " + number(*phr), "PHR", stated_number(p.phr)));
  }
  if (phr) {
    // The phase piece is |n| <= P: it needs P samples on each side of the centerburst.
    const int room = r.mode == InstrumentPhase::kMertz ? short_side + 1 : 1 << 30;
    if (auto bad = finer_than_record(
            stated(phr_given, "--phase-resolution", "phase resolution", "PHR", *phr), "PHR",
            *phr, room)) {
      return refuse(*bad);
    }
    r.phase_halfwidth = kLengthFactor * 2.0 * r.nyquist / *phr;
    used.phase_resolution = *phr;
  } else {
    r.phase_halfwidth = short_side;
    phase_at_full_length = true;
    not_stated("phase resolution", "the short side");
  }
  // Long side: from the resolution; without one, every sample after the centerburst (a
  // two-direction scan: its short side).
  const bool res_given = settings && settings->res_given;
  const std::optional<double> res = res_given ? std::optional<double>(settings->res) : p.res;
  if (res_given) {
    used.replaced.push_back(replacement("--res " + number(*res), "RES", stated_number(p.res)));
  }
  if (res) {
    // The long side |n| <= L ends inside the record after the centerburst, and before it
    // too where no ramp takes the points there (two scans).
    const int room = single ? after : std::min(zpd + 1, after);
    if (auto bad = finer_than_record(stated(res_given, "--res", "resolution", "RES", *res),
                                     "RES", *res, room)) {
      return refuse(*bad);
    }
    r.long_side = kLengthFactor * 2.0 * r.nyquist / *res;
    used.resolution = *res;
  } else {
    r.long_side = single ? after : short_side;
    r.cut_at_scan_end = true;
    not_stated("resolution", single ? "every sample" : "the short side");
  }
  r.ramp = !single ? Ramp::kNone : opus ? Ramp::kQuintic : Ramp::kLinear;

  // Zero filling: the setting, the file's factor, or the transform length it states.
  constexpr long long kLongest = transform::Fft::kMaxPoints;
  const long long fitted = transform::power_of_two_at_least(r.long_side, kLongest);
  if (fitted == 0) {
    return refuse("its long side of " + number(r.long_side) + " points needs more than the " +
                  std::to_string(kLongest) + " points the converter transforms");
  }
  const int unfilled = static_cast<int>(fitted);
  const bool zero_fill_given = settings && settings->zero_fill;
  if (zero_fill_given) {
    used.replaced.push_back(p.zff || !p.transform_points
                                ? replacement("--zero-fill " + std::to_string(*settings->zero_fill),
                                              "ZFF", p.zff ? std::to_string(*p.zff) : "")
                                : "--zero-fill " + std::to_string(*settings->zero_fill) +
                                      " for a transform of " + std::to_string(*p.transform_points) +
                                      " points");
  }
  if (zero_fill_given || p.zff) {
    r.zero_fill = zero_fill_given ? *settings->zero_fill : *p.zff;
    if (r.zero_fill < 1 || (r.zero_fill & (r.zero_fill - 1)) != 0 ||
        r.zero_fill > kLargestZeroFill) {
      return refuse((zero_fill_given ? "--zero-fill " + std::to_string(r.zero_fill)
                                     : "its zero filling factor (ZFF " +
                                           std::to_string(r.zero_fill) + ")") +
                    " is not 1, 2, 4, 8 or 16; --zero-fill chooses one");
    }
  } else if (p.transform_points) {
    // OMNIC states the transform's length: the zero filling is that over the length the
    // resolution needs.
    const long long n = *p.transform_points;
    const std::string length_text =
        "its header's transform length (" + std::to_string(n) + " points)";
    if (n < 2 || (n & (n - 1)) != 0 || n > kLongest) {
      return refuse(length_text + " is not a power of two from 2 to " + std::to_string(kLongest) +
                    "; --zero-fill chooses the zero filling");
    }
    const std::string need =
        std::to_string(unfilled) + " points " +
        (!res        ? std::string("the record needs")
         : res_given ? "--res " + number(*res) + " cm-1 needs"
                     : "its resolution of " + number(*res) + " cm-1 needs");
    if (n < unfilled) {
      return refuse(length_text + " is shorter than the " + need +
                    "; --zero-fill chooses the zero filling");
    }
    if (n / unfilled > kLargestZeroFill) {
      return refuse(length_text + " is " + std::to_string(n / unfilled) + " times the " + need +
                    ": a zero filling beyond " + std::to_string(kLargestZeroFill) +
                    "; --zero-fill chooses one");
    }
    r.zero_fill = static_cast<int>(n / unfilled);
  } else {
    not_stated("zero filling", "1");
  }
  if (static_cast<long long>(r.zero_fill) * unfilled > kLongest) {
    int largest = r.zero_fill;
    while (largest > 1 && static_cast<long long>(largest) * unfilled > kLongest) largest /= 2;
    return refuse("zero filling " + std::to_string(r.zero_fill) + " of " +
                  std::to_string(unfilled) + " points needs a transform beyond the " +
                  std::to_string(kLongest) + " points the converter holds; the largest is " +
                  std::to_string(largest));
  }
  used.zero_fill = r.zero_fill;
  const int length = r.zero_fill * unfilled;
  if (phase_at_full_length) r.phase_length = length;

  // Range: the setting's, or the file's (its bounds in either order). The file's range
  // keeps the points k = floor(low / dnu) .. floor(high / dnu) - 1, as the instrument's
  // stored spectra do; a range given keeps the points from low to high.
  const double dnu = r.nyquist / (length / 2);
  if (settings && settings->range_given) {
    used.low = settings->wlow;
    used.high = settings->whigh;
    used.replaced.push_back(
        replacement("--range " + number(used.low) + ":" + number(used.high), "LFQ/HFQ",
                    p.lfq && p.hfq ? number(*p.lfq) + "/" + number(*p.hfq) : ""));
    r.wlow = (std::ceil(used.low / dnu) + 0.5) * dnu;
    r.whigh = (std::floor(used.high / dnu) + 1.5) * dnu;
  } else if (p.lfq && p.hfq) {
    // Within the grid, up to a rounding of the folding limit the range was stated from.
    if (!(std::min(*p.lfq, *p.hfq) >= 0.0 && std::max(*p.lfq, *p.hfq) <= 1.01 * r.nyquist)) {
      return refuse(cannot_honour("its range (LFQ " + number(*p.lfq) + ", HFQ " +
                                      number(*p.hfq) + " cm-1) lies outside 0 to the folding "
                                      "limit, " + number(r.nyquist) + " cm-1",
                                  "LFQ"));
    }
    used.low = std::min(*p.lfq, *p.hfq);
    used.high = std::max(*p.lfq, *p.hfq);
    r.wlow = used.low;
    r.whigh = used.high;
  } else {
    used.low = settings ? settings->wlow : 400.0;
    used.high = settings ? settings->whigh : 4000.0;
    r.wlow = (std::ceil(used.low / dnu) + 0.5) * dnu;
    r.whigh = (std::floor(used.high / dnu) + 1.5) * dnu;
    not_stated("range", number(used.low) + " to " + number(used.high) + " cm-1");
  }

  if (opus && !p.nli) not_stated("nonlinearity correction", "none");
  if (p.nli && *p.nli != 0 && *p.nli != 1) {
    return refuse(cannot_honour("its nonlinearity correction (NLI " + std::to_string(*p.nli) +
                                    ") is not 0 or 1",
                                ""));
  }
  if (p.nli && *p.nli == 1) {
    if (!p.nla || !p.nlb || !(*p.nla > 0.0) || !std::isfinite(*p.nla) ||
        !std::isfinite(*p.nlb)) {
      return refuse(cannot_honour(
          "its nonlinearity correction (NLI 1) states no usable NLA and NLB (NLA " +
              (p.nla ? number(*p.nla) : std::string("absent")) + ", NLB " +
              (p.nlb ? number(*p.nlb) : std::string("absent")) + ")",
          ""));
    }
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
  // `value` with leading zeros to `width` digits (a sign first where negative).
  const auto digits = [](int value, std::size_t width) {
    std::string text = std::to_string(value < 0 ? -static_cast<long long>(value) : value);
    if (text.size() < width) text.insert(0, width - text.size(), '0');
    return value < 0 ? "-" + text : text;
  };
  std::string text = digits(m.year, 4) + "-" + digits(m.month, 2) + "-" + digits(m.day, 2) + " " +
                     digits(m.hour, 2) + ":" + digits(m.minute, 2) + ":" + digits(m.second, 2);
  return m.zone.empty() ? text : text + " " + m.zone;
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
    if (s.energy == 0.0) {
      out.refused = values::Refused{Refusal::kNoSignal, {}, 0, 0};
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

std::string InstrumentUsed::not_stated_text() const {
  std::string text;
  for (const NotStated& n : not_stated) {
    text += (text.empty() ? "" : ", ") + n.part + " (not stated: " + n.value + ")";
  }
  return text;
}

std::string processing_text(const InstrumentUsed& u, int scans) {
  // A part the file does not state is named with its default in place of its value.
  auto part = [&u](std::string_view name, std::string value) {
    for (const InstrumentUsed::NotStated& n : u.not_stated) {
      if (n.part == name) return std::string(name) + " (not stated: " + n.value + ")";
    }
    return value;
  };
  std::string line = u.format + " " + u.block;
  if (scans == 2) line += ", two scans";
  const std::string scans_part = part("scans", "");
  if (!scans_part.empty()) line += ", " + scans_part;
  line += ", " + part("window", u.window) + ", " + part("phase", "phase " + u.phase);
  if (u.phase_resolution > 0.0)
    line += " at " + report::shortest_text(u.phase_resolution) + " cm-1";
  if (const std::string t = part("phase resolution", ""); !t.empty()) line += ", " + t;
  if (u.resolution > 0.0) line += ", resolution " + report::shortest_text(u.resolution) + " cm-1";
  if (const std::string t = part("resolution", ""); !t.empty()) line += ", " + t;
  line += ", " + part("zero filling", "zero filling " + std::to_string(u.zero_fill)) +
          ", transform " + std::to_string(u.transform_points) + " points";
  const std::string range_part = part("range", "");
  if (!range_part.empty()) line += ", " + range_part;
  if (u.nonlinearity) line += ", detector nonlinearity corrected";
  if (const std::string t = part("nonlinearity correction", ""); !t.empty()) line += ", " + t;
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
  // A ratio needs both channels: one missing is named with the channel the file holds.
  const std::string ratio_option = ratio == Ratio::kAbsorbance ? "--absorbance" : "--transmittance";
  auto one_channel = [&](const std::string& held) {
    return parameter_refusal(ratio_option +
                             " needs the sample and reference channels; the file holds one (" +
                             held + ")");
  };
  if (ratio != Ratio::kNone && ig.instrument->channel != values::Channel::kSample) {
    return refuse(road, report, record, fname, one_channel(ig.instrument->block));
  }
  if (without_signal(ig.samples)) {
    return refuse(road, report, record, fname, {Refusal::kNoSignal, {}, 0, 0});
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
    if (reference.refused && reference.refused->code == Refusal::kNoInterferogram) {
      return refuse(road, report, record, fname, one_channel(ig.instrument->block));
    }
    if (reference.refused) return refuse(road, report, record, fname, *reference.refused);
    if (without_signal(reference.ig.samples)) {
      return refuse(road, report, record, fname,
                    {Refusal::kNoSignal,
                     "its reference channel (" + reference.ig.instrument->block +
                         ") holds no signal, so the " + ratio_option.substr(2) + " has no value",
                     0, 0});
    }
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
      if (!std::isfinite(t)) {
        return refuse(road, report, record, fname,
                      {Refusal::kNoSignal,
                       "the reference spectrum is 0 at " +
                           report::shortest_text((sample.first_k + static_cast<int>(i)) *
                                                 sample.dnu) +
                           " cm-1, so the " + ratio_option.substr(2) + " has no value there",
                       0, 0});
      }
      double& y = ws.yin[i];
      y = absorbance ? transform::absorbance_of(t) : t;
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
