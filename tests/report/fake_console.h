// A console and a clock for tests: the console keeps every byte written, answers the
// pause from a list of lines, as a person at a terminal would, and records the commands it
// was asked to run.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "report/clock.h"
#include "report/console.h"

namespace ftir::testing {

class FakeConsole : public report::Console {
 public:
  void write(std::string_view bytes) override { output.append(bytes); }
  std::optional<std::string> read_line(int max_chars) override {
    ++reads;
    if (input.empty()) return std::nullopt;
    std::string line = input.front().substr(0, static_cast<std::size_t>(max_chars));
    input.pop_front();
    return line;
  }
  void run_command(const std::string& command) override { commands.push_back(command); }
  bool interactive() const override { return true; }  // as at a terminal

  std::string output;
  std::deque<std::string> input;
  std::vector<std::string> commands;
  int reads = 0;
};

class FakeClock : public report::Clock {
 public:
  explicit FakeClock(report::LocalDateTime when = {2026, 12, 7, 9, 41}) : when_(when) {}
  report::LocalDateTime now() const override { return when_; }

 private:
  report::LocalDateTime when_;
};

}  // namespace ftir::testing
