// A destination of report records (the console or red.out): carriage control, the
// line-pending flag and CR LF line ends.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "report/console.h"

namespace ftir::report {

inline constexpr std::string_view kLineEnd = "\r\n";

class Destination {
 public:
  explicit Destination(Sink& sink) : sink_(sink) {}

  // Writes records as lines: each record's first character is its carriage control
  // (blank: new line; "0": one empty line first; "1": new page; "+": overprint).
  void write_records(std::span<const std::string> records);
  // Writes the line end owed to a pending line, if any.
  void end_pending_line();
  bool line_pending() const { return line_pending_; }

 private:
  Sink& sink_;
  bool line_pending_ = false;
};

}  // namespace ftir::report
