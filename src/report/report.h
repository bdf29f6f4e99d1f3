// The report of a run: every message goes through here to the console and, when the log
// is open, to red.out.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "report/console.h"
#include "report/destination.h"
#include "report/format_text.h"

namespace ftir::report {

// The columns an input name fills in the report's lines (the width red.dat gives it).
inline constexpr std::size_t kListedNameLength = 40;
// The columns an output name fills.
inline constexpr std::size_t kOutputNameLength = 50;

class Report {
 public:
  explicit Report(Console& console);
  ~Report();
  Report(const Report&) = delete;
  Report& operator=(const Report&) = delete;

  // Creates or replaces the log file; a failure stops the run (exit 1).
  void open_log(const std::string& path);
  // Writes the log into `sink` instead of a file (the caller keeps the sink alive).
  void open_log(Sink& sink);
  // Ends the log's pending line and closes it; nothing happens when it is not open.
  void close_log();
  bool logging() const;

  // A message for the console only.
  void console(std::string_view format, FormatValues values = {});
  // A message for red.out only; nothing happens when the log is not open.
  void log(std::string_view format, FormatValues values = {});
  // A message for the console only, and only when the log is open.
  void console_if_log(std::string_view format, FormatValues values = {});
  // " Skipped <name>: <reason>" on the console, and in red.out when it is open; the name
  // padded to its 40 columns.
  void skipped(std::string_view name, std::string_view reason);

  // The pause: prompt, one console line; a non-blank line is run as a command when the
  // console is interactive, and otherwise answered with a line saying it was not run.
  void pause();
  // Ends a pending console line, then writes `text` and CR LF (the stop text).
  void show_stop_text(std::string_view text);

 private:
  class FileSink;
  Console& console_sink_;
  Destination console_;
  std::unique_ptr<FileSink> log_sink_;
  std::unique_ptr<Destination> log_;
};

}  // namespace ftir::report
