// Apodization windows, their registry, the weight rule and the title rule.
#include "transform/windows.h"

#include <algorithm>
#include <cmath>
#include <iterator>

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

// a0 + a1 cos(pi r) + a2 cos(2 pi r) + a3 cos(3 pi r), r = |x| / xmax, added left to right;
// 0 beyond xmax.
double four_cosines(double x, double xmax, double a0, double a1, double a2, double a3) {
  const double ax = std::fabs(x);
  if (ax > xmax) return 0.0;
  const double r = ax / xmax;
  return a0 + a1 * std::cos(kPi * r) + a2 * std::cos(kTwoPi * r) + a3 * std::cos(3.0 * kPi * r);
}

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

// APBH4: four terms, the minimum side-lobe coefficients.
double APBH4(double x, double xmax) {
  return four_cosines(x, xmax, 0.35875, 0.48829, 0.14128, 0.01168);
}

// APBN: as APBH4 with the Nuttall coefficients, whose first derivative is continuous.
double APBN(double x, double xmax) {
  return four_cosines(x, xmax, 0.3635819, 0.4891775, 0.1365995, 0.0106411);
}

// APTRAP: flat up to the knee at r = 1/2, then a straight line to 0 at r = 1.
double APTRAP(double x, double xmax) {
  const double ax = std::fabs(x);
  if (ax > xmax) return 0.0;
  const double r = ax / xmax;
  return r <= 0.5 ? 1.0 : 2.0 * (1.0 - r);
}

double APNBW(double x, double xmax) { return norton_beer(x, xmax, kWeak); }
double APNBM(double x, double xmax) { return norton_beer(x, xmax, kMedium); }
double APNBS(double x, double xmax) { return norton_beer(x, xmax, kStrong); }

namespace {

// The window registry. A new window is a row here, its function above and its reference
// values in the tests; every list of windows reads these rows. The titles are the ones
// spectra have always carried, spelling included ("Bartlet", "Hepp", "Beers"): they are
// bytes of every output file.
constexpr Window kRegistry[] = {
    {0, "boxcar", "boxcar", "Boxcar apodization", APBOX},
    {1, "triangle", "triangle", "Triangle/Bartlet apodization", APTRI},
    {2, "happ-genzel", "Happ-Genzel", "Hamming/Hepp-Genzel", APHG},
    {3, "blackman-harris", "Blackman-Harris", "Blackman-Harris apodization", APBH3},
    {4, "nb-weak", "Norton-Beer weak", "Norton-Beers Weak apodization", APNBW},
    {5, "nb-medium", "Norton-Beer medium", "Norton-Beers Medium apodization", APNBM},
    {6, "nb-strong", "Norton-Beer strong", "Norton-Beers Strong apodization", APNBS},
    {7, "blackman-harris-4", "Blackman-Harris 4-term", "Blackman-Harris 4-term apodization", APBH4},
    {8, "blackman-nuttall", "Blackman-Nuttall", "Blackman-Nuttall apodization", APBN},
    {9, "trapezoid", "trapezoid", "Trapezoid apodization", APTRAP},
};
static_assert(kRedDatWindows <= static_cast<int>(std::size(kRegistry)));

// Lookup by code indexes the table, and --check names the codes "0 to n-1".
constexpr bool codes_are_dense() {
  for (std::size_t i = 0; i < std::size(kRegistry); ++i) {
    if (kRegistry[i].code != static_cast<int>(i)) return false;
  }
  return true;
}
static_assert(codes_are_dense(), "row i of the window registry must have code i");

}  // namespace

std::span<const Window> window_registry() { return kRegistry; }

const Window* window_by_code(int iapod) {
  if (iapod < 0 || iapod >= static_cast<int>(std::size(kRegistry))) return nullptr;
  return &kRegistry[iapod];
}

const Window* red_dat_window(int iapod) {
  return iapod >= 0 && iapod < kRedDatWindows ? window_by_code(iapod) : nullptr;
}

int red_dat_code(int iapod) { return red_dat_window(iapod) != nullptr ? iapod : kNoWindow; }

const Window* window_by_option(std::string_view option) {
  for (const Window& w : kRegistry) {
    if (w.option == option) return &w;
  }
  return nullptr;
}

double apodization_weight(int iapod, double x, double xmax) {
  const Window* window = window_by_code(iapod);
  // Points before path difference zero (x < 0) are never apodized.
  if (window == nullptr || !(x >= 0.0)) return 1.0;
  return window->weight(x, xmax);
}

std::string_view window_title(int iapod) {
  const Window* window = window_by_code(iapod);
  return window == nullptr ? std::string_view{} : window->title;
}

void Title::set(std::string_view text) {
  const std::size_t used = std::min(text.size(), static_cast<std::size_t>(kLength));
  std::fill(std::copy_n(text.begin(), used, text_), text_ + kLength, ' ');
}

void Title::apply_window(int iapod) {
  if (const Window* window = window_by_code(iapod)) set(window->title);
}

}  // namespace ftir::transform
