// What the two transform paths share: the request they work on, views of the run's
// working storage, and how a file ends.
#pragma once

#include <cassert>
#include <cstddef>
#include <memory>
#include <optional>
#include <span>

#include "report/report.h"
#include "transform/complex.h"
#include "transform/fft.h"
#include "transform/fixed_array.h"
#include "transform/lagint.h"
#include "transform/windows.h"
#include "transform/zero_fill.h"
#include "values/refusal.h"
#include "values/stored_phase.h"

namespace ftir::transform {

// The phase of a single-sided record on its coarse grid (elements 0..is-1 in use).
struct PhaseTables {
  static constexpr int kCapacity = 10000;
  FixedArray<double> abscissa{kCapacity};  // cm-1
  FixedArray<double> angle{kCapacity};     // radians
  FixedArray<double> magnitude{kCapacity};
  FixedArray<double> sine{kCapacity};
  FixedArray<double> cosine{kCapacity};
};

// The apodization weights of a path, w(i) = apodization_weight(iapod, (i - center - 1) *
// xstep, xmax) for i = 1..count, kept from one file to the next: the files of a batch
// mostly share their geometry, and then no weight is evaluated twice in a run.
class WindowTable {
 public:
  explicit WindowTable(int capacity) : w_(static_cast<std::size_t>(capacity)) {}
  // w(1..count), 0-based, for count at most the capacity; evaluates only the weights not
  // kept from an earlier call with the same iapod, center, xstep and xmax (bit for bit).
  std::span<const double> weights(int iapod, int center, double xstep, double xmax, int count);

 private:
  FixedArray<double> w_;
  int iapod_ = 0;
  int center_ = 0;
  double xstep_ = 0.0;
  double xmax_ = 0.0;
  int count_ = 0;  // weights 1..count_ hold for the four values above
};

// The run's working storage as the paths see it; all of it is owned by the driver and
// made once per run.
struct PathStorage {
  std::span<double> xin;
  std::span<double> yin;
  std::span<Complex> work;
  PhaseTables& phase;
  Fft& fft;
  Title& title;
  Lagint& lagint;
  std::span<unsigned char> io;  // the bytes of `work`: free only outside the transform's use
  WindowTable& window;
  // Zero filling: the unfilled load and the sub-transforms, and the twiddles of the length.
  std::span<Complex> fill_work;
  FillTwiddles& fill_twiddles;
};

// How a path removes the phase. kClassic: Mertz on the single-sided path, the magnitude on
// the double-sided path. kMertz: the phase of the short piece around the centerburst,
// interpolated, rotates each value onto the real axis (on either path); kMertzSigned: the
// same with that phase folded into [-pi/2, pi/2], so that a band turned by pi keeps its
// negative sign. kPower and kMagnitude: |X| of the complex spectrum, on either path.
// kStored: Mertz with a stored phase in place of the piece's.
enum class PhaseMode { kClassic, kMertz, kMertzSigned, kPower, kMagnitude, kStored };

// What a path is asked beyond red.dat's run parameters; the defaults are the classic rules.
struct Controls {
  // F: the transform is F times the length the classic rule gives, the points beyond the
  // record's used part zero; the spectrum's energy is taken on every F-th point, so that
  // filling interpolates and leaves the scale alone. 0: the classic rule.
  int zero_fill = 0;
  // The phase piece's half-length: the smallest power of two N, 4 <= N <= kMaxPhaseHalf,
  // with 1 / (N * xstep) <= phase_resolution (cm-1); 0: the classic piece.
  double phase_resolution = 0.0;
  PhaseMode phase = PhaseMode::kClassic;
  const values::StoredPhase* stored = nullptr;  // kStored: the phase removed
  // Point k (0-based) of a transform of N points at k / (N * xstep), k = 0..N/2; false:
  // the classic grid, N/2 points from 0 to exactly fmax.
  bool exact_grid = false;
};

// The longest half of a phase piece asked for by resolution (its table then holds at most
// kMaxPhaseHalf + 1 points).
inline constexpr int kMaxPhaseHalf = 8192;

// The run parameters a path reads, and the record it works on. Built from named fields.
struct PathRequest {
  double sampr = 0.0;
  double wlref = 0.0;
  int iapod = 0;
  int ipow2 = 0;
  int npow = 0;
  int ires = 0;
  double wlow = 0.0;
  double whigh = 0.0;
  int npts = 0;  // samples in yin[0..npts-1], mean removed
  int jmax = 0;  // 1-based index of the centerburst
  Controls controls = {};
};

// A spectrum as a path leaves it in the storage: `points` values at xin(1..points),
// yin(1..points), on the grid x = (i - 1) * delta, scaled and cut to the requested range.
// `refused` is set when the record yields none (then only the facts found so far hold).
struct PathOutcome {
  std::optional<values::Refused> refused;
  int points = 0;
  double delta = 0.0;   // grid step, cm-1
  double res = 0.0;     // the resolution the spectrum's header states, cm-1
  int lnum = 0;         // transform points before the range cut
  double energy = 0.0;  // interferogram energy E
  double peak = 0.0;    // largest finite magnitude of the values kept
};

// The phase of a record: `points` points of ws.phase on first, first + delta, ... cm-1;
// `is`, the half-length of the piece the single-sided path weights with the Mertz ramp.
struct PhaseOutcome {
  std::optional<values::Refused> refused;
  int is = 0;
  int points = 0;
  double first = 0.0;
  double delta = 0.0;
  double resolution = 0.0;  // the phase piece's resolution, cm-1
};

// Refuses a degenerate record: gives the run's resolution request back the value it had
// when the file began.
class DegenerateSkip {
 public:
  explicit DegenerateSkip(double& res) : res_(res), res_before_(res) {}
  PathOutcome operator()(values::Refusal r) const {
    res_ = res_before_;
    return {values::Refused{r, {}, 0, 0}};
  }

