// "svg": spectra drawn overlaid as a self-contained SVG picture, the way spectroscopists
// draw them: a wavenumber axis running from high on the left to low on the right, round
// labelled ticks on both axes, axis titles, a title, one colour per file and a legend.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "spc_tool/spc_trace.h"

namespace ftir::spctool {

inline constexpr std::string_view kSvgHelp = R"(Usage: spc-tool svg FILE... [-o PLOT.svg] [--title TEXT]

The spectra overlaid in one self-contained SVG picture: wavenumbers from high (left) to
low (right), labelled ticks, the first file's comment as title (or TEXT), one colour per
file with a legend. Files of the same name in different folders are told apart in the
legend by the shortest end of their paths that differs. Written to PLOT.svg, or to
standard output without -o.
)";

// The picture of `traces` (each with its points loaded), one <path> per trace holding one
// point per sample, coordinates to 2 decimals. `title` empty: the first trace's comment,
// trimmed, or its file name when the comment is blank. The axes take their titles and
// direction from the first trace's units: wavenumbers (X unit 1) run from high to low;
// interferograms (Y unit 1) are drawn against their point number, 1 upwards. Throws
// ToolError for an X that is not finite or values whose span overflows.
std::string svg_plot(std::span<const Trace> traces, const std::string& title);

// The legend label of each of `paths`: the file name, or where other files of the same
// name are shown, the shortest end of its path (of the absolute path, made plain) that
// differs from theirs ("a/x.spc", "b/x.spc"). A file named twice keeps its bare name.
std::vector<std::string> legend_labels(std::span<const std::string> paths);

// Round tick values inside [lo, hi]: multiples of 1, 2 or 5 times a power of ten, with
// about `target` intervals across the range; ascending. lo < hi.
std::vector<double> nice_ticks(double lo, double hi, int target);

// The label of tick `value` among ticks `step` apart: just enough decimals to tell them
// apart, no "-0".
std::string tick_label(double value, double step);

// `text` made fit for an XML text node or attribute: & < > " ' escaped, control characters
// made blanks, bytes that are not well-formed UTF-8 replaced by U+FFFD.
std::string xml_text(const std::string& text);

int run_svg(std::span<char* const> args);

}  // namespace ftir::spctool
