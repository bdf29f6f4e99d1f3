// Zero filling by sub-transforms: a record padded to F times its length is transformed as F
// transforms of the unpadded length, each of which stays as small as the unfilled one.
#pragma once

#include <span>

#include "transform/complex.h"
#include "transform/fft.h"
#include "transform/fixed_array.h"

namespace ftir::transform {

// The twiddles w^j = exp(-2 pi i j / L), j = 0..L-1, of the last length L asked for, kept
// from one file to the next (the files of a batch mostly share their length).
class FillTwiddles {
 public:
  explicit FillTwiddles(int capacity) : w_(static_cast<std::size_t>(capacity)) {}
  // L at most the capacity.
  std::span<const Complex> of(int length);

 private:
  FixedArray<Complex> w_;
  int length_ = 0;
};

// The transform of a loaded record padded with zeros: work[0..M-1] holds the M = 2^m
// points, of which those from `split` on (the points before the centerburst, wrapped to the
// end) become the last M - split of a record of L = fill * M points, zeros between. Leaves in
// out[0..L/2] the bins up to the middle of the CFFT (ndir 1) of that record, all a spectrum
// up to fmax takes: out[fill * k + r] = sum_n load[n] w^(g(n) r) W^(n k), g(n) = n below
// split, n + L - M from there, w = exp(-2 pi i / L), W = exp(-2 pi i / M). out[fill * k] is
// CFFT(load)[k] bit for bit. out past L/2 is left as it was. load[gap..split-1] are zeros, which
// the sub-transforms take as such without turning them. work[0..L-1] is overwritten (the
// sub-transforms); fill is a power of two from 2 to 16, and M at least 2.
void zero_filled_cfft(Fft& fft, std::span<Complex> work, int m, int fill, int gap, int split,
                      std::span<Complex> out, FillTwiddles& twiddles);

}  // namespace ftir::transform
