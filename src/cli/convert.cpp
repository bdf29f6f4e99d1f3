#include "cli/convert.h"

#include <chrono>
#include <cmath>

#include "cli/buffer_console.h"
#include "driver/batch.h"
#include "driver/instrument.h"
#include "report/stop.h"
#include "spcfile/header.h"

namespace ftir::cli {
namespace {

// The log of one file, kept as red.out would hold it.
class BufferSink : public report::Sink {
 public:
  explicit BufferSink(std::string& text) : text_(text) {}
  void write(std::string_view bytes) override { text_.append(bytes); }

 private:
  std::string& text_;
};

}  // namespace

driver::RunParameters file_parameters(const Settings& settings, double wref, double res) {
  driver::RunParameters p = driver::file_parameters(settings, wref, res);
  p.ilog = settings.log_path.empty() ? 0 : 1;
  return p;
}

namespace {

// Refusals a reader gives before it has the header's facts: the laser cannot be asked of
// such a file.
bool refused_before_header(values::Refusal code) {
  return code == values::Refusal::kCannotOpen || code == values::Refusal::kUnsupportedLayout ||
         code == values::Refusal::kMsbFirst;
}

// Reads the file and converts it: the laser comes from --laser or from the file; a file
// that states none, or whose laser gives no usable sample spacing, is refused before a
// refusal of its samples.
template <class Refuse>
void convert_read(const Settings& settings, driver::Workspace& ws, const report::Clock& clock,
                  const FileJob& job, report::Report& report, const std::string& fname,
                  FileOutcome& out, Refuse& refuse) {
  const driver::ReadOutcome read =
      driver::read_interferogram(fname, ws, driver::ReadOptions{settings.channel});
  using values::Refusal;
  // An instrument file's reader reasons in the file's own terms, before any laser rule of
  // the SPC reader; its plan names a laser it lacks.
  const bool instrument = read.ig.format != values::SourceFormat::kSpc;
  out.instrument_file = instrument;
  if (read.refused && (instrument || (!settings.laser && refused_before_header(read.refused->code)))) {
    return refuse(*read.refused);
  }
  if (instrument) {
    const driver::InstrumentPlan plan = driver::plan_instrument(read.ig, &settings);
    if (plan.refused) return refuse(*plan.refused);
  }
  std::optional<double> wref = settings.laser;
  if (!wref) wref = read.ig.laser;
  if (!wref) wref = spcfile::laser_from_x(read.ig.x, settings.sampr);
  if (!wref) return refuse({Refusal::kNoLaser, {}, 0, 0});
  if (!driver::usable_sample_spacing(*wref, settings.sampr)) {
    return refuse({Refusal::kUnusableSpacing, {}, 0, 0});
  }
  if (read.refused) return refuse(*read.refused);
  out.wref = *wref;
  driver::RunParameters params = file_parameters(settings, *wref, job.res_request);
  driver::FileOptions options;
  options.auto_side = settings.sides == Sides::kAuto;
  options.keep_curves = settings.keep_curves;
  options.road = driver::Road::kCommandLine;
  options.refuse_truncated = !settings.allow_truncated;
  options.refuse_without_centerburst = !settings.allow_no_centerburst;
  options.controls = driver::file_controls(settings);
  options.settings = &settings;
  driver::convert_interferogram(report, clock, params, ws, fname, read.ig, out.record, options);
  out.res_left = params.res;
}

}  // namespace

FileOutcome convert_file(const Settings& settings, driver::Workspace& ws,
                         const report::Clock& clock, const FileJob& job) {
  const auto start = std::chrono::steady_clock::now();
  FileOutcome out;
  out.res_left = job.res_request;
  BufferConsole console;
  BufferSink log(out.log);
  report::Report report(console);
  if (!settings.log_path.empty()) report.open_log(log);
  const std::string fname = job.name.substr(0, job.name.find_last_not_of(' ') + 1);
  driver::FileRecord& record = out.record;

  record.input = fname;
  record.iapod = settings.iapod;
  record.res_requested = job.res_request;
  record.asked = driver::controls_asked(settings);
  record.status = driver::FileStatus::kStopped;
  constexpr std::string_view kFileFormat = "(/,/,' Interferogram File:  ',A)";
  const std::string listed = report::padded(fname, report::kListedNameLength);
  report.console(kFileFormat, {listed});
  report.log(kFileFormat, {listed});
  auto refuse = [&](values::Refused refused) {
    driver::refuse(driver::Road::kCommandLine, report, record, fname, refused);
  };
  try {
    if (!job.refusal.empty()) {
      refuse({values::Refusal::kOutputClaimed, job.refusal, 0, 0});
    } else {
      convert_read(settings, ws, clock, job, report, fname, out, refuse);
    }
  } catch (const report::RunStop& s) {
    // Each file of a command-line run is a run of its own: a stop (a file that cannot be
    // written) ends this file, and the run goes on with the next.
    refuse({values::Refusal::kCannotOpen, s.text(), 0, 0});
  }
  report.close_log();
  // Every record leaves its line pending; a red.dat run ends it when the next file starts.
  if (!console.text.empty()) console.text += report::kLineEnd;
  out.console = std::move(console.text);
  record.milliseconds =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  return out;
}

}  // namespace ftir::cli
