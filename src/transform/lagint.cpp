// LAGINT: Lagrange interpolation of degree m around the bracket of x.
#include "transform/lagint.h"

namespace ftir::transform {

double Lagint::operator()(int m, double x, int n, const double* xa, const double* ya) {
  const int i1 = find_bracket(m, x, n, xa) - (m + 1) / 2 + 1;
  const int i2 = i1 + m;
  auto xat = [xa](int i) { return xa[i - 1]; };
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
