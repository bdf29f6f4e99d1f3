// CFFT: in-place radix-2 decimation-in-time complex FFT, unscaled.
#pragma once

#include <span>
#include <vector>

#include "transform/complex.h"

namespace ftir::transform {

// Holds the twiddle storage of the fast transform; made once per run.
class Fft {
 public:
  static constexpr int kMaxPoints = 1 << 19;
  Fft();

  // CFFT: data[0..nb-1] becomes sum_j data[j] * exp(-ndir * 2*pi*i * j*k / nb), with
  // nb = 2^n (0 <= n <= 19) and ndir +1 or -1. Every output double equals, bit for bit,
  // that of the plain algorithm (plain_cfft): bit reversal, then stages whose twiddle
  // runs by the recurrence u = u * w.
  void CFFT(std::span<Complex> data, int n, int nb, int ndir);

 private:
  // Fills the stage tables 1..n for direction ndir unless they already hold them.
  void make_twiddles(int n, int ndir);
  // Stages 1..a of every block of 2^a consecutive points.
  void block_stages(Complex* data, int nb, int a);
  // Stages a+1..n: each set of points equal modulo 2^a, several neighbouring sets at once.
  void column_stages(Complex* data, int n, int a);

  // Stage l's twiddles u_k = w^k (k = 0..le1-1, le1 = 2^(l-1)), as the recurrence makes
  // them: real parts at 2*(le1-1), imaginary parts right after.
  std::vector<double> twiddles_;
  int twiddle_stages_ = 0;  // stages 1..twiddle_stages_ are filled ...
  int twiddle_ndir_ = 0;    // ... for this direction
  std::vector<double> block_;    // one block in split form: real parts, then imaginary
  std::vector<double> columns_;  // the column buffer in split form
  std::vector<Complex> tiles_;   // two tiles of the bit-reversal permutation
};

// The algorithm as written: stage, then jj, then i. The reference the fast routine is
// tested against; slow for large nb.
void plain_cfft(std::span<Complex> data, int n, int nb, int ndir);

}  // namespace ftir::transform
