// Whole runs at the edges: closed standard descriptors, temporary files, outputs that would
// replace an input or another input's output, inputs that are not regular files, endless or
// odd red.dat files, spectra the writer cannot scale. Where descriptors, blocking or several
// processes matter, ftir-reduce runs as a child process under a generous timeout.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "run/run_support.h"

namespace ftir::testing {
namespace {

namespace fs = std::filesystem;

struct ChildRun {
  int status = -1;  // exit status; 124 when the timeout ended it
  std::string console;
};

// Runs ftir-reduce in the working directory through the shell: `before` stands in front of
// the command (a ulimit), `redirect` after it (descriptors closed or moved); the console
// goes to a file unless `redirect` moves it.
ChildRun run_child(const std::string& before = "", const std::string& redirect = "> console") {
  const std::string command = before + " timeout 60 '" + FTIR_REDUCE_EXE + "' " + redirect;
  const int status = std::system(("sh -c \"" + command + "\"").c_str());
  ChildRun run;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const ByteImage bytes = read_file_bytes("console");
  run.console.assign(bytes.begin(), bytes.end());
  return run;
}

std::vector<std::string> temporary_files() {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(fs::current_path())) {
    if (entry.path().extension() == ".tmp") found.push_back(entry.path().string());
  }
  return found;
}

std::string skip_line(const std::string& name, const std::string& reason) {
  return "Skipped " + name40(name) + ": " + reason + "\r\n";
}

// A multi-trace file (refused with the pause) holding shell commands, as a crafted file
// would, far past the first buffer's worth of bytes that the reader takes in.
ByteImage crafted_multitrace() {
  NewHeaderFields h;
  h.flags = 0x04;
  h.pointcount = 4;
  ByteImage image = new_format_header(h);
  while (image.size() < 20000) {
    for (char c : std::string("touch ran-a-command;"))
      image.push_back(static_cast<unsigned char>(c));
  }
  return image;
}

TEST(EdgeRun, ClosedStandardDescriptorsAreOpenedOnDevNull) {
  {
    SCOPED_TRACE("standard input closed: the pause reads end of input and runs nothing");
    RunDir dir;
    dir.write("evil.spc", crafted_multitrace());
    RedDat red;
    red.files = {"evil.spc"};
    red.ilog = "    0";  // the interferogram is then the first file the run opens
    dir.write_text("red.dat", red.text());
    const ChildRun run = run_child("", "<&- > console");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.console.ends_with(
        "Pause - Please enter a blank line (to continue) or a DOS command.\r\n"
        "Program terminating\r\n"))
        << run.console;
    EXPECT_FALSE(fs::exists("ran-a-command"));
  }
  {
    SCOPED_TRACE("standard output closed: red.out holds the log alone");
    RunDir dir;
    fs::create_directory("out");
    dir.write_interferogram("w.spc", burst(8192, 4097));
    RedDat red;
    red.files.assign(30, "w.spc");  // more console text than one stdio buffer
    EXPECT_EQ(dir.run(red), 0);
    const std::string log = dir.read_text("red.out");
    fs::remove("red.out");
    const ChildRun run = run_child("", ">&- 2> console");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(dir.read_text("red.out"), log);
    EXPECT_EQ(run.console, "");
  }
}

