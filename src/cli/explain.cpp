// --explain: each file read by its own reader and its conversion planned as the run plans
// it, then told in words; no transform is made and nothing is written.
#include "cli/explain.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>

#include "driver/batch.h"
#include "driver/instrument.h"
#include "driver/memory.h"
#include "driver/output_names.h"
#include "report/format_text.h"
#include "spcfile/header.h"
#include "spcfile/output_name.h"
#include "transform/fft.h"

namespace ftir::cli {
namespace {

using report::shortest_text;

// A derived figure (a resolution) to six significant digits.
std::string six(double v) {
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 6);
  return std::string(buffer, end.ptr);
}

// The parameters a file states, "KEY value" each, in the order of the processing.
std::string stated_parameters(const values::InstrumentParameters& p) {
  std::vector<std::string> items;
  const auto real = [&items](std::string_view key, const std::optional<double>& v) {
    if (v) items.push_back(std::string(key) + " " + shortest_text(*v));
  };
  const auto whole = [&items](std::string_view key, const std::optional<int>& v) {
    if (v) items.push_back(std::string(key) + " " + std::to_string(*v));
  };
  const auto text = [&items](std::string_view key, const std::string& v) {
    if (!v.empty()) items.push_back(std::string(key) + " " + v);
  };
  real("LWN", p.lwn);
  real("HFL", p.hfl);
  real("LFL", p.lfl);
  whole("SSP", p.ssp);
  text("AQM", p.aqm);
  whole("PKL", p.pkl);
  real("RES", p.res);
  text("APF", p.apf);
  real("PHR", p.phr);
  text("PHZ", p.phz);
  whole("ZFF", p.zff);
  real("LFQ", p.lfq);
  real("HFQ", p.hfq);
  whole("NLI", p.nli);
  real("NLA", p.nla);
  real("NLB", p.nlb);
  real("GFW", p.gfw);
  real("GBW", p.gbw);
  if (p.transform_points) items.push_back("transform " + std::to_string(*p.transform_points));
  std::string line;
  for (const std::string& item : items) line += (line.empty() ? "" : ", ") + item;
  return line.empty() ? "none" : line;
}

// The curves the instrument stored beside the samples.
std::string stored_curves(const values::Instrument& i) {
  std::string line;
  const auto add = [&line](const std::optional<values::StoredCurve>& c, std::string_view name) {
    if (c) line += (line.empty() ? "" : ", ") + std::string(name);
  };
  add(i.sample_spectrum, "sample spectrum (ScSm)");
  add(i.reference_spectrum, "reference spectrum (ScRf)");
  add(i.absorbance, "absorbance (AB)");
  add(i.transmittance, "transmittance (TR)");
  add(i.sample_phase, "phase (PhSm)");
  return line;
}

void explain_instrument(const Settings& s, driver::Workspace& ws, const values::Interferogram& ig,
                        Explained& e) {
  const values::Instrument& facts = *ig.instrument;
  const bool opus = ig.format == values::SourceFormat::kOpus;
  e.lines.push_back(std::string(opus ? "OPUS" : "OMNIC") + " file: " +
                    (facts.channel == values::Channel::kReference ? "reference" : "sample") +
                    " channel from " + facts.block + ", " + std::to_string(ig.samples.size()) +
                    " points" + (facts.scans == 2 ? " (forward and backward scans)" : ""));
  if (!facts.sample_name.empty() || facts.measured) {
    std::string line =
        "sample: " + (facts.sample_name.empty() ? std::string("(not named)")
                                                : driver::utf8_of_latin1(facts.sample_name));
    if (facts.measured) line += ", measured " + driver::measured_text(*facts.measured);
    e.lines.push_back(line);
  }
  e.lines.push_back("stored parameters: " + stated_parameters(facts.parameters));
  const std::string curves = stored_curves(facts);
  if (!curves.empty()) e.lines.push_back("stored spectra: " + curves);

  const driver::InstrumentPlan plan = driver::plan_instrument(ig, &s);
  if (plan.refused) {
    e.refusal = plan.refused->skip_text();
    return;
  }
  if (s.ratio != driver::Ratio::kNone && facts.channel != values::Channel::kSample) {
    e.refusal = "it holds no sample interferogram to take a ratio of";
    return;
  }
  const driver::InstrumentUsed& u = plan.used;
  if (u.replaced.empty()) {
    e.lines.push_back("options given: none replaces a stored parameter");
  } else {
    std::string line;
    for (const std::string& r : u.replaced) line += (line.empty() ? "" : ", ") + r;
    e.lines.push_back("options given: " + line);
  }
  if (!s.spc_only_given.empty()) {
    std::string line;
    for (const std::string& o : s.spc_only_given) line += (line.empty() ? "" : ", ") + o;
    e.lines.push_back("not applied: " + line + " (the file's own processing decides)");
  }
  std::string processing = u.window + " window, phase " + u.phase;
  if (u.phase_resolution > 0.0) processing += " at " + shortest_text(u.phase_resolution) + " cm-1";
  processing += u.resolution > 0.0 ? ", resolution " + shortest_text(u.resolution) + " cm-1"
                                   : ", every sample after the centerburst";
  processing += ", zero filling " + std::to_string(u.zero_fill) + ", range " +
                shortest_text(u.low) + " to " + shortest_text(u.high) + " cm-1";
  if (u.nonlinearity) processing += ", detector nonlinearity corrected";
  if (s.ratio != driver::Ratio::kNone) {
    processing += s.ratio == driver::Ratio::kAbsorbance ? "; absorbance of the two channels"
                                                        : "; transmittance of the two channels";
  }
  e.lines.push_back("processing: " + processing);

  // The limits of the record: the longest side the samples give, the transforms the
  // storage holds at this resolution, and the centerburst indices a scan has.
  const transform::InstrumentRecipe& r = plan.recipe;
  const int scan_points = plan.scans == 2 ? static_cast<int>(ig.samples.size()) / 2
                                          : static_cast<int>(ig.samples.size());
  const int after = scan_points - r.zpd;
  const int longest = plan.scans == 2 ? std::min(r.zpd, after - 1) : after;
  std::string limits = "limits: ";
  if (longest > 0) {
    limits += "finest resolution " + six(0.9 * 2.0 * r.nyquist / longest) + " cm-1 (" +
              std::to_string(longest) + " samples from the centerburst), ";
  }
  const long long room = std::min<long long>(ws.instrument.capacity, transform::Fft::kMaxPoints);
  const long long base = transform::power_of_two_at_least(r.long_side, room);
  int largest = 0;
  for (int z = 16; z >= 1 && base > 0; z /= 2) {
    if (base * z <= room) {
      largest = z;
      break;
    }
  }
  limits += largest > 0
                ? "largest zero filling " + std::to_string(largest) + " at this resolution, "
                : "no zero filling fits at this resolution, ";
  limits += "--zpd 1 to " + std::to_string(scan_points) + " (the centerburst at " +
            std::to_string(r.zpd + 1) + ")";
  e.lines.push_back(limits);
}

void explain_spc(const Settings& s, const values::Interferogram& ig,
                 const std::optional<values::Refused>& refused, Explained& e) {
  const int npts = static_cast<int>(ig.samples.size());
  e.lines.push_back("SPC file: " + std::to_string(npts) + " points");
  std::optional<double> wref = s.laser;
  std::string laser_from = "--laser";
  if (!wref && ig.laser) {
    wref = ig.laser;
    laser_from = "the file";
  }
  if (!wref) {
    wref = spcfile::laser_from_x(ig.x, s.sampr);
    laser_from = "its X range";
  }
  if (refused) {
    e.refusal = refused->skip_text();
    return;
  }
  if (!s.allow_truncated && ig.points_held < ig.declared_points) {
    e.refusal = values::Refused{values::Refusal::kTruncated, {}, ig.points_held, ig.declared_points}
                    .skip_text();
    return;
  }
  if (!wref) {
    e.refusal = values::Refused{values::Refusal::kNoLaser, {}, 0, 0}.skip_text();
    return;
  }
  if (!driver::usable_sample_spacing(*wref, s.sampr)) {
    e.refusal = values::Refused{values::Refusal::kUnusableSpacing, {}, 0, 0}.skip_text();
    return;
  }
  e.lines.push_back("stored parameters: laser " + shortest_text(*wref) + " cm-1 (from " +
                    laser_from + "), X " + shortest_text(ig.x.first) + " to " +
                    shortest_text(ig.x.last));
  if (s.laser && ig.laser && *ig.laser != *s.laser) {
    e.lines.push_back("options given: --laser " + shortest_text(*s.laser) + " for the file's " +
                      shortest_text(*ig.laser));
  }
  if (npts < 2) return;
  // The centerburst as the classic rule finds it: the largest magnitude after the mean.
  double mean = 0.0;
  for (const double y : ig.samples) mean += y;
  mean /= npts;
  int jmax = 0;
  for (int i = 1; i < npts; ++i) {
    if (std::fabs(ig.samples[static_cast<std::size_t>(i)] - mean) >
        std::fabs(ig.samples[static_cast<std::size_t>(jmax)] - mean)) {
      jmax = i;
    }
  }
  const double dx = 1.0 / (*wref * s.sampr);
  const int longest = std::max(jmax, npts - 1 - jmax);
  e.lines.push_back("limits: finest resolution " + six(1.0 / (longest * dx)) + " cm-1 (" +
                    std::to_string(longest) +
                    " samples from the centerburst), largest zero filling 16, --zpd 1 to " +
                    std::to_string(npts) + " (the centerburst at " + std::to_string(jmax + 1) +
                    ")");
}

}  // namespace

