// Thinning for drawing, the spread of many spectra, and the compact value text.
#include "page/curves.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace ftir::page {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz-_";
constexpr int kGapLevel = 4095;
constexpr int kTopLevel = 4094;

double last_x(const driver::Curve& curve) {
  return curve.x_first + static_cast<double>(curve.y.size() - 1) * curve.x_step;
}

}  // namespace

DrawnCurve thin_for_drawing(const driver::Curve& curve, int columns) {
  DrawnCurve drawn;
  const std::size_t n = curve.y.size();
  if (columns < 1 || n <= 2 * static_cast<std::size_t>(columns)) {
    drawn.x0 = curve.x_first;
    drawn.dx = curve.x_step;
    drawn.y.reserve(n);
    for (double v : curve.y) drawn.y.push_back(std::isfinite(v) ? v : kNaN);
    return drawn;
  }
  // Column c holds points [c*n/columns, (c+1)*n/columns): equal counts on the even grid,
  // so every column spans n/columns point spacings and its centre is uniform in c.
  const auto cols = static_cast<std::size_t>(columns);
  const double width = static_cast<double>(n) / static_cast<double>(columns) * curve.x_step;
  drawn.per_x = 2;
  drawn.dx = width;
  drawn.x0 = curve.x_first - 0.5 * curve.x_step + 0.5 * width;
  drawn.y.reserve(2 * cols);
  for (std::size_t c = 0; c < cols; ++c) {
    const std::size_t begin = c * n / cols;
    const std::size_t end = (c + 1) * n / cols;
    std::size_t imin = end;
    std::size_t imax = end;
    for (std::size_t i = begin; i < end; ++i) {
      const double v = curve.y[i];
      if (!std::isfinite(v)) continue;
      if (imin == end || v < curve.y[imin]) imin = i;
      if (imax == end || v > curve.y[imax]) imax = i;
    }
    if (imin == end) {
      drawn.y.push_back(kNaN);
      drawn.y.push_back(kNaN);
    } else {
      drawn.y.push_back(curve.y[std::min(imin, imax)]);
      drawn.y.push_back(curve.y[std::max(imin, imax)]);
    }
  }
  return drawn;
}

void shrink_kept_curve(driver::Curve& curve, int columns) {
  DrawnCurve drawn = thin_for_drawing(curve, columns);
  if (drawn.per_x != 2) return;
  curve.x_first = drawn.x0 - 0.25 * drawn.dx;
  curve.x_step = 0.5 * drawn.dx;
  curve.y = std::move(drawn.y);
}

double quantile(std::vector<double>& values, double q) {
  if (values.empty()) return kNaN;
  std::sort(values.begin(), values.end());
  const double h = q * static_cast<double>(values.size() - 1);
  const auto below = static_cast<std::size_t>(std::floor(h));
  if (below + 1 >= values.size()) return values.back();
  const double frac = h - static_cast<double>(below);
  return values[below] + frac * (values[below + 1] - values[below]);
}

SpectrumBand spectrum_band(std::span<const driver::Curve* const> curves, int columns) {
  SpectrumBand band;
  double xmin = std::numeric_limits<double>::infinity();
  double xmax = -xmin;
  for (const driver::Curve* curve : curves) {
    if (curve->y.empty()) continue;
    xmin = std::min({xmin, curve->x_first, last_x(*curve)});
    xmax = std::max({xmax, curve->x_first, last_x(*curve)});
  }
  if (columns < 1 || !(xmin <= xmax) || !std::isfinite(xmax - xmin)) return band;
  if (xmax == xmin) columns = 1;
  const auto cols = static_cast<std::size_t>(columns);
  const double width = xmax > xmin ? (xmax - xmin) / static_cast<double>(columns) : 1.0;
  band.x0 = xmin + 0.5 * width;
  band.dx = width;
  const auto column_of = [&](double x) {
    const double c = std::floor((x - xmin) / width);
    return static_cast<std::size_t>(std::clamp(c, 0.0, static_cast<double>(cols - 1)));
  };

  std::vector<std::vector<double>> minima(cols);
  std::vector<std::vector<double>> maxima(cols);
  std::vector<double> low(cols);
  std::vector<double> high(cols);
  for (const driver::Curve* curve : curves) {
    const std::vector<double>& y = curve->y;
    if (y.empty()) continue;
    ++band.files;
    std::fill(low.begin(), low.end(), kNaN);
    std::fill(high.begin(), high.end(), kNaN);
    for (std::size_t i = 0; i < y.size(); ++i) {
      if (!std::isfinite(y[i])) continue;
      const std::size_t c = column_of(curve->x_first + static_cast<double>(i) * curve->x_step);
      if (std::isnan(low[c]) || y[i] < low[c]) low[c] = y[i];
      if (std::isnan(high[c]) || y[i] > high[c]) high[c] = y[i];
    }
    const std::size_t first = column_of(std::min(curve->x_first, last_x(*curve)));
    const std::size_t last = column_of(std::max(curve->x_first, last_x(*curve)));
    for (std::size_t c = first; c <= last; ++c) {
      if (std::isnan(low[c]) && y.size() > 1 && curve->x_step != 0.0) {
        const double t = (band.x0 + static_cast<double>(c) * width - curve->x_first) /
                         curve->x_step;
        const double i = std::clamp(std::floor(t), 0.0, static_cast<double>(y.size() - 2));
        const auto k = static_cast<std::size_t>(i);
        const double v = y[k] + (t - i) * (y[k + 1] - y[k]);
        if (std::isfinite(v)) low[c] = high[c] = v;
      }
      if (std::isnan(low[c])) continue;
      minima[c].push_back(low[c]);
      maxima[c].push_back(high[c]);
    }
  }
  for (std::size_t c = 0; c < cols; ++c) {
    band.p5.push_back(quantile(minima[c], 0.05));
    band.median_low.push_back(quantile(minima[c], 0.5));
    band.median_high.push_back(quantile(maxima[c], 0.5));
    band.p95.push_back(quantile(maxima[c], 0.95));
  }
  return band;
}

EncodedValues encode_values(std::span<const double> y) {
  EncodedValues encoded;
  bool any = false;
  for (double v : y) {
    if (!std::isfinite(v)) continue;
    encoded.lo = any ? std::min(encoded.lo, v) : v;
    encoded.hi = any ? std::max(encoded.hi, v) : v;
    any = true;
  }
  const double span = encoded.hi - encoded.lo;
  encoded.digits.reserve(2 * y.size());
  for (double v : y) {
    int level = kGapLevel;
    if (std::isfinite(v)) {
      level = span > 0.0 && std::isfinite(span)
                  ? static_cast<int>(std::lround((v - encoded.lo) / span * kTopLevel))
                  : 0;
      level = std::clamp(level, 0, kTopLevel);
    }
    encoded.digits += kDigits[level / 64];
    encoded.digits += kDigits[level % 64];
  }
  return encoded;
}

}  // namespace ftir::page
