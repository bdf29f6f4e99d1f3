// The settings of a command-line run: what the options ask for, in the run parameters'
// terms where they have one.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ftir::cli {

enum class Sides { kAuto, kSingle, kDouble };

struct Settings {
  std::vector<std::string> files;  // as named on the command line
  std::string outdir = "spectra";
  Sides sides = Sides::kAuto;
  int iapod = 2;                // happ-genzel
  double res = 4.0;             // cm-1
  double wlow = 400.0;          // cm-1
  double whigh = 4000.0;        // cm-1
  std::optional<double> laser;  // wref, cm-1; from each file's header when not given
  double sampr = 1.0;
  int npow = 0;                   // --points 2^npow; 0 when not given (ipow2 0)
  bool no_res = false;            // ires 0
  bool phase_files = false;       // iphase 1
  bool carry_resolution = false;  // each file starts from the resolution the last one left
  std::string log_path;           // empty: no log
  std::string summary_path;       // empty: no summary; .csv or .json
  std::string red_dat_path;       // empty: no red.dat
  std::string report_path;        // empty: no page of the run
  bool quiet = false;
  bool keep_curves = false;        // the records also keep every written curve (for a page)
  int jobs = 1;   // workers
  int shard = 1;  // this run converts every shard_count-th file from shard
  int shard_count = 1;
};

}  // namespace ftir::cli
