// OUTNAM: the name of an output file from the input name, the output directory and a
// three-letter extension.
#pragma once

#include <string>
#include <string_view>

namespace ftir::spcfile {

// Output directory + separator + base name of `fname` + "." + the first three characters
// of `ext`. Trailing blanks of `fname` and `outdir` are not part of them.
std::string OUTNAM(std::string_view fname, std::string_view outdir, std::string_view ext);

}  // namespace ftir::spcfile
