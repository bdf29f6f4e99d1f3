// Text for the page of a run: HTML and JSON escaping, and numbers as short text.
#pragma once

#include <string>
#include <string_view>

namespace ftir::page {

// `text` with every byte sequence that is not valid UTF-8 replaced by U+FFFD, so file
// names of any bytes show as text.
std::string valid_utf8(std::string_view text);

// `text` (valid UTF-8) escaped for HTML element content and quoted attribute values.
std::string escape_html(std::string_view text);

// `text` (valid UTF-8) as a JSON string literal, quotes included; `<`, `>` and `&` are
// written as \u escapes so the literal can stand inside a <script> element.
std::string json_string(std::string_view text);

// `value` with at most `significant` significant digits, the shortest form that shows
// them ("4", "0.5", "1.235e+07"); `significant` 0 gives the shortest text that reads back
// as the same double. "NaN", "inf" and "-inf" for values that are not finite.
std::string format_number(double value, int significant = 0);

}  // namespace ftir::page
