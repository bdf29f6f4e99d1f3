// The SVG picture of one or more spectra: frame, grid, ticks, axis titles, title, traces,
// legend. Everything is drawn from the data; the file refers to nothing outside itself.
#include "spc_tool/svg_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "spc_tool/command_line.h"

namespace ftir::spctool {
namespace {

// Layout in SVG user units (pixels at 100%).
constexpr double kLeft = 96.0;  // room for the Y tick labels and the Y axis title
constexpr double kTop = 58.0;   // room for the title
constexpr double kPlotWidth = 780.0;
constexpr double kPlotHeight = 440.0;
constexpr double kBottom = 66.0;  // room for the X tick labels and the X axis title
constexpr double kLegendGap = 22.0;
constexpr double kRight = 16.0;
constexpr double kTickLength = 6.0;
constexpr double kLegendRow = 20.0;
constexpr double kCharWidth = 7.6;  // rough width of one legend character at 12 px
constexpr std::size_t kTitleChars = 110;
constexpr std::size_t kLegendChars = 46;

// Unit codes of the SPC layout that change how the plot is drawn.
constexpr int kWavenumberUnits = 1;     // X: cm-1, drawn from high to low
constexpr int kDataPointUnits = 22;     // X: point number
constexpr int kInterferogramUnits = 1;  // Y: interferogram, drawn against point number

constexpr const char* kColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd",
                                    "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#17becf"};

std::string fixed(double value) {
  char text[48];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

// One UTF-8 sequence at text[i], well-formed and not a surrogate or U+FFFE/U+FFFF;
// returns its length, 0 when it is not one.
std::size_t utf8_length(const std::string& text, std::size_t i) {
  auto byte = [&](std::size_t k) -> unsigned {
    return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0u;
  };
  auto cont = [&](std::size_t k) { return (byte(k) & 0xC0u) == 0x80u; };
  const unsigned b0 = byte(0);
  if (b0 >= 0xC2 && b0 <= 0xDF) return cont(1) ? 2 : 0;
  if (b0 >= 0xE0 && b0 <= 0xEF) {
    if (!cont(1) || !cont(2)) return 0;
    if (b0 == 0xE0 && byte(1) < 0xA0) return 0;                      // overlong
    if (b0 == 0xED && byte(1) >= 0xA0) return 0;                     // surrogate
    if (b0 == 0xEF && byte(1) == 0xBF && byte(2) >= 0xBE) return 0;  // U+FFFE, U+FFFF
    return 3;
  }
  if (b0 >= 0xF0 && b0 <= 0xF4) {
    if (!cont(1) || !cont(2) || !cont(3)) return 0;
    if (b0 == 0xF0 && byte(1) < 0x90) return 0;   // overlong
    if (b0 == 0xF4 && byte(1) >= 0x90) return 0;  // beyond U+10FFFF
    return 4;
  }
  return 0;
}

// A label cut to what the legend column holds: a bare name keeps its start, a path its
// end, where the part that tells it apart is.
std::string legend_name(const std::string& name) {
  if (name.size() <= kLegendChars) return name;
  if (name.find('/') == std::string::npos) return name.substr(0, kLegendChars - 3) + "...";
  return "..." + name.substr(name.size() - (kLegendChars - 3));
}

std::string x_axis_title(int xunits) {
  switch (xunits) {
    case 1:
      return "Wavenumber (cm\u207B\u00B9)";
    case 2:
      return "Wavelength (\u00B5m)";
    case 3:
      return "Wavelength (nm)";
    case 13:
      return "Raman shift (cm\u207B\u00B9)";
    case 22:
      return "Data point";
    default:
      return "X";
  }
}

std::string y_axis_title(int yunits) {
  switch (yunits) {
    case 0:
      return "Intensity (arbitrary units)";
    case 1:
      return "Interferogram signal";
    case 2:
      return "Absorbance";
    case 3:
      return "Kubelka-Munk";
    case 4:
      return "Counts";
    case 11:
      return "Percent";
    case 128:
      return "Transmittance";
    case 129:
      return "Reflectance";
    case 131:
      return "Emission";
    default:
      return "Y";
  }
}

// The shown range of values: [lo, hi] widened when it is a single value.
struct Range {
  double lo;
  double hi;
};

Range widened(double lo, double hi, double pad_fraction) {
  if (!(hi > lo)) {
    const double half = lo != 0.0 ? std::fabs(lo) * 0.1 : 1.0;
    return {lo - half, hi + half};
  }
  const double pad = (hi - lo) * pad_fraction;
  return {lo - pad, hi + pad};
}

// The last `count` of `parts` joined by '/' (all of them when there are fewer).
std::string path_end(const std::vector<std::string>& parts, std::size_t count) {
  std::string end;
  for (std::size_t i = parts.size() - std::min(count, parts.size()); i < parts.size(); ++i) {
    end += (end.empty() ? "" : "/") + parts[i];
  }
  return end;
}

}  // namespace

std::vector<std::string> legend_labels(std::span<const std::string> paths) {
  std::vector<std::vector<std::string>> parts;
  for (const std::string& path : paths) {
    std::error_code ignored;
    std::filesystem::path full = std::filesystem::absolute(path, ignored).lexically_normal();
    std::vector<std::string> names;
    for (const auto& part : full.relative_path()) {
      if (!part.empty()) names.push_back(part.string());
    }
    if (names.empty()) names.push_back(path);
    parts.push_back(std::move(names));
  }
  std::vector<std::string> labels;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    std::size_t count = 1;
    // Lengthen the end while another file's end of the same length reads the same.
    for (bool clash = true; clash && count < parts[i].size();) {
      clash = false;
      for (std::size_t j = 0; j < parts.size(); ++j) {
        if (parts[j] != parts[i] && path_end(parts[j], count) == path_end(parts[i], count)) {
          clash = true;
        }
      }
      if (clash) ++count;
    }
    labels.push_back(path_end(parts[i], count));
  }
  return labels;
}

