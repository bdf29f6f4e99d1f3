// "jcamp": a spectrum as a JCAMP-DX 5.01 file, the plain-text exchange format that most
// spectroscopy programs open.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "spc_tool/spc_trace.h"

namespace ftir::spctool {

inline constexpr std::string_view kJcampHelp =
    R"(Usage: spc-tool jcamp FILE -o OUT.jdx [--title TEXT]

Writes the spectrum in FILE as a JCAMP-DX 5.01 file: ##TITLE (TEXT, else the comment
of FILE, else its name), ##DATA TYPE, ##ORIGIN (the file's name), ##RESOLUTION, the
units (##XUNITS 1/CM for wavenumbers; ##YUNITS ABSORBANCE, TRANSMITTANCE, ... from the
SPC unit codes), ##FIRSTX, ##LASTX, ##DELTAX, ##NPOINTS, ##FIRSTY, ##MAXY, ##MINY, the
factors, and the points as ##XYDATA=(X++(Y..Y)) in AFFN: lines of at most 80
characters, each the X of its first point then Y values as integers times ##YFACTOR
(a power of ten that leaves 9 or 10 significant digits to the largest |Y|).
)";

// The JCAMP-DX text of `trace` (points loaded); `title` empty: as the help says.
std::string jcamp_text(const Trace& trace, const std::string& title);

int run_jcamp(std::span<char* const> args);

}  // namespace ftir::spctool
