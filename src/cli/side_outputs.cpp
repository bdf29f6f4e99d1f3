#include "cli/side_outputs.h"

#include <cerrno>

#include "report/escape.h"
#include "report/stop.h"
#include "spcfile/file_error.h"
#include "spcfile/file_place.h"

namespace ftir::cli {
namespace {

using spcfile::FilePlace;

// "<option> <side> is <name>, <role>", or "<option> <side> is <role>" when the two are
// written alike.
std::string clash_line(const SideOutput& side, const std::string& name, const std::string& role) {
  std::string line = std::string(side.option) + " " + report::escape_controls(side.path) + " is ";
  if (name != side.path) line += report::escape_controls(name) + ", ";
  return line + role;
}

}  // namespace

std::string side_output_clash(std::span<const SideOutput> sides,
                              std::span<const std::string> inputs, const OutputsOf& outputs_of,
                              std::span<const TakenName> taken) {
  if (sides.empty()) return "";
  std::vector<FilePlace> places;
  for (std::size_t i = 0; i < sides.size(); ++i) {
    places.push_back(spcfile::file_place(sides[i].path));
    for (std::size_t j = 0; j < i; ++j) {
      if (spcfile::same_place(places[i], places[j])) {
        return clash_line(sides[i], sides[j].path, "the file of " + std::string(sides[j].option));
      }
    }
  }
  // The first side output that `name` is, or sides.size().
  const auto side_at = [&](const std::string& name, std::string_view allowed = {}) {
    const FilePlace place = spcfile::file_place(name);
    std::size_t i = 0;
    while (i < sides.size() &&
           (sides[i].option == allowed || !spcfile::same_place(places[i], place))) {
      ++i;
    }
    return i;
  };
  for (const TakenName& t : taken) {
    const std::size_t i = side_at(t.name, t.allowed);
    if (i < sides.size()) return clash_line(sides[i], t.name, t.role);
  }
  for (const std::string& input : inputs) {
    const std::size_t i = side_at(input);
    if (i < sides.size()) return clash_line(sides[i], input, "an input file");
  }
  for (const std::string& input : inputs) {
    for (const std::string& output : outputs_of(input)) {
      const std::size_t i = side_at(output);
      if (i < sides.size()) {
        return clash_line(sides[i], output, "the output of " + report::escape_controls(input));
      }
    }
  }
  return "";
}

std::string stored_phase_clash(const std::string& phase, std::span<const std::string> inputs,
                               const OutputsOf& outputs_of) {
  const FilePlace place = spcfile::file_place(phase);
  for (const std::string& input : inputs) {
    for (const std::string& output : outputs_of(input)) {
      if (spcfile::same_place(place, spcfile::file_place(output))) {
        return clash_line({"--phase", "stored:" + phase}, output,
                          "the output of " + report::escape_controls(input));
      }
    }
  }
  return "";
}

std::string SideFile::open(const std::string& path) {
  path_ = path;
  error_ = 0;
  try {
    temp_.emplace(path);
  } catch (const report::RunStop& s) {
    // The temporary file stops a run when it cannot be made; a side output is made before
    // the first file, where that is the command line's refusal with the same line.
    return s.text();
  }
  return "";
}

void SideFile::write(std::string_view text) {
  if (!temp_ || error_ != 0 || text.empty()) return;
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), temp_->file()) != text.size()) {
    error_ = errno != 0 ? errno : EIO;
  }
}

std::string SideFile::commit() {
  if (!temp_) return "";
  errno = 0;
  const bool closed = temp_->close();
  if (error_ == 0 && !closed) error_ = errno != 0 ? errno : EIO;
  if (error_ == 0 && !temp_->commit()) error_ = errno != 0 ? errno : EIO;
  temp_.reset();  // removes the temporary file unless it was renamed
  return error_ == 0 ? "" : spcfile::file_error_text("Cannot write", path_, error_);
}

}  // namespace ftir::cli
