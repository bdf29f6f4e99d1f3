// The stops of the SPC file layer: a file that cannot be opened, read or written ends the
// run with one line naming the file and the reason (exit status 1).
#pragma once

#include <string_view>

namespace ftir::spcfile {

// Stops with "<action> <name>: <the system's text for error_number>", for example
// "Cannot open scan01.dat: No such file or directory".
[[noreturn]] void stop_on_file_error(std::string_view action, std::string_view name,
                                     int error_number);

// Stops with "Cannot read <name>: the file ends inside its header".
[[noreturn]] void stop_on_short_header(std::string_view name);

}  // namespace ftir::spcfile
