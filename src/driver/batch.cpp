#include "driver/batch.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <utility>

#include "driver/emit.h"
#include "driver/output_names.h"
#include "driver/prepare.h"
#include "report/escape.h"
#include "report/stop.h"
#include "spcfile/file_place.h"
#include "spcfile/output_claims.h"
#include "spcfile/writer.h"
#include "transform/double_sided.h"
#include "transform/instrument_path.h"
#include "transform/single_sided.h"

namespace ftir::driver {
namespace {

bool centerburst_in_middle_third(int npts, int jmax) {
  const long long three_jmax = 3LL * jmax;
  return three_jmax > npts && three_jmax <= 2LL * npts;
}

}  // namespace

namespace {

// The centerburst by a rule other than the largest magnitude (--zpd), in the record with its
// mean removed; 0 when a given index lies beyond the record.
int chosen_centerburst(const Zpd& zpd, std::span<const double> record, int jmax) {
  switch (zpd.mode) {
    case ZpdMode::kAbs:
      return jmax;
    case ZpdMode::kIndex:
      return zpd.index <= static_cast<int>(record.size()) ? zpd.index : 0;
    case ZpdMode::kMax:
    case ZpdMode::kMin:
      return extreme_index(record, zpd.mode) + 1;
  }
  return jmax;
}

// One scan, its samples in ws.yin(1..npts): the mean and the centerburst, the path's choice,
// the phase, the transform. The spectrum is left in the storage; nullopt when the record
// was refused (the refusal applied). `phase_files`: a single-sided record's phase files are
// written (or its phase curve kept) as the run asks.
struct ScanResult {
  Side side = Side::kNone;
  int jmax = 0;
  transform::PathOutcome out;
};
std::optional<ScanResult> transform_scan(report::Report& report, RunParameters& params,
                                         Workspace& ws, std::string_view fname, int npts,
                                         std::optional<double> sum, FileRecord& record,
                                         const FileOptions& options, EmitContext& emit,
                                         bool phase_files) {
  const Road road = options.road;
  const FileControls& controls = options.controls;
  int jmax = remove_mean_and_find_centerburst(report, ws.yin, npts, sum);
  const std::span<const double> prepared =
      std::span<const double>(ws.yin).first(static_cast<std::size_t>(npts));
  jmax = chosen_centerburst(controls.zpd, prepared, jmax);
  if (jmax == 0) {
    refuse(road, report, record, fname, {values::Refusal::kZpdOutside, {}, 0, 0});
    return std::nullopt;
  }
  record.jmax = jmax;
  constexpr std::string_view kCenterFormat = "(' Centerburst located at ',I10)";
  report.console(kCenterFormat, {jmax});
  report.log(kCenterFormat, {jmax});
  if (options.refuse_without_centerburst && !centerburst_shape(prepared, jmax).shown) {
    refuse(road, report, record, fname, {values::Refusal::kNoCenterburst, {}, 0, 0});
    return std::nullopt;
  }

  // A red.dat run takes an iapod it does not name for no window, the later windows included.
  const int iapod = road == Road::kClassic ? transform::red_dat_code(params.iapod) : params.iapod;
  const transform::PathRequest req{.sampr = params.sampr,
                                   .wlref = params.wlref,
                                   .iapod = iapod,
                                   .ipow2 = params.ipow2,
                                   .npow = params.npow,
                                   .ires = params.ires,
                                   .wlow = params.wlow,
                                   .whigh = params.whigh,
                                   .npts = npts,
                                   .jmax = jmax,
                                   .controls = controls.transform};
  using transform::PhaseMode;
  const PhaseMode mode = req.controls.phase;
  transform::PathStorage storage = ws.paths();
  const bool single =
      options.auto_side ? !centerburst_in_middle_third(npts, jmax) : params.idbl == 0;
  ScanResult result;
  result.jmax = jmax;
  // The phase the path removes: found from the record, or the stored one.
  auto find_phase = [&]() -> std::optional<transform::PhaseOutcome> {
    const transform::PhaseOutcome phase =
        mode == PhaseMode::kStored ? transform::stored_phase_tables(req, storage)
                                   : transform::phase_determination(report, req, storage);
    if (phase.refused) {
      refuse(road, report, record, fname, *phase.refused);
      return std::nullopt;
    }
    return phase;
  };
  if (single) {
    constexpr std::string_view kSingle = "(' Processing as single sided interferogram')";
    report.console(kSingle);
    report.log(kSingle);
    record.side = result.side = Side::kSingle;
    const std::optional<transform::PhaseOutcome> phase = find_phase();
    if (!phase) return std::nullopt;
    if (phase_files && params.iphase == 1 && options.write_files) {
      if (!emit_phase_files(emit, *phase)) return std::nullopt;
      keep_phase_curve(emit, *phase);
    } else if (phase_files && !options.write_files) {
      keep_phase_curve(emit, *phase);
    }
    result.out = transform::mertz_transform(report, req, params.res, *phase, storage);
  } else {
    constexpr std::string_view kDouble = "(' Processing as a double sided interferogram')";
    report.console(kDouble);
    report.log(kDouble);
    record.side = result.side = Side::kDouble;
    std::optional<transform::PhaseOutcome> phase;
    if (mode == PhaseMode::kMertz || mode == PhaseMode::kMertzSigned ||
        mode == PhaseMode::kStored) {
      phase = find_phase();
      if (!phase) return std::nullopt;
      if (phase_files && !options.write_files) keep_phase_curve(emit, *phase);
    }
    result.out =
        transform::double_sided(report, req, params.res, storage, phase ? &*phase : nullptr);
  }
  return result;
}

// The two scans' spectra, the first in ws.first_spectrum and the second in ws.yin, both
// `points` long: their average left in ws.yin (transform::average_directions, equal
// weights). Returns their relative difference and the average's peak.
std::pair<double, double> average_scans(Workspace& ws, int points) {
  const auto n = static_cast<std::size_t>(points);
  const std::span<double> second(ws.yin.data(), n);
  const double difference =
      *transform::average_directions({ws.first_spectrum.data(), n}, second, 1.0, 1.0, second);
  double peak = 0.0;
  for (const double y : second) peak = std::max(peak, spcfile::finite_magnitude(y));
  return {difference, peak};
}

bool same_bits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
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
  // The names planned for this file: its format is the one read, the rest as the settings ask.
  NamingRequest naming = naming_request(params);
  if (options.settings != nullptr) {
    naming = naming_request(*options.settings, params.outdir);
    naming.phase_files = params.iphase == 1;
  }
  EmitContext emit{road,
                   report,
                   clock,
                   record,
                   ws,
                   fname,
                   ig.spare1,
                   options.keep_curves,
                   options.outputs,
                   options.write_files,
                   output_names(fname, content_of(ig), naming),
                   0};
  if (ig.instrument) return convert_instrument(report, ws, fname, ig, record, options, emit);
  const bool two_scans = ig.scans == 2 || options.controls.two_scans;
  if (!two_scans && options.controls.direction == Direction::kBackward) {
    return refuse(road, report, record, fname,
                  {values::Refusal::kSettingRefused,
                   "--direction backward: the record holds one scan (--two-scans reads it as "
                   "two)",
                   0, 0});
  }
  if (!two_scans) {
    if (ig.samples.data() != ws.yin.data()) {
      std::copy(ig.samples.begin(), ig.samples.end(), ws.yin.begin());
    }
    const std::optional<ScanResult> scan =
        transform_scan(report, params, ws, fname, npts, ig.sum, record, options, emit, true);
    if (scan) emit_spectrum(emit, scan->side, scan->out, params.wlow, params.whigh);
    return;
  }

