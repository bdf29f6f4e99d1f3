// Apodization windows, their registry, the weight rule and the title rule.
#pragma once

#include <span>
#include <string_view>

namespace ftir::transform {

// Each window is a function of the path difference x and the half-width xmax (> 0),
// even in x, zero for |x| > xmax, 1.0 at x = 0.
double APBOX(double x, double xmax);   // boxcar
double APTRI(double x, double xmax);   // triangle
double APHG(double x, double xmax);    // Happ-Genzel
double APBH3(double x, double xmax);   // three-term Blackman-Harris
double APNBW(double x, double xmax);   // Norton-Beer weak
double APNBM(double x, double xmax);   // Norton-Beer medium
double APNBS(double x, double xmax);   // Norton-Beer strong
double APBH4(double x, double xmax);   // four-term Blackman-Harris (minimum side lobes)
double APBN(double x, double xmax);    // Blackman-Nuttall
double APTRAP(double x, double xmax);  // trapezoid: 1.0 up to xmax / 2, then down to 0 at xmax

// One row of the window registry: all that the program knows of a window, and the one
// place to add one. Every list of windows (the --window choices, --check, the summary's
// window column, the page, the spectrum's title) reads these rows.
struct Window {
  int code;                 // red.dat's iapod
  std::string_view option;  // the --window choice; also the summary's window column
  std::string_view name;    // the name --check, the help and the page show
  std::string_view title;   // the spectrum's title text, unpadded
  // The window function.
  double (*weight)(double x, double xmax);
};

// red.dat names the windows of codes 0..kRedDatWindows-1; it takes any other iapod for no
// window, so the windows after them are reached from the command line and Python only.
inline constexpr int kRedDatWindows = 7;

// The registry, ordered by code; the codes run 0..size-1 without a gap.
std::span<const Window> window_registry();

// The row of code iapod as a red.dat run reads it: nullptr for a code red.dat does not
// name (no window), the later windows included.
const Window* red_dat_window(int iapod);

// The code a red.dat run's iapod stands for: iapod itself where red.dat names a window,
// otherwise kNoWindow.
inline constexpr int kNoWindow = -1;
int red_dat_code(int iapod);

// The row of code iapod; nullptr for any code outside the registry, which is no window:
// weight 1.0 everywhere and the title left as it was.
const Window* window_by_code(int iapod);

// The row whose --window choice is `option` (exact, case-sensitive); nullptr when none.
const Window* window_by_option(std::string_view option);

// The weight of code iapod at x: the window's value when iapod is in the registry and
// x >= 0, otherwise 1.0.
double apodization_weight(int iapod, double x, double xmax);

// The window's title text for a code in the registry (unpadded); empty for any other code.
std::string_view window_title(int iapod);

// The 80-character title field, blank padded; starts as 80 blanks.
class Title {
 public:
  static constexpr int kLength = 80;
  Title() { set(""); }
  void set(std::string_view text);
  // The title rule: a code in the registry sets that window's title; any other code
  // leaves it.
  void apply_window(int iapod);
  std::string_view text() const { return {text_, kLength}; }

 private:
  char text_[kLength];
};

}  // namespace ftir::transform
