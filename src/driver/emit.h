// The driver's step after a path: names the outputs, claims them, checks the writer's scale,
// prints the name lines in the run's order, writes the files and fills the record. The paths
// compute; only this step touches the disk.
#pragma once

#include <optional>
#include <string_view>

#include "driver/file_record.h"
#include "driver/output_names.h"
#include "driver/workspace.h"
#include "report/clock.h"
#include "report/report.h"
#include "spcfile/output_claims.h"
#include "transform/path.h"
#include "values/refusal.h"

namespace ftir::driver {

// What becomes of a refusal, decided once per road. The classic run shows the refusal's
// message, pauses and stops where its table says so, and otherwise skips the file; the
// command line skips every refused file; a conversion in memory (the Python module) only
// notes it in the record, and its caller raises it.
enum class Road { kClassic, kCommandLine, kMemory };

// Applies `road`'s policy to a refusal of file `fname` (as listed): the skip line " Skipped
// <fname>: <reason>" and the record's status and reason, or, on the classic road for the
// refusals its table stops on, the message, the pause and the stop (throws RunStop).
void refuse(Road road, report::Report& report, FileRecord& record, std::string_view fname,
            const values::Refused& refused);

// What the emit step needs besides the path's results.
struct EmitContext {
  Road road = Road::kClassic;
  report::Report& report;
  const report::Clock& clock;
  FileRecord& record;
  Workspace& ws;
  std::string_view fname;    // as listed
  double spare1 = 0.0;       // carried from the interferogram into every file written
  bool keep_curves = false;  // also keep the written curves in the record
  // The run's output names, checked before each file is written (none: not checked).
  spcfile::OutputClaims* outputs = nullptr;
  bool write_files = true;  // false: nothing is named or written; the record keeps the curves
  OutputNames names;  // of this input (output_names)
  int iytype = 0;     // the spectrum's SPC Y-unit code
  // The date the spectrum is stamped with instead of the clock's (when its interferogram
  // was measured); null: the clock's.
  const report::Clock* stamp = nullptr;
};

// The phase files of a single-sided record ("phz", the angle; "shr", the magnitude) when
// the run asks for them, before its Mertz transform. False when one may not be written (its
// refusal has been applied; a file written before it stays).
bool emit_phase_files(EmitContext& ctx, const transform::PhaseOutcome& phase);

// Notes the phase curve in the record when the run keeps curves, and always in a conversion
// in memory (a caller may give it back as a stored phase).
void keep_phase_curve(EmitContext& ctx, const transform::PhaseOutcome& phase);

// The spectrum a path left in the storage (`side`: the order of its report lines differs),
// or its refusal: the "spc" file is named, claimed, checked, reported and written, and the
// record filled. False when the file was refused.
bool emit_spectrum(EmitContext& ctx, Side side, const transform::PathOutcome& out, double wlow,
                   double whigh);

}  // namespace ftir::driver
