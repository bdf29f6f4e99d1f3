#include "report/report.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "report/fake_console.h"
#include "report/stop.h"

namespace ftir::report {
namespace {

class StringSink : public Sink {
 public:
  void write(std::string_view bytes) override { text.append(bytes); }
  std::string text;
};

TEST(Destination, CarriageControlAndThePendingLine) {
  StringSink sink;
  Destination d(sink);
  // Two empty records, then the label: two empty lines, and the last line stays open.
  std::vector<std::string> file_line = {"", "", " Interferogram File:  a"};
  d.write_records(file_line);
  EXPECT_EQ(sink.text, "\r\n\r\nInterferogram File:  a");
  EXPECT_TRUE(d.line_pending());
  std::vector<std::string> controls = {"0double", "+over", "1page", " plain"};
  d.write_records(controls);
  EXPECT_EQ(sink.text,
            "\r\n\r\nInterferogram File:  a\r\n\r\ndouble\rover\r\n\fpage\r\nplain");
  d.end_pending_line();
  d.end_pending_line();  // nothing more is owed
  EXPECT_EQ(sink.text.substr(sink.text.size() - 7), "plain\r\n");
  EXPECT_FALSE(d.line_pending());

  StringSink fresh;
  Destination first(fresh);
  std::vector<std::string> zero = {"0x"};
  first.write_records(zero);  // nothing pending: "0" gives one line end
  EXPECT_EQ(fresh.text, "\r\nx");
}

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("ftir_report_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    log_path_ = (dir_ / "red.out").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string read_log() {
    std::ifstream in(log_path_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::filesystem::path dir_;
  std::string log_path_;
  testing::FakeConsole console_;
};

TEST_F(ReportTest, MirrorsToTheLogOnlyWhatIsMeantForIt) {
  {
    Report report(console_);
    report.log("(' not written: no log')");
    report.console_if_log("(' not written either')");
    report.open_log(log_path_);
    report.console("(' both')");
    report.log("(' both')");
    report.log("(' log only')");
    report.console_if_log("(' console if log')");
    report.skipped("a.spc   ", "no points were read");
    report.close_log();
    report.show_stop_text("OK");
  }
  // The skipped name fills its 40 columns, as red.dat gives it.
  const std::string skipped = "Skipped a.spc" + std::string(35, ' ') + ": no points were read\r\n";
  EXPECT_EQ(console_.output, "both\r\nconsole if log\r\n" + skipped + "OK\r\n");
  EXPECT_EQ(read_log(), "both\r\nlog only\r\n" + skipped);
}

TEST_F(ReportTest, AStopWhileTheLogIsOpenStillEndsItsLastLine) {
  try {
    Report report(console_);
    report.open_log(log_path_);
    report.log("(' last')");
    stop("Crash");
  } catch (const RunStop& s) {
    EXPECT_EQ(s.text(), "Crash");
    EXPECT_EQ(s.exit_status(), kExitFailure);
  }
  EXPECT_EQ(read_log(), "last\r\n");
}

TEST_F(ReportTest, AnEmptyLogIsEmpty) {
  {
    Report report(console_);
    report.open_log(log_path_);
    report.close_log();
  }
  EXPECT_EQ(read_log(), "");
  EXPECT_TRUE(std::filesystem::exists(log_path_));
}

TEST_F(ReportTest, PauseRunsANonBlankLineAndReturnsOnBlankOrEnd) {
  const std::string prompt = "Pause - Please enter a blank line (to continue) or a DOS command.\r\n";
  Report report(console_);
  report.console("(' This file format is not supported')");
  console_.input = {"  \t", "ls -l \t ", std::string(200, 'x')};
  report.pause();  // blank: returns
  report.pause();  // a command, trailing blanks and tabs dropped
  report.pause();  // at most 128 characters are taken
  report.pause();  // end of input counts as a blank line
  EXPECT_EQ(console_.commands, (std::vector<std::string>{"ls -l", std::string(128, 'x')}));
  EXPECT_EQ(console_.reads, 4);
  report.show_stop_text("Program terminating");
  EXPECT_EQ(console_.output, "This file format is not supported\r\n" + prompt + prompt + prompt +
                                 prompt + "Program terminating\r\n");
}

TEST_F(ReportTest, AnUncreatableLogStopsTheRun) {
  Report report(console_);
  try {
    report.open_log((dir_ / "missing" / "red.out").string());
    FAIL() << "no stop";
  } catch (const RunStop& s) {
    EXPECT_EQ(s.exit_status(), kExitFailure);
    EXPECT_NE(s.text().find("red.out: cannot be created"), std::string::npos);
  }
}

}  // namespace
}  // namespace ftir::report