TEST(EdgeRun, TemporaryFilesAreTheRunsOwn) {
  RunDir dir;
  fs::create_directory("out");
  dir.write_interferogram("w.spc", burst(8192, 4097));
  RedDat red;
  red.files = {"w.spc"};
  red.ilog = "    0";
  {
    SCOPED_TRACE("links planted at the old temporary name and at the target");
    dir.write_text("outside", "keep me");
    fs::create_symlink(dir.file("outside"), "out/w.spc.tmp");
    fs::create_directory("elsewhere");
    fs::create_symlink(dir.file("outside"), "out/w.spc");
    EXPECT_EQ(dir.run(red), 0);
    EXPECT_EQ(dir.read_text("outside"), "keep me");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status("out/w.spc")));
    EXPECT_EQ(read_spectrum("out/w.spc").skip_reason, nullptr);
    fs::remove("out/w.spc.tmp");
  }
  {
    SCOPED_TRACE("three runs at once in one folder, each writing one name forty times");
    red.files.assign(40, "w.spc");
    dir.write_text("red.dat", red.text());
    const std::string one = "timeout 60 '" + std::string(FTIR_REDUCE_EXE) + "'";
    const std::string command = "sh -c \"(" + one + " > c1; echo \\$? > s1) & (" + one +
                                " > c2; echo \\$? > s2) & (" + one +
                                " > c3; echo \\$? > s3) & wait\"";
    ASSERT_EQ(std::system(command.c_str()), 0);
    for (const char* status : {"s1", "s2", "s3"}) EXPECT_EQ(dir.read_text(status), "0\n");
    for (const char* console : {"c1", "c2", "c3"}) {
      EXPECT_TRUE(dir.read_text(console).ends_with("\r\nOK\r\n")) << dir.read_text(console);
    }
    // The last rename wins; what it left is one whole spectrum.
    const SpectrumFile spectrum = read_spectrum("out/w.spc");
    EXPECT_EQ(spectrum.skip_reason, nullptr);
    EXPECT_EQ(fs::file_size("out/w.spc"), 256 + 4 * spectrum.y.size());
  }
  {
    SCOPED_TRACE("a file-size limit: an ordinary write failure, nothing left behind");
    red.files = {"w.spc"};
    dir.write_text("red.dat", red.text());
    fs::remove("out/w.spc");
    // The limit holds for the converter alone; its console goes through a pipe.
    const ChildRun run = run_child("(ulimit -f 1;", ") 2>&1 | cat > console");
    EXPECT_NE(run.console.find("\r\nCannot write out/w.spc: File too large\r\n"), std::string::npos)
        << run.console;
    EXPECT_FALSE(fs::exists("out/w.spc"));
  }
  EXPECT_EQ(temporary_files(), std::vector<std::string>{});
}

TEST(EdgeRun, AnOutputNeverReplacesAnInputOrAnotherInputsOutput) {
  struct Case {
    const char* what;
    std::vector<std::string> files;
    std::string outdir;
    int idbl;
    int iphase;
    int status;
    std::vector<std::string> skips;   // lines in the console, in order
    std::vector<std::string> kept;    // inputs that must stay as they were
    std::vector<std::string> absent;  // outputs that must not exist
  };
  const std::string replace = "the output w.spc would replace the input w.spc";
  // clang-format off
  const std::vector<Case> cases = {
      {"blank outdir", {"w.spc"}, "", 1, 0, 2, {skip_line("w.spc", replace)}, {"w.spc"}, {}},
      {"outdir .", {"w.spc"}, ".", 1, 0, 2,
       {skip_line("w.spc", "the output ./w.spc would replace the input w.spc")}, {"w.spc"}, {}},
      {"one name from two folders", {"a/s.spc", "b/s.spc"}, "out", 1, 0, 2,
       {skip_line("b/s.spc", "the output out/s.spc was already written for a/s.spc")},
       {"a/s.spc", "b/s.spc"}, {}},
      {"one input under two names", {"a/s.spc", "./a/s.spc", "a/s.spc"}, "out", 1, 0, 0, {}, {}, {}},
      {"a phase file from two folders", {"a/s.spc", "b/s.spc"}, "out", 0, 1, 2,
       {skip_line("b/s.spc", "the output out/s.phz was already written for a/s.spc")}, {}, {}},
      {"a phase spectrum over a listed input", {"a/s.spc", "out/s.shr"}, "out", 0, 1, 2,
       {skip_line("a/s.spc", "the output out/s.shr would replace the input out/s.shr"),
        skip_line("out/s.shr", "the output out/s.phz was already written for a/s.spc")},
       {"out/s.shr"}, {"out/s.spc"}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunDir dir;
    for (const char* folder : {"a", "b", "out"}) fs::create_directory(folder);
    const std::vector<std::int32_t> single = burst(8192, 300);
    const std::vector<std::int32_t> twin = burst(8192, c.idbl == 0 ? 300 : 4097, 30.0);
    dir.write_interferogram("w.spc", twin);
    dir.write_interferogram("a/s.spc", c.idbl == 0 ? single : twin);
    dir.write_interferogram("b/s.spc", twin);
    dir.write_interferogram("out/s.shr", single);
    std::vector<std::string> before;
    for (const std::string& name : c.kept) before.push_back(dir.read_text(name));
    RedDat red;
    red.files = c.files;
    red.outdir = c.outdir;
    red.idbl = c.idbl;
    red.iphase = c.iphase;
    EXPECT_EQ(dir.run(red), c.status);
    std::size_t at = 0;
    for (const std::string& line : c.skips) {
      at = dir.console.output.find(line, at);
      EXPECT_NE(at, std::string::npos) << line << dir.console.output;
      EXPECT_NE(dir.read_text("red.out").find(line), std::string::npos);
    }
    for (std::size_t i = 0; i < c.kept.size(); ++i) EXPECT_EQ(dir.read_text(c.kept[i]), before[i]);
    for (const std::string& name : c.absent) EXPECT_FALSE(fs::exists(name)) << name;
  }
}

// Where a refusal stands: in place of the output's name; single-sided with the log, the
// "Output file=" lines still follow it.
TEST(EdgeRun, ARefusedSpectrumIsReportedWhereItsNameWouldStand) {
  RunDir dir;
  fs::create_directory("out");
  dir.write_interferogram("w.spc", burst(8192, 300));
  RedDat red;
  red.files = {"w.spc"};
  red.idbl = 0;
  red.outdir = "";
  EXPECT_EQ(dir.run(red), 2);
  EXPECT_NE(
      dir.console.output.find("Number of points =       4096\r\n" +
                              skip_line("w.spc", "the output w.spc would replace the input w.spc") +
                              "Output file=" + name50("w.spc") + "\r\nii="),
      std::string::npos)
      << dir.console.output;
}

TEST(EdgeRun, InputsThatAreNotRegularFilesAreRefusedAtOnce) {
  for (const char* kind : {"fifo", "directory", "device"}) {
    SCOPED_TRACE(kind);
    RunDir dir;
    const std::string name = std::string(kind) == "device" ? "/dev/zero" : kind;
    if (name == "fifo") {
      ASSERT_EQ(mkfifo("fifo", 0600), 0);
    }
    if (name == "directory") fs::create_directory("directory");
    dir.write_interferogram("good.spc", burst(8192, 4097));
    RedDat red;
    red.files = {name, "good.spc"};
    dir.write_text("red.dat", red.text());
    const ChildRun run = run_child();
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.console.ends_with("Cannot read " + name + ": not a regular file\r\n"))
        << run.console;
  }
}