  // Two scans: each is prepared and transformed on its own (its own mean, centerburst and
  // phase), the backward one turned to run the forward way; both: their spectra averaged.
  record.scans = 2;
  if (npts % 2 != 0) {
    return refuse(road, report, record, fname, {values::Refusal::kOddScans, {}, 0, 0});
  }
  const int half = npts / 2;
  // Each scan is copied into yin in its turn; samples that lie there already are kept aside
  // first.
  const double* raw = ig.samples.data();
  if (raw == ws.yin.data()) {
    std::copy(ig.samples.begin(), ig.samples.end(), ws.scans.begin());
    raw = ws.scans.data();
  }
  const Direction direction = options.controls.direction;
  const double res_before = params.res;
  std::optional<ScanResult> forward;
  if (direction != Direction::kBackward) {
    std::copy(raw, raw + half, ws.yin.begin());
    forward =
        transform_scan(report, params, ws, fname, half, std::nullopt, record, options, emit, true);
    if (!forward) return;
    record.jmax_forward = forward->jmax;
    record.energy_forward = forward->out.energy;
    if (direction == Direction::kForward || forward->out.refused) {
      emit_spectrum(emit, forward->side, forward->out, params.wlow, params.whigh);
      return;
    }
    std::copy(ws.yin.begin(), ws.yin.begin() + forward->out.points, ws.first_spectrum.begin());
    params.res = res_before;  // the second scan starts from the same request
  }
  std::reverse_copy(raw + half, raw + npts, ws.yin.begin());
  std::optional<ScanResult> backward = transform_scan(report, params, ws, fname, half, std::nullopt,
                                                      record, options, emit, !forward);
  if (!backward) return;
  record.jmax_backward = backward->jmax;
  record.energy_backward = backward->out.energy;
  if (!forward || backward->out.refused) {
    emit_spectrum(emit, backward->side, backward->out, params.wlow, params.whigh);
    return;
  }
  record.jmax = forward->jmax;
  const transform::PathOutcome& f = forward->out;
  transform::PathOutcome both = backward->out;
  if (f.points != both.points || !same_bits(f.delta, both.delta) ||
      forward->side != backward->side) {
    return refuse(road, report, record, fname, {values::Refusal::kScansApart, {}, 0, 0});
  }
  const auto [difference, peak] = average_scans(ws, both.points);
  record.scan_difference = difference;
  record.scans_differ = difference > kScanDifferenceLimit;
  both.peak = peak;
  both.energy = (f.energy + both.energy) * 0.5;
  emit_spectrum(emit, backward->side, both, params.wlow, params.whigh);
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
