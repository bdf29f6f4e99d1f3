// Zero filling by sub-transforms (decimation in frequency by the fill factor).
#include "transform/zero_fill.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace ftir::transform {

std::span<const Complex> FillTwiddles::of(int length) {
  assert(length >= 1 && static_cast<std::size_t>(length) <= w_.size());
  if (length != length_) {
    constexpr double kTwoPi = 6.283185307179586;
    for (int j = 0; j < length; ++j) {
      const double angle = kTwoPi * j / length;
      w_[static_cast<std::size_t>(j)] = {std::cos(angle), -std::sin(angle)};
    }
    length_ = length;
  }
  return {w_.data(), static_cast<std::size_t>(length)};
}

void zero_filled_cfft(Fft& fft, std::span<Complex> work, int m, int fill, int gap, int split,
                      std::span<Complex> out, FillTwiddles& twiddles) {
  const int points = 1 << m;
  const int length = fill * points;
  assert(m >= 1 && fill >= 2 && (fill & (fill - 1)) == 0 && gap >= 0 && gap <= split &&
         split <= points);
  assert(work.size() >= static_cast<std::size_t>(length) &&
         out.size() > static_cast<std::size_t>(length / 2));
  const std::span<const Complex> w = twiddles.of(length);
  const auto block = [&](int r) {
    return work.subspan(static_cast<std::size_t>(r) * static_cast<std::size_t>(points),
                        static_cast<std::size_t>(points));
  };
  const std::span<const Complex> load = block(0);
  // Bin r of each group of `fill`: the load turned by w^(g(n) r), then transformed. The
  // exponent modulo L: n r below split (below L, as n < M and r < fill), and from there
  // (n + L - M) r = L + (n - M) r modulo L, where -L < (n - M) r < 0.
  for (int r = 1; r < fill; ++r) {
    const std::span<Complex> b = block(r);
    for (int n = 0; n < gap; ++n) {
      const auto j = static_cast<std::size_t>(n * r);
      b[static_cast<std::size_t>(n)] = mul(load[static_cast<std::size_t>(n)], w[j]);
    }
    std::fill(b.begin() + gap, b.begin() + split, Complex{0.0, 0.0});
    for (int n = split; n < points; ++n) {
      const auto j = static_cast<std::size_t>(length + (n - points) * r);
      b[static_cast<std::size_t>(n)] = mul(load[static_cast<std::size_t>(n)], w[j]);
    }
    fft.CFFT(b, m, points, 1);
  }
  // Bin 0 of each group: the load as it is, the transform of the unfilled record.
  fft.CFFT(block(0), m, points, 1);
  // The groups interleaved in one pass, so that `out` is written in order, up to bin L/2:
  // bin k * fill + r for k < M/2, then bin L/2, which is bin M/2 of group 0.
  Complex* to = out.data();
  const std::size_t size = static_cast<std::size_t>(points);
  if (fill == 2) {
    const Complex* b0 = work.data();
    const Complex* b1 = b0 + size;
    for (std::size_t k = 0; k < size / 2; ++k) {
      to[2 * k] = b0[k];
      to[2 * k + 1] = b1[k];
    }
  } else {
    for (std::size_t k = 0; k < size / 2; ++k) {
      for (std::size_t r = 0; r < static_cast<std::size_t>(fill); ++r) {
        to[k * static_cast<std::size_t>(fill) + r] = work[r * size + k];
      }
    }
  }
  out[static_cast<std::size_t>(length / 2)] = work[size / 2];
}

}  // namespace ftir::transform