std::vector<double> nice_ticks(double lo, double hi, int target) {
  const double raw = (hi - lo) / std::max(target, 1);
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double r = raw / magnitude;
  const double step = (r < 1.5 ? 1.0 : r < 3.0 ? 2.0 : r < 7.0 ? 5.0 : 10.0) * magnitude;
  // Tick k is k * step; the ends are taken with a little slack so that a range ending on a
  // round value keeps that tick despite rounding.
  std::vector<double> ticks;
  if (!(step > 0.0) || !std::isfinite(step)) return ticks;
  const double slack = step * 1e-9;
  const double first = std::ceil((lo - slack) / step);
  const double last = std::floor((hi + slack) / step);
  // The count is bounded: far from zero, a range of a few ulps would give more ticks than
  // the doubles between its ends.
  for (int i = 0; first + i <= last && i <= 4 * std::max(target, 1); ++i) {
    const double value = (first + i) * step;
    ticks.push_back(std::fabs(value) < slack ? 0.0 : value);
  }
  return ticks;
}

std::string tick_label(double value, double step) {
  char text[48];
  const double magnitude = std::max(std::fabs(value), step);
  if (magnitude >= 1e6 || step < 1e-4) {
    // Enough significant digits that ticks one step apart differ.
    const int digits = std::clamp(
        static_cast<int>(std::floor(std::log10(magnitude)) - std::floor(std::log10(step))) + 1, 1,
        15);
    std::snprintf(text, sizeof text, "%.*g", digits, value);
  } else {
    const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
  }
  std::string label = text;
  // A tick at zero that rounding made "-0..." reads as 0.
  if (label[0] == '-' && label.find_first_not_of("-0.") == std::string::npos) label.erase(0, 1);
  return label;
}

std::string xml_text(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      switch (b) {
        case '&':
          out += "&amp;";
          break;
        case '<':
          out += "&lt;";
          break;
        case '>':
          out += "&gt;";
          break;
        case '"':
          out += "&quot;";
          break;
        case '\'':
          out += "&apos;";
          break;
        default:
          out.push_back(b < 0x20 || b == 0x7F ? ' ' : static_cast<char>(b));
          break;
      }
      ++i;
      continue;
    }
    const std::size_t n = utf8_length(text, i);
    if (n == 0) {
      out += "\uFFFD";
      ++i;
    } else {
      out.append(text, i, n);
      i += n;
    }
  }
  return out;
}

