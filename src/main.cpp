// ftir-reduce: with no arguments, converts the interferograms listed in ./red.dat; with
// arguments, runs the command line (the files it names, --check, --help, --version).
#include <unistd.h>

#include <cstdio>
#include <string_view>
#include <thread>

#include "cli/command_line.h"
#include "driver/batch.h"

namespace {

// Standard output or standard error as the command line's streams.
class StdStream : public ftir::report::Sink {
 public:
  explicit StdStream(std::FILE* file) : file_(file) {}
  void write(std::string_view bytes) override {
    std::fwrite(bytes.data(), 1, bytes.size(), file_);
    if (file_ == stderr) std::fflush(stdout);  // keeps the two in order on one terminal
  }

 private:
  std::FILE* file_;
};

}  // namespace

int main(int argc, char** argv) {
  ftir::report::SystemClock clock;
  if (argc <= 1) {
    ftir::report::StdConsole console;
    return ftir::driver::run_program(console, clock);
  }
  StdStream out(stdout);
  StdStream err(stderr);
  ftir::report::StdConsole console;  // a red.dat run asked for with --report alone
  ftir::cli::Streams streams{out, err, isatty(STDERR_FILENO) == 1, &console};
  const int status = ftir::cli::run_command_line(
      argc, argv, clock, streams, static_cast<int>(std::thread::hardware_concurrency()));
  std::fflush(stdout);
  return status;
}
