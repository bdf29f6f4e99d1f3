// The names of the files a conversion writes for one input: the one place that makes them,
// asked alike by whatever plans a run (clashes, --check, side outputs) and by the emit step
// that writes the files.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/run_parameters.h"
#include "driver/settings.h"
#include "values/instrument.h"
#include "values/interferogram.h"

namespace ftir::driver {

// What the names depend on besides the input's name and format.
struct NamingRequest {
  std::string_view outdir;   // as listed
  bool phase_files = false;  // the run writes the phase files of single-sided records
  // Instrument files: the channel asked for (unset: the file's own choice) and the ratio.
  std::optional<values::Channel> channel;
  Ratio ratio = Ratio::kNone;
};

// What a reader takes from an input, as far as its names go: the format its content calls
// for, and for an instrument file the channel whose interferogram is read.
struct InputContent {
  values::SourceFormat format = values::SourceFormat::kSpc;
  values::Channel channel = values::Channel::kSample;
};

// An input's output names; a name is empty when its file is never written for that input.
struct OutputNames {
  std::string spectrum;         // "spc"
  std::string phase_angle;      // "phz": single-sided SPC records, when phase files are asked
  std::string phase_magnitude;  // "shr"

  // Every name that may be written, in writing order (the phase files first).
  std::vector<std::string> all() const;
};

// The names of input `fname` (as listed; trailing blanks are not part of it) holding
// `content`. An SPC input's names are OUTNAM's. An instrument file's spectrum takes the
// file's name without its folder, a numbered extension kept ("test.0000" gives
// "test.0000.spc") and any other replaced ("interfero.SPA" gives "interfero.spc"), and says
// what it holds: the reference channel adds ".reference", a ratio ".absorbance" or
// ".transmittance" ("test.0000.absorbance.spc"). Instrument files write no phase files.
OutputNames output_names(std::string_view fname, const InputContent& content,
                         const NamingRequest& request);

// The same for a file not read yet: its content as the reader will take it
// (content_by_probe).
OutputNames output_names(std::string_view fname, const NamingRequest& request);

// What was read: the interferogram's format and channel.
InputContent content_of(const values::Interferogram& ig);

// The request of a red.dat run: its folder and iphase, no channel or ratio.
NamingRequest naming_request(const RunParameters& params);

// The request a conversion with `settings` makes into folder `outdir`.
NamingRequest naming_request(const ConversionSettings& settings, std::string_view outdir);

}  // namespace ftir::driver
