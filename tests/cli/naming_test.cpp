// Output names on every road and the files a run keeps: numbered series, spectra that say
// what they hold, the stored phase as an input, interferograms under an output's name, and
// a refused run that leaves nothing behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/check.h"
#include "cli/cli_support.h"
#include "run/run_support.h"

namespace ftir::testing {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

// An OPUS numbered series (the second a copy of the first), and OMNIC files.
void copy_instrument_files() {
  const fs::path files = FTIR_SOURCE_DIR "/tests/data";
  for (const auto& [from, to] : {std::pair{"opus/test.0000", "test.0000"},
                                 {"opus/test.0000", "test.0001"},
                                 {"omnic/interfero.SPA", "interfero.SPA"},
                                 {"omnic/interfero.SPA", "interfero.0002"}}) {
    fs::copy_file(files / from, to);
  }
}

TEST(OutputNamesOnEveryRoad, NumberedSeriesConvertInFullAndChannelsSideBySide) {
  RunDir dir;
  copy_instrument_files();
  const Args series = {"test.0000", "test.0001", "interfero.0002"};
  const Args written = {"o/test.0000.spc", "o/test.0001.spc", "o/interfero.0002.spc"};
  for (const Args& extra : {Args{"-j", "2"}, Args{"--shard", "2/2"}}) {
    fs::remove_all("o");
    Args args = series;
    args.insert(args.end(), {"-o", "o", "-q", extra[0], extra[1]});
    EXPECT_EQ(run_cli(dir.clock, args).err, "");
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(fs::exists(written[i]), extra[1] == "2" || i == 1);
  }
  RedDat red;  // the red.dat road, and --check's names
  red.files = series;
  red.outdir = "o";
  red.ilog = "    0";
  EXPECT_EQ(dir.run(red), 0);
  const cli::CheckResult check = cli::check_red_dat(dir.file("red.dat"));
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(check.files.at(i).oname, written[i]);
  for (const char* option : {"--channel=reference", "--absorbance", "--transmittance"}) {
    EXPECT_EQ(run_cli(dir.clock, {"test.0000", "-o", "o", "-q", option}).status, 0);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator("o"), fs::directory_iterator()), 6);
  EXPECT_TRUE(fs::exists("o/test.0000.reference.spc") && fs::exists("o/test.0000.absorbance.spc"));
}

TEST(OutputNamesOnEveryRoad, TheStoredPhaseIsAnInput) {
  RunDir dir;
  dir.write_interferogram("a.spc", burst(4096, 400));
  const Args run = {"a.spc", "-o", "o", "--laser", "16384", "--sides", "single", "-q"};
  Args first = run;
  first.push_back("--phase-files");
  ASSERT_EQ(run_cli(dir.clock, first).status, 0);
  const ByteImage phase = read_file_bytes(dir.file("o/a.phz"));
  const std::pair<Args, std::string> cases[] = {
      {{"--log", "o/a.phz"}, "--log o/a.phz is the stored phase of --phase"},
      {{"--report", "./o/a.phz"}, "--report ./o/a.phz is o/a.phz, the stored phase of --phase"},
      {{"--phase-files"}, "--phase stored:o/a.phz is o/a.phz, the output of a.spc"}};
  for (const auto& [extra, err] : cases) {
    Args args = run;
    args.insert(args.end(), {"--phase", "stored:o/a.phz"});
    args.insert(args.end(), extra.begin(), extra.end());
    const CliResult cli = run_cli(dir.clock, args);
    EXPECT_EQ(cli.status, 1);
    EXPECT_EQ(cli.err, "ftir-reduce: " + err + "\n");
    EXPECT_EQ(read_file_bytes(dir.file("o/a.phz")), phase);
  }
  dir.write("cut.phz", ByteImage(phase.begin(), phase.begin() + 1000));
  const CliResult cut = run_cli(dir.clock, {"a.spc", "--phase", "stored:cut.phz"});
  EXPECT_EQ(cut.status, 1);
  EXPECT_NE(cut.err.find(" points, the file holds 186 (see"), std::string::npos) << cut.err;
}

// The command line keeps an interferogram or instrument file under an output's name, but
// replaces a spectrum or a phase file (whose wrapping angles may look like a centerburst); a
// red.dat run replaces them all, as it always has.
TEST(OutputNamesOnEveryRoad, AnInterferogramUnderAnOutputNameIsKept) {
  RunDir dir;
  copy_instrument_files();
  dir.write_interferogram("interfero.spc", burst(4096, 2048));
  fs::copy_file("test.0000", "y.spc");
  fs::copy_file("interfero.SPA", "y.SPA");
  const ByteImage interferogram = read_file_bytes(dir.file("interfero.spc"));
  const CliResult cli = run_cli(dir.clock, {"interfero.SPA", "y.SPA", "-o", ".", "-q"});
  EXPECT_EQ(cli.status, 2);
  EXPECT_EQ(cli.err,
            "ftir-reduce: skipped interfero.SPA: its output ./interfero.spc is an interferogram, "
            "not a spectrum: it is left as it is\n"
            "ftir-reduce: skipped y.SPA: its output ./y.spc is an instrument file, not a "
            "spectrum: it is left as it is\n");
  dir.write_interferogram("o/a.phz", burst(4096, 2048));
  dir.write_interferogram("a.spc", burst(4096, 400));
  for (int run = 0; run < 2; ++run) {
    EXPECT_EQ(run_cli(dir.clock, {"interfero.SPA", "a.spc", "-o", "o", "--laser", "16384",
                                  "--sides", "single", "--phase-files", "-q"})
                  .err,
              "");
  }
  EXPECT_NE(read_file_bytes(dir.file("o/a.phz")), interferogram);
  RedDat red;
  red.files = {"interfero.SPA"};
  red.outdir = ".";
  red.ilog = "    0";
  EXPECT_EQ(dir.run(red), 0);
  EXPECT_NE(read_file_bytes(dir.file("interfero.spc")), interferogram);
}

TEST(OutputNamesOnEveryRoad, ARefusedRunCreatesNothing) {
  RunDir dir;
  const CliResult cli = run_cli(dir.clock, {"a.spc", "-o", "new/deep", "--log", "no/run.log"});
  EXPECT_EQ(cli.err, "ftir-reduce: Cannot write no/run.log: No such file or directory\n");
  EXPECT_TRUE(fs::is_empty("."));
}

}  // namespace
}  // namespace ftir::testing
