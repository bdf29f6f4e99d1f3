// The settings of a command-line run: what the options ask for, in the run parameters'
// terms where they have one.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "driver/settings.h"

namespace ftir::cli {

using driver::Sides;

// The conversion's own settings (shared with the Python module), and what the command line
// adds around them.
struct Settings : driver::ConversionSettings {
  std::vector<std::string> files;  // as named on the command line
  bool carry_resolution = false;  // each file starts from the resolution the last one left
  std::string log_path;           // empty: no log
  std::string summary_path;       // empty: no summary; .csv or .json
  std::string red_dat_path;       // empty: no red.dat
  std::string report_path;        // empty: no page of the run
  bool quiet = false;
  bool keep_curves = false;        // the records also keep every written curve (for a page)
  bool allow_truncated = false;       // convert a file holding fewer points than it declares
  bool allow_no_centerburst = false;  // convert samples that show no centerburst
  int jobs = 1;   // workers
  int shard = 1;  // this run converts every shard_count-th file from shard
  int shard_count = 1;
  // The options given that only an SPC file's conversion takes ("--sides", "--points",
  // "--sampr"): an instrument file's own processing decides what they would.
  std::vector<std::string> spc_only_given;
  bool explain = false;  // --explain: tell what the run would do with each file, convert nothing
};

}  // namespace ftir::cli
