// The transform's passes: each form against worked examples, then against the plain form
// in the same groups, bit for bit, on random points with signed zeros.
#include "simd/fft_passes.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "support/simd_forms.h"

namespace ftir::simd {
namespace {

using FftPassTest = FormTest;

// Random parts, a quarter of them +0.0 and a quarter -0.0.
std::vector<double> random_parts(std::size_t n, std::mt19937_64& rng) {
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  std::vector<double> v(n);
  for (double& x : v) {
    const auto pick = rng() % 4;
    x = pick == 0 ? 0.0 : pick == 1 ? -0.0 : dist(rng);
  }
  return v;
}

// n copies of the point (re, im), as pairs.
std::vector<double> constant_pairs(std::size_t n, double re, double im) {
  std::vector<double> v;
  for (std::size_t k = 0; k < n; ++k) v.insert(v.end(), {re, im});
  return v;
}

// Point q of a group-form row.
struct Point {
  double re, im;
};
Point at(const std::vector<double>& row, std::size_t start, int group, int q) {
  const std::size_t i = start + fft_point_offset(group, q);
  return {row[i], row[i + static_cast<std::size_t>(group)]};
}
void put(std::vector<double>& row, std::size_t start, int group, int q, Point p) {
  const std::size_t i = start + fft_point_offset(group, q);
  row[i] = p.re;
  row[i + static_cast<std::size_t>(group)] = p.im;
}

TEST_P(FftPassTest, Pass) {
  const int g = fft_group(width());
  // One stage over rows of (1, 2) and (3, 4): with u = 1 the butterfly gives (4, 6) and
  // (-2, -2); with u = i, t = (-4, 3) and it gives (-3, 5) and (5, -1). Written as pairs.
  {
    const int count = 2 * g;
    std::vector<double> src(4 * static_cast<std::size_t>(count)),
        w(2 * static_cast<std::size_t>(count));
    for (int q = 0; q < count; ++q) {
      put(src, 0, g, q, {1.0, 2.0});
      put(src, 2 * static_cast<std::size_t>(count), g, q, {3.0, 4.0});
      put(w, 0, g, q, q % 2 == 0 ? Point{1.0, 0.0} : Point{0.0, 1.0});
    }
    std::vector<double> dst(src.size(), -7.0);
    fft_pass_form(width(), g, 1, true)(
        {src.data(), 2 * count, dst.data(), 2 * count, w.data(), nullptr, 0, count});
    for (int q = 0; q < count; ++q) {
      SCOPED_TRACE(q);
      const auto i = static_cast<std::size_t>(2 * q);
      const auto j = i + 2 * static_cast<std::size_t>(count);
      EXPECT_EQ(dst[i], q % 2 == 0 ? 4.0 : -3.0);
      EXPECT_EQ(dst[i + 1], q % 2 == 0 ? 6.0 : 5.0);
      EXPECT_EQ(dst[j], q % 2 == 0 ? -2.0 : 5.0);
      EXPECT_EQ(dst[j + 1], q % 2 == 0 ? -2.0 : -1.0);
    }
  }

  std::mt19937_64 rng(23);
  for (int stages : {1, 2}) {
    for (bool interleave : {false, true}) {
      for (bool in_place : {false, true}) {
        for (int count : {g, 2 * g, 3 * g, 5 * g, 32}) {
          SCOPED_TRACE(::testing::Message() << stages << " stages, interleave " << interleave
                                            << ", in place " << in_place << ", count " << count);
          const std::ptrdiff_t srs = 2 * count + 8;  // padded rows, as the transform has them
          const std::ptrdiff_t drs = in_place ? srs : 2 * count + 4;
          const std::vector<double> src = random_parts(static_cast<std::size_t>(4 * srs), rng);
          const std::vector<double> w = random_parts(6 * static_cast<std::size_t>(count), rng);
          const std::vector<double> start =
              in_place ? src : std::vector<double>(static_cast<std::size_t>(4 * drs), -7.0);
          expect_same_as_plain(width(), start, [&](Width form, std::vector<double>& dst) {
            fft_pass_form(form, g, stages,
                          interleave)({in_place ? dst.data() : src.data(), srs, dst.data(), drs,
                                       w.data(), w.data() + 2 * count, 2 * count, count});
          });
        }
      }
    }
  }
}

TEST_P(FftPassTest, FirstFourStages) {
  const int g = fft_group(width());
  constexpr std::size_t kRow = 40;  // 32 doubles and a pad
  // Every twiddle 1: a constant row of 16 points gives 16 times the point, then zeros.
  {
    const std::vector<double> tile = constant_pairs(256, 0.5, -1.5);
    std::vector<double> bc(28, 0.0), t4(16, 0.0);
    for (std::size_t i = 0; i < 28; i += 4) bc[i] = bc[i + 1] = 1.0;
    for (int k = 0; k < 8; ++k) put(t4, 0, g, k, {1.0, 0.0});
    std::vector<double> rows(16 * kRow, -7.0);
    double* out[16];
    for (std::size_t c = 0; c < 16; ++c) out[c] = rows.data() + c * kRow;
    fft_first_four_stages(width(), g, tile.data(), out, bc.data(), t4.data());
    for (int c = 0; c < 16; ++c) {
      for (int q = 0; q < 16; ++q) {
        SCOPED_TRACE(::testing::Message() << "row " << c << ", point " << q);
        const Point p = at(rows, static_cast<std::size_t>(c) * kRow, g, q);
        EXPECT_EQ(p.re, q == 0 ? 8.0 : 0.0);
        EXPECT_EQ(p.im, q == 0 ? -24.0 : 0.0);
      }
    }
  }

  std::mt19937_64 rng(29);
  for (int trial = 0; trial < 20; ++trial) {
    SCOPED_TRACE(trial);
    const std::vector<double> tile = random_parts(512, rng);
    std::vector<double> bc = random_parts(28, rng);
    for (std::size_t i = 0; i < 28; i += 2) bc[i + 1] = bc[i];  // re, re, im, im
    const std::vector<double> t4 = random_parts(16, rng);
    const std::vector<double> start(16 * kRow, -7.0);
    expect_same_as_plain(width(), start, [&](Width form, std::vector<double>& rows) {
      double* out[16];
      // Rows out of order, as the permutation sends them.
      for (std::size_t c = 0; c < 16; ++c) {
        out[c] = rows.data() + (c * 7 + static_cast<std::size_t>(trial)) % 16 * kRow;
      }
      fft_first_four_stages(form, g, tile.data(), out, bc.data(), t4.data());
    });
  }
}

TEST_P(FftPassTest, FirstThreeStagesAndInterleave) {
  const int g = fft_group(width());
  // Every twiddle 1: a constant block of 8 points gives 8 times the point, then zeros; back
  // to pairs, in order.
  {
    const std::vector<double> src = constant_pairs(16, -0.25, 3.0);
    std::vector<double> t(8, 0.0);
    for (int k = 0; k < 4; ++k) put(t, 0, g, k, {1.0, 0.0});
    std::vector<double> work(32, -7.0), back(32, -7.0);
    fft_first_three_stages(width(), g, src.data(), work.data(), 16, t.data(), t.data(), t.data());
    fft_interleave(width(), g, work.data(), back.data(), 16);
    for (std::size_t q = 0; q < 16; ++q) {
      SCOPED_TRACE(q);
      EXPECT_EQ(back[2 * q], q % 8 == 0 ? -2.0 : 0.0);
      EXPECT_EQ(back[2 * q + 1], q % 8 == 0 ? 24.0 : 0.0);
      const Point p = at(work, 0, g, static_cast<int>(q));
      EXPECT_EQ(p.re, back[2 * q]);
      EXPECT_EQ(p.im, back[2 * q + 1]);
    }
  }

  std::mt19937_64 rng(31);
  for (int count : {8, 16, 24, 64}) {
    SCOPED_TRACE(::testing::Message() << count << " points");
    const std::vector<double> src = random_parts(2 * static_cast<std::size_t>(count), rng);
    const std::vector<double> t1 = random_parts(8, rng);
    const std::vector<double> t2 = random_parts(8, rng);
    const std::vector<double> t3 = random_parts(8, rng);
    const std::vector<double> start(2 * static_cast<std::size_t>(count) + 4, -7.0);
    expect_same_as_plain(width(), start, [&](Width form, std::vector<double>& dst) {
      fft_first_three_stages(form, g, src.data(), dst.data(), count, t1.data(), t2.data(),
                             t3.data());
    });
    expect_same_as_plain(width(), start, [&](Width form, std::vector<double>& pairs) {
      fft_interleave(form, g, src.data(), pairs.data(), count);
    });
  }
}

INSTANTIATE_TEST_SUITE_P(Forms, FftPassTest, ::testing::ValuesIn(all_forms()), form_name);

}  // namespace
}  // namespace ftir::simd
