// The batch loop and the run as a whole.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "driver/emit.h"
#include "driver/file_record.h"
#include "driver/run_parameters.h"
#include "driver/settings.h"
#include "driver/workspace.h"
#include "report/clock.h"
#include "report/console.h"
#include "report/report.h"
#include "spcfile/output_claims.h"
#include "values/interferogram.h"
#include "values/refusal.h"

namespace ftir::driver {

// How one file is converted beyond what the run parameters say. The defaults are the
// classic run's.
struct FileOptions {
  // The path from the record instead of idbl: double-sided when the centerburst lies in the
  // middle third of the record (npts < 3 jmax <= 2 npts), single-sided otherwise.
  bool auto_side = false;
  bool keep_curves = false;  // the record also keeps the written curves
  // Called with each file's record as the file ends (a page shrinks the kept curves there).
  std::function<void(driver::FileRecord&)> file_ended;
  Road road = Road::kClassic;  // what a refusal leads to
  // The run's output names, checked before each file is written (none: not checked).
  spcfile::OutputClaims* outputs = nullptr;
  bool write_files = true;  // false: a conversion in memory; the record keeps the curves
  // Refusals of the command line, which a red.dat run does not make: a file that ends
  // before the points its header declares (kTruncated), samples that show no centerburst
  // (kNoCenterburst, see centerburst_shape). Neither applies to the count-only mode.
  bool refuse_truncated = false;
  bool refuse_without_centerburst = false;
  // The transform controls, the centerburst rule and the scans (the classic rules by default).
  FileControls controls;
  // The settings a command-line or in-memory conversion was asked for (null in a red.dat
  // run): an instrument file's conversion takes from them what they give and the rest from
  // the file.
  const ConversionSettings* settings = nullptr;
};

// What a reader made of a file: the interferogram (its samples in the workspace's yin), or
// why the file yields none.
struct ReadOutcome {
  std::optional<values::Refused> refused;
  values::Interferogram ig;
};

// An instrument file is read whole into memory; one larger than this is refused rather than
// read (it would hold far more than the working storage takes). spc-tool reads up to it too.
inline constexpr std::size_t kInstrumentFileLimit = std::size_t{64} << 20;

// What a reader is asked for beyond the file: the channel of an instrument file holding
// interferograms of both (none: the sample's when present, else the reference's).
struct ReadOptions {
  std::optional<values::Channel> channel;
};

// Reads the file `fname` (as listed; trailing blanks are not part of the name) with the
// reader its content calls for (SPC by its version byte, OPUS and OMNIC SPA by their
// signatures, SPC for any other), into ws.yin. Prints nothing and never stops.
ReadOutcome read_interferogram(std::string_view fname, Workspace& ws);
ReadOutcome read_interferogram(std::string_view fname, Workspace& ws, const ReadOptions& options);

// The format of the file `fname` (as listed) by its first bytes, as read_interferogram
// chooses its reader: SPC for a file no other reader claims or that cannot be opened.
values::SourceFormat format_by_content(std::string_view fname);

// What the reader read_interferogram() chooses for the file `fname` will take from it when
// asked for `channel`: the format, and for an OPUS file its channel (the sample's unless
// the file holds only the reference's). A file that cannot be opened or parsed counts as
// holding the channel asked for.
InputContent content_by_probe(std::string_view fname, std::optional<values::Channel> channel);

// Why the existing file `path` is not to be replaced by an output: it is an instrument file,
// or, when `samples_decide`, an SPC file whose samples show a centerburst and whose X axis
// does not lie above 0 cm-1 as a spectrum's does (an interferogram): "<path> is an
// interferogram, not a spectrum: it is left as it is". nullopt when nothing is there or the
// file is anything else. A phase file's angles, which wrap, may show what looks like a
// centerburst: its target is asked with samples_decide false.
std::optional<std::string> not_a_spectrum(std::string_view path, bool samples_decide = true);

// Converts an interferogram a reader produced (its samples anywhere; they are copied into
// ws.yin unless they lie there): " N points read", the count-only mode, the mean and the
// centerburst, the path, the emit step. `params.res` is left as the next file's request.
void convert_interferogram(report::Report& report, const report::Clock& clock,
                           RunParameters& params, Workspace& ws, std::string_view fname,
                           const values::Interferogram& ig, FileRecord& record,
                           const FileOptions& options);

// An instrument file's interferogram (ig.instrument set), converted by the processing its
// file records, each part replaced by what options.settings gives for it (driver/
// instrument.h): the scans, the channels' ratio when asked, the emit step.
void convert_instrument(report::Report& report, Workspace& ws, std::string_view fname,
                        const values::Interferogram& ig, FileRecord& record,
                        const FileOptions& options, EmitContext& emit);

// One file: named in the report, read, prepared and converted with `params`, whose `res`
// is left as the next file's request. `record` is filled as the file goes; its status is
// kStopped until the file ends, so a stop raised on the way leaves it so.
void process_file(report::Report& report, const report::Clock& clock, RunParameters& params,
                  Workspace& ws, const std::string& fname, driver::FileRecord& record,
                  const FileOptions& options = {});

// Processes every listed file in order; returns the number of files skipped. When
// `records` is given, one record per file started is added to it.
int run_batch(report::Report& report, const report::Clock& clock, RunParameters& params,
              Workspace& ws, std::vector<driver::FileRecord>* records = nullptr,
              const FileOptions& options = {});

// The whole run in the working directory: red.dat, red.out, the batch, the stop.
// Returns the exit status: 0 after "OK", 2 after "OK" with skipped files, 1 on a failure.
// When `records` is given it receives the record of every file the run started (the file
// a stop ended has status kStopped and the stop text as reason).
int run_program(report::Console& console, const report::Clock& clock,
                std::vector<driver::FileRecord>* records = nullptr);

// What a caller keeps of a whole run besides its exit status (the page of the run).
struct RunKept {
  std::vector<driver::FileRecord> records;  // every file the run started, as above
  std::optional<RunParameters> params;      // red.dat as read, once it could be read
  std::string stop_text;                    // "OK", or the text the run stopped with
};

// The same run, every console line, log and output byte alike, keeping `kept`; `options`
// may ask the records to keep the written curves (keep_curves and file_ended only: the
// other options would change the run).
int run_program(report::Console& console, const report::Clock& clock, RunKept& kept,
                const FileOptions& options);

}  // namespace ftir::driver
