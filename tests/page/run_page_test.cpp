// --report wired into the runs: a red.dat run that also writes its page is the classic
// run byte for byte, and a page never replaces a file of the run.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/options.h"
#include "support/spc_images.h"

namespace ftir::testing {
namespace {

std::string read_all(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The bundled single-sided example (red.dat with phase files and a log) copied to `to`,
// run there by the program with `options`; returns the exit status.
int run_example(const std::filesystem::path& to, const std::string& options) {
  const std::filesystem::path example = std::filesystem::path(FTIR_SOURCE_DIR) / "examples/single";
  std::filesystem::create_directories(to / "out");
  for (const char* name : {"red.dat", "ss-1300K-new32.spc", "ss-1000K-old16.spc"}) {
    std::filesystem::copy_file(example / name, to / name);
  }
  const std::string command = "cd '" + to.string() + "' && '" FTIR_REDUCE_EXE "' " + options +
                              " > console.txt 2> errors.txt < /dev/null";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(RunPage, RedDatRunWithReportIsTheClassicRunAndItsPage) {
  TempDir dir;
  const std::filesystem::path plain = dir.path() / "plain";
  const std::filesystem::path paged = dir.path() / "paged";
  ASSERT_EQ(run_example(plain, ""), 0);
  ASSERT_EQ(run_example(paged, "--report run.html"), 0);
  for (const char* name : {"console.txt", "errors.txt", "red.out"}) {
    EXPECT_EQ(read_all(paged / name), read_all(plain / name)) << name;
  }
  int outputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(plain / "out")) {
    SCOPED_TRACE(entry.path().filename().string());
    std::string expected = read_all(entry.path());
    std::string got = read_all(paged / "out" / entry.path().filename());
    ASSERT_EQ(got.size(), expected.size());
    // The date stamp (bytes 18..23) may lie a minute apart.
    expected.replace(18, 6, 6, '\0');
    got.replace(18, 6, 6, '\0');
    EXPECT_EQ(got, expected);
    ++outputs;
  }
  EXPECT_EQ(outputs, 6);
  const std::string page = read_all(paged / "run.html");
  EXPECT_NE(page.find("<tr data-i=\"1\">"), std::string::npos);
  EXPECT_NE(page.find("Mertz phase correction (idbl 0)"), std::string::npos);
  EXPECT_NE(page.find("The run ended with <q>OK</q>"), std::string::npos);
}

TEST(RunPage, APageNeverReplacesAFileOfTheRun) {
  TempDir dir;
  const std::filesystem::path run = dir.path() / "run";
  // A red.dat run: the page is refused before the run, which does not start.
  ASSERT_EQ(run_example(run, "--report red.dat"), 1);
  EXPECT_EQ(read_all(run / "errors.txt"), "ftir-reduce: --report red.dat is the red.dat of the run\n");
  EXPECT_EQ(read_all(run / "console.txt"), "");
  EXPECT_FALSE(std::filesystem::exists(run / "red.out"));
  EXPECT_TRUE(std::filesystem::is_empty(run / "out"));
  EXPECT_EQ(read_all(run / "red.dat"),
            read_all(std::filesystem::path(FTIR_SOURCE_DIR) / "examples/single/red.dat"));
  // An output of the red.dat run, by another spelling of its name.
  EXPECT_EQ(std::system(("cd '" + run.string() + "' && '" FTIR_REDUCE_EXE
                         "' --report out/./ss-1000K-old16.phz 2> errors.txt > /dev/null")
                            .c_str()),
            256);
  EXPECT_EQ(read_all(run / "errors.txt"),
            "ftir-reduce: --report out/./ss-1000K-old16.phz is out/ss-1000K-old16.phz, the output "
            "of ss-1000K-old16.spc\n");
  EXPECT_TRUE(std::filesystem::is_empty(run / "out"));
  // A command-line run refuses before it starts.
  const std::string command = "cd '" + run.string() + "' && '" FTIR_REDUCE_EXE
                              "' --laser 15800.823 --report ss-1300K-new32.spc "
                              "ss-1300K-new32.spc 2> errors.txt > /dev/null";
  EXPECT_NE(std::system(command.c_str()), 0);
  EXPECT_EQ(read_all(run / "errors.txt"),
            "ftir-reduce: --report ss-1300K-new32.spc is an input file\n");
}

// --report alone is the red.dat run; with any other option it needs files, as every
// command-line run does, and it asks the conversion to keep curves.
TEST(RunPage, ReportAloneIsTheRedDatRun) {
  const auto parse = [](std::vector<const char*> args) {
    args.insert(args.begin(), "ftir-reduce");
    return cli::parse_options(static_cast<int>(args.size()), args.data(), 1);
  };
  const cli::Command alone = parse({"--report", "run.html"});
  ASSERT_TRUE(std::holds_alternative<cli::RedDatRun>(alone));
  EXPECT_EQ(std::get<cli::RedDatRun>(alone).report_path, "run.html");
  EXPECT_THROW(parse({"--report", "run.html", "--res", "8"}), cli::OptionError);
  EXPECT_THROW(parse({"--report="}), cli::OptionError);
  const cli::Command with_files = parse({"--report", "run.html", "a.spc"});
  ASSERT_TRUE(std::holds_alternative<cli::Settings>(with_files));
  EXPECT_TRUE(std::get<cli::Settings>(with_files).keep_curves);
  EXPECT_FALSE(std::get<cli::Settings>(parse({"a.spc"})).keep_curves);
}

}  // namespace
}  // namespace ftir::testing