Explained explain_file(const Settings& settings, driver::Workspace& ws, const std::string& name) {
  Explained e;
  e.input = name;
  const driver::ReadOutcome read =
      driver::read_interferogram(name, ws, driver::ReadOptions{settings.channel});
  const bool instrument = read.ig.format != values::SourceFormat::kSpc;
  if (instrument && read.refused) {
    e.lines.push_back(
        std::string(read.ig.format == values::SourceFormat::kOpus ? "OPUS" : "OMNIC") + " file");
    e.refusal = read.refused->skip_text();
  } else if (instrument) {
    explain_instrument(settings, ws, read.ig, e);
  } else if (read.refused && read.refused->code == values::Refusal::kCannotOpen) {
    e.refusal = read.refused->skip_text();
  } else {
    explain_spc(settings, read.ig, read.refused, e);
  }
  // The plan holds; whether the transform itself takes the record (a resolution finer than
  // its samples allow, a range with no point) is tried in memory, nothing written.
  if (e.refusal.empty() && !e.lines.empty() && !read.refused) {
    const driver::MemorySpectrum trial = driver::convert_in_memory(read.ig, settings, ws);
    if (trial.record.status == driver::FileStatus::kSkipped) e.refusal = trial.record.reason;
  }
  if (e.refusal.empty()) {
    std::string names;
    const driver::OutputNames outputs = driver::output_names(
        name, driver::content_of(read.ig), driver::naming_request(settings, settings.outdir));
    for (const std::string& out : outputs.all()) {
      names += (names.empty() ? "" : ", ") + out;
    }
    e.lines.push_back("writes: " + names);
  }
  return e;
}

int run_explain(const Settings& settings, Streams& streams) {
  // Nothing is written, side outputs included: a run that names them is told so.
  std::string unwritten;
  for (const auto& [option, path] : {std::pair{"--log", &settings.log_path},
                                     std::pair{"--summary", &settings.summary_path},
                                     std::pair{"--save-red-dat", &settings.red_dat_path},
                                     std::pair{"--report", &settings.report_path}}) {
    if (!path->empty()) unwritten += std::string(unwritten.empty() ? "" : ", ") + option;
  }
  if (!unwritten.empty() && !settings.quiet) {
    streams.err.write("ftir-reduce: note: --explain writes nothing: " + unwritten +
                      " not written\n");
  }
  auto ws = std::make_unique<driver::Workspace>();
  int status = 0;
  for (const std::string& name : settings.files) {
    const Explained e = explain_file(settings, *ws, name);
    std::string text = e.input + "\n";
    for (const std::string& line : e.lines) text += "  " + line + "\n";
    if (!e.refusal.empty()) {
      text += "  the run would skip it: " + e.refusal + "\n";
      status = 2;
    }
    streams.out.write(text);
  }
  return status;
}

}  // namespace ftir::cli
