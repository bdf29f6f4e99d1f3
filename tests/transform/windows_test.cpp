// Apodization windows: reference values, the ends, symmetry, the registry, the weight and
// title rules.
#include "transform/windows.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace ftir::transform {
namespace {

using WindowFunction = double (*)(double, double);

// The first code past the registry: no window.
const int kOutside = static_cast<int>(window_registry().size());

struct WindowCase {
  const char* name;
  WindowFunction fn;
  int iapod;
  double at_xmax;  // the value at |x| = xmax
};

const WindowCase kWindows[] = {
    {"APBOX", APBOX, 0, 1.0},    {"APTRI", APTRI, 1, 0.0}, {"APHG", APHG, 2, 0.07712},
    {"APBH3", APBH3, 3, 0.0049}, {"APNBW", APNBW, 4, 0.0}, {"APNBM", APNBM, 5, 0.0},
    {"APNBS", APNBS, 6, 0.0},    {"APBH4", APBH4, 7, 0.00006}, {"APBN", APBN, 8, 0.0003628},
    {"APTRAP", APTRAP, 9, 0.0},
};

TEST(WindowsTest, ReferenceValues) {
  struct Row {
    const char* name;
    WindowFunction fn;
    double values[5];  // at r = 0, 0.25, 0.5, 0.75, 1, rounded to six places
  };
  const Row rows[] = {
      {"APHG", APHG, {1.0, 0.864847, 0.53856, 0.212273, 0.07712}},
      {"APBH3", APBH3, {1.0, 0.775051, 0.34401, 0.071409, 0.0049}},
      {"APNBW", APNBW, {1.0, 0.940385, 0.786631, 0.614016, 0.0}},
      {"APNBM", APNBM, {1.0, 0.901318, 0.647218, 0.363536, 0.0}},
      {"APNBS", APNBS, {1.0, 0.855481, 0.52251, 0.214266, 0.0}},
      {"APTRI", APTRI, {1.0, 0.75, 0.5, 0.25, 0.0}},
      {"APBOX", APBOX, {1.0, 1.0, 1.0, 1.0, 1.0}},
      {"APBH4", APBH4, {1.0, 0.695764, 0.21747, 0.021736, 0.00006}},
      {"APBN", APBN, {1.0, 0.701958, 0.226982, 0.025206, 0.000363}},
      {"APTRAP", APTRAP, {1.0, 1.0, 1.0, 0.5, 0.0}},  // the knee at r = 1/2
  };
  const double xmax = 0.8;  // 1/res for res = 1.25
  for (const Row& row : rows) {
    for (int i = 0; i < 5; ++i) {
      const double x = 0.25 * i * xmax;
      SCOPED_TRACE(testing::Message() << row.name << " at r=" << 0.25 * i);
      EXPECT_NEAR(row.fn(x, xmax), row.values[i], 5e-7);
      EXPECT_EQ(row.fn(-x, xmax), row.fn(x, xmax));
    }
  }
}

TEST(WindowsTest, EndsCentreAndBeyond) {
  const double xmax = 0.8;
  const double beyond = std::nextafter(xmax, 1.0);
  for (const WindowCase& w : kWindows) {
    SCOPED_TRACE(w.name);
    EXPECT_NEAR(w.fn(0.0, xmax), 1.0, 1e-15);
    // |x| = xmax is inside; the Norton-Beer windows drop to exactly 0 there.
    EXPECT_NEAR(w.fn(xmax, xmax), w.at_xmax, 1e-15);
    EXPECT_EQ(w.fn(-xmax, xmax), w.fn(xmax, xmax));
    EXPECT_EQ(w.fn(beyond, xmax), 0.0);
    EXPECT_EQ(w.fn(-beyond, xmax), 0.0);
    EXPECT_EQ(w.fn(5.0, xmax), 0.0);
  }
  // Just inside, the Norton-Beer windows approach their first coefficient.
  const double inside = xmax * (1.0 - 1e-9);
  EXPECT_NEAR(APNBW(inside, xmax), 0.548, 1e-8);
  EXPECT_NEAR(APNBM(inside, xmax), 0.26, 1e-8);
  EXPECT_NEAR(APNBS(inside, xmax), 0.09, 1e-8);
}

TEST(WindowsTest, WeightRule) {
  const double xmax = 0.8;
  struct Row {
    int iapod;
    double x;
    double expected;
  };
  const Row rows[] = {
      {1, 0.2, 0.75},        // the window at x >= 0
      {1, 0.0, 1.0},         // x = 0 is weighted, with 1.0
      {1, -0.2, 1.0},        // never before path difference zero
      {3, -0.8, 1.0},        // (where the window would give 0.0049)
      {0, 0.9, 0.0},         // beyond xmax the window's 0.0
      {6, 0.8, 0.0},         // at xmax
      {kOutside, 0.2, 1.0},  // a code outside the registry: no window at all
      {kOutside, 0.9, 1.0},  // not even beyond xmax
      {-1, 0.2, 1.0},        // negative code
      {-1, 0.9, 1.0},        // negative code beyond xmax
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "iapod=" << row.iapod << ", x=" << row.x);
    EXPECT_EQ(apodization_weight(row.iapod, row.x, xmax), row.expected);
  }
  for (const WindowCase& w : kWindows) {
    SCOPED_TRACE(w.name);
    EXPECT_EQ(apodization_weight(w.iapod, 0.3, xmax), w.fn(0.3, xmax));
  }
}

