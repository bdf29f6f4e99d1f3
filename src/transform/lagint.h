// LAGINT: polynomial interpolation of degree m in an ascending table.
#pragma once

namespace ftir::transform {

// Keeps the bracket index of its previous call (0 before the first), which it falls back
// on when no bracket qualifies (x not a number, or a table that does not ascend), brought
// into the range of the current table; one object lives for the whole run.
class Lagint {
 public:
  // Interpolates at x in the table xa[0..n-1], ya[0..n-1] with the m + 1 points around
  // x's bracket (the first or last m + 1 outside the table), in Lagrange form.
  // Needs 0 <= m < n and n >= 2.
  double operator()(int m, double x, int n, const double* xa, const double* ya);
  // The bracket index k of the last call, numbered from 1 like the table (0 before any).
  int bracket() const { return k_; }

 private:
  int k_ = 0;
};

}  // namespace ftir::transform
