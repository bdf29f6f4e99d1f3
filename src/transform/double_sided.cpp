// The double-sided path. Every step keeps the program's order of operations, so that the
// written spectrum agrees bit for bit with any faithful implementation.
#include "transform/double_sided.h"

#include "transform/single_sided.h"

#include <algorithm>
#include <cmath>

namespace ftir::transform {
namespace {

constexpr std::string_view kSideDiagnostic =
    "(' res=',F10.5,/,' ilong=',I10,/,' ishort=',I10,/,' ics=',I10,/,' iss=',I10)";
constexpr std::string_view kBestPossible = "(' Best possible resolution = ',F10.5)";
constexpr std::string_view kAdjustment =
    "(' Reqested resolution (',F7.4,') exceeds what is ',/,'  possible with this "
    "interferogram.  Resolution will be adjusted',/,' to best possible resolution (',F7.4,')')";
constexpr std::string_view kSegmentDiagnostic =
    "(/,' res=',F15.5,/,' opdmax=',D15.8,/,' csx=',D15.8,/,' icxsl=',I10,/,' it=',I10)";
constexpr std::string_view kLoadDiagnostic = "(' l=',I10,' ksort=',I10)";
constexpr std::string_view kTransformSize =
    "(' Number of transform points=',I10,/,' power of 2',I10,/,' calculated number of "
    "points=',I10)";
constexpr std::string_view kGridDiagnostic =
    "(' xstep=',D15.8,/,' fmax=',D15.8,/,' lnum=',I10,/,' delta=',D15.8)";
constexpr std::string_view kGridEnds = "(' lnum, xin(1), xin(lnum)=',I10,2F15.6)";

}  // namespace

PathOutcome double_sided(report::Report& report, const PathRequest& req, double& res,
                         PathStorage& ws, const PhaseOutcome* phase) {
  using values::Refusal;
  const DegenerateSkip skip(res);
  const int npts = req.npts;
  const int jmax = req.jmax;

  // Resolution: from npow in power-of-two mode, limited by the shorter side.
  if (req.ipow2 != 0) res = req.sampr / (pow2(req.npow) * req.wlref);
  const int ilong = std::max(npts - jmax, jmax);
  const int ishort = std::min(npts - jmax, jmax);
  if (ishort == 0) return skip(Refusal::kCenterburstLast);
  int ics = floor_log2(ishort);
  int iss = pow2(ics);
  if (ishort > iss) {
    ++ics;
    iss = pow2(ics);
  }
  double opd = (ishort / req.sampr) * req.wlref;
  const double best = 1.0 / opd;
  report.log(kSideDiagnostic, {res, ilong, ishort, ics, iss});
  report.log(kBestPossible, {best});
  report.console(kBestPossible, {best});
  if (best > res) {
    report.log(kAdjustment, {res, best});
    report.console(kAdjustment, {res, best});
    res = best;
  }

  // Segment length: the largest power of two of samples that the resolution calls for.
  const double opdmax = 1.0 / res;
  const double csx = std::trunc(opdmax * req.sampr / req.wlref);
  if (!(csx >= 2.0)) return skip(Refusal::kFewSegmentSamples);
  // res is at least the best possible resolution here, so csx never exceeds ishort.
  assert(csx <= ishort);
  const int icxsl = floor_log2(static_cast<int>(csx));
  const int it = pow2(icxsl);
  report.log(kSegmentDiagnostic, {res, opdmax, csx, icxsl, it});

  // The segment, centred on the centerburst; samples outside the record are zero.
  const double xstep = req.wlref / req.sampr;
  const int istart = jmax - it;
  const int ksort = 2 * it;
  for (int t = 1; t <= ksort; ++t) {
    const int index = istart + t - 1;
    at(ws.xin, t) = (index >= 1 && index <= npts) ? at(ws.yin, index) : 0.0;
  }
  opd = 1.0 / res;
  const double resol = res;

  // Only the centerburst and the points after it are apodized. The weights, at
  // x = (i - it - 1) * xstep, are kept from the previous file when they fit.
  const std::span<const double> weight = ws.window.weights(req.iapod, it, xstep, opd, ksort);
  double e = 0.0;
  for (int i = 1; i <= ksort; ++i) {
    double& value = at(ws.xin, i);
    value = value * weight[static_cast<std::size_t>(i) - 1];
    const double f = (i == 1 || i == ksort) ? 0.5 : 1.0;
    e += f * (value * value);
  }
  e = e * xstep;

  // Rotate so that the centerburst comes first, the points before it at the end. Zero
  // filling F: the rotated segment transformed padded to F times its length, zeros between
  // its halves, by sub-transforms.
  const int fill = std::max(req.controls.zero_fill, 1);
  const long long filled = static_cast<long long>(2 * it) * fill;
  if (filled > static_cast<long long>(ws.work.size()) ||
      filled / 2 + 1 > static_cast<long long>(ws.yin.size()) ||
      filled > static_cast<long long>(ws.fill_work.size())) {
    return skip(Refusal::kTooManyPoints);
  }
  const std::span<Complex> load = fill > 1 ? ws.fill_work : ws.work;
  for (int m = 1; m <= it; ++m) {
    at(load, m) = {at(ws.xin, it + m), 0.0};
    at(load, it + m) = {at(ws.xin, m), 0.0};
  }
  const int l = static_cast<int>(filled);
  report.log(kLoadDiagnostic, {l, ksort});
  const int nb = l;
  const int n = icxsl + 1 + floor_log2(fill);
  report.log(kTransformSize, {nb, n, pow2(n)});
  if (fill > 1) {
    zero_filled_cfft(ws.fft, ws.fill_work, icxsl + 1, fill, it, it,
                     ws.work.first(static_cast<std::size_t>(nb)), ws.fill_twiddles);
  } else {
    ws.fft.CFFT(ws.work.first(static_cast<std::size_t>(nb)), n, nb, 1);
  }

  // The classic grid runs from 0 to exactly fmax in lnum points; the exact grid takes the
  // bins 0..lnum at k / (nb * xstep).
  const double fmax = 1.0 / (2.0 * xstep);
  const int lnum = nb / 2;
  const bool exact = req.controls.exact_grid;
  const double delta = exact ? fmax / lnum : fmax / (lnum - 1);
  const int count = exact ? lnum + 1 : lnum;
  report.log(kGridDiagnostic, {xstep, fmax, lnum, delta});
  auto grid = [delta](int i) { return (i - 1) * delta; };  // the wavenumber of point i
  report.log(kGridEnds, {lnum, grid(1), grid(lnum)});
  double energy = 0.0;
  if (phase != nullptr) {
    // A phase given (Mertz, signed or stored): both sides are there, so no ramp is needed.
    try {
      energy = phase_correct(ws.phase, phase->points, fmax, delta, count, ws.work, ws.yin,
                             ws.lagint);
    } catch (const OutsidePhaseGrid&) {
      return skip(Refusal::kPhaseGrid);
    }
  } else {
    energy = magnitude_spectrum(ws.work, ws.yin, count);
  }

  // Scale amplitudes by the ratio of interferogram energy to spectrum energy; with zero
  // filling, that of the unfilled transform's points on its step.
  double e2 = delta * energy;
  if (fill > 1) e2 = unfilled_energy(ws.yin, fmax, it, exact, fill);
  PathOutcome facts;
  facts.delta = delta;
  facts.res = resol;
  facts.lnum = count;
  facts.energy = e;
  return scaled_spectrum(skip, req, ws, facts, e2);
}

}  // namespace ftir::transform
