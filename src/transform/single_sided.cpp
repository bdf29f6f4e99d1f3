// The single-sided path: phase determination, then the Mertz phase-corrected transform.
// Every step keeps the program's order of operations, so that the written spectrum agrees
// bit for bit with any faithful implementation.
#include "transform/single_sided.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <charconv>
#include <cstring>
#include <string>

#include "simd/kernels.h"

namespace ftir::transform {
namespace {

constexpr int kClassicPhaseHalf = 4096;  // the classic phase piece has at most 2 * 4096 points

constexpr std::string_view kPhaseReport =
    "(' Number of points used in phase correction calculation:',1X,I10,/,' Phase correction "
    "resolution: ',F10.3,' cm**-1')";
constexpr std::string_view kPhaseGrid = "(' xstep=',D15.8,/,' fmax=',F15.8,/,' delta=',D15.8)";
constexpr std::string_view kLengthDiagnostic =
    "(' istart=',I10,/,' jmax=',I10,/,' iuse=',I10,/,' is=',I10,/,' icc=',I10,/,' cc=',D15.8,/,"
    "' dd=',D15.8)";
constexpr std::string_view kZeroFilling =
    "(' ********   Zero filling  *******',/,'  number of points used',I10,/,' number of points "
    "avaliable:',I10,/)";
constexpr std::string_view kLnum = "(/,' icc, lnum=',2I10)";
constexpr std::string_view kOpd =
    "(' opd=',D15.8,/,' opdmax=',D15.8,/,' r=',D15.8,/,' rmax=',D15.8)";
constexpr std::string_view kResolution =
    "(' Output spectrum resolution = ',F10.4,/,' Number of points = ',I10)";
constexpr std::string_view kEnds = "(/,' istart, lnun, iend=',3I10)";
constexpr std::string_view kKnt = "(' knt=',I10)";
constexpr std::string_view kLoad = "(' ipeak=',I10,/,' lexp=',I10,/,' lknt=',I10,/,' ipoint=',I10)";
constexpr std::string_view kIpoint = "(' ipoint=',I10)";
constexpr std::string_view kFftArguments = "(' nb,n,ndir=',3I10)";
constexpr std::string_view kGrid = "(' fmax=',F15.8,' delta=',D15.8)";

// The phase spectrum's last wavenumber and the last phase abscissa are both fmax up to
// rounding; a wavenumber above the phase grid by no more than this share of fmax still
// belongs to the last bracket.
constexpr double kGridEndTolerance = 1e-9;

// Both reports of this path go to the console first, then to the log.
void console_then_log(report::Report& report, std::string_view format,
                      report::FormatValues values = {}) {
  report.console(format, values);
  report.log(format, values);
}

// Half-length of the phase piece: the largest power of two not above jmax and 4096,
// through natural logarithms (exact at powers of two).
int phase_half_length(int jmax) {
  const int k = static_cast<int>(std::log(static_cast<double>(std::min(jmax, kClassicPhaseHalf))) /
                                 std::log(2.0));
  return pow2(k);
}

// An angle turned by pi into [-pi/2, pi/2] (signed Mertz).
double folded(double angle) {
  constexpr double kPi = 3.141592653589793;
  if (angle > kPi / 2.0) return angle - kPi;
  if (angle < -kPi / 2.0) return angle + kPi;
  return angle;
}

// A number for a refusal's text, with `decimals` places.
std::string fixed_text(double value, int decimals) {
  char buffer[64];
  const auto end =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals).ptr;
  return {buffer, end};
}

}  // namespace

int phase_half(const PathRequest& req) {
  const double asked = req.controls.phase_resolution;
  if (!(asked > 0.0)) return phase_half_length(req.jmax);
  const double xstep = req.wlref / req.sampr;
  int half = 4;
  while (half < kMaxPhaseHalf && 1.0 / (half * xstep) > asked) half *= 2;
  return half;
}

