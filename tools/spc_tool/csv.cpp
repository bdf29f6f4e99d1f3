// The "csv" view: every point as "x,y".
#include "spc_tool/csv.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <vector>

#include "omnicfile/reader.h"
#include "omnicfile/spa_file.h"
#include "opusfile/opus_file.h"
#include "opusfile/reader.h"
#include "spc_tool/command_line.h"

namespace ftir::spctool {
namespace {

void append_shortest(std::string& out, double value, bool as_f32) {
  char text[64];
  const auto result = as_f32 ? std::to_chars(text, text + sizeof text, static_cast<float>(value))
                             : std::to_chars(text, text + sizeof text, value);
  out.append(text, result.ptr);
}

void append_point(std::string& out, double x, double y) {
  append_shortest(out, x, false);
  out.push_back(',');
  append_shortest(out, y, false);
  out.push_back('\n');
}

// The stored curves --block names, and the interferograms' blocks by channel.
struct CurveBlock {
  std::string_view name;
  std::optional<values::StoredCurve> values::Instrument::*curve;
};
constexpr std::array<CurveBlock, 5> kCurveBlocks = {{
    {"ScSm", &values::Instrument::sample_spectrum},
    {"ScRf", &values::Instrument::reference_spectrum},
    {"AB", &values::Instrument::absorbance},
    {"TR", &values::Instrument::transmittance},
    {"PhSm", &values::Instrument::sample_phase},
}};

}  // namespace

std::string instrument_csv_text(const std::string& path, std::span<const unsigned char> bytes,
                                const std::string& block) {
  const auto curve = std::find_if(kCurveBlocks.begin(), kCurveBlocks.end(),
                                  [&block](const CurveBlock& c) { return c.name == block; });
  if (!block.empty() && block != "IgSm" && block != "IgRf" && curve == kCurveBlocks.end()) {
    usage_error("--block: '" + block + "' is not IgSm, IgRf, ScSm, ScRf, AB, TR or PhSm");
  }
  std::optional<values::Channel> channel;
  if (block == "IgSm") channel = values::Channel::kSample;
  if (block == "IgRf") channel = values::Channel::kReference;
  // The converter's own readers: the same samples, scale and refusals.
  std::vector<double> yin(static_cast<std::size_t>(values::kCapacity));
  std::optional<values::Refused> refused;
  values::Interferogram ig;
  if (opusfile::looks_like_opus(bytes)) {
    opusfile::OpusRead read = opusfile::read_opus(path, bytes, channel, yin);
    refused = std::move(read.refused);
    ig = std::move(read.ig);
  } else {
    omnicfile::SpaRead read = omnicfile::read_spa(path, bytes, channel, yin);
    refused = std::move(read.refused);
    ig = std::move(read.ig);
  }
  if (refused) throw ToolError(path + ": not readable: " + refused->skip_text());
  std::string out;
  if (curve == kCurveBlocks.end()) {
    const std::size_t n = ig.samples.size();
    const double step = n < 2 ? 0.0 : (ig.x.last - ig.x.first) / static_cast<double>(n - 1);
    out.reserve(n * 24);
    for (std::size_t i = 0; i < n; ++i) {
      append_point(out, ig.x.first + static_cast<double>(i) * step, ig.samples[i]);
    }
    return out;
  }
  const std::optional<values::StoredCurve>& stored = (*ig.instrument).*(curve->curve);
  if (!stored) {
    std::string held = ig.instrument->block;
    for (const CurveBlock& c : kCurveBlocks) {
      if ((*ig.instrument).*(c.curve)) held += ", " + std::string(c.name);
    }
    throw ToolError(path + ": holds no " + block + " block (it holds " + held + ")");
  }
  out.reserve(stored->values.size() * 24);
  for (std::size_t i = 0; i < stored->values.size(); ++i) {
    append_point(out, stored->x_first + static_cast<double>(i) * stored->x_step(), stored->y(i));
  }
  return out;
}

std::string csv_text(const Trace& trace) {
  std::string out;
  out.reserve(trace.x.size() * 24);
  for (std::size_t i = 0; i < trace.x.size(); ++i) {
    append_shortest(out, trace.x[i], trace.x_is_f32);
    out.push_back(',');
    append_shortest(out, trace.y[i], true);
    out.push_back('\n');
  }
  return out;
}

int run_csv(std::span<char* const> args) {
  const Arguments a = parse_arguments(args, {{"--block", "", true}});
  if (a.files.size() != 1) usage_error("csv takes one FILE");
  std::vector<unsigned char> bytes = read_file_bytes(a.files[0]);
  if (!instrument_format(bytes).empty()) {
    write_stdout(instrument_csv_text(a.files[0], bytes, a.value("--block")));
    return 0;
  }
  if (a.values.contains("--block")) {
    usage_error("--block names a block of an OPUS or OMNIC SPA file; " + a.files[0] +
                " is an SPC file");
  }
  Trace trace = parse_trace(a.files[0], std::move(bytes));
  load_points(trace);
  write_stdout(csv_text(trace));
  return 0;
}

}  // namespace ftir::spctool
