// LAGINT: Lagrange interpolation of degree m around the bracket of x.
#include "transform/lagint.h"

#include <algorithm>
#include <cassert>

namespace ftir::transform {

double Lagint::operator()(int m, double x, int n, const double* xa, const double* ya) {
  assert(m >= 0 && n >= m + 1 && n >= 2);
  // The table is numbered from 1 here, as in the algorithm.
  auto xat = [xa](int i) { return xa[i - 1]; };
  const int h = (m + 1) / 2;  // the integer part of (m + 1) * 0.5
  const int kfirst = h;
  const int klast = n - m + h - 1;
  int k = k_;
  if (xat(h + 1) > x) {
    k = kfirst;
  } else if (xat(klast) < x) {
    k = klast;
  } else {
    for (int j = h + 1; j <= klast; ++j) {
      if (xat(j) <= x && x <= xat(j + 1)) {
        k = j;
        break;
      }
    }
  }
  // No bracket qualifies only for an x that is not a number or a table that does not
  // ascend. The remembered bracket then serves, brought into this table's range: the
  // first call's 0, or one left by a larger table, would reach outside it.
  k = std::clamp(k, kfirst, klast);
  k_ = k;

  const int i1 = k - h + 1;
  const int i2 = i1 + m;
  double y = 0.0;
  for (int i = i1; i <= i2; ++i) {
    double product = 1.0;
    for (int j = i1; j <= i2; ++j) {
      if (j != i) product = product * ((x - xat(j)) / (xat(i) - xat(j)));
    }
    y = y + ya[i - 1] * product;
  }
  return y;
}

}  // namespace ftir::transform