// red.dat names codes 0..6; it takes the later windows' codes, as any other, for no window.
TEST(WindowsTest, RedDatNamesTheClassicCodesOnly) {
  for (const Window& w : window_registry()) {
    SCOPED_TRACE(w.option);
    const bool classic = w.code <= 6;
    EXPECT_EQ(red_dat_window(w.code), classic ? &w : nullptr);
    EXPECT_EQ(red_dat_code(w.code), classic ? w.code : kNoWindow);
  }
  EXPECT_EQ(red_dat_code(-3), kNoWindow);
  EXPECT_EQ(window_by_code(-1), nullptr);
  EXPECT_EQ(window_by_code(kOutside), nullptr);
  EXPECT_EQ(window_by_option("Boxcar"), nullptr);
  EXPECT_EQ(window_by_option(""), nullptr);
  EXPECT_EQ(apodization_weight(red_dat_code(9), 0.7, 0.8), 1.0);
}

TEST(WindowsTest, TitleRule) {
  const char* const titles[] = {
      "Boxcar apodization",
      "Triangle/Bartlet apodization",
      "Hamming/Hepp-Genzel",
      "Blackman-Harris apodization",
      "Norton-Beers Weak apodization",
      "Norton-Beers Medium apodization",
      "Norton-Beers Strong apodization",
  };
  for (int iapod = 0; iapod <= 6; ++iapod) {
    SCOPED_TRACE(testing::Message() << "iapod=" << iapod);
    EXPECT_EQ(window_title(iapod), titles[iapod]);
  }
  EXPECT_EQ(window_title(kOutside), "");
  EXPECT_EQ(window_title(-1), "");

  Title title;
  EXPECT_EQ(title.text(), std::string(80, ' '));
  title.apply_window(kOutside);  // the first file with no window: still blanks
  EXPECT_EQ(title.text(), std::string(80, ' '));
  title.apply_window(3);
  const std::string blackman = "Blackman-Harris apodization";
  EXPECT_EQ(title.text(), blackman + std::string(80 - blackman.size(), ' '));
  title.apply_window(kOutside);  // keeps the previous file's title
  title.apply_window(-1);
  EXPECT_EQ(title.text(), blackman + std::string(80 - blackman.size(), ' '));
  title.apply_window(0);
  EXPECT_EQ(title.text().substr(0, 19), "Boxcar apodization ");
  EXPECT_EQ(title.text().size(), 80u);
  title.set(std::string(90, 'x'));  // longer texts are cut at 80
  EXPECT_EQ(title.text(), std::string(80, 'x'));
}

}  // namespace
}  // namespace ftir::transform
