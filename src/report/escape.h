// Text from outside the program (red.dat lines, file names) as it may stand in a message.
#pragma once

#include <string>
#include <string_view>

namespace ftir::report {

// `text` with every control byte (0x00-0x1F, 0x7F) written as \xHH, so that a message never
// carries a raw bell, escape sequence, NUL or line end; every other byte is kept.
std::string escape_controls(std::string_view text);

}  // namespace ftir::report
