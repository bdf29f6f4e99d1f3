// The hot loops' forms: each against worked examples, then against the plain form bit for
// bit on lengths that leave every kind of tail, with infinities, NaNs and signed zeros in
// every lane.
#include "simd/kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "support/simd_forms.h"

namespace ftir::simd {
namespace {

using KernelTest = FormTest;

const double kInf = std::numeric_limits<double>::infinity();
const double kNan = std::numeric_limits<double>::quiet_NaN();

// Lengths with every remainder modulo 2, 4 and 8, and one long enough for the main loops.
const std::size_t kLengths[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 15, 16, 17, 31, 1003};

std::vector<double> random_values(std::size_t n, std::mt19937_64& rng, double scale = 1.0) {
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  std::vector<double> v(n);
  for (double& x : v) x = dist(rng) * scale;
  return v;
}

// Puts `value` at the `which`-th of a few positions spread over the lanes and the tail.
void plant(std::vector<double>& v, std::size_t which, double value) {
  if (!v.empty()) v[(which * 5 + which / 2) % v.size()] = value;
}

TEST_P(KernelTest, DecodeSamples) {
  // Worked examples, long enough for the main loops: 16-bit k - 4 scaled by 0.25; f32 1.5
  // up to a NaN.
  std::vector<unsigned char> i16;
  for (int k = 0; k < 19; ++k) {
    const auto v = static_cast<std::uint16_t>(static_cast<std::int16_t>(k - 4));
    i16.push_back(static_cast<unsigned char>(v & 0xFF));
    i16.push_back(static_cast<unsigned char>(v >> 8));
  }
  std::vector<double> y(19);
  double sum = 0.5;
  ASSERT_EQ(decode_samples(SampleKind::kInt16, i16.data(), 19, 0.25, y.data(), &sum, width()), 19u);
  for (int k = 0; k < 19; ++k) EXPECT_EQ(y[static_cast<std::size_t>(k)], (k - 4) * 0.25);
  EXPECT_EQ(sum, 0.5 + 23.75);  // (-4 + ... + 14) / 4
  // The halves 0x0001 and 0x0002, more significant first: 65538.
  const unsigned char old32[] = {0x01, 0x00, 0x02, 0x00};
  ASSERT_EQ(
      decode_samples(SampleKind::kInt32HighHalfFirst, old32, 1, 1.0, y.data(), nullptr, width()),
      1u);
  EXPECT_EQ(y[0], 65538.0);
  std::vector<unsigned char> f32;
  for (int k = 0; k < 11; ++k) {
    const unsigned char bits[2][4] = {{0x00, 0x00, 0xC0, 0x3F}, {0x00, 0x00, 0xC0, 0x7F}};
    f32.insert(f32.end(), bits[k == 6], bits[k == 6] + 4);  // 1.5f; a NaN at 6
  }
  std::vector<double> z(11, -7.0);
  EXPECT_EQ(decode_samples(SampleKind::kFloat32, f32.data(), 11, 1.0, z.data(), nullptr, width()),
            6u);
  EXPECT_EQ(z, (std::vector<double>{1.5, 1.5, 1.5, 1.5, 1.5, 1.5, -7.0, -7.0, -7.0, -7.0, -7.0}));

  // Against the plain form; y at every offset from a 32-byte boundary.
  std::mt19937 rng(12);
  const std::int32_t extremes[] = {INT32_MIN, INT32_MAX, 0, -1, 1, 16777217, -16777217};
  const float f32_extremes[] = {-0.0f, 1.0e-45f, -3.0e38f, 0.0f, 1.0f};
  for (SampleKind kind : {SampleKind::kInt16, SampleKind::kInt32, SampleKind::kInt32HighHalfFirst,
                          SampleKind::kFloat32}) {
    const bool floats = kind == SampleKind::kFloat32;
    // The integer kinds' factors from the smallest normal f32 to the largest that keeps
    // 2^31 times it finite in f32.
    const std::vector<double> factors =
        floats ? std::vector<double>{1.0}
               : std::vector<double>{std::ldexp(1.0, -126), std::ldexp(1.0, -31), 1.0,
                                     std::ldexp(1.0, 96)};
    for (double factor : factors) {
      for (std::size_t n : kLengths) {
        for (std::size_t offset = 0; offset < 4; ++offset) {
          SCOPED_TRACE(::testing::Message()
                       << "kind " << static_cast<int>(kind) << ", factor " << factor << ", " << n
                       << " samples, offset " << offset);
          std::vector<unsigned char> bytes(n * sample_bytes(kind));
          for (std::size_t k = 0; k < n; ++k) {
            auto bits = static_cast<std::uint32_t>(rng());
            if (floats) {
              bits &= 0xBF7FFFFFu;  // finite
              if (k % 7 == 3) bits = std::bit_cast<std::uint32_t>(f32_extremes[k / 7 % 5]);
              if (offset % 2 == 1 && k == n * 2 / 3)
                bits = 0x7F800000u | static_cast<std::uint32_t>(k % 3);
            } else if (k % 5 == 0) {
              bits = static_cast<std::uint32_t>(extremes[k / 5 % 7]);
            }
            for (std::size_t b = 0; b < sample_bytes(kind); ++b) {
              bytes[k * sample_bytes(kind) + b] = static_cast<unsigned char>(bits >> (8 * b));
            }
          }
          // y and the sum.
          const Rows start = {std::vector<double>(n + 8, -7.0), {3.0 * factor}};
          expect_same_as_plain(width(), start, [&](Width form, Rows& s) {
            return decode_samples(kind, bytes.data(), n, factor, s[0].data() + offset,
                                  floats ? nullptr : s[1].data(), form);
          });
        }
      }
    }
  }
}

TEST_P(KernelTest, EncodeValues) {
  // Worked examples at 2^30 to the unit: -1, a NaN (0), +inf and -inf (saturated), 2.5 and
  // -2.5 (cut toward zero); then k * 2^16, stored as k, 0, 0, 0 (the more significant half
  // first).
  const double unit = std::ldexp(1.0, -30);
  std::vector<double> y;
  for (double v : {-1.0, kNan, kInf, -kInf, 2.5, -2.5}) y.push_back(v * unit);
  for (int k = 1; k <= 10; ++k) y.push_back(k * 65536.0 * unit);
  std::vector<unsigned char> p(4 * y.size());
  encode_values(y.data(), y.size(), std::ldexp(1.0, 30), p.data(), width());
  std::vector<unsigned char> expected = {0xFF, 0xFF, 0xFF, 0xFF, 0,    0,    0,    0,
                                         0xFF, 0x7F, 0xFF, 0xFF, 0,    0x80, 0,    0,
                                         0,    0,    2,    0,    0xFF, 0xFF, 0xFE, 0xFF};
  for (unsigned char k = 1; k <= 10; ++k) expected.insert(expected.end(), {k, 0, 0, 0});
  EXPECT_EQ(p, expected);

  std::mt19937_64 rng(5);
  for (std::size_t n : kLengths) {
    for (std::size_t which = 0; which < 6; ++which) {
      SCOPED_TRACE(::testing::Message() << n << " values, specials " << which);
      std::vector<double> v = random_values(n, rng, 3.0e9);  // some beyond the integer range
      const double specials[] = {kNan, kInf, -kInf, -0.0, -2147483648.0, 2147483647.5};
      plant(v, which, specials[which]);
      plant(v, which + 3, specials[(which + 2) % 6]);
      expect_same_as_plain(width(), std::vector<unsigned char>(4 * n + 16, 0xAA),
                           [&](Width form, std::vector<unsigned char>& bytes) {
                             encode_values(v.data(), n, 1.0, bytes.data(), form);
                           });
    }
  }
}

TEST_P(KernelTest, LargestFiniteMagnitude) {
  const std::vector<double> y = {1.0, -3.0, kInf, kNan, 2.5, -0.0, -kInf, 0.5, 2.0};
  EXPECT_EQ(largest_finite_magnitude(y.data(), y.size(), width()), 3.0);
  const std::vector<double> none = {kNan, kInf, -kInf, kNan, kNan, kInf, -kInf, kNan, -0.0};
  EXPECT_TRUE(same_bits(largest_finite_magnitude(none.data(), none.size(), width()), 0.0));

  std::mt19937_64 rng(7);
  for (std::size_t n : kLengths) {
    for (std::size_t which = 0; which < 8; ++which) {
      SCOPED_TRACE(::testing::Message() << n << " values, largest at " << which);
      std::vector<double> v = random_values(n, rng);
      plant(v, which, which % 2 == 0 ? -5.0 : 5.0);
      plant(v, which + 1, which % 3 == 0 ? kNan : kInf);
      plant(v, which + 2, -kInf);
      EXPECT_TRUE(same_bits(largest_finite_magnitude(v.data(), n, width()),
                            largest_finite_magnitude(v.data(), n, Width::kPlain)));
    }
  }
}

TEST_P(KernelTest, SummarizeScan) {
  // Lanes 0..3 hold 3, 1 | 1, 5 | 5, 2 | 2, 4 ... : equal neighbours 1, 5 and 2.
  const std::vector<double> y = {3.0, 1.0, 1.0, 5.0, 5.0, 2.0, 2.0, 4.0, 0.5};
  const ScanSummary r = summarize_scan(y.data(), y.size(), width());
  EXPECT_EQ(r.sum, 23.5);
  EXPECT_EQ(r.lo, 0.5);
  EXPECT_EQ(r.hi, 5.0);
  EXPECT_EQ(r.pair_lo, 1.0);
  EXPECT_EQ(r.pair_hi, 5.0);
  EXPECT_EQ(summarize_scan(y.data(), 2, width()).pair_hi, -kInf);

  std::mt19937_64 rng(11);
  for (std::size_t n : kLengths) {
    if (n == 0) continue;
    for (std::size_t which = 0; which < 8; ++which) {
      SCOPED_TRACE(::testing::Message() << n << " samples, case " << which);
      std::vector<double> v = random_values(n, rng, 1.0e4);
      plant(v, which, 3.0e4);  // a run at the top wherever it falls
      plant(v, which + 1, 3.0e4);
      if (n > 2) v[n / 2] = v[n / 2 - 1];
      if (which >= 4) plant(v, which + 3, which % 2 ? kNan : -kInf);
      if (which == 6) v[0] = kNan;
      if (which == 7) plant(v, which + 5, -0.0);
      const ScanSummary a = summarize_scan(v.data(), n, width());
      const ScanSummary b = summarize_scan(v.data(), n, Width::kPlain);
      EXPECT_TRUE(same_bits(std::vector{a.sum, a.lo, a.hi, a.pair_lo, a.pair_hi},
                            std::vector{b.sum, b.lo, b.hi, b.pair_lo, b.pair_hi}));
    }
  }
}

TEST_P(KernelTest, SubtractMeanFindLargest) {
  // After the mean 3: 0, 4, -8, 4, 8, -2, ...: the first of the two magnitudes 8.
  std::vector<double> y = {3.0, 7.0, -5.0, 7.0, 11.0, 1.0, 1.0, 1.0, 1.0, 1.0};
  EXPECT_EQ(subtract_mean_find_largest(y.data(), y.size(), 3.0, width()), 2u);
  EXPECT_EQ(y, (std::vector<double>{0.0, 4.0, -8.0, 4.0, 8.0, -2.0, -2.0, -2.0, -2.0, -2.0}));
  // A NaN first is kept: nothing compares greater than it.
  std::vector<double> nan_first = {kNan, 9.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
  EXPECT_EQ(subtract_mean_find_largest(nan_first.data(), nan_first.size(), 0.0, width()), 0u);

  std::mt19937_64 rng(3);
  for (std::size_t n : kLengths) {
    if (n == 0) continue;
    for (std::size_t which = 0; which < 8; ++which) {
      SCOPED_TRACE(::testing::Message() << n << " samples, case " << which);
      std::vector<double> v = random_values(n, rng, 1.0e4);
      plant(v, which, 2.0e4 + 7.0);  // the same magnitude twice, with both signs
      plant(v, which + 2, -2.0e4 + 7.0);
      if (which >= 4) plant(v, which + 1, kNan);
      if (which == 6) v[0] = kNan;
      expect_same_as_plain(width(), v, [&](Width form, std::vector<double>& s) {
        return subtract_mean_find_largest(s.data(), n, 7.0, form);
      });
    }
  }
}

TEST_P(KernelTest, WeighAndLoad) {
  // y = 1..9 weighted by 0.5: the values k / 2, each with 0.0, and 1 + (1 + 4 + ... + 81) / 4.
  std::vector<double> y, w(9, 0.5);
  for (int k = 1; k <= 9; ++k) y.push_back(k);
  std::vector<double> out(18, -7.0);
  std::vector<double> zeros(10, -7.0);
  const double e = weigh_and_load(y.data(), w.data(), 9, 1.0, out.data(), zeros.data(), 4, width());
  EXPECT_EQ(e, 72.25);
  for (std::size_t k = 0; k < 9; ++k) {
    EXPECT_EQ(out[2 * k], y[k] / 2);
    EXPECT_TRUE(same_bits(out[2 * k + 1], 0.0));
  }
  EXPECT_EQ(zeros, (std::vector<double>{0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, -7.0, -7.0}));

  std::mt19937_64 rng(11);
  for (std::size_t n : kLengths) {
    for (std::size_t zero_count : {std::size_t{0}, std::size_t{1}, n / 2, n, n + 3}) {
      SCOPED_TRACE(::testing::Message() << n << " points, " << zero_count << " zeros");
      std::vector<double> v = random_values(n, rng, 1.0e3);
      const std::vector<double> weight = random_values(n, rng);
      plant(v, zero_count, -0.0);
      // The points and the zeros after them.
      const Rows start = {std::vector<double>(2 * n + 4, -7.0),
                          std::vector<double>(2 * zero_count + 4, -7.0)};
      expect_same_as_plain(width(), start, [&](Width form, Rows& s) {
        return weigh_and_load(v.data(), weight.data(), n, 0.125, s[0].data(), s[1].data(),
                              zero_count, form);
      });
    }
  }
}

TEST_P(KernelTest, PhaseRun) {
  // Between a = 0 (sine 0, cosine 1) and b = 1 (sine 1, cosine 0): s = x, c = 1 - x, so
  // 4 + 8i gives y = 4 + 4x. With x = (i - 1) / 16 below 1 the run is points 1..16, and
  // the energy is (16^2 + ... + 31^2) / 16.
  std::vector<double> re_im;
  for (int k = 0; k < 100; ++k) re_im.insert(re_im.end(), {4.0, 8.0});
  PhaseRun run{0.0, 1.0, 0.0, 1.0, 1.0, 0.0, true, 1.0, 0.0625};
  std::vector<double> y(100, -7.0);
  double energy = 0.5;
  EXPECT_EQ(phase_run(run, 1, 100, re_im.data(), y.data(), energy, width()), 17);
  for (int k = 0; k < 16; ++k) EXPECT_EQ(y[static_cast<std::size_t>(k)], 4.0 + k * 0.25);
  EXPECT_EQ(y[16], -7.0);
  EXPECT_EQ(energy, 0.5 + 573.5);
  // Above the middle the run keeps x <= bound: points 1..9 for the bound 0.5.
  run.below = false;
  run.bound = 0.5;
  EXPECT_EQ(phase_run(run, 1, 100, re_im.data(), y.data(), energy, width()), 10);
  // It stops before lnum whatever the bound.
  EXPECT_EQ(phase_run(run, 2, 7, re_im.data(), y.data(), energy, width()), 7);

  std::mt19937_64 rng(13);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  for (bool below : {true, false}) {
    for (int length = 0; length <= 13; ++length) {
      for (int start : {2, 3, 5}) {
        for (int lnum : {start + length / 2, start + length + 1, start + 40}) {
          SCOPED_TRACE(::testing::Message() << (below ? "below" : "above") << ", run of " << length
                                            << " from " << start << ", lnum " << lnum);
          const double delta = 7900.4115 / (lnum + 17);
          // The run ends after `length` points: the bound lies between two grid points.
          const double bound = (start - 1 + length - 0.5) * delta;
          const double a = (start - 1) * delta - 0.3 * delta;
          const PhaseRun r{a,         bound + 0.7 * delta, dist(rng), dist(rng),
                           dist(rng), dist(rng),           below,     bound,
                           delta};
          std::vector<double> values(2 * static_cast<std::size_t>(lnum) + 8);
          for (double& v : values) v = dist(rng) * 1.0e5;
          // y and the energy.
          const Rows y_energy = {std::vector<double>(static_cast<std::size_t>(lnum) + 4, -7.0),
                                 {0.25}};
          expect_same_as_plain(width(), y_energy, [&](Width form, Rows& s) {
            return phase_run(r, start, lnum, values.data(), s[0].data(), s[1][0], form);
          });
        }
      }
    }
  }
}

TEST_P(KernelTest, MoveKept) {
  std::vector<double> x(10, -7.0), y;
  for (int k = 1; k <= 10; ++k) y.push_back(k);
  y[6] = kInf;  // becomes y[5]: not finite, so not the largest
  EXPECT_EQ(move_kept(x.data(), y.data(), 2, 8, 0.5, 2.0, width()), 18.0);
  EXPECT_EQ(x, (std::vector<double>{0.5, 1.0, 1.5, 2.0, 2.5, 3.0, 3.5, 4.0, -7.0, -7.0}));
  EXPECT_EQ(y, (std::vector<double>{4.0, 6.0, 8.0, 10.0, 12.0, kInf, 16.0, 18.0, 9.0, 10.0}));

  std::mt19937_64 rng(17);
  for (std::size_t n : kLengths) {
    for (int first = 1; first <= 6; ++first) {
      SCOPED_TRACE(::testing::Message() << n << " points from " << first);
      Rows x_y = {std::vector<double>(n + 2, -7.0), random_values(n + 6, rng)};
      plant(x_y[1], static_cast<std::size_t>(first), kNan);
      plant(x_y[1], static_cast<std::size_t>(first) + 2, -kInf);
      expect_same_as_plain(width(), x_y, [&](Width form, Rows& s) {
        return move_kept(s[0].data(), s[1].data(), first, static_cast<int>(n), 0.1, 1.0 / 3.0,
                         form);
      });
    }
  }
}

TEST_P(KernelTest, CutInOrder) {
  // A falling grid 0, -1, ..., -8 and the range -6.5..0.5: points 1..7 kept.
  std::vector<double> x(9, -7.0), y;
  for (int k = 1; k <= 9; ++k) y.push_back(k);
  double largest = -1.0;
  EXPECT_EQ(cut_in_order(x.data(), y.data(), 9, -1.0, 2.0, -6.5, 0.5, largest, width()), 7);
  EXPECT_EQ(largest, 14.0);
  EXPECT_EQ(x, (std::vector<double>{0.0, -1.0, -2.0, -3.0, -4.0, -5.0, -6.0, -7.0, -7.0}));
  EXPECT_EQ(y, (std::vector<double>{2.0, 4.0, 6.0, 8.0, 10.0, 12.0, 14.0, 8.0, 9.0}));

  std::mt19937_64 rng(19);
  struct Range {
    double delta, wlow, whigh;
  };
  const Range ranges[] = {{0.75, 1.4, 5.3},    {0.75, -5.0, 100.0}, {0.75, 3.0, 1.0},
                          {-0.75, -4.0, -0.7}, {kNan, 0.0, 1.0},    {0.75, kNan, 7.5},
                          {kInf, 0.0, kInf},   {0.0, 0.0, 0.0},     {0.75, 2.25, 2.25},
                          {0.1, 0.35, 1.05}};
  for (std::size_t n : kLengths) {
    for (const Range& r : ranges) {
      SCOPED_TRACE(::testing::Message()
                   << "lnum " << n << ", delta " << r.delta << ", " << r.wlow << " to " << r.whigh);
      std::vector<double> fast_y = random_values(n + 3, rng);
      plant(fast_y, 1, kInf);
      plant(fast_y, 4, -kNan);
      std::vector<double> plain_y = fast_y;
      std::vector<double> fast_x(n + 3, -7.0), plain_x = fast_x;
      double fast_largest = -1.0, plain_largest = -2.0;
      const int lnum = static_cast<int>(n);
      EXPECT_EQ(cut_in_order(fast_x.data(), fast_y.data(), lnum, r.delta, 1.0 / 3.0, r.wlow,
                             r.whigh, fast_largest, width()),
                cut_in_order(plain_x.data(), plain_y.data(), lnum, r.delta, 1.0 / 3.0, r.wlow,
                             r.whigh, plain_largest, Width::kPlain));
      EXPECT_TRUE(same_bits(fast_largest, plain_largest));
      EXPECT_TRUE(same_bits(fast_x, plain_x));
      EXPECT_TRUE(same_bits(fast_y, plain_y));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Forms, KernelTest, ::testing::ValuesIn(all_forms()), form_name);

}  // namespace
}  // namespace ftir::simd
