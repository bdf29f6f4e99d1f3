// Curves made ready for drawing: thinned to the extremes of each pixel column, the
// spread of many spectra on one axis, and the compact text the page's script decodes.
// Only what is drawn is thinned; the data written to files never passes through here.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "driver/file_record.h"

namespace ftir::page {

// A curve as drawn: value j lies at x0 + (j / per_x) * dx. With per_x 1 every point of
// the curve is kept; with per_x 2 each pair is the smallest and the largest value of one
// column of the axis, in the order they occur in the curve. NaN marks a gap.
struct DrawnCurve {
  double x0 = 0.0;
  double dx = 0.0;
  int per_x = 1;
  std::vector<double> y;
};

// The curve kept whole when it has at most 2 * `columns` points, otherwise thinned to
// `columns` equal columns of its x span. Values that are not finite are left out.
DrawnCurve thin_for_drawing(const driver::Curve& curve, int columns);

// Shrinks a curve kept for the page to the extremes of `columns` columns when it has more
// than 2 * `columns` points: each column's smallest and largest value, in the order they
// occur, become two points a half column apart about its centre, so the curve stays on an
// even grid and thinning it again keeps the same extremes. A run keeps its curves this
// small file by file; the files written are not touched.
void shrink_kept_curve(driver::Curve& curve, int columns);

// The spread of many spectra at each of `columns` columns spanning all of them (column
// c centred at x0 + c * dx): the 5 % quantile of the files' column minima, the medians
// of their minima and of their maxima, and the 95 % quantile of their maxima. A file
// whose points are sparser than the columns gives, in a column it spans but has no
// point in, its value interpolated at the column centre. NaN where no file reaches.
struct SpectrumBand {
  double x0 = 0.0;
  double dx = 0.0;
  int files = 0;
  std::vector<double> p5;
  std::vector<double> median_low;
  std::vector<double> median_high;
  std::vector<double> p95;
};
SpectrumBand spectrum_band(std::span<const driver::Curve* const> curves, int columns);

// The q-quantile (0..1) of `values`, linear between the order statistics (the median of
// 1, 2, 3, 4 is 2.5); sorts `values`. NaN when empty.
double quantile(std::vector<double>& values, double q);

// Values as the script reads them: each finite value rounded to one of 4095 levels
// between `lo` and `hi` and written as two characters of "0-9A-Za-z-_" (level 4095, "__",
// is a gap).
struct EncodedValues {
  double lo = 0.0;
  double hi = 0.0;
  std::string digits;
};
EncodedValues encode_values(std::span<const double> y);

}  // namespace ftir::page
