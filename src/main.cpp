// ftir-reduce: with no arguments, converts the interferograms listed in ./red.dat; with
// arguments, runs the command line (the files it names, --check, --help, --version).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "cli/command_line.h"
#include "cube/assemble.h"
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
  void flush() override { std::fflush(file_); }

 private:
  std::FILE* file_;
};

// Descriptors 0, 1 and 2 closed when the program starts would be taken by the first files
// it opens: the pause would read a line of an interferogram and run it as a command, and the
// console would write into red.out. Each closed one is opened on /dev/null first. False when
// that fails.
bool open_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is the one just found closed.
    if (::open("/dev/null", O_RDWR) != fd) return false;
  }
  return true;
}

int run(int argc, char** argv) {
  ftir::report::SystemClock clock;
  if (argc <= 1) {
    ftir::report::StdConsole console;
    return ftir::driver::run_program(console, clock);
  }
  StdStream out(stdout);
  StdStream err(stderr);
  if (std::string_view(argv[1]) == "assemble") {  // joins shard cubes; no other option
    return ftir::cube::assemble_command(std::vector<std::string>(argv + 1, argv + argc), err,
                                        static_cast<long long>(std::time(nullptr)));
  }
  ftir::report::StdConsole console;  // a red.dat run asked for with --report alone
  ftir::cli::Streams streams{out, err, isatty(STDERR_FILENO) == 1, &console};
  const int status = ftir::cli::run_command_line(
      argc, argv, clock, streams, static_cast<int>(std::thread::hardware_concurrency()));
  std::fflush(stdout);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (!open_standard_descriptors()) return 1;
  // A file-size limit then makes a write fail with EFBIG, an ordinary write failure that
  // names the file, instead of killing the run halfway through one.
  std::signal(SIGXFSZ, SIG_IGN);
  // Memory that cannot be had (a limit on the process, many workers) ends the run with one
  // line and status 1 rather than an abort; so does any other failure of the library.
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fflush(stdout);
    std::fputs("ftir-reduce: out of memory\n", stderr);
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "ftir-reduce: %s\n", e.what());
  }
  return 1;
}
