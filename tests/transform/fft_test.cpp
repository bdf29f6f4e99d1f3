// CFFT: the fast routine against the plain algorithm bit for bit, against the defining
// sum, and the transform's exact and approximate properties.
#include "transform/fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <vector>

#include "support/simd_forms.h"

namespace ftir::transform {
namespace {

constexpr double kTwoPi = 6.283185307179586;

enum class Kind { kRandom, kRealOnly, kSignedZeros };

std::vector<Complex> make_data(Kind kind, int nb, std::mt19937_64& rng) {
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  // Signed zeros: each part +0.0, -0.0 or a value, so that products with zero twiddle
  // parts and sums of zeros meet every sign.
  auto part = [&] {
    switch (rng() % 4) {
      case 0:
        return 0.0;
      case 1:
        return -0.0;
      default:
        return dist(rng);
    }
  };
  std::vector<Complex> v(static_cast<std::size_t>(nb));
  for (Complex& c : v) {
    switch (kind) {
      case Kind::kRandom:
        c = {dist(rng), dist(rng)};
        break;
      case Kind::kRealOnly:
        c = {dist(rng), 0.0};
        break;
      case Kind::kSignedZeros:
        c.re = part();
        c.im = part();
        break;
    }
  }
  return v;
}

bool same_bits(const std::vector<Complex>& a, const std::vector<Complex>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Complex)) == 0;
}

// At every width the processor has.
using CfftFormTest = simd::FormTest;

TEST_P(CfftFormTest, FastRoutineMatchesPlainAlgorithmBitForBit) {
  Fft fft(width());
  std::mt19937_64 rng(20240601);
  struct DataCase {
    const char* name;
    Kind kind;
  };
  const DataCase cases[] = {{"random", Kind::kRandom},
                            {"real, +0.0 imaginary parts", Kind::kRealOnly},
                            {"signed zeros", Kind::kSignedZeros}};
  // Directions outermost: within one the twiddle tables grow with n, then serve smaller n.
  for (int ndir : {1, -1}) {
    for (const DataCase& dc : cases) {
      for (int n = 0; n <= 19; ++n) {
        const int nb = 1 << n;
        SCOPED_TRACE(testing::Message() << dc.name << ", n=" << n << ", ndir=" << ndir);
        std::vector<Complex> fast = make_data(dc.kind, nb, rng);
        std::vector<Complex> plain = fast;
        fft.CFFT(fast, n, nb, ndir);
        plain_cfft(plain, n, nb, ndir);
        ASSERT_TRUE(same_bits(fast, plain));
      }
    }
  }
}

