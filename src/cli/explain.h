// ftir-reduce --explain FILE...: what a run with the same options would do with each file,
// converting nothing: the parameters the file states, what each option given replaces, the
// names of the outputs and the limits of the record.
#pragma once

#include <string>
#include <vector>

#include "cli/run.h"
#include "cli/settings.h"
#include "driver/workspace.h"

namespace ftir::cli {

// One file as --explain sees it.
struct Explained {
  std::string input;
  std::vector<std::string> lines;  // the words, a line each, without indent
  std::string refusal;             // why the run would skip the file; empty: it converts
};

// Reads `name` by its reader and plans its conversion with `settings`; nothing is written.
Explained explain_file(const Settings& settings, driver::Workspace& ws, const std::string& name);

// Explains every file of `settings` on standard output. Returns the status the run would
// end with as far as reading and planning tell: 0 every file would be converted, 2 some
// would be skipped.
int run_explain(const Settings& settings, Streams& streams);

}  // namespace ftir::cli
