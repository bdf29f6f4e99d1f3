// Apodization windows, the weight rule and the title rule.
#include "transform/windows.h"

#include <algorithm>
#include <cmath>

namespace ftir::transform {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;

// Norton-Beer: with q = 1 - r^2, the sum of c[i] * q^i from 0.0 in increasing i, the
// powers by repeated multiplication (q, q*q, (q*q)*q, ...). At |x| = xmax (q exactly 0)
// every term counts as 0; a negative sum would become 0.0.
template <int kTerms>
double norton_beer(double x, double xmax, const double (&c)[kTerms]) {
  const double ax = std::fabs(x);
  if (ax > xmax) return 0.0;
  const double r = ax / xmax;
  const double q = 1.0 - r * r;
  if (q == 0.0) return 0.0;
  double sum = 0.0;
  double power = 1.0;
  for (int i = 0; i < kTerms; ++i) {
    sum = sum + c[i] * power;
    power = i == 0 ? q : power * q;
  }
  return sum < 0.0 ? 0.0 : sum;
}

constexpr double kWeak[] = {0.548, -0.0833, 0.5353};
constexpr double kMedium[] = {0.26, -0.154838, 0.894838};
constexpr double kStrong[] = {0.09, 0.0, 0.5875, 0.0, 0.3225};

constexpr std::string_view kTitles[] = {
    "Boxcar apodization",
    "Triangle/Bartlet apodization",
    "Hamming/Hepp-Genzel",
    "Blackman-Harris apodization",
    "Norton-Beers Weak apodization",
    "Norton-Beers Medium apodization",
    "Norton-Beers Strong apodization",
};

bool is_window_code(int iapod) { return iapod >= 0 && iapod <= 6; }

}  // namespace

// APBOX: 1.0 inside (|x| = xmax included), 0.0 outside.
double APBOX(double x, double xmax) { return std::fabs(x) > xmax ? 0.0 : 1.0; }

// APTRI: 1 - r inside.
double APTRI(double x, double xmax) {
  const double ax = std::fabs(x);
  if (ax > xmax) return 0.0;
  return 1.0 - ax / xmax;
}

// APHG: the Happ-Genzel coefficients 0.53856 and 0.46144 (not 0.54 and 0.46).
double APHG(double x, double xmax) {
  const double ax = std::fabs(x);
  if (ax > xmax) return 0.0;
  const double r = ax / xmax;
  return 0.53856 + 0.46144 * std::cos(kPi * r);
}

// APBH3: three terms added left to right.
double APBH3(double x, double xmax) {
  const double ax = std::fabs(x);
  if (ax > xmax) return 0.0;
  const double r = ax / xmax;
  return 0.42323 + 0.49755 * std::cos(kPi * r) + 0.07922 * std::cos(kTwoPi * r);
}

double APNBW(double x, double xmax) { return norton_beer(x, xmax, kWeak); }
double APNBM(double x, double xmax) { return norton_beer(x, xmax, kMedium); }
double APNBS(double x, double xmax) { return norton_beer(x, xmax, kStrong); }

double apodization_weight(int iapod, double x, double xmax) {
  using Window = double (*)(double, double);
  static constexpr Window kWindows[] = {APBOX, APTRI, APHG, APBH3, APNBW, APNBM, APNBS};
  // Points before path difference zero (x < 0) are never apodized.
  if (!is_window_code(iapod) || !(x >= 0.0)) return 1.0;
  return kWindows[iapod](x, xmax);
}

std::string_view window_title(int iapod) {
  return is_window_code(iapod) ? kTitles[iapod] : std::string_view{};
}

void Title::set(std::string_view text) {
  const std::size_t used = std::min(text.size(), static_cast<std::size_t>(kLength));
  std::fill(std::copy_n(text.begin(), used, text_), text_ + kLength, ' ');
}

void Title::apply_window(int iapod) {
  if (is_window_code(iapod)) set(window_title(iapod));
}

}  // namespace ftir::transform
