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
