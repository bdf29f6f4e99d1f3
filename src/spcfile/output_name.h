// OUTNAM: the name of an output file from the input name, the output directory and a
// three-letter extension.
#pragma once

#include <string>
#include <string_view>

namespace ftir::spcfile {

// Output directory + separator + base name of `fname` + "." + the first three characters
// of `ext`, padded with blanks to 50 characters (never cut: a longer name stays whole).
std::string OUTNAM(std::string_view fname, std::string_view outdir, std::string_view ext);

}  // namespace ftir::spcfile
