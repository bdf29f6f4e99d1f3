// The files a run writes besides its spectra: none replaces a file of the run, and a failed
// write leaves the older file whole; then the command line's smaller conveniences.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <map>
#include <tuple>

#include "cli/check.h"
#include "cli/cli_support.h"
#include "driver/run_parameters.h"
#include "run/run_support.h"

namespace ftir::testing {
namespace {

namespace fs = std::filesystem;

// Every file and link under the working folder with its bytes (or its target).
std::map<std::string, std::string> snapshot() {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(".")) {
    const ByteImage bytes =
        entry.is_regular_file() ? read_file_bytes(entry.path().string()) : ByteImage{};
    files[entry.path().string()] = entry.is_symlink() ? fs::read_symlink(entry.path()).string()
                                                      : std::string(bytes.begin(), bytes.end());
  }
  return files;
}

// A clash of a side output with a file of the run ends the run before anything is written,
// with one line naming both.
TEST(SideOutputs, NoneReplacesAFileOfTheRun) {
  RunDir dir;
  dir.write_interferogram("a.spc", burst(6000, 700));
  dir.write_interferogram("b.spc", burst(6000, 800));
  fs::create_directory("out");
  dir.write_text("out/a.spc", "an older spectrum");
  dir.write_text("red.dat", "an older red.dat");
  fs::create_symlink("a.spc", "link.log");
  // The options added, the message.
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--log", "out/a.spc"}, "--log out/a.spc is the output of a.spc"},
      {{"--log", "out/./a.spc"}, "--log out/./a.spc is out/a.spc, the output of a.spc"},
      {{"--save-red-dat", "out/b.spc"}, "--save-red-dat out/b.spc is the output of b.spc"},
      {{"--phase-files", "--log", "out/none/../b.shr"},
       "--log out/none/../b.shr is out/b.shr, the output of b.spc"},
      {{"--report", "s.csv", "--summary", "s.csv"}, "--report s.csv is the file of --summary"},
      {{"--log", "x.log", "--save-red-dat", "./x.log"},
       "--save-red-dat ./x.log is x.log, the file of --log"},
      {{"--log", "./a.spc"}, "--log ./a.spc is a.spc, an input file"},
      {{"--log", "link.log"}, "--log link.log is a.spc, an input file"},
      {{"--report", "red.dat"}, "--report red.dat is the red.dat a run with no arguments reads"},
      {{"--log", "out/"}, "--log out/ is out, the output folder"},
  };
  const std::map<std::string, std::string> before = snapshot();
  for (const auto& [options, message] : cases) {
    SCOPED_TRACE(message);
    std::vector<std::string> args = {"a.spc", "b.spc", "-o", "out", "--laser", "16384"};
    args.insert(args.end(), options.begin(), options.end());
    const CliResult cli = run_cli(dir.clock, args);
    EXPECT_EQ(cli.status, 1);
    EXPECT_EQ(cli.out, "");
    EXPECT_EQ(cli.err, "ftir-reduce: " + message + "\n");
    EXPECT_EQ(snapshot(), before);
  }
}

// A side output written at the end that cannot be written (its name is a folder; the
// file-size limit of a full disk) leaves what was there whole and no temporary file.
TEST(SideOutputs, AFailedWriteLeavesTheOlderFileWhole) {
  RunDir dir;
  dir.write_interferogram("a.spc", burst(6000, 700));
  fs::create_directories("s.csv/inside");
  dir.write_text("page.html", "the older page");
  dir.write_text("run.log", "the older log");
  const CliResult cli = run_cli(
      dir.clock, {"a.spc", "--laser", "16384", "-q", "--summary", "s.csv", "--log", "run.log"});
  EXPECT_EQ(cli.status, 1);
  EXPECT_EQ(cli.err, "ftir-reduce: Cannot write s.csv: Is a directory\n");
  EXPECT_TRUE(fs::is_directory("s.csv/inside"));
  EXPECT_NE(dir.read_text("run.log").find("Interferogram File:  a.spc"), std::string::npos);

  // The spectrum fits under a 16 KiB limit, the page does not.
  const auto no_signal = std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const rlimit small{16384, old.rlim_max};
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const CliResult full = run_cli(
      dir.clock, {"a.spc", "--laser", "16384", "-q", "--report", "page.html", "--log", "run.log"});
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, no_signal);
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "ftir-reduce: Cannot write page.html: File too large\n");
  EXPECT_EQ(dir.read_text("page.html"), "the older page");
  EXPECT_TRUE(fs::exists("spectra/a.spc"));
  for (const auto& entry : fs::recursive_directory_iterator(".")) {
    EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
  }
}

