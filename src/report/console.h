// The console as the program sees it: bytes out, one line in (for the pause), and the
// system command interpreter. Tests replace it with a fake.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ftir::report {

// Where a destination's bytes go.
class Sink {
 public:
  virtual ~Sink() = default;
  virtual void write(std::string_view bytes) = 0;
  // Makes sure everything written so far has reached the device.
  virtual void flush() {}
};

class Console : public Sink {
 public:
  // One input line of at most `max_chars` characters (the rest of a longer line is
  // dropped), without its line end; nullopt at end of input.
  virtual std::optional<std::string> read_line(int max_chars) = 0;
  // Hands `command` to the system command interpreter and waits for it.
  virtual void run_command(const std::string& command) = 0;
  // True when a person may be typing the input lines (standard input is a terminal): only
  // then is a line taken for a command. A console says so itself; by default none does.
  virtual bool interactive() const { return false; }
};

// Standard output, standard input and std::system.
class StdConsole : public Console {
 public:
  void write(std::string_view bytes) override;
  std::optional<std::string> read_line(int max_chars) override;
  void run_command(const std::string& command) override;
  bool interactive() const override;
  void flush() override;
};

// A console that discards what is written to it and has no input line behind it: a
// conversion in memory reports to nobody.
class QuietConsole : public Console {
 public:
  void write(std::string_view) override {}
  std::optional<std::string> read_line(int) override { return std::nullopt; }
  void run_command(const std::string&) override {}
};

}  // namespace ftir::report
