// One file of a command-line run, converted on its own: the settings, a worker's storage
// and the file go in; the file's record and its report come out. Nothing is shared between
// files, so they may be converted in any order, or at once, and printed in file order.
#pragma once

#include <string>

#include "cli/settings.h"
#include "driver/run_parameters.h"
#include "driver/workspace.h"
#include "report/clock.h"
#include "driver/file_record.h"

namespace ftir::cli {

struct FileJob {
  std::string name;          // as named on the command line
  double res_request = 0.0;  // the resolution the file starts from, cm-1
  std::string refusal;       // when set, the run skips the file with this reason unread
  // When set, the entry names a file listed earlier: not converted again, only noted so.
  std::string repeated = {};
};

struct FileOutcome {
  driver::FileRecord record;
  double wref = 0.0;      // the laser wavenumber used (0 when none was known)
  double res_left = 0.0;  // the request a red.dat run would hand to the next file
  std::string console;    // the file's console lines, CR LF, as a red.dat run prints them
  std::string log;        // its lines of red.out; empty unless the settings ask for a log
  bool instrument_file = false;  // the file read as an OPUS or OMNIC file
};

// The run parameters of one file: the settings in red.dat's terms with the laser
// wavenumber `wref` and the resolution request `res`. idbl follows --sides (auto: 1; the
// conversion then chooses per file).
driver::RunParameters file_parameters(const Settings& settings, double wref, double res);

// Converts one file as a red.dat run listing it alone with file_parameters() would: the
// same report lines and the same output bytes. A refusal of the reader, a missing laser
// wavenumber, and any stop raised on the way (a file that cannot be opened or written)
// skip the file with the reason; nothing is asked of the user.
FileOutcome convert_file(const Settings& settings, driver::Workspace& ws,
                         const report::Clock& clock, const FileJob& job);

}  // namespace ftir::cli