// On the red.dat road the log is red.out: listed as an input, it stops the run before the
// log empties it, and --check warns of it.
TEST(SideOutputs, ARedDatRunWhoseLogIsAnInputStopsFirst) {
  RunDir dir;
  dir.write_interferogram("a.spc", burst(6000, 700));
  fs::copy_file("a.spc", "red.out");
  fs::create_directory("out");
  RedDat red;
  red.files = {"a.spc", "./red.out"};
  EXPECT_EQ(dir.run(red), 1);
  EXPECT_EQ(dir.console.output, "Cannot write red.out: it is the listed input file ./red.out\r\n");
  EXPECT_EQ(read_file_bytes(dir.file("red.out")), read_file_bytes(dir.file("a.spc")));
  EXPECT_TRUE(fs::is_empty("out"));
  TextSink out;
  EXPECT_EQ(cli::run_check(out, "red.dat"), cli::kExitCheckWarnings);
  EXPECT_NE(out.text.find("  line 3: \"./red.out\" is red.out, where ilog 1 writes the log: the "
                          "run would stop before reading anything rather than replace it\n"),
            std::string::npos)
      << out.text;
  red.ilog = "    0";  // no log: the file is only read
  EXPECT_EQ(dir.run(red), 0);
}

// The command line's smaller conveniences, each a whole run.
TEST(CommandLineConveniences, EachAsDocumented) {
  RunDir dir;
  for (const char* name : {"a.spc", "b.spc", "c.spc"}) {
    dir.write_interferogram(name, burst(10000, 5001));
  }
  dir.write_text("list.txt", "b.spc\r\n\n   \t\nc.spc\n");
  dir.write_text("kept.dat", "an older red.dat");
  const std::string header =
      "input,outputs,points_read,centerburst,side,window,resolution,points_written,status,reason,"
      "milliseconds\n";
  // Arguments, status, the start of the standard output, the standard error.
  const std::tuple<std::vector<std::string>, int, std::string, std::string> cases[] = {
      // clang-format off
      {{"a.spc", "--widow", "boxcar"}, 1, "",
       "ftir-reduce: unknown option --widow; did you mean --window?\n"},
      {{"a.spc", "--sumary=s.csv"}, 1, "",
       "ftir-reduce: unknown option --sumary; did you mean --summary?\n"},
      {{"a.spc", "--check"}, 1, "",
       "ftir-reduce: --check comes first and alone: ftir-reduce --check [FILE] (see ftir-reduce "
       "--help)\n"},
      {{"a.spc", "--files-from", "list.txt", "--summary", "-"}, 0,
       header + "a.spc,spectra/a.spc,10000,5001,double,happ-genzel,4,1800,converted,,",
       "3 files: 3 converted, 0 skipped\n"},
      {{"a.spc", "b.spc", "./a.spc", "-q"}, 0, "2 files: 2 converted, 0 skipped\n", ""},
      {{"a.spc", "b.spc", "./a.spc"}, 0, "\n\nInterferogram File:  a.spc",
       "ftir-reduce: note: ./a.spc, entry 3 of the list, is the same file as entry 1, a.spc: "
       "converted once\n"},
      {{"a.spc", "b.spc", "--res", "2", "--save-red-dat", "kept.dat", "-q"}, 1,
       "2 files: 2 converted, 0 skipped\n",
       "ftir-reduce: no red.dat written: a.spc: it leaves another resolution for the next file "
       "(see --carry-resolution)\n"},
      // clang-format on
  };
  for (auto [args, status, out, err] : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    args.insert(args.end(), {"--laser", "16384"});
    const CliResult cli = run_cli(dir.clock, args);
    EXPECT_EQ(cli.status, status);
    EXPECT_EQ(cli.out.substr(0, out.size()), out);
    EXPECT_EQ(cli.err, err);
  }
  EXPECT_EQ(dir.read_text("kept.dat"), "an older red.dat");
  // The list's names follow the FILE arguments; "-" reads it from standard input.
  EXPECT_EQ(std::system("printf 'c.spc\\n' | '" FTIR_REDUCE_EXE
                        "' b.spc --files-from - --laser 16384 --summary - > rows.csv 2> /dev/null"),
            0);
  const std::string rows = dir.read_text("rows.csv");
  EXPECT_LT(rows.find("\nb.spc,spectra/b.spc"), rows.find("\nc.spc,spectra/c.spc")) << rows;
  EXPECT_NE(rows.find("\nc.spc,"), std::string::npos);
  const std::string help = run_cli(dir.clock, {"--help"}).out;
  EXPECT_NE(help.find("\n  --check [FILE]  "), std::string::npos) << help;

  // A red.dat saved in another folder names inputs and outputs from there, and a run of it
  // there writes the same bytes.
  fs::create_directory("runs");
  ASSERT_EQ(run_cli(dir.clock, {"a.spc", "-o", "out", "--laser", "16384", "-q", "--save-red-dat",
                                "runs/red.dat"})
                .status,
            0);
  const driver::RunParameters p = driver::parse_run_parameters(dir.read_text("runs/red.dat"));
  EXPECT_EQ(p.files, std::vector<std::string>{"../a.spc"});
  EXPECT_EQ(p.outdir, "../out");
  const ByteImage spectrum = read_file_bytes(dir.file("out/a.spc"));
  fs::remove("out/a.spc");
  fs::current_path("runs");
  const int status = driver::run_program(dir.console, dir.clock);
  fs::current_path(dir.path());
  EXPECT_EQ(status, 0) << dir.console.output;
  EXPECT_EQ(read_file_bytes(dir.file("out/a.spc")), spectrum);
}

}  // namespace
}  // namespace ftir::testing
