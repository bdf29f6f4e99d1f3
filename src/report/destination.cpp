// Carriage control: the first character of a record says what comes before the rest of
// it. The line end that closes a line is written when the next record starts (or when
// the destination is closed), so a destination always knows whether a line is pending.
#include "report/destination.h"

namespace ftir::report {

void Destination::write_records(std::span<const std::string> records) {
  for (const std::string& record : records) {
    const char control = record.empty() ? ' ' : record.front();
    switch (control) {
      case '0':
        sink_.write(line_pending_ ? "\r\n\r\n" : "\r\n");
        break;
      case '1':
        sink_.write("\r\n\f");
        break;
      case '+':
        sink_.write("\r");
        break;
      default:
        if (line_pending_) sink_.write(kLineEnd);
        break;
    }
    if (record.size() > 1) sink_.write(std::string_view(record).substr(1));
    line_pending_ = true;
  }
}

void Destination::end_pending_line() {
  if (line_pending_) sink_.write(kLineEnd);
  line_pending_ = false;
}

}  // namespace ftir::report
