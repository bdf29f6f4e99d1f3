// The page's inline style sheet and script.
#pragma once

#include <string_view>

namespace ftir::page {

extern const std::string_view kPageStyle;
// Draws the plots from the JSON in #page-data, sorts the table, opens the large view.
// Marks <body data-ready="yes"> when the first screen is drawn, and writes any script
// error into a #page-error element at the top of the page.
extern const std::string_view kPageScript;

}  // namespace ftir::page
