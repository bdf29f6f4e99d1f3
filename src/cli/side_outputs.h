// The files a run writes besides its spectra (the log, the summary, the page, the saved
// red.dat): where each may go, decided before the first file, and how each is written.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "spcfile/file_access.h"

namespace ftir::cli {

// A file the run writes besides its spectra, and the option that names it.
struct SideOutput {
  std::string_view option;  // "--log", "--summary", "--save-red-dat", "--report"
  std::string path;
};

// A name no side output may take, and what it is to the run ("the output folder"); the
// option `allowed` (when set) may take it all the same.
struct TakenName {
  std::string name;
  std::string role;
  std::string_view allowed;
};

// The names the run writes for one input (its spectrum and phase files); none when the run
// writes nothing.
using OutputsOf = std::function<std::vector<std::string>(const std::string& input)>;

// The first side output that is an input of the run, an output of one of its inputs, another
// side output, or one of `taken`: the one line the run refuses with, naming both
// ("--log out/a.spc is the output of a.spc", "--report ./s.csv is s.csv, the file of
// --summary"), or "". Names are the same file as spcfile::same_place() says.
std::string side_output_clash(std::span<const SideOutput> sides,
                              std::span<const std::string> inputs, const OutputsOf& outputs_of,
                              std::span<const TakenName> taken);

// The line a run refuses with when an output of one of `inputs` would replace the stored
// phase `phase` that --phase stored:FILE reads ("--phase stored:st.phz is out/st.phz, the
// output of st.spc"), or "".
std::string stored_phase_clash(const std::string& phase, std::span<const std::string> inputs,
                               const OutputsOf& outputs_of);

// A side output from before the first file to the end of the run: a temporary file beside
// its target, renamed over the target by commit() and removed on every other way out, so
// that a run that fails leaves the older file whole and no empty or partial one.
class SideFile {
 public:
  // Creates the temporary file; "" or the line saying why it cannot be.
  std::string open(const std::string& path);
  bool is_open() const { return temp_.has_value(); }
  // Appends `text`; a failure is kept for commit().
  void write(std::string_view text);
  // Closes the file and renames it over the target; "" or the line saying why not (the
  // temporary file is then gone and the older file, if any, whole).
  std::string commit();
  // Removes the temporary file, leaving the target as it was.
  void discard() { temp_.reset(); }

 private:
  std::string path_;
  std::optional<spcfile::TempFile> temp_;
  int error_ = 0;
};

}  // namespace ftir::cli