PhaseOutcome phase_determination(report::Report& report, const PathRequest& req, PathStorage& ws) {
  // A piece of fewer than 4 points gives no phase grid to interpolate in.
  const int is = phase_half(req);
  if (is < 4) return {values::Refused{values::Refusal::kCenterburstFirst3, {}, 0, 0}};
  // A phase resolution finer than the longest piece gives is refused, not taken coarser.
  const double finest = 1.0 / (is * (req.wlref / req.sampr));
  if (req.controls.phase_resolution > 0.0 && finest > req.controls.phase_resolution) {
    return {values::Refused{values::Refusal::kSettingRefused,
                            "--phase-resolution " +
                                report::shortest_text(req.controls.phase_resolution) +
                                " cm-1 needs a phase piece of more than " +
                                std::to_string(2 * kMaxPhaseHalf) +
                                " points; the finest is " + report::rounded_up_text(finest, 6) + " cm-1",
                            0, 0}};
  }
  const int k = floor_log2(is);
  const int istart = req.jmax - is;
  const int npts = req.npts;

  // The symmetric piece; samples outside the record are zero.
  for (int t = 1; t <= 2 * is; ++t) {
    const int index = istart + t - 1;
    at(ws.xin, t) = (index >= 1 && index <= npts) ? at(ws.yin, index) : 0.0;
  }
  const double phase_resolution = 1.0 / ((is / req.sampr) * req.wlref);
  console_then_log(report, kPhaseReport, {2 * is, phase_resolution});

  for (int i = 1; i <= 2 * is; ++i) {
    at(ws.xin, i) *= 1.0 - std::abs(i - is - 1) / static_cast<double>(is);
  }
  for (int m = 1; m <= is; ++m) {
    at(ws.work, m) = {at(ws.xin, is + m), 0.0};
    at(ws.work, is + m) = {at(ws.xin, m), 0.0};
  }
  ws.fft.CFFT(ws.work.first(static_cast<std::size_t>(2 * is)), k + 1, 2 * is, 1);

  const double xstep = req.wlref / req.sampr;
  const double fmax = 1.0 / (2.0 * xstep);
  // The exact grid takes the piece's bins 0..is at their own wavenumbers k / (2 is xstep).
  const bool exact = req.controls.exact_grid;
  const int points = exact ? is + 1 : is;
  const double delta = exact ? fmax / is : fmax / (is - 1);
  const bool signed_phase = req.controls.phase == PhaseMode::kMertzSigned;
  PhaseTables& p = ws.phase;
  for (int i = 1; i <= points; ++i) {
    const Complex c = at(ws.work, i);
    const std::size_t j = static_cast<std::size_t>(i) - 1;
    p.magnitude[j] = std::sqrt(c.re * c.re + c.im * c.im);
    p.angle[j] = std::atan2(c.im, c.re);
    if (signed_phase) p.angle[j] = folded(p.angle[j]);
    p.sine[j] = std::sin(p.angle[j]);
    p.cosine[j] = std::cos(p.angle[j]);
    p.abscissa[j] = (i - 1) * delta;
  }
  report.log(kPhaseGrid, {xstep, fmax, delta});
  return {std::nullopt, is, points, 0.0, delta, phase_resolution};
}

PhaseOutcome stored_phase_tables(const PathRequest& req, PathStorage& ws) {
  using values::Refusal;
  const values::StoredPhase& stored = *req.controls.stored;
  const int is = phase_half(req);
  if (is < 4) return {values::Refused{Refusal::kCenterburstFirst3, {}, 0, 0}};
  auto refuse = [](std::string why) {
    return PhaseOutcome{values::Refused{Refusal::kStoredPhase, "stored phase: " + why, 0, 0}};
  };
  const double wref = 1.0 / req.wlref;
  if (stored.laser && !(std::fabs(*stored.laser - wref) <= 1e-9 * wref)) {
    return refuse("measured with the laser at " + fixed_text(*stored.laser, 4) +
                  " cm-1, this record's is " + fixed_text(wref, 4) + " cm-1");
  }
  const int n = static_cast<int>(stored.angle.size());
  if (n < 3 || n > PhaseTables::kCapacity) {
    return refuse(std::to_string(n) + " points; 3 to " + std::to_string(PhaseTables::kCapacity) +
                  " are needed");
  }
  const double xstep = req.wlref / req.sampr;
  const double fmax = 1.0 / (2.0 * xstep);
  const double last = stored.first + (n - 1) * stored.step;
  // phase_correct takes a last point short of fmax by its tolerance. A phase that states no
  // laser (a .phz file) ends at the fmax of the run that wrote it, which must be this one's.
  const bool ends_there = std::fabs(last - fmax) <= 1e-6 * fmax;
  if (!(stored.step > 0.0) || !(stored.first <= 0.0) || !(last >= fmax * (1.0 - 1e-9)) ||
      (!stored.laser && !ends_there)) {
    return refuse("it covers " + fixed_text(stored.first, 4) + " to " + fixed_text(last, 4) +
                  " cm-1, this record's spectrum 0 to " + fixed_text(fmax, 4) +
                  " cm-1 (another laser or sampling factor)");
  }
  PhaseTables& p = ws.phase;
  for (int i = 0; i < n; ++i) {
    const auto j = static_cast<std::size_t>(i);
    p.abscissa[j] = stored.first + i * stored.step;
    p.angle[j] = stored.angle[j];
    p.magnitude[j] = 0.0;
    p.sine[j] = std::sin(p.angle[j]);
    p.cosine[j] = std::cos(p.angle[j]);
  }
  return {std::nullopt, is, n, stored.first, stored.step, 1.0 / (is * xstep)};
}

