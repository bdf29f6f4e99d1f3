// What the two transform paths share: the request they work on, views of the run's
// working storage, and how a file ends.
#pragma once

#include <cassert>
#include <span>
#include <string_view>
#include <vector>

#include "report/clock.h"
#include "report/report.h"
#include "transform/complex.h"
#include "transform/fft.h"
#include "transform/lagint.h"
#include "transform/windows.h"

namespace ftir::transform {

// The phase of a single-sided record on its coarse grid (elements 0..is-1 in use).
struct PhaseTables {
  static constexpr int kCapacity = 10000;
  std::vector<double> abscissa = std::vector<double>(kCapacity);  // cm-1
  std::vector<double> angle = std::vector<double>(kCapacity);     // radians
  std::vector<double> magnitude = std::vector<double>(kCapacity);
  std::vector<double> sine = std::vector<double>(kCapacity);
  std::vector<double> cosine = std::vector<double>(kCapacity);
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
  std::span<unsigned char> io;
};

// The run parameters a path reads, and the file it works on.
struct PathRequest {
  double sampr = 0.0;
  double wlref = 0.0;
  int iapod = 0;
  int ipow2 = 0;
  int npow = 0;
  int ires = 0;
  int iphase = 0;
  double wlow = 0.0;
  double whigh = 0.0;
  std::string_view outdir;  // 40 characters
  std::string_view fname;   // 40 characters
  double spare1 = 0.0;      // from the reader, carried into every file written
  int npts = 0;             // samples in yin[0..npts-1], mean removed
  int jmax = 0;             // 1-based index of the centerburst
};

// How the work on a file ended: its spectrum was written, or it was skipped (the
// " Skipped" line has been reported).
enum class PathResult { kWritten, kSkipped };

// What the paths need from the outside world.
struct PathContext {
  report::Report& report;
  const report::Clock& clock;
};

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

// Keeps the points with wlow <= xin(i) <= whigh, scanning in order and stopping at the
// first point above whigh; moves them to the front and returns how many were kept.
int cut_range(std::span<double> xin, std::span<double> yin, int lnum, double wlow, double whigh);

}  // namespace ftir::transform
