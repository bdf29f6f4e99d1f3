// The emit step: the only place where a path's results become files and report name lines.
#include "driver/emit.h"

#include <string>

#include "driver/batch.h"
#include "report/stop.h"
#include "spcfile/writer.h"

namespace ftir::driver {
namespace {

constexpr std::string_view kOutputName = "(' Output spectrum file name: ',A)";
constexpr std::string_view kOutputDiagnostic =
    "(' Output file=',A,/,' ii=',I10,/,' lnum=',I10,/,' wlow,whigh=',2F10.4)";

// The command line never writes over an interferogram or an instrument file that happens to
// bear an output's name; a red.dat run replaces whatever is there, as it always has.
std::optional<values::Refused> kept_file(const EmitContext& ctx, std::string_view oname) {
  if (ctx.road != Road::kCommandLine) return std::nullopt;
  std::optional<std::string> why = not_a_spectrum(oname, oname == ctx.names.spectrum);
  if (!why) return std::nullopt;
  return values::Refused{values::Refusal::kOutputClaimed, "its output " + std::move(*why), 0, 0};
}

// Why a trace with the writer's exponent `iexp` may not be written as `oname`: a scale the
// writer cannot represent, or a name the run's claims refuse; nullopt when it may (the name
// is then claimed for this input).
std::optional<values::Refused> output_refusal(EmitContext& ctx, std::string_view oname, int iexp) {
  using values::Refusal;
  if (!spcfile::scale_factor_usable(iexp)) return values::Refused{Refusal::kScaleFactor, {}, 0, 0};
  if (ctx.outputs == nullptr) return kept_file(ctx, oname);
  if (std::optional<std::string> owner = ctx.outputs->claim(ctx.fname, oname)) {
    return values::Refused{Refusal::kOutputClaimed, std::move(*owner), 0, 0};
  }
  return kept_file(ctx, oname);
}

void record_spectrum(EmitContext& ctx, std::string_view oname, const transform::PathOutcome& out) {
  FileRecord& r = ctx.record;
  const std::span<const double> x =
      std::span<const double>(ctx.ws.xin).first(static_cast<std::size_t>(out.points));
  const std::span<const double> y =
      std::span<const double>(ctx.ws.yin).first(static_cast<std::size_t>(out.points));
  if (!oname.empty()) r.outputs.emplace_back(oname);
  r.res = out.res;
  r.lnum = out.lnum;
  r.energy = out.energy;
  r.points_written = out.points;
  r.grid_step = out.delta;
  r.first_x = x.front();
  r.last_x = x.back();
  r.peak = out.peak;
  if (ctx.keep_curves) r.spectrum = {r.first_x, out.delta, std::vector<double>(y.begin(), y.end())};
  r.status = FileStatus::kConverted;
  r.reason.clear();
}

}  // namespace

void refuse(Road road, report::Report& report, FileRecord& record, std::string_view fname,
            const values::Refused& refused) {
  const values::RefusalText& text = values::text_of(refused.code);
  if (road == Road::kClassic &&
      (!text.stop.empty() || refused.code == values::Refusal::kCannotOpen)) {
    if (refused.code == values::Refusal::kTooManyPoints) {
      report.console(text.console, {refused.capacity, refused.required});
    } else if (!text.console.empty()) {
      report.console(text.console);
    }
    if (text.pauses) report.pause();
    report::stop(text.stop.empty() ? refused.detail : std::string(text.stop), report::kExitFailure);
  }
  const std::string reason = refused.skip_text();
  if (road != Road::kMemory) report.skipped(fname, reason);
  record.status = FileStatus::kSkipped;
  record.reason = reason;
  record.refusal = refused.code;
}

bool emit_phase_files(EmitContext& ctx, const transform::PhaseOutcome& phase) {
  transform::PhaseTables& p = ctx.ws.phase;
  const std::span<const double> abscissa(p.abscissa);
  auto write_phase_file = [&](const std::string& oname, std::string_view title,
                              std::span<const double> y) {
    const std::span<const double> trace = y.first(static_cast<std::size_t>(phase.points));
    const int iexp = spcfile::spectrum_exponent(trace);
    if (std::optional<values::Refused> refused = output_refusal(ctx, oname, iexp)) {
      refuse(ctx.road, ctx.report, ctx.record, ctx.fname, *refused);
      return false;
    }
    ctx.ws.title.set(title);
    spcfile::WRITSC(oname, ctx.ws.title.text(), 1, 0, phase.resolution, phase.points, ctx.spare1,
                    abscissa, y, ctx.clock, ctx.ws.io, iexp);
    ctx.record.outputs.push_back(oname);
    return true;
  };
  return write_phase_file(ctx.names.phase_angle, "Phase angle", p.angle) &&
         write_phase_file(ctx.names.phase_magnitude, "Phase spectrum", p.magnitude);
}

void keep_phase_curve(EmitContext& ctx, const transform::PhaseOutcome& phase) {
  if (!ctx.keep_curves && ctx.write_files) return;
  const std::span<const double> kept =
      std::span<const double>(ctx.ws.phase.angle).first(static_cast<std::size_t>(phase.points));
  ctx.record.phase = {phase.first, phase.delta, std::vector<double>(kept.begin(), kept.end())};
}

bool emit_spectrum(EmitContext& ctx, Side side, const transform::PathOutcome& out, double wlow,
                   double whigh) {
  report::Report& report = ctx.report;
  const bool empty = out.refused && out.refused->code == values::Refusal::kEmptyRange;
  // A refusal of the path itself, or (double-sided) no point in range: nothing is named.
  if (out.refused && (!empty || side == Side::kDouble || !ctx.write_files)) {
    refuse(ctx.road, report, ctx.record, ctx.fname, *out.refused);
    return false;
  }
  if (!ctx.write_files) {
    std::optional<values::Refused> refused;
    if (!spcfile::scale_factor_usable(spcfile::spectrum_exponent(out.peak))) {
      refused = values::Refused{values::Refusal::kScaleFactor, {}, 0, 0};
      refuse(ctx.road, report, ctx.record, ctx.fname, *refused);
      return false;
    }
    record_spectrum(ctx, {}, out);
    return true;
  }
  const std::string& oname = ctx.names.spectrum;
  const std::string shown = report::padded(oname, report::kOutputNameLength);
  const int iexp = spcfile::spectrum_exponent(out.peak);
  if (side == Side::kDouble) {
    if (std::optional<values::Refused> refused = output_refusal(ctx, oname, iexp)) {
      refuse(ctx.road, report, ctx.record, ctx.fname, *refused);
      return false;
    }
    report.log(kOutputName, {shown});
    spcfile::WRITSC(oname, ctx.ws.title.text(), 1, ctx.iytype, out.res, out.points, ctx.spare1,
                    ctx.ws.xin, ctx.ws.yin, ctx.stamp ? *ctx.stamp : ctx.clock, ctx.ws.io, iexp);
    record_spectrum(ctx, oname, out);
    report.console(kOutputName, {shown});
    return true;
  }
  // Single-sided: a refused output is reported where its name would have been, as an empty
  // range is, and the diagnostic line follows either way.
  std::optional<values::Refused> refused = out.refused;
  if (!refused) refused = output_refusal(ctx, oname, iexp);
  if (refused) {
    refuse(ctx.road, report, ctx.record, ctx.fname, *refused);
  } else {
    report.console(kOutputName, {shown});
    report.log(kOutputName, {shown});
  }
  report.console_if_log(kOutputDiagnostic, {shown, out.points, out.lnum, wlow, whigh});
  if (refused) return false;
  spcfile::WRITSC(oname, ctx.ws.title.text(), 1, ctx.iytype, out.res, out.points, ctx.spare1,
                  ctx.ws.xin, ctx.ws.yin, ctx.stamp ? *ctx.stamp : ctx.clock, ctx.ws.io, iexp);
  record_spectrum(ctx, oname, out);
  return true;
}

}  // namespace ftir::driver