double load_weighted_record(std::span<const double> record, int istart, int is, int lnum,
                            std::span<const double> weight, std::span<Complex> load) {
  const int npts = static_cast<int>(record.size());
  const int knt = lnum + is;
  const int lknt = 2 * lnum;
  assert(load.size() == static_cast<std::size_t>(lknt) &&
         weight.size() >= static_cast<std::size_t>(knt));
  const int wrapped = std::min(is, lnum);
  // The zeros between, load(lnum + 1 .. lknt - wrapped): two of them beside each pair of
  // points below (stores that cost nothing next to the energy's chain of adds), the rest
  // at the end.
  Complex* zeros = load.data() + lnum;
  Complex* const zeros_end = load.data() + (lknt - wrapped);
  double e = 0.0;
  const double ramp_length = 2 * is + 1;
  // Point t's term f * value^2; the caller adds it to the sum, which then stays in a register.
  auto point = [&](int t) {
    const int index = istart + t - 1;
    double value =
        (index >= 1 && index <= npts) ? record[static_cast<std::size_t>(index) - 1] : 0.0;
    const double ramp = t <= 2 * is ? t / ramp_length : 1.0;
    value = value * ramp * weight[static_cast<std::size_t>(t) - 1];
    if (t > is) {
      load[static_cast<std::size_t>(t - is) - 1] = {value, 0.0};
    } else if (t > is - wrapped) {
      load[static_cast<std::size_t>(lknt - is + t) - 1] = {value, 0.0};
    }
    const double f = (t == 1 || t == knt) ? 0.5 : 1.0;
    return f * (value * value);
  };
  // The ramp, the first point, and up to where the record starts.
  int t = 1;
  const int first_plain = std::max(2 * is + 1, 2 - istart);
  for (; t < first_plain && t <= knt; ++t) e += point(t);
  // Past the ramp, up to the record's end and short of the last point (its factor is 0.5),
  // in one vector pass: the ramp and the factor f are then 1.0, and multiplying by 1.0
  // changes no bit, so value * weight and value * value remain; the energy still takes one
  // point after the other.
  const int last_pair = std::min(knt - 1, npts - istart + 1);  // index = istart + t - 1 <= npts
  if (t <= last_pair) {
    const auto count = static_cast<std::size_t>(last_pair - t + 1);
    const auto zero_count = std::min(static_cast<std::size_t>(zeros_end - zeros), count);
    double* const doubles = &load.data()->re;
    e = simd::weigh_and_load(record.data() + (istart + t - 2), weight.data() + (t - 1), count, e,
                             doubles + 2 * (t - is - 1), doubles + 2 * (zeros - load.data()),
                             zero_count);
    zeros += zero_count;
    t = last_pair + 1;
  }
  for (; t <= knt; ++t) e += point(t);
  // All bytes zero are +0.0 in both parts.
  std::memset(static_cast<void*>(zeros), 0,
              static_cast<std::size_t>(zeros_end - zeros) * sizeof(Complex));
  return e;
}