// The twiddle tables filled several stages at a time, as a run's first transforms fill them
// (the phase piece's size, then the spectrum's), on a fresh object each.
TEST_P(CfftFormTest, TablesFilledManyStagesAtOnceMatchPlainAlgorithm) {
  const std::vector<int> sequences[] = {{19}, {11, 19}, {3, 14, 13, 18}, {8, 9, 16}};
  std::mt19937_64 rng(7);
  for (const std::vector<int>& sequence : sequences) {
    Fft fft(width());
    for (int n : sequence) {
      SCOPED_TRACE(testing::Message() << "first n=" << sequence.front() << ", n=" << n);
      const int nb = 1 << n;
      std::vector<Complex> fast = make_data(Kind::kRandom, nb, rng);
      std::vector<Complex> plain = fast;
      fft.CFFT(fast, n, nb, 1);
      plain_cfft(plain, n, nb, 1);
      ASSERT_TRUE(same_bits(fast, plain));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Forms, CfftFormTest, ::testing::ValuesIn(simd::all_forms()),
                         simd::form_name);

TEST(CfftTest, MatchesTheDefiningSum) {
  Fft fft;
  std::mt19937_64 rng(7);
  for (int ndir : {1, -1}) {
    for (int n = 0; n <= 10; ++n) {
      const int nb = 1 << n;
      SCOPED_TRACE(testing::Message() << "n=" << n << ", ndir=" << ndir);
      const std::vector<Complex> input = make_data(Kind::kRandom, nb, rng);
      std::vector<Complex> out = input;
      fft.CFFT(out, n, nb, ndir);
      for (std::size_t k = 0; k < out.size(); ++k) {
        std::complex<double> sum = 0.0;
        for (std::size_t j = 0; j < input.size(); ++j) {
          const double angle = -ndir * kTwoPi * static_cast<double>((j * k) % input.size()) / nb;
          sum += std::complex<double>(input[j].re, input[j].im) *
                 std::complex<double>(std::cos(angle), std::sin(angle));
        }
        ASSERT_NEAR(out[k].re, sum.real(), 1e-12 * nb) << "k=" << k;
        ASSERT_NEAR(out[k].im, sum.imag(), 1e-12 * nb) << "k=" << k;
      }
    }
  }
}

// The sizes of the property tests: every n up to 12 and the largest transform.
std::vector<int> property_sizes() {
  std::vector<int> sizes;
  for (int n = 0; n <= 12; ++n) sizes.push_back(n);
  sizes.push_back(19);
  return sizes;
}

TEST(CfftTest, ImpulseAndConstantGiveExactResults) {
  Fft fft;
  for (int n : property_sizes()) {
    const int nb = 1 << n;
    SCOPED_TRACE(testing::Message() << "n=" << n);
    std::vector<Complex> impulse(static_cast<std::size_t>(nb), Complex{0.0, 0.0});
    impulse[0] = {1.0, 0.0};
    fft.CFFT(impulse, n, nb, 1);
    for (std::size_t k = 0; k < impulse.size(); ++k) {
      ASSERT_EQ(impulse[k].re, 1.0) << "k=" << k;
      ASSERT_EQ(impulse[k].im, 0.0) << "k=" << k;
    }
    // No 1/nb anywhere: element 1 is nb * c, the rest exact zeros.
    std::vector<Complex> constant(static_cast<std::size_t>(nb), Complex{0.75, -1.25});
    fft.CFFT(constant, n, nb, 1);
    ASSERT_EQ(constant[0].re, 0.75 * nb);
    ASSERT_EQ(constant[0].im, -1.25 * nb);
    for (std::size_t k = 1; k < constant.size(); ++k) {
      ASSERT_EQ(constant[k].re, 0.0) << "k=" << k;
      ASSERT_EQ(constant[k].im, 0.0) << "k=" << k;
    }
  }
}

TEST(CfftTest, SingleToneLandsInBinTwoOrBinNb) {
  Fft fft;
  for (int n : property_sizes()) {
    if (n == 0) continue;
    const int nb = 1 << n;
    // exp(+2*pi*i*j/nb): the forward kernel brings it to element 2 (index 1), the inverse
    // kernel to element nb (index nb - 1).
    std::vector<Complex> tone(static_cast<std::size_t>(nb));
    for (std::size_t j = 0; j < tone.size(); ++j) {
      const double angle = kTwoPi * static_cast<double>(j) / nb;
      tone[j] = {std::cos(angle), std::sin(angle)};
    }
    for (int ndir : {1, -1}) {
      SCOPED_TRACE(testing::Message() << "n=" << n << ", ndir=" << ndir);
      std::vector<Complex> out = tone;
      fft.CFFT(out, n, nb, ndir);
      const std::size_t bin = ndir == 1 ? 1 : out.size() - 1;
      for (std::size_t k = 0; k < out.size(); ++k) {
        const double expected = k == bin ? nb : 0.0;
        ASSERT_NEAR(out[k].re, expected, 1e-11 * nb) << "k=" << k;
        ASSERT_NEAR(out[k].im, 0.0, 1e-11 * nb) << "k=" << k;
      }
    }
  }
}

// The twiddle recurrence drifts: in the last stage u has been through nb/2 - 1 products,
// so at the full size the errors reach about nb * 1e-16 relative; the smaller sizes stay
// within 1e-12.
TEST(CfftTest, ForwardThenInverseGivesNbTimesInputAndParsevalHolds) {
  Fft fft;
  std::mt19937_64 rng(99);
  for (int n : property_sizes()) {
    const int nb = 1 << n;
    SCOPED_TRACE(testing::Message() << "n=" << n);
    const double parseval_tolerance = n <= 12 ? 1e-12 : nb * n * 1e-16;
    const double round_trip_tolerance = nb * ((n + 1) * 1e-15 + nb * 1e-16);
    const std::vector<Complex> input = make_data(Kind::kRandom, nb, rng);
    std::vector<Complex> x = input;
    fft.CFFT(x, n, nb, 1);
    double energy_in = 0.0;
    double energy_out = 0.0;
    for (std::size_t k = 0; k < x.size(); ++k) {
      energy_in += input[k].re * input[k].re + input[k].im * input[k].im;
      energy_out += x[k].re * x[k].re + x[k].im * x[k].im;
    }
    EXPECT_NEAR(energy_out / (nb * energy_in), 1.0, parseval_tolerance);
    fft.CFFT(x, n, nb, -1);
    for (std::size_t k = 0; k < x.size(); ++k) {
      ASSERT_NEAR(x[k].re, nb * input[k].re, round_trip_tolerance) << "k=" << k;
      ASSERT_NEAR(x[k].im, nb * input[k].im, round_trip_tolerance) << "k=" << k;
    }
  }
}

TEST(CfftTest, OneAndTwoPoints) {
  Fft fft;
  for (int ndir : {1, -1}) {
    SCOPED_TRACE(testing::Message() << "ndir=" << ndir);
    std::vector<Complex> one{{-0.0, 2.5}};
    fft.CFFT(one, 0, 1, ndir);
    EXPECT_TRUE(same_bits(one, {{-0.0, 2.5}}));
    // A single butterfly whatever the direction: a + b, a - b.
    std::vector<Complex> two{{1.5, -2.0}, {0.25, 4.0}};
    fft.CFFT(two, 1, 2, ndir);
    EXPECT_EQ(two[0].re, 1.75);
    EXPECT_EQ(two[0].im, 2.0);
    EXPECT_EQ(two[1].re, 1.25);
    EXPECT_EQ(two[1].im, -6.0);
  }
}

}  // namespace
}  // namespace ftir::transform
