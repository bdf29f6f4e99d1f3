// A run over the public sample files beside the project (skipped when they are absent):
// the per-file lines for files written by instrument software. Expected counts and
// centerburst positions were worked out apart from the program, from the raw bytes.
#include <gtest/gtest.h>

#include "run/run_support.h"

namespace ftir::testing {
namespace {

const std::filesystem::path kSamples = std::filesystem::path(FTIR_SOURCE_DIR) / "../shared/data/spc-samples";

TEST(SampleFilesRun, ReportsCountCenterburstAndPathThenStopsOnARefusedFile) {
  if (!std::filesystem::exists(kSamples / "IG_SAMP.SPC")) GTEST_SKIP() << "no sample files";
  RunDir dir;
  std::filesystem::create_directory("out");
  const std::vector<std::string> names = {"IG_SAMP.SPC", "IG_BKGND.SPC",  "DOERNER.spc",
                                          "KKSAM.SPC",   "test_input.spc", "IG_MULTI.SPC",
                                          "resolutionPro.spc"};
  for (const std::string& name : names) {
    std::filesystem::create_symlink(std::filesystem::canonical(kSamples / name), name);
  }
  RedDat red;
  red.files = names;
  red.idbl = 0;
  red.ilog = "";
  dir.write_text("red.dat", red.text());
  EXPECT_EQ(dir.run(), 1);
  const std::string& out = dir.console.output;
  auto block = [](const std::string& name, const std::string& count, const std::string& jmax) {
    return "Interferogram File:  " + name40(name) + "\r\n" + count + " points read\r\n" +
           "Centerburst located at " + jmax + "\r\nProcessing as single sided interferogram\r\n";
  };
  for (const std::string& expected :
       {block("IG_SAMP.SPC", "      4645", "       550"),
        block("IG_BKGND.SPC", "      4096", "       638"),
        block("DOERNER.spc", "      1602", "       681"),
        block("KKSAM.SPC", "       751", "       616")}) {
    SCOPED_TRACE(expected);
    EXPECT_NE(out.find(expected), std::string::npos) << out;
  }
  EXPECT_NE(out.find("      3839 points read\r\nCenterburst located at          1\r\n"
                     "Processing as single sided interferogram\r\nSkipped " +
                     name40("test_input.spc") + ": the centerburst lies in the first 3 samples\r\n"),
            std::string::npos);
  // The multi-trace file stops the run; the file after it is never read.
  EXPECT_TRUE(out.ends_with("Interferogram File:  " + name40("IG_MULTI.SPC") +
                            "\r\nThis file format is not supported\r\nPause - Please enter a blank "
                            "line (to continue) or a DOS command.\r\nProgram terminating\r\n"));
  EXPECT_TRUE(std::filesystem::exists("out/IG_SAMP.spc"));
  EXPECT_FALSE(std::filesystem::exists("out/resolutionPro.spc"));
}

}  // namespace
}  // namespace ftir::testing