double phase_correct(const PhaseTables& p, int is, double fmax, double delta, int lnum,
                     std::span<const Complex> work, std::span<double> yin, Lagint& lagint) {
  const double* xa = p.abscissa.data();
  const double last_abscissa = xa[static_cast<std::size_t>(is) - 1];
  std::size_t j = 0;  // 0-based start of the three-point window
  double energy = 0.0;
  // Point i's term f * y^2; the caller adds it to the sum, which then stays in a register.
  auto point = [&](int i) {
    const double x = (i - 1) * delta;
    while (!(xa[j] <= x && x <= xa[j + 2])) {
      if (j + 3 == static_cast<std::size_t>(is) && x > last_abscissa &&
          x - last_abscissa <= kGridEndTolerance * fmax) {
        break;
      }
      ++j;
      if (j + 3 > static_cast<std::size_t>(is)) throw OutsidePhaseGrid{};
    }
    const auto [s, c] = lagint(1, x, 3, &xa[j], &p.sine[j], &p.cosine[j]);
    const Complex value = work[static_cast<std::size_t>(i) - 1];
    const double y = value.re * c + value.im * s;
    yin[static_cast<std::size_t>(i) - 1] = y;
    const double f = (i == 1 || i == lnum) ? 0.5 : 1.0;
    return f * (y * y);
  };
  // The first and the last point go through LAGINT as they are (the last leaves its bracket
  // remembered). Between them, runs of points that lie in the current window on the same
  // side of its middle abscissa go through simd::phase_run, several to a register. For
  // every point of a run LAGINT takes the same two table points a and b: the window's first
  // two when x lies below the middle, its last two otherwise. It returns (0.0 + ya(a) * pa)
  // + ya(b) * pb with the factors pa = 1.0 * ((x - b) / (a - b)) and pb = 1.0 * ((x - a) /
  // (b - a)) (see Lagint): phase_run does the same operations in the same order, leaving
  // out the products by 1.0 (the factors' start, and f), which change no bit.
  energy += point(1);
  int i = 2;
  const double* re_im = &work.data()->re;
  while (i + 1 < lnum) {
    const double x0 = (i - 1) * delta;
    const double x1 = i * delta;
    const double middle = xa[j + 1];
    const double end = xa[j + 2];
    // x0 >= xa(j) holds already: x0 is not below the point before it.
    if (!(x1 <= end && (middle > x1 || !(middle > x0)))) {
      energy += point(i);
      ++i;
      continue;
    }
    // The run: below the middle it ends there, above it at the window's end.
    const bool below = middle > x0;
    const std::size_t k = below ? j : j + 1;
    const simd::PhaseRun run{xa[k],       xa[k + 1],       p.sine[k], p.sine[k + 1],
                             p.cosine[k], p.cosine[k + 1], below,     below ? middle : end,
                             delta};
    i = simd::phase_run(run, i, lnum, re_im, yin.data(), energy);
  }
  for (; i <= lnum; ++i) energy += point(i);
  return energy;
}

