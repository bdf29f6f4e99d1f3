// The run-ending stop: the one road by which a run ends, from deep code to main.
#pragma once

#include <string>
#include <utility>

namespace ftir::report {

// Exit statuses of a run.
inline constexpr int kExitOk = 0;       // "OK" and every listed file produced its spectrum
inline constexpr int kExitFailure = 1;  // a stop that ends the run on a failure
inline constexpr int kExitSkipped = 2;  // "OK", but one or more files were skipped

// Thrown by stop(); caught only by run_program(), which shows the text and returns the
// status. Deliberately not a std::exception, so that no generic handler swallows it.
class RunStop {
 public:
  RunStop(std::string text, int exit_status) : text_(std::move(text)), exit_status_(exit_status) {}
  const std::string& text() const { return text_; }
  int exit_status() const { return exit_status_; }

 private:
  std::string text_;
  int exit_status_;
};

// Ends the run: `text` is shown on a console line of its own, the process exits with
// `exit_status`.
[[noreturn]] void stop(std::string text, int exit_status = kExitFailure);

}  // namespace ftir::report
