#include "driver/batch.h"

#include <memory>

#include "driver/prepare.h"
#include "report/stop.h"
#include "spcfile/output_claims.h"
#include "transform/double_sided.h"
#include "transform/single_sided.h"

namespace ftir::driver {
namespace {

// The request range the driver always reads with: the single-precision values of
// -9.0e10 and +9.0e10, so that every point of any file lies inside it.
constexpr double kReadLow = -89999998976.0;
constexpr double kReadHigh = 89999998976.0;

bool centerburst_in_middle_third(int npts, int jmax) {
  const long long three_jmax = 3LL * jmax;
  return three_jmax > npts && three_jmax <= 2LL * npts;
}

}  // namespace

void process_file(report::Report& report, const report::Clock& clock, RunParameters& params,
                  Workspace& ws, const std::string& fname, transform::FileRecord& record,
                  const FileOptions& options) {
  using transform::FileStatus;
  record.input = fname.substr(0, fname.find_last_not_of(' ') + 1);
  record.iapod = params.iapod;
  record.res_requested = params.res;
  record.status = FileStatus::kStopped;

  constexpr std::string_view kFileFormat = "(/,/,' Interferogram File:  ',A)";
  report.console(kFileFormat, {fname});
  report.log(kFileFormat, {fname});

  // No X values: the paths never use them.
  spcfile::ReadResult read = spcfile::READSC(report, fname, kReadLow, kReadHigh,
                                             Workspace::kSamples, {}, ws.yin, ws.io,
                                             options.refusals);
  auto skip = [&](std::string_view reason) {
    report.skipped(fname, reason);
    record.status = FileStatus::kSkipped;
    record.reason = reason;
  };
  if (read.skip_reason != nullptr) return skip(read.skip_reason);
  const int npts = read.npts;
  record.npts = npts;
  constexpr std::string_view kCountFormat = "(1X,I10,' points read')";
  report.console(kCountFormat, {npts});
  report.log(kCountFormat, {npts});
  if (params.ipow2 == 0 && params.ires == 0) {  // count-only mode
    record.status = FileStatus::kCounted;
    return;
  }
  if (npts == 0) return skip("no points were read");

  const int jmax = remove_mean_and_find_centerburst(report, ws.yin, npts, read.sum);
  record.jmax = jmax;
  constexpr std::string_view kCenterFormat = "(' Centerburst located at ',I10)";
  report.console(kCenterFormat, {jmax});
  report.log(kCenterFormat, {jmax});

  transform::PathRequest req{params.sampr, params.wlref, params.iapod, params.ipow2,
                             params.npow,  params.ires,  params.iphase, params.wlow,
                             params.whigh, params.outdir, fname,        read.spare1,
                             npts,         jmax};
  transform::PathContext ctx{report, clock, record, options.keep_curves, options.outputs};
  transform::PathStorage storage = ws.paths();
  const bool single =
      options.auto_side ? !centerburst_in_middle_third(npts, jmax) : params.idbl == 0;
  if (single) {
    constexpr std::string_view kSingle = "(' Processing as single sided interferogram')";
    report.console(kSingle);
    report.log(kSingle);
    record.side = transform::Side::kSingle;
    transform::single_sided(ctx, req, params.res, storage);
  } else {
    constexpr std::string_view kDouble = "(' Processing as a double sided interferogram')";
    report.console(kDouble);
    report.log(kDouble);
    record.side = transform::Side::kDouble;
    transform::double_sided(ctx, req, params.res, storage);
  }
}

int run_batch(report::Report& report, const report::Clock& clock, RunParameters& params,
              Workspace& ws, std::vector<transform::FileRecord>* records,
              const FileOptions& run_options) {
  if (records != nullptr) records->reserve(records->size() + params.files.size());
  int skipped = 0;
  // The run's input files as they are now, and the outputs written for them.
  spcfile::OutputClaims outputs(params.files);
  FileOptions options = run_options;
  options.outputs = &outputs;
  transform::FileRecord scratch;
  for (const std::string& fname : params.files) {
    transform::FileRecord& record = records != nullptr ? records->emplace_back() : scratch;
    if (records == nullptr) record = {};
    process_file(report, clock, params, ws, fname, record, options);
    if (options.file_ended) options.file_ended(record);
    if (record.status == transform::FileStatus::kSkipped) ++skipped;
  }
  return skipped;
}

namespace {

// The run of both run_program()s; `params_read` and `stop_text`, when given, receive
// red.dat as read and the stop text.
int run_whole(report::Console& console, const report::Clock& clock,
              std::vector<transform::FileRecord>* records, const FileOptions& options,
              std::optional<RunParameters>* params_read, std::string* stop_text) {
  report::Report report(console);
  try {
    RunParameters params = load_run_parameters("red.dat");
    if (params_read != nullptr) *params_read = params;
    if (params.ilog == 1) report.open_log("red.out");
    auto ws = std::make_unique<Workspace>();  // once per run
    int skipped = run_batch(report, clock, params, *ws, records, options);
    report.close_log();
    report::stop("OK", skipped == 0 ? report::kExitOk : report::kExitSkipped);
  } catch (const report::RunStop& s) {  // the only catch of a RunStop
    if (records != nullptr && !records->empty() &&
        records->back().status == transform::FileStatus::kStopped) {
      records->back().reason = s.text();
    }
    if (stop_text != nullptr) *stop_text = s.text();
    report.show_stop_text(s.text());
    return s.exit_status();
  }
}

}  // namespace

int run_program(report::Console& console, const report::Clock& clock,
                std::vector<transform::FileRecord>* records) {
  return run_whole(console, clock, records, {}, nullptr, nullptr);
}

int run_program(report::Console& console, const report::Clock& clock, RunKept& kept,
                const FileOptions& options) {
  FileOptions classic;
  classic.keep_curves = options.keep_curves;
  classic.file_ended = options.file_ended;
  return run_whole(console, clock, &kept.records, classic, &kept.params, &kept.stop_text);
}

}  // namespace ftir::driver
