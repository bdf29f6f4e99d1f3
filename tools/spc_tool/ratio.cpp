// Ratioing a sample single-beam spectrum against a background one.
#include "spc_tool/ratio.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "spc_tool/command_line.h"
#include "spc_tool/encode.h"
#include "transform/instrument_path.h"

namespace ftir::spctool {
namespace {

constexpr int kInterferogramUnits = 1;
constexpr int kAbsorbanceUnits = 2;
constexpr int kTransmittanceUnits = 128;

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

// The background at `x` from its points ordered by increasing X; x within their range.
double interpolate(std::span<const double> bx, std::span<const double> by, double x) {
  const auto above = std::upper_bound(bx.begin(), bx.end(), x);
  if (above == bx.end()) return by.back();
  const auto k = static_cast<std::size_t>(above - bx.begin());
  if (k == 0) return by.front();
  const double t = (x - bx[k - 1]) / (bx[k] - bx[k - 1]);
  return by[k - 1] + t * (by[k] - by[k - 1]);
}

}  // namespace

RatioResult ratio(const Trace& sample, const Trace& background, bool absorbance) {
  // The background in increasing X, for the search.
  std::vector<double> bx = background.x;
  std::vector<double> by = background.y;
  if (bx.front() > bx.back()) {
    std::reverse(bx.begin(), bx.end());
    std::reverse(by.begin(), by.end());
  }
  const bool same_grid = sample.x == background.x;
  auto inside = [&](double x) { return x >= bx.front() && x <= bx.back(); };

  RatioResult result;
  const auto first = std::find_if(sample.x.begin(), sample.x.end(), inside);
  if (first == sample.x.end()) {
    throw ToolError(sample.path + ": X runs from " + number(sample.x.front()) + " to " +
                    number(sample.x.back()) + ", outside the range of " + background.path + " (" +
                    number(bx.front()) + " to " + number(bx.back()) + ")");
  }
  result.first = static_cast<std::size_t>(first - sample.x.begin());
  result.last = result.first;
  while (result.last + 1 < sample.x.size() && inside(sample.x[result.last + 1])) ++result.last;

  for (std::size_t i = result.first; i <= result.last; ++i) {
    const double b = same_grid ? background.y[i] : interpolate(bx, by, sample.x[i]);
    const double t = sample.y[i] / b;
    // An absorbance takes the converter's clamp: a transmittance at or below 1e-6 gives 6.
    const bool defined = b > 0.0 && std::isfinite(t);
    double value = 0.0;
    if (defined) {
      value = absorbance ? transform::absorbance_of(t) : t;
    } else {
      if (result.undefined == 0) result.undefined_from = sample.x[i];
      result.undefined_to = sample.x[i];
      ++result.undefined;
    }
    result.y.push_back(value);
  }
  return result;
}

int run_ratio(std::span<char* const> args) {
  const Arguments a =
      parse_arguments(args, {{"--output", "-o", true}, {"--absorbance", "", false}});
  if (a.files.size() != 2) usage_error("ratio takes SAMPLE and BACKGROUND");
  const std::string output = a.value("--output");
  if (output.empty()) usage_error("ratio needs -o OUT");
  refuse_overwriting_inputs(output, a.files);
  Trace sample = read_trace(a.files[0]);
  Trace background = read_trace(a.files[1]);
  for (Trace* t : {&sample, &background}) {
    load_points(*t);
    if (t->yunits() == kInterferogramUnits) {
      throw ToolError(t->path + ": cannot ratio an interferogram; convert it to a spectrum first");
    }
    if (t->present < t->declared) {
      throw ToolError(t->path + ": cannot ratio: it holds only " + std::to_string(t->present) +
                      " of its " + std::to_string(t->declared) + " points");
    }
  }
  if (sample.xunits() != background.xunits()) {
    throw ToolError(background.path + ": X units " + std::to_string(background.xunits()) +
                    " differ from the sample's " + std::to_string(sample.xunits()));
  }
  const bool absorbance = a.has("--absorbance");
  const RatioResult r = ratio(sample, background, absorbance);

  const std::size_t left_out = sample.y.size() - r.y.size();
  if (left_out > 0) {
    write_stderr("spc-tool: ratio: " + std::to_string(left_out) + " of " +
                 std::to_string(sample.y.size()) +
                 " sample points lie outside the background's X range and are left out\n");
  }
  if (r.undefined > 0) {
    write_stderr(std::string("spc-tool: ratio: ") +
                 "background not positive at " +
                 std::to_string(r.undefined) + " of " + std::to_string(r.y.size()) + " points (X " +
                 number(r.undefined_from) + " to " + number(r.undefined_to) + "): written as 0\n");
  }
  TraceContent content;
  content.firstx = sample.x[r.first];
  content.lastx = sample.x[r.last];
  content.y = r.y;
  content.yunits = absorbance ? kAbsorbanceUnits : kTransmittanceUnits;
  content.comment = (absorbance ? "Absorbance -log10 " : "Transmittance ") + sample.name + " / " +
                    background.name;
  if (content.comment.size() > 130) content.comment = content.comment.substr(0, 127) + "...";
  write_file(output, encode_like(sample, content));
  return 0;
}

}  // namespace ftir::spctool
