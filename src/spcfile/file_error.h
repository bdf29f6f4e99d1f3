// The stops of the SPC file layer: a file that cannot be opened, read or written ends the
// run with one line naming the file and the reason (exit status 1).
#pragma once

#include <string>
#include <string_view>

namespace ftir::spcfile {

// "<action> <name>: <the system's text for error_number>", the name's control bytes shown
// as escapes: the text of stop_on_file_error, for a road that reports it itself.
std::string file_error_text(std::string_view action, std::string_view name, int error_number);

// "Cannot read <name>: the file ends inside its header", the name shown as above.
std::string short_header_text(std::string_view name);

// Stops with "<action> <name>: <the system's text for error_number>", for example
// "Cannot open scan01.dat: No such file or directory".
[[noreturn]] void stop_on_file_error(std::string_view action, std::string_view name,
                                     int error_number);

}  // namespace ftir::spcfile
