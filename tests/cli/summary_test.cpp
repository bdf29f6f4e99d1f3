// The --summary files of whole command-line runs.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/cli_support.h"
#include "run/run_support.h"

namespace ftir::testing {
namespace {

// Found by fuzz_run: a file name that is not UTF-8 ended a run with a JSON summary by an
// uncaught exception (status 134, no summary). The byte is written as U+FFFD, the rest of
// the name and every other row as they are.
TEST(Summary, AJsonSummaryTakesANameThatIsNotUtf8) {
  RunDir dir;
  dir.write_interferogram("a.spc", burst(6000, 700));
  const std::string odd = "b\xff\xfe.spc";
  const CliResult cli =
      run_cli(dir.clock, {"-q", "--laser", "16384", "--summary", "s.json", "a.spc", odd});
  EXPECT_EQ(cli.status, 2) << cli.err;
  const nlohmann::json rows = nlohmann::json::parse(dir.read_text("s.json"));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0]["input"], "a.spc");
  EXPECT_EQ(rows[0]["status"], "converted");
  EXPECT_EQ(rows[1]["input"], "b\xef\xbf\xbd\xef\xbf\xbd.spc");
  EXPECT_EQ(rows[1]["status"], "skipped");
}

}  // namespace
}  // namespace ftir::testing

namespace ftir::testing {
namespace {

// A run with a transform control adds its columns at the end of every row and cannot be
// saved as a red.dat; a two-scan record keeps both scans' facts.
TEST(Summary, TransformControlsAddColumnsAndRefuseRedDat) {
  RunDir dir;
  dir.write_interferogram("a.spc", burst(6000, 700));
  const CliResult plain = run_cli(dir.clock, {"-q", "--laser", "16384", "--summary", "p.csv",
                                              "a.spc", "-o", "p"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  const std::string header =
      "input,outputs,points_read,centerburst,side,window,resolution,points_written,status,"
      "reason,milliseconds";
  EXPECT_EQ(dir.read_text("p.csv").substr(0, header.size() + 1), header + "\n");

  std::vector<std::int32_t> scans = burst(3000, 700);
  scans.insert(scans.end(), scans.rbegin(), scans.rend());  // the same scan, reversed
  dir.write_interferogram("two.spc", scans);
  const CliResult cli = run_cli(dir.clock, {"-q", "--laser", "16384", "--summary", "s.json",
                                            "--zero-fill", "2", "--two-scans", "two.spc",
                                            "--save-red-dat", "saved.dat"});
  EXPECT_EQ(cli.status, 1);
  EXPECT_EQ(cli.err, "ftir-reduce: no red.dat written: red.dat cannot state --zero-fill\n");
  const nlohmann::json rows = nlohmann::json::parse(dir.read_text("s.json"));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["zero_fill"], "2");
  EXPECT_EQ(rows[0]["grid"], nullptr);
  EXPECT_EQ(rows[0]["scans"], 2);
  EXPECT_EQ(rows[0]["status"], "converted");
  EXPECT_EQ(rows[0]["centerburst_backward"], rows[0]["centerburst"]);
  EXPECT_EQ(rows[0]["energy_backward"], rows[0]["energy_forward"]);
  EXPECT_EQ(rows[0]["scan_difference"], 0.0);
  EXPECT_EQ(rows[0]["scans_differ"], false);
  EXPECT_EQ(rows[0]["points_read"], 6000);

  const CliResult window = run_cli(
      dir.clock, {"-q", "--laser", "16384", "a.spc", "--window", "trapezoid", "--save-red-dat",
                  "w.dat", "-o", "w"});
  EXPECT_EQ(window.err, "ftir-reduce: no red.dat written: red.dat names no trapezoid window "
                        "(--window)\n");
}

}  // namespace
}  // namespace ftir::testing
