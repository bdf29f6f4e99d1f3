// Apodization windows, the weight rule and the title rule.
#pragma once

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

// The weight of code iapod at x: the window's value when iapod is 0..6 and x >= 0,
// otherwise 1.0.
double apodization_weight(int iapod, double x, double xmax);

// The window's title text for iapod 0..6 (unpadded); empty for any other code.
std::string_view window_title(int iapod);

// The 80-character title field, blank padded; starts as 80 blanks.
class Title {
 public:
  static constexpr int kLength = 80;
  Title() { set(""); }
  void set(std::string_view text);
  // The title rule: iapod 0..6 sets that window's title; any other code leaves it.
  void apply_window(int iapod);
  std::string_view text() const { return {text_, kLength}; }

 private:
  char text_[kLength];
};

}  // namespace ftir::transform
