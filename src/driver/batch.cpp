#include "driver/batch.h"

#include <algorithm>
#include <memory>

#include "driver/emit.h"
#include "driver/prepare.h"
#include "report/escape.h"
#include "report/stop.h"
#include "spcfile/file_place.h"
#include "spcfile/output_claims.h"
#include "transform/double_sided.h"
#include "transform/single_sided.h"

namespace ftir::driver {
namespace {

bool centerburst_in_middle_third(int npts, int jmax) {
  const long long three_jmax = 3LL * jmax;
  return three_jmax > npts && three_jmax <= 2LL * npts;
}

}  // namespace

void convert_interferogram(report::Report& report, const report::Clock& clock,
                           RunParameters& params, Workspace& ws, std::string_view fname,
                           const values::Interferogram& ig, FileRecord& record,
                           const FileOptions& options) {
  const Road road = options.road;
  const int npts = static_cast<int>(ig.samples.size());
  record.npts = npts;
  constexpr std::string_view kCountFormat = "(1X,I10,' points read')";
  report.console(kCountFormat, {npts});
  report.log(kCountFormat, {npts});
  if (params.ipow2 == 0 && params.ires == 0) {  // count-only mode
    record.status = FileStatus::kCounted;
    return;
  }
  if (options.refuse_truncated && ig.points_held < ig.declared_points) {
    return refuse(road, report, record, fname,
                  {values::Refusal::kTruncated, {}, ig.points_held, ig.declared_points});
  }
  if (npts == 0) {
    return refuse(road, report, record, fname, {values::Refusal::kNoPoints, {}, 0, 0});
  }
  if (ig.samples.data() != ws.yin.data()) {
    std::copy(ig.samples.begin(), ig.samples.end(), ws.yin.begin());
  }

  const int jmax = remove_mean_and_find_centerburst(report, ws.yin, npts, ig.sum);
  record.jmax = jmax;
  constexpr std::string_view kCenterFormat = "(' Centerburst located at ',I10)";
  report.console(kCenterFormat, {jmax});
  report.log(kCenterFormat, {jmax});
  const std::span<const double> prepared =
      std::span<const double>(ws.yin).first(static_cast<std::size_t>(npts));
  if (options.refuse_without_centerburst && !centerburst_shape(prepared, jmax).shown) {
    return refuse(road, report, record, fname, {values::Refusal::kNoCenterburst, {}, 0, 0});
  }

  const transform::PathRequest req{.sampr = params.sampr,
                                   .wlref = params.wlref,
                                   .iapod = params.iapod,
                                   .ipow2 = params.ipow2,
                                   .npow = params.npow,
                                   .ires = params.ires,
                                   .wlow = params.wlow,
                                   .whigh = params.whigh,
                                   .npts = npts,
                                   .jmax = jmax};
  EmitContext emit{road,
                   report,
                   clock,
                   record,
                   ws,
                   fname,
                   params.outdir,
                   ig.spare1,
                   options.keep_curves,
                   options.outputs,
                   options.write_files};
  transform::PathStorage storage = ws.paths();
  const bool single =
      options.auto_side ? !centerburst_in_middle_third(npts, jmax) : params.idbl == 0;
  if (single) {
    constexpr std::string_view kSingle = "(' Processing as single sided interferogram')";
    report.console(kSingle);
    report.log(kSingle);
    record.side = Side::kSingle;
    const transform::PhaseOutcome phase = transform::phase_determination(report, req, storage);
    if (phase.refused) return refuse(road, report, record, fname, *phase.refused);
    if (params.iphase == 1 && options.write_files) {
      if (!emit_phase_files(emit, phase)) return;
      keep_phase_curve(emit, phase);
    } else if (!options.write_files) {
      keep_phase_curve(emit, phase);
    }
    const transform::PathOutcome out =
        transform::mertz_transform(report, req, params.res, phase, storage);
    emit_spectrum(emit, Side::kSingle, out, params.wlow, params.whigh);
  } else {
    constexpr std::string_view kDouble = "(' Processing as a double sided interferogram')";
    report.console(kDouble);
    report.log(kDouble);
    record.side = Side::kDouble;
    const transform::PathOutcome out = transform::double_sided(report, req, params.res, storage);
    emit_spectrum(emit, Side::kDouble, out, params.wlow, params.whigh);
  }
}

void process_file(report::Report& report, const report::Clock& clock, RunParameters& params,
                  Workspace& ws, const std::string& fname, FileRecord& record,
                  const FileOptions& options) {
  record.input = fname;
  record.iapod = params.iapod;
  record.res_requested = params.res;
  record.status = FileStatus::kStopped;

  constexpr std::string_view kFileFormat = "(/,/,' Interferogram File:  ',A)";
  const std::string listed = report::padded(fname, report::kListedNameLength);
  report.console(kFileFormat, {listed});
  report.log(kFileFormat, {listed});
  const ReadOutcome read = read_interferogram(fname, ws);
  if (read.refused) return refuse(options.road, report, record, fname, *read.refused);
  convert_interferogram(report, clock, params, ws, fname, read.ig, record, options);
}

int run_batch(report::Report& report, const report::Clock& clock, RunParameters& params,
              Workspace& ws, std::vector<driver::FileRecord>* records,
              const FileOptions& run_options) {
  if (records != nullptr) records->reserve(records->size() + params.files.size());
  int skipped = 0;
  // The run's input files as they are now, and the outputs written for them.
  spcfile::OutputClaims outputs(params.files);
  FileOptions options = run_options;
  options.outputs = &outputs;
  driver::FileRecord scratch;
  for (const std::string& fname : params.files) {
    driver::FileRecord& record = records != nullptr ? records->emplace_back() : scratch;
    if (records == nullptr) record = {};
    process_file(report, clock, params, ws, fname, record, options);
    if (options.file_ended) options.file_ended(record);
    if (record.status == driver::FileStatus::kSkipped) ++skipped;
  }
  return skipped;
}

namespace {

// Opening red.out empties it, so with ilog 1 a listed file that is red.out stops the run
// before the log is opened, and nothing is written.
void refuse_log_over_input(const std::vector<std::string>& files) {
  const spcfile::FilePlace log = spcfile::file_place("red.out");
  for (const std::string& fname : files) {
    if (spcfile::same_place(log, spcfile::file_place(fname))) {
      report::stop("Cannot write red.out: it is the listed input file " +
                   report::escape_controls(fname));
    }
  }
}

// The run of both run_program()s; `params_read` and `stop_text`, when given, receive
// red.dat as read and the stop text.
int run_whole(report::Console& console, const report::Clock& clock,
              std::vector<driver::FileRecord>* records, const FileOptions& options,
              std::optional<RunParameters>* params_read, std::string* stop_text) {
  report::Report report(console);
  try {
    RunParameters params = load_run_parameters("red.dat");
    if (params_read != nullptr) *params_read = params;
    if (params.ilog == 1) {
      refuse_log_over_input(params.files);
      report.open_log("red.out");
    }
    auto ws = std::make_unique<Workspace>();  // once per run
    int skipped = run_batch(report, clock, params, *ws, records, options);
    report.close_log();
    report::stop("OK", skipped == 0 ? report::kExitOk : report::kExitSkipped);
  } catch (const report::RunStop& s) {  // the classic road's one catch of a RunStop
    if (records != nullptr && !records->empty() &&
        records->back().status == driver::FileStatus::kStopped) {
      records->back().reason = s.text();
    }
    if (stop_text != nullptr) *stop_text = s.text();
    report.show_stop_text(s.text());
    return s.exit_status();
  }
}

}  // namespace

int run_program(report::Console& console, const report::Clock& clock,
                std::vector<driver::FileRecord>* records) {
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