TEST(EdgeRun, RedDatLinkedToAnEndlessDeviceIsRefused) {
  RunDir dir;
  fs::create_symlink("/dev/zero", "red.dat");
  const ChildRun run = run_child();
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.console, "red.dat line 1: nfiles: the line is longer than 1024 bytes\r\n");
}

TEST(EdgeRun, ANameHoldingANulByteCannotBeOpened) {
  const std::string nul("x\0y", 3);
  for (const bool in_outdir : {false, true}) {
    SCOPED_TRACE(in_outdir ? "outdir" : "file name");
    RunDir dir;
    dir.write_interferogram("x", burst(8192, 4097));
    dir.write_interferogram("w.spc", burst(8192, 4097));
    RedDat red;
    red.files = {in_outdir ? "w.spc" : nul};
    red.outdir = in_outdir ? nul : "out";
    EXPECT_EQ(dir.run(red), 1);
    const std::string stop = in_outdir ? "Cannot write x\\x00y/w.spc: the name holds a NUL byte\r\n"
                                       : "Cannot open x\\x00y: the name holds a NUL byte\r\n";
    EXPECT_TRUE(dir.console.output.ends_with(stop)) << dir.console.output;
    EXPECT_EQ(temporary_files(), std::vector<std::string>{});
  }
}

// Samples of 2^-149 times a few thousand: every spectrum value lies far below 2^-119, where
// the writer's factor 2^(exponent - 32) rounds to zero as a binary32.
TEST(EdgeRun, ASpectrumTooSmallForTheWritersScaleIsSkipped) {
  for (int idbl : {0, 1}) {
    SCOPED_TRACE(idbl);
    RunDir dir;
    fs::create_directory("out");
    OldHeaderFields h;
    h.exponent = -117;
    h.pointcount = 8192.0f;
    h.lastx = 8191.0f;
    ByteImage image = old_format_header(h);
    for (std::int32_t v : burst(8192, idbl == 0 ? 300 : 4097)) append_i32_old(image, v / 20);
    dir.write("tiny.spc", image);
    RedDat red;
    red.files = {"tiny.spc"};
    red.idbl = idbl;
    EXPECT_EQ(dir.run(red), 2);
    EXPECT_NE(
        dir.console.output.find(skip_line(
            "tiny.spc", "its values are too small or too large for the SPC file's scale factor")),
        std::string::npos)
        << dir.console.output;
    EXPECT_TRUE(fs::is_empty("out"));
  }
}

}  // namespace
}  // namespace ftir::testing
