// LAGINT: polynomial interpolation of degree m in an ascending table.
#pragma once

namespace ftir::transform {

// Keeps the bracket index of its previous call (0 before the first), which it falls back
// on when no bracket qualifies; one object lives for the whole run.
class Lagint {
 public:
  // Interpolates at x in the table xa[0..n-1], ya[0..n-1] with the m + 1 points around
  // x's bracket (the first or last m + 1 outside the table), in Lagrange form.
  double operator()(int m, double x, int n, const double* xa, const double* ya);
  int bracket() const { return k_; }

 private:
  int k_ = 0;
};

}  // namespace ftir::transform
