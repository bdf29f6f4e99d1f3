// Whole runs as child processes where a terminal or a signal decides: the pause fed by a
// pipe or a pseudo-terminal, and a command-line run interrupted or writing into a pipe
// whose reader is gone.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <functional>
#include <thread>

#include "run/run_support.h"

namespace ftir::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The exit status of ftir-reduce run with `args` (under a generous timeout, which hands a
// signal on) and descriptors 0, 1, 2 from `fd`, with the default action of every signal it
// handles (a test run in the background ignores SIGINT); `meanwhile` gets its process id.
int run(std::vector<std::string> args, std::array<int, 3> fd,
        const std::function<void(pid_t)>& meanwhile = {}) {
  args.insert(args.begin(), {"timeout", "300", FTIR_REDUCE_EXE});
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) ::signal(s, SIG_DFL);
    for (int i = 0; i < 3; ++i) ::dup2(fd[static_cast<std::size_t>(i)], i);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  if (meanwhile) meanwhile(pid);
  int status = 0;
  ::waitpid(pid, &status, 0);
  for (int f : fd) ::close(f);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

int create(const char* name) {
  return ::open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

TEST(ChildRun, ThePauseRunsACommandOnlyFromATerminal) {
  RunDir dir;
  NewHeaderFields multi;  // a multi-trace file: refused with the pause
  multi.flags = 0x04;
  dir.write("m.spc", new_format_header(multi));
  RedDat red;
  red.files = {"m.spc"};
  red.ilog = "    0";
  dir.write_text("red.dat", red.text());
  const std::string today = "\r\n\r\nInterferogram File:  " + name40("m.spc") +
                            "\r\nThis file format is not supported\r\nPause - Please enter a "
                            "blank line (to continue) or a DOS command.\r\n";
  const std::string stop = "Program terminating\r\n";
  const std::string not_run = "The command was not run: standard input is not a terminal\r\n";
  for (const auto& [input, terminal, console] :
       {std::tuple{std::string("touch pwned\nls\n"), false, today + not_run + stop},
        {" \t\ntouch pwned\n", false, today + stop},
        {"", false, today + stop},
        {"touch pwned\n", true, today + stop}}) {
    SCOPED_TRACE(input + (terminal ? " at a terminal" : " in a pipe"));
    fs::remove("pwned");
    int end[2];  // [0] the converter's standard input, [1] where the test writes it
    if (terminal) {
      end[1] = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
      ASSERT_TRUE(end[1] >= 0 && ::grantpt(end[1]) == 0 && ::unlockpt(end[1]) == 0);
      end[0] = ::open(::ptsname(end[1]), O_RDWR | O_NOCTTY | O_CLOEXEC);
    } else {
      ASSERT_EQ(::pipe2(end, O_CLOEXEC), 0);
    }
    ASSERT_EQ(::write(end[1], input.data(), input.size()), std::ssize(input));
    if (!terminal) ::close(end[1]);  // then end of input
    const int out = create("console");
    EXPECT_EQ(run({}, {end[0], out, ::fcntl(out, F_DUPFD_CLOEXEC, 3)}), 1);
    if (terminal) ::close(end[1]);
    EXPECT_EQ(dir.read_text("console"), console);
    EXPECT_EQ(fs::exists("pwned"), terminal);
  }
}

TEST(ChildRun, InterruptsEndTheRunWithTheFinishedFilesWhole) {
  constexpr int kFiles = 150;
  RunDir dir;
  dir.write_interferogram("big.spc", burst(262144, 131073));
  std::vector<std::string> args;
  // Copies, not links: the run converts a file named twice only once.
  for (int k = 0; k < kFiles; ++k) {
    args.push_back("f" + std::to_string(1000 + k) + ".spc");
    fs::copy_file("big.spc", args.back());
  }
  const std::vector<std::string> files = args;
  args.insert(args.end(), {"-j", "2", "-q", "-o", "out", "--laser", "16384", "--res", "0.01",
                           "--range", "0:8000", "--summary", "s.csv"});
  for (const auto& [signal, name] :
       {std::pair{SIGINT, "SIGINT"}, std::pair{SIGTERM, "SIGTERM"}, std::pair{SIGHUP, "SIGHUP"}}) {
    SCOPED_TRACE(name);
    fs::remove_all("out");
    const int status =
        run(args, {::open("/dev/null", O_RDONLY | O_CLOEXEC), create("out.txt"), create("err")},
            [&](pid_t pid) {
              const auto limit = std::chrono::steady_clock::now() + 300s;
              while (!fs::exists("out/f1000.spc") && std::chrono::steady_clock::now() < limit) {
                std::this_thread::sleep_for(1ms);
              }
              ::kill(pid, signal);
            });
    EXPECT_EQ(status, 128 + signal);
    const std::string line = std::string("ftir-reduce: interrupted by ") + name + " after ";
    const std::string errors = dir.read_text("err");
    ASSERT_TRUE(errors.starts_with(line)) << errors;
    const std::size_t finished = std::stoul(errors.substr(line.size()));
    EXPECT_EQ(errors, line + std::to_string(finished) + " of " + std::to_string(kFiles) +
                          " files\n");
    ASSERT_TRUE(finished >= 1 && finished < static_cast<std::size_t>(kFiles)) << finished;
    // The summary's rows are the first files, each written whole; nothing else is in out/.
    const std::string csv = dir.read_text("s.csv");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), static_cast<long>(finished) + 1);
    EXPECT_NE(csv.find("\n" + files[finished - 1] + ","), std::string::npos);
    const std::vector<double> y = read_spectrum("out/f1000.spc").y;
    EXPECT_EQ(fs::file_size("out/f1000.spc"), 256 + 4 * y.size());
    for (std::size_t k = 0; k < finished; ++k) {
      EXPECT_TRUE(read_spectrum("out/" + files[k]).y == y) << files[k];
    }
    EXPECT_EQ(std::distance(fs::directory_iterator("out"), {}), static_cast<long>(finished));
  }
  SCOPED_TRACE("standard output a pipe closed by its reader: every file, then 141");
  fs::remove_all("out");
  int end[2];
  ASSERT_EQ(::pipe2(end, O_CLOEXEC), 0);
  ::close(end[0]);
  std::vector<std::string> six(files.begin(), files.begin() + 6);
  six.insert(six.end(), {"-j", "2", "-o", "out", "--laser", "16384", "--summary", "s.csv"});
  EXPECT_EQ(run(six, {::open("/dev/null", O_RDONLY | O_CLOEXEC), end[1], create("err")}), 141);
  EXPECT_EQ(dir.read_text("err"), "");
  const std::string csv = dir.read_text("s.csv");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 7);
  EXPECT_EQ(std::distance(fs::directory_iterator("out"), {}), 6);
}

}  // namespace
}  // namespace ftir::testing
