#include "cli/convert.h"

#include <chrono>
#include <cmath>

#include "cli/buffer_console.h"
#include "cli/laser.h"
#include "driver/batch.h"
#include "report/stop.h"

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

  // A file refused before it is read still gets the lines a skipped file gets.
  auto refuse = [&](const std::string& reason) {
    constexpr std::string_view kFileFormat = "(/,/,' Interferogram File:  ',A)";
    const std::string listed = report::padded(fname, report::kListedNameLength);
    report.console(kFileFormat, {listed});
    report.log(kFileFormat, {listed});
    report.skipped(fname, reason);
    record.input = job.name;
    record.iapod = settings.iapod;
    record.res_requested = job.res_request;
    record.status = driver::FileStatus::kSkipped;
    record.reason = reason;
  };

  std::optional<double> wref = settings.laser;
  std::string unreadable;
  if (!wref && job.refusal.empty()) {
    StatedLaser stated = stated_laser(job.name, settings.sampr);
    wref = stated.wref;
    unreadable = std::move(stated.problem);
  }
  if (!job.refusal.empty()) {
    refuse(job.refusal);
  } else if (!unreadable.empty()) {
    refuse(unreadable);
  } else if (!wref) {
    refuse(
        "its header states no laser wavenumber (its X range does not run from 0 cm-1); "
        "give --laser");
  } else if (!driver::usable_sample_spacing(*wref, settings.sampr)) {
    refuse("its laser wavenumber with this --sampr gives no usable sample spacing");
  } else {
    out.wref = *wref;
    driver::RunParameters params = file_parameters(settings, *wref, job.res_request);
    driver::FileOptions options;
    options.auto_side = settings.sides == Sides::kAuto;
    options.keep_curves = settings.keep_curves;
    options.road = driver::Road::kCommandLine;
    try {
      driver::process_file(report, clock, params, ws, fname, record, options);
      out.res_left = params.res;
    } catch (const report::RunStop& s) {
      // Each file of a command-line run is a run of its own: a stop (a file that cannot be
      // opened, read or written) ends this file, and the run goes on with the next.
      report.skipped(fname, s.text());
      record.status = driver::FileStatus::kSkipped;
      record.reason = s.text();
    }
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