 private:
  double& res_;
  double res_before_;
};

// The end both paths share, on a spectrum yin(1..lnum) at x = (i - 1) * facts.delta: the
// window's title, then, unless the energies refuse it (e2, the spectrum's energy, zero:
// kNoSignal; either not finite: kTooLarge, both through `skip`), the scale e / e2 and the
// range cut. `facts` holds delta, res, lnum and energy; the outcome adds the points kept
// and their peak, or kEmptyRange when none is.
PathOutcome scaled_spectrum(const DegenerateSkip& skip, const PathRequest& req, PathStorage& ws,
                            PathOutcome facts, double e2);

}  // namespace ftir::transform

namespace ftir::transform {

// Element i (1-based, as the program's printed indices) of an array.
inline double& at(std::span<double> a, int i) {
  assert(i >= 1 && static_cast<std::size_t>(i) <= a.size());
  return a[static_cast<std::size_t>(i) - 1];
}
inline Complex& at(std::span<Complex> a, int i) {
  assert(i >= 1 && static_cast<std::size_t>(i) <= a.size());
  return a[static_cast<std::size_t>(i) - 1];
}

// The energy of the spectrum a zero-filled transform would have had unfilled: its `used`
// points (used + 1 on the exact grid), every `fill`-th of y, f * (y * y) summed in index
// order (f = 0.5 at both ends), times the unfilled grid's step fmax / (used - 1) (exact:
// fmax / used).
double unfilled_energy(std::span<const double> y, double fmax, int used, bool exact_grid,
                       int fill);

// 2^k for 0 <= k <= 30.
inline int pow2(int k) {
  assert(k >= 0 && k <= 30);
  return 1 << k;
}

// The largest k with 2^k <= value, for value >= 1, found exactly in integers.
int floor_log2(int value);

// The trapezoidal sum of squares: f * (y * y) added in index order over y(1..count), with
// f = 0.5 at both ends and 1.0 between.
double trapezoid_energy(std::span<const double> y, int count);

// The magnitude spectrum |work(i)| into yin(i), i = 1..count; returns its trapezoid_energy.
double magnitude_spectrum(std::span<const Complex> work, std::span<double> yin, int count);

// The last steps of both paths on a spectrum yin(1..lnum) whose point i lies at
// x = (i - 1) * delta: keeps the points with wlow <= x <= whigh, scanning in order and
// stopping at the first point above whigh, and stores them from the front, xin(ii) = x and
// yin(ii) = yin(i) * scale (the energy ratio; the points dropped need no scaling). Returns
// ii, the number kept. With `ymax` given, it receives the largest spcfile::finite_magnitude
// of the values kept (0 when none), from which spcfile::spectrum_exponent gives the writer's
// exponent without another pass over the spectrum.
int scale_and_cut(std::span<double> xin, std::span<double> yin, int lnum, double delta,
                  double scale, double wlow, double whigh, double* ymax = nullptr);

}  // namespace ftir::transform
