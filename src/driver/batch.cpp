#include "driver/batch.h"

#include <memory>

#include "driver/prepare.h"
#include "report/stop.h"
#include "spcfile/reader.h"
#include "transform/double_sided.h"
#include "transform/single_sided.h"

namespace ftir::driver {
namespace {

// The request range the driver always reads with: the single-precision values of
// -9.0e10 and +9.0e10, so that every point of any file lies inside it.
constexpr double kReadLow = -89999998976.0;
constexpr double kReadHigh = 89999998976.0;

// One file: read, prepare, transform. Returns false when the file was skipped.
bool process_file(report::Report& report, const report::Clock& clock, RunParameters& params,
                  Workspace& ws, const std::string& fname) {
  constexpr std::string_view kFileFormat = "(/,/,' Interferogram File:  ',A)";
  report.console(kFileFormat, {fname});
  report.log(kFileFormat, {fname});

  // No X values: the paths never use them.
  spcfile::ReadResult read =
      spcfile::READSC(report, fname, kReadLow, kReadHigh, Workspace::kSamples, {}, ws.yin, ws.io);
  if (read.skip_reason != nullptr) {
    report.skipped(fname, read.skip_reason);
    return false;
  }
  const int npts = read.npts;
  constexpr std::string_view kCountFormat = "(1X,I10,' points read')";
  report.console(kCountFormat, {npts});
  report.log(kCountFormat, {npts});
  if (params.ipow2 == 0 && params.ires == 0) return true;  // count-only mode
  if (npts == 0) {
    report.skipped(fname, "no points were read");
    return false;
  }

  const int jmax = remove_mean_and_find_centerburst(report, ws.yin, npts);
  constexpr std::string_view kCenterFormat = "(' Centerburst located at ',I10)";
  report.console(kCenterFormat, {jmax});
  report.log(kCenterFormat, {jmax});

  transform::PathRequest req{params.sampr, params.wlref, params.iapod, params.ipow2,
                             params.npow,  params.ires,  params.iphase, params.wlow,
                             params.whigh, params.outdir, fname,        read.spare1,
                             npts,         jmax};
  transform::PathContext ctx{report, clock};
  transform::PathStorage storage = ws.paths();
  transform::PathResult result;
  if (params.idbl == 0) {
    constexpr std::string_view kSingle = "(' Processing as single sided interferogram')";
    report.console(kSingle);
    report.log(kSingle);
    result = transform::single_sided(ctx, req, params.res, storage);
  } else {
    constexpr std::string_view kDouble = "(' Processing as a double sided interferogram')";
    report.console(kDouble);
    report.log(kDouble);
    result = transform::double_sided(ctx, req, params.res, storage);
  }
  return result == transform::PathResult::kWritten;
}

}  // namespace

int run_batch(report::Report& report, const report::Clock& clock, RunParameters& params,
              Workspace& ws) {
  int skipped = 0;
  for (const std::string& fname : params.files) {
    if (!process_file(report, clock, params, ws, fname)) ++skipped;
  }
  return skipped;
}

int run_program(report::Console& console, const report::Clock& clock) {
  report::Report report(console);
  try {
    RunParameters params = load_run_parameters("red.dat");
    if (params.ilog == 1) report.open_log("red.out");
    auto ws = std::make_unique<Workspace>();  // once per run
    int skipped = run_batch(report, clock, params, *ws);
    report.close_log();
    report::stop("OK", skipped == 0 ? report::kExitOk : report::kExitSkipped);
  } catch (const report::RunStop& s) {  // the only catch of a RunStop
    report.show_stop_text(s.text());
    return s.exit_status();
  }
}

}  // namespace ftir::driver