std::string svg_plot(std::span<const Trace> traces, const std::string& title) {
  const int yunits = traces.empty() ? 0 : traces.front().yunits();
  // Interferograms are drawn against their point number: the X that instruments store for
  // them is a wavenumber scale with no meaning for the samples.
  const bool by_point = yunits == kInterferogramUnits;
  const int xunits = by_point ? kDataPointUnits : traces.empty() ? 1 : traces.front().xunits();
  auto x_of = [by_point](const Trace& t, std::size_t i) {
    return by_point ? static_cast<double>(i + 1) : t.x[i];
  };

  // Ranges over every point of every trace.
  double xlo = std::numeric_limits<double>::infinity();
  double xhi = -xlo;
  double ylo = xlo;
  double yhi = -xlo;
  for (const Trace& t : traces) {
    for (std::size_t i = 0; i < t.x.size(); ++i) {
      if (!std::isfinite(x_of(t, i))) {
        throw ToolError(t.path + ": the X of point " + std::to_string(i + 1) +
                        " is not a finite number");
      }
      xlo = std::min(xlo, x_of(t, i));
      xhi = std::max(xhi, x_of(t, i));
    }
    for (double y : t.y) {
      ylo = std::min(ylo, y);
      yhi = std::max(yhi, y);
    }
  }
  const Range xr = widened(xlo, xhi, 0.0);
  const Range yr = widened(ylo, yhi, 0.05);
  if (!std::isfinite(xr.hi - xr.lo) || !std::isfinite(yr.hi - yr.lo)) {
    throw ToolError("the values span more than a plot can show");
  }
  const bool descending = xunits == kWavenumberUnits;

  const double plot_left = kLeft;
  const double plot_right = kLeft + kPlotWidth;
  const double plot_top = kTop;
  const double plot_bottom = kTop + kPlotHeight;
  auto px = [&](double x) {
    const double f = (x - xr.lo) / (xr.hi - xr.lo);
    return descending ? plot_right - f * kPlotWidth : plot_left + f * kPlotWidth;
  };
  auto py = [&](double y) { return plot_bottom - (y - yr.lo) / (yr.hi - yr.lo) * kPlotHeight; };

  std::vector<std::string> paths;
  for (const Trace& t : traces) paths.push_back(t.path);
  const std::vector<std::string> labels = legend_labels(paths);
  std::size_t longest_name = 0;
  for (const std::string& label : labels) longest_name = std::max(longest_name, label.size());
  const double legend_width =
      std::clamp(44.0 + kCharWidth * static_cast<double>(longest_name), 110.0,
                 44.0 + kCharWidth * static_cast<double>(kLegendChars));
  const double width = plot_right + kLegendGap + legend_width + kRight;
  const double height = plot_bottom + kBottom;

  std::string heading = title;
  if (heading.empty() && !traces.empty()) heading = trim(traces.front().comment());
  if (heading.empty() && !traces.empty()) heading = traces.front().name;
  if (heading.size() > kTitleChars) heading = heading.substr(0, kTitleChars - 3) + "...";

  std::string svg;
  svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + fixed(width) + "\" height=\"" +
         fixed(height) + "\" viewBox=\"0 0 " + fixed(width) + " " + fixed(height) +
         "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\">\n";
  svg += "<rect x=\"0\" y=\"0\" width=\"" + fixed(width) + "\" height=\"" + fixed(height) +
         "\" fill=\"#ffffff\"/>\n";
  svg += "<text x=\"" + fixed((plot_left + plot_right) / 2) + "\" y=\"" + fixed(kTop / 2 + 6) +
         "\" text-anchor=\"middle\" font-size=\"17\" font-weight=\"bold\" fill=\"#222222\">" +
         xml_text(heading) + "</text>\n";

  // Grid and ticks. X ticks about 100 px apart, Y ticks about 60 px apart.
  const std::vector<double> xticks = nice_ticks(xr.lo, xr.hi, 8);
  const std::vector<double> yticks = nice_ticks(yr.lo, yr.hi, 7);
  const double xstep = xticks.size() >= 2 ? xticks[1] - xticks[0] : xr.hi - xr.lo;
  const double ystep = yticks.size() >= 2 ? yticks[1] - yticks[0] : yr.hi - yr.lo;
  svg += "<g stroke=\"#e6e6e6\" stroke-width=\"1\">\n";
  for (double t : xticks) {
    const std::string x = fixed(px(t));
    svg += "<line x1=\"" + x + "\" y1=\"" + fixed(plot_top) + "\" x2=\"" + x + "\" y2=\"" +
           fixed(plot_bottom) + "\"/>\n";
  }
  for (double t : yticks) {
    const std::string y = fixed(py(t));
    svg += "<line x1=\"" + fixed(plot_left) + "\" y1=\"" + y + "\" x2=\"" + fixed(plot_right) +
           "\" y2=\"" + y + "\"/>\n";
  }
  svg += "</g>\n";
  svg += "<g stroke=\"#333333\" stroke-width=\"1\">\n";
  for (double t : xticks) {
    const std::string x = fixed(px(t));
    svg += "<line x1=\"" + x + "\" y1=\"" + fixed(plot_bottom) + "\" x2=\"" + x + "\" y2=\"" +
           fixed(plot_bottom + kTickLength) + "\"/>\n";
  }
  for (double t : yticks) {
    const std::string y = fixed(py(t));
    svg += "<line x1=\"" + fixed(plot_left - kTickLength) + "\" y1=\"" + y + "\" x2=\"" +
           fixed(plot_left) + "\" y2=\"" + y + "\"/>\n";
  }
  svg += "</g>\n";
  svg += "<g font-size=\"12\" fill=\"#333333\">\n";
  for (double t : xticks) {
    svg += "<text x=\"" + fixed(px(t)) + "\" y=\"" + fixed(plot_bottom + kTickLength + 14) +
           "\" text-anchor=\"middle\">" + tick_label(t, xstep) + "</text>\n";
  }
  for (double t : yticks) {
    svg += "<text x=\"" + fixed(plot_left - kTickLength - 4) + "\" y=\"" + fixed(py(t) + 4) +
           "\" text-anchor=\"end\">" + tick_label(t, ystep) + "</text>\n";
  }
  svg += "</g>\n";
  svg += "<text x=\"" + fixed((plot_left + plot_right) / 2) + "\" y=\"" + fixed(height - 18) +
         "\" text-anchor=\"middle\" font-size=\"14\" fill=\"#222222\">" +
         xml_text(x_axis_title(xunits)) + "</text>\n";
  const std::string ymid = fixed((plot_top + plot_bottom) / 2);
  svg += "<text x=\"22\" y=\"" + ymid + "\" transform=\"rotate(-90 22 " + ymid +
         ")\" text-anchor=\"middle\" font-size=\"14\" fill=\"#222222\">" +
         xml_text(y_axis_title(yunits)) + "</text>\n";

  // The traces: one path each, every sample a point.
  svg += "<g fill=\"none\" stroke-width=\"1.2\" stroke-linejoin=\"round\">\n";
  for (std::size_t k = 0; k < traces.size(); ++k) {
    const Trace& t = traces[k];
    svg += "<path stroke=\"";
    svg += kColours[k % std::size(kColours)];
    svg += "\" d=\"";
    for (std::size_t i = 0; i < t.x.size(); ++i) {
      svg += i == 0 ? "M" : i == 1 ? " L" : " ";
      svg += fixed(px(x_of(t, i)));
      svg += ',';
      svg += fixed(py(t.y[i]));
    }
    svg += "\"/>\n";
  }
  svg += "</g>\n";
  svg += "<rect x=\"" + fixed(plot_left) + "\" y=\"" + fixed(plot_top) + "\" width=\"" +
         fixed(kPlotWidth) + "\" height=\"" + fixed(kPlotHeight) +
         "\" fill=\"none\" stroke=\"#333333\" stroke-width=\"1\"/>\n";

  // The legend, beside the plot so it never hides a trace.
  const double legend_left = plot_right + kLegendGap;
  const double legend_height = 12.0 + kLegendRow * static_cast<double>(traces.size());
  svg += "<g font-size=\"12\" fill=\"#222222\">\n";
  svg += "<rect x=\"" + fixed(legend_left) + "\" y=\"" + fixed(plot_top) + "\" width=\"" +
         fixed(legend_width) + "\" height=\"" + fixed(legend_height) +
         "\" fill=\"#ffffff\" stroke=\"#999999\" stroke-width=\"1\"/>\n";
  for (std::size_t k = 0; k < traces.size(); ++k) {
    const double row = plot_top + 6.0 + kLegendRow * (static_cast<double>(k) + 0.5);
    svg += "<line x1=\"" + fixed(legend_left + 8) + "\" y1=\"" + fixed(row) + "\" x2=\"" +
           fixed(legend_left + 30) + "\" y2=\"" + fixed(row) + "\" stroke=\"" +
           kColours[k % std::size(kColours)] + "\" stroke-width=\"2.5\"/>\n";
    svg += "<text x=\"" + fixed(legend_left + 36) + "\" y=\"" + fixed(row + 4) + "\">" +
           xml_text(legend_name(labels[k])) + "</text>\n";
  }
  svg += "</g>\n";
  svg += "</svg>\n";
  return svg;
}

int run_svg(std::span<char* const> args) {
  const Arguments a = parse_arguments(args, {{"--output", "-o", true}, {"--title", "", true}});
  if (a.files.empty()) usage_error("svg needs at least one FILE");
  std::vector<Trace> traces;
  traces.reserve(a.files.size());
  for (const std::string& file : a.files) {
    traces.push_back(read_trace(file));
    load_points(traces.back());
  }
  const std::string svg = svg_plot(traces, a.value("--title"));
  const std::string output = a.value("--output");
  if (output.empty()) {
    write_stdout(svg);
  } else {
    refuse_overwriting_inputs(output, a.files);
    write_file(output, svg);
  }
  return 0;
}

}  // namespace ftir::spctool
