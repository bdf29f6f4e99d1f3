// CFFT: in-place radix-2 decimation-in-time complex FFT, unscaled.
#pragma once

#include <span>

#include "simd/width.h"
#include "transform/complex.h"
#include "transform/fixed_array.h"

namespace ftir::transform {

// Holds the twiddle storage of the fast transform; made once per run.
class Fft {
 public:
  static constexpr int kMaxPoints = 1 << 19;
  // The passes run in the form of `width` (which this processor must have); the result is
  // the same bit for bit, only the speed differs.
  explicit Fft(simd::Width width = simd::active_width());

  // CFFT: data[0..nb-1] becomes sum_j data[j] * exp(-ndir * 2*pi*i * j*k / nb), with
  // nb = 2^n (0 <= n <= 19) and ndir +1 or -1. Every output double equals, bit for bit,
  // that of the plain algorithm (plain_cfft): bit reversal, then stages whose twiddle
  // runs by the recurrence u = u * w.
  void CFFT(std::span<Complex> data, int n, int nb, int ndir);

 private:
  // The fast routine with W points to a register (n >= 3).
  template <int W>
  void transform(Complex* data, int n, int ndir);
  // Fills the stage tables 1..n for direction ndir unless they already hold them.
  template <int W>
  void make_twiddles(int n, int ndir);
  // Fewer than 256 points: the whole transform in one small buffer.
  template <int W>
  void small_transform(Complex* data, int n);
  // The bit-reversal permutation, tile by tile, with stages 1..4 done on each tile.
  template <int W>
  void permute_first_stages(Complex* data, int n);
  // Stages 5..min(n, 13), block by block.
  template <int W>
  void block_stages(Complex* data, int n);
  // Stages 14..n, a chunk of neighbouring columns (points equal modulo 2^13) at a time.
  template <int W>
  void column_stages(Complex* data, int n);

  simd::Width width_;

  // The twiddles u_k = w^k (k = 0..le1-1) of every stage, as the recurrence makes them.
  FixedArray<double> twiddles_;
  int twiddle_stages_ = 0;        // stages 1..twiddle_stages_ are filled ...
  int twiddle_ndir_ = 0;          // ... for this direction
  FixedArray<double> block_;      // one block of points, padded between sub-blocks
  FixedArray<double> columns_;    // one chunk of columns, padded between rows
  FixedArray<Complex> tiles_;     // the two tiles being exchanged by the permutation
  FixedArray<double> tile_work_;  // one tile during stages 1..4
};

// The algorithm as written: stage, then jj, then i. The reference the fast routine is
// tested against; slow for large nb.
void plain_cfft(std::span<Complex> data, int n, int nb, int ndir);

}  // namespace ftir::transform