PathOutcome mertz_transform(report::Report& report, const PathRequest& req, double& res,
                            const PhaseOutcome& phase, PathStorage& ws) {
  using values::Refusal;
  const DegenerateSkip skip(res);
  const int npts = req.npts;
  const int jmax = req.jmax;
  const int is = phase.is;
  const double xstep = req.wlref / req.sampr;
  const double fmax = 1.0 / (2.0 * xstep);

  // Transform length: the power of two nearest below the points after the centerburst,
  // or the next one up when the record is more than about 7 % longer.
  const int istart = jmax - is;
  const int iuse = npts - jmax + 1;
  const double cc = std::log(static_cast<double>(iuse)) / std::log(2.0);
  int icc = static_cast<int>(cc);
  const double dd = cc - icc;
  report.log(kLengthDiagnostic, {istart, jmax, iuse, is, icc, cc, dd});
  if (dd > 0.1) {
    ++icc;
    console_then_log(report, kZeroFilling, {pow2(icc), iuse});
  }
  if (req.ipow2 == 1 && req.npow < icc) icc = req.npow;
  int lnum = pow2(icc);
  report.log(kLnum, {icc, lnum});
  double opd = (lnum / req.sampr) * req.wlref;
  const double opdmax = (iuse / req.sampr) * req.wlref;
  const double r = 1.0 / opd;
  const double rmax = 1.0 / opdmax;
  report.log(kOpd, {opd, opdmax, r, rmax});

  // Shorten the transform to the requested resolution.
  if (req.ires == 1 && r <= res) {
    const double m = std::trunc(std::log(res / r) / std::log(2.0));
    if (!(m < icc)) return skip(Refusal::kFewTransformPoints);
    icc -= static_cast<int>(m);
    lnum = pow2(icc);
    opd = 1.0 / res;
  }
  if (icc < 1) return skip(Refusal::kFewTransformPoints);
  res = 1.0 / opd;
  // Zero filling: F times the points, those past the classic length zero (the record is
  // loaded only up to there, and the window keeps its width opd).
  const Controls& controls = req.controls;
  const int fill = std::max(controls.zero_fill, 1);
  const int used = lnum;  // points after the centerburst that the transform takes
  const int used_exponent = icc + 1;
  if (fill > 1) {
    const long long filled = static_cast<long long>(lnum) * fill;
    if (2 * filled > static_cast<long long>(ws.work.size()) ||
        filled + 1 > static_cast<long long>(ws.yin.size()) ||
        2 * filled > static_cast<long long>(ws.fill_work.size())) {
      return skip(Refusal::kTooManyPoints);
    }
    lnum = static_cast<int>(filled);
    icc += floor_log2(fill);
  }
  console_then_log(report, kResolution, {res, lnum});
  const int iend = jmax + lnum - 1;
  report.log(kEnds, {istart, lnum, iend});

  // The shifted record: its point t (1..knt) is yin(istart + t - 1), zero outside the
  // record, so that the centerburst is point is + 1.
  const int knt = iend - istart + 1;
  report.log(kKnt, {knt});
  const int ipeak = is + 1;
  const int lexp = icc + 1;
  const int lknt = 2 * lnum;
  report.log(kLoad, {ipeak, lexp, lknt, is});

  // One pass shifts, weights and loads the record. The weight: the Mertz ramp over the
  // double-sided part, the window after the centerburst only (at x = (t - is - 1) * xstep,
  // kept from the previous file when it fits). The energy of the weighted record is summed
  // in order. The load: the centerburst and what follows first, the points before it
  // wrapped to the end (only as many as the first half can take), zeros between. Zero
  // filling loads the unfilled record and transforms it padded, by sub-transforms.
  const int load_knt = used + is;
  const std::span<const double> weight = ws.window.weights(req.iapod, is, xstep, opd, load_knt);
  const std::span<Complex> load =
      fill > 1 ? ws.fill_work.first(static_cast<std::size_t>(2 * used))
               : ws.work.first(static_cast<std::size_t>(lknt));
  double e = load_weighted_record(ws.yin.first(static_cast<std::size_t>(npts)), istart, is, used,
                                  weight, load);
  e = e * xstep;
  report.log(kIpoint, {is + lnum});
  report.log(kFftArguments, {lknt, lexp, 1});
  if (fill > 1) {
    // The load's zeros lie between the points after the centerburst and those wrapped.
    const int wrapped = std::min(is, used);
    zero_filled_cfft(ws.fft, ws.fill_work, used_exponent, fill, used, 2 * used - wrapped,
                     ws.work.first(static_cast<std::size_t>(lknt)), ws.fill_twiddles);
  } else {
    ws.fft.CFFT(ws.work.first(static_cast<std::size_t>(lknt)), lexp, lknt, 1);
  }

  // The classic grid: lnum points from 0 to exactly fmax; the exact grid: the transform's
  // bins 0..lnum at k / (lknt * xstep).
  const bool exact = controls.exact_grid;
  const double delta = exact ? fmax / lnum : fmax / (lnum - 1);
  const int count = exact ? lnum + 1 : lnum;
  report.log(kGrid, {fmax, delta});

  // Phase correction: the sine and cosine of the phase, each interpolated linearly in a
  // three-point window of the phase table, rotate every value back onto the real axis.
  // The spectrum's energy is summed on the way, in the same order as trapezoid_energy.
  double energy = 0.0;
  if (controls.phase == PhaseMode::kPower || controls.phase == PhaseMode::kMagnitude) {
    energy = magnitude_spectrum(ws.work, ws.yin, count);
  } else {
    try {
      energy = phase_correct(ws.phase, phase.points, fmax, delta, count, ws.work, ws.yin,
                             ws.lagint);
    } catch (const OutsidePhaseGrid&) {
      return skip(Refusal::kPhaseGrid);
    }
  }
  // With zero filling the energy is that of the unfilled transform's points, on its step.
  double e2 = delta * energy;
  if (fill > 1) e2 = unfilled_energy(ws.yin, fmax, used, exact, fill);
  PathOutcome facts;
  facts.delta = delta;
  facts.res = res;
  facts.lnum = count;
  facts.energy = e;
  return scaled_spectrum(skip, req, ws, facts, e2);
}

}  // namespace ftir::transform
