// Steps the two transform paths share.
#include "transform/path.h"

namespace ftir::transform {

int floor_log2(int value) {
  assert(value >= 1);
  int k = 0;
  while (value >= 2) {
    value /= 2;
    ++k;
  }
  return k;
}

double trapezoid_energy(std::span<const double> y, int count) {
  double sum = 0.0;
  for (int i = 0; i < count; ++i) {
    const double f = (i == 0 || i == count - 1) ? 0.5 : 1.0;
    sum += f * (y[static_cast<std::size_t>(i)] * y[static_cast<std::size_t>(i)]);
  }
  return sum;
}

int cut_range(std::span<double> xin, std::span<double> yin, int lnum, double wlow, double whigh) {
  int ii = 0;
  for (int i = 1; i <= lnum; ++i) {
    if (at(xin, i) < wlow) continue;
    if (at(xin, i) > whigh) break;
    ++ii;
    at(xin, ii) = at(xin, i);
    at(yin, ii) = at(yin, i);
  }
  return ii;
}

}  // namespace ftir::transform
