// LAGINT: polynomial interpolation of degree m in an ascending table.
#pragma once

#include <algorithm>
#include <cassert>

namespace ftir::transform {

// Two values interpolated at one x in one table.
struct LagintPair {
  double first;
  double second;
};

// Keeps the bracket index of its previous call (0 before the first), which it falls back
// on when no bracket qualifies (x not a number, or a table that does not ascend), brought
// into the range of the current table; one object lives for the whole run.
class Lagint {
 public:
  // Interpolates at x in the table xa[0..n-1], ya[0..n-1] with the m + 1 points around
  // x's bracket (the first or last m + 1 outside the table), in Lagrange form.
  // Needs 0 <= m < n and n >= 2.
  double operator()(int m, double x, int n, const double* xa, const double* ya);
  // LAGINT of two tables of values over the same abscissae, ya and yb, at the same x:
  // bit for bit what operator() for ya and then for yb returns, leaving the same bracket,
  // with one bracket search and one set of Lagrange factors for both. Inline: the
  // single-sided path calls it for every spectrum point.
  LagintPair operator()(int m, double x, int n, const double* xa, const double* ya,
                        const double* yb);
  // The bracket index k of the last call, numbered from 1 like the table (0 before any).
  int bracket() const { return k_; }

 private:
  // Finds, remembers and returns the bracket index k of x (numbered from 1).
  int find_bracket(int m, double x, int n, const double* xa);

  int k_ = 0;
};

inline int Lagint::find_bracket(int m, double x, int n, const double* xa) {
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
  return k;
}

inline LagintPair Lagint::operator()(int m, double x, int n, const double* xa, const double* ya,
                                     const double* yb) {
  // A second search for the same x in the same table would find the same bracket (or fall
  // back on the one just remembered), and the factors depend on x and xa alone.
  const int i1 = find_bracket(m, x, n, xa) - (m + 1) / 2 + 1;
  const int i2 = i1 + m;
  auto xat = [xa](int i) { return xa[i - 1]; };
  LagintPair y{0.0, 0.0};
  // Unrolled (m is 1 for the phase, two points and two factors): the loops' bookkeeping
  // cost about a third of the time of a spectrum point.
#pragma GCC unroll 4
  for (int i = i1; i <= i2; ++i) {
    double product = 1.0;
#pragma GCC unroll 4
    for (int j = i1; j <= i2; ++j) {
      if (j != i) product = product * ((x - xat(j)) / (xat(i) - xat(j)));
    }
    y.first = y.first + ya[i - 1] * product;
    y.second = y.second + yb[i - 1] * product;
  }
  return y;
}

}  // namespace ftir::transform
