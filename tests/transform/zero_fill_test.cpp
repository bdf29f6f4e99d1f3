// Zero filling by sub-transforms against a direct DFT of the padded record.
#include "transform/zero_fill.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace ftir::transform {
namespace {

TEST(ZeroFill, SubTransformsGiveTheDftOfThePaddedRecord) {
  Fft fft;
  FillTwiddles twiddles(1024);
  for (const int m : {1, 3, 6}) {
    for (const int fill : {2, 4, 16}) {
      const int points = 1 << m;
      const int length = fill * points;
      for (const int split : {points / 2, points}) {  // the points from split on wrap
        SCOPED_TRACE(testing::Message() << "M " << points << " F " << fill << " split " << split);
        // Zeros in the load from gap = split / 2 to split; the padded record holds the points
        // from `split` on at its end, zeros between.
        const int gap = split / 2;
        std::vector<Complex> load(static_cast<std::size_t>(points));
        std::vector<Complex> padded(static_cast<std::size_t>(length), Complex{0.0, 0.0});
        for (int n = 0; n < points; ++n) {
          const Complex v = n >= gap && n < split
                                ? Complex{0.0, 0.0}
                                : Complex{std::sin(1.0 + 0.7 * n), std::cos(0.3 * n * n)};
          load[static_cast<std::size_t>(n)] = v;
          padded[static_cast<std::size_t>(n < split ? n : n + length - points)] = v;
        }
        std::vector<Complex> unfilled(load);
        fft.CFFT(unfilled, m, points, 1);
        std::vector<Complex> work(static_cast<std::size_t>(length));
        std::copy(load.begin(), load.end(), work.begin());
        const Complex untouched{-7.0, 7.0};
        std::vector<Complex> out(static_cast<std::size_t>(length), untouched);
        zero_filled_cfft(fft, work, m, fill, gap, split, out, twiddles);
        for (int k = length / 2 + 1; k < length; ++k) {  // bins past the middle are not made
          ASSERT_EQ(out[static_cast<std::size_t>(k)].re, untouched.re) << k;
        }
        for (int k = 0; k <= length / 2; ++k) {
          double re = 0.0, im = 0.0;  // sum_j x_j exp(-2 pi i j k / L)
          for (int j = 0; j < length; ++j) {
            const int jk = (j * k) % length;  // j k < 2^20
            const double a = -2.0 * 3.141592653589793 * jk / length;
            const Complex x = padded[static_cast<std::size_t>(j)];
            re += x.re * std::cos(a) - x.im * std::sin(a);
            im += x.re * std::sin(a) + x.im * std::cos(a);
          }
          const Complex got = out[static_cast<std::size_t>(k)];
          ASSERT_NEAR(got.re, re, 1e-12 * points) << k;
          ASSERT_NEAR(got.im, im, 1e-12 * points) << k;
          if (k % fill == 0) {  // the unfilled transform's points, bit for bit
            const Complex same = unfilled[static_cast<std::size_t>(k / fill)];
            ASSERT_EQ(got.re, same.re);
            ASSERT_EQ(got.im, same.im);
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace ftir::transform
