// A conversion in memory: an interferogram and the settings in, the spectrum and the file's
// record out. Nothing is read, named or written; the Python module stands on this.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/file_record.h"
#include "driver/settings.h"
#include "driver/workspace.h"
#include "report/clock.h"
#include "values/interferogram.h"

namespace ftir::driver {

struct MemorySpectrum {
  FileRecord record;  // converted, or skipped with the command line's skip text as reason
  double wref = 0.0;  // the laser wavenumber used, cm-1 (0 when none was known)
  // The spectrum as the command line writes it: x[k] and y[k] for k = 0..points-1 (the
  // writer stores the first and last x and every y), its title, and the header field
  // carried over from the interferogram.
  std::vector<double> x;
  std::vector<double> y;
  std::string title;
  double spare1 = 0.0;
  // The name the command line gives its file, without a folder ("" for an interferogram
  // that names no file).
  std::string name;
  // When an instrument file's interferogram was measured: the date the spectrum is
  // stamped with in place of the writer's clock.
  std::optional<report::LocalDateTime> measured;
};

// Converts `ig` with `settings` (the resolution request is settings.res) in `ws`, as the
// command line converts that file: the same values and facts, its report discarded. The
// laser is settings.laser, else the interferogram's own, else what its X range states.
MemorySpectrum convert_in_memory(const values::Interferogram& ig,
                                 const ConversionSettings& settings, Workspace& ws);

// Writes a converted spectrum as an SPC file at `path` through the converter's own writer
// (a temporary file renamed into place), stamped by `clock` (or by spectrum.measured). A file that
// cannot be written stops (RunStop) with the writer's text.
void write_spectrum_spc(const MemorySpectrum& spectrum, std::string_view path,
                        const report::Clock& clock);

}  // namespace ftir::driver
