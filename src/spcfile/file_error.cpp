// Stop texts for files that cannot be opened, read or written.
#include "spcfile/file_error.h"

#include <cstring>
#include <string>

#include "report/escape.h"
#include "report/stop.h"

namespace ftir::spcfile {

std::string file_error_text(std::string_view action, std::string_view name, int error_number) {
  std::string text(action);
  text += ' ';
  text += report::escape_controls(name);
  text += ": ";
  // errno 0 means the library failed without telling why (a short write, for one).
  text += error_number != 0 ? std::strerror(error_number) : "the system gave no reason";
  return text;
}

std::string short_header_text(std::string_view name) {
  std::string text = "Cannot read ";
  text += report::escape_controls(name);
  text += ": the file ends inside its header";
  return text;
}

void stop_on_file_error(std::string_view action, std::string_view name, int error_number) {
  report::stop(file_error_text(action, name, error_number), report::kExitFailure);
}

}  // namespace ftir::spcfile
