// Output names on every road, and the files a run keeps: numbered series of instrument
// files, spectra that say what they hold, the stored phase as an input, interferograms under
// an output's name, and a refused run that leaves nothing behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/check.h"
#include "cli/cli_support.h"
#include "run/run_support.h"

namespace ftir::testing {
namespace {

namespace fs = std::filesystem;

const fs::path kFiles = FTIR_SOURCE_DIR "/tests/data";

// An OPUS numbered series (the second a copy of the first) and an OMNIC file beside it.
void copy_series(const RunDir& dir) {
  fs::copy_file(kFiles / "opus/test.0000", dir.file("test.0000"));
  fs::copy_file(kFiles / "opus/test.0000", dir.file("test.0001"));
  fs::copy_file(kFiles / "omnic/interfero.SPA", dir.file("interfero.SPA"));
  fs::copy_file(kFiles / "omnic/interfero.SPA", dir.file("interfero.0002"));
}

TEST(OutputNamesOnEveryRoad, NumberedSeriesConvertInFull) {
  RunDir dir;
  copy_series(dir);
  const std::vector<std::string> series = {"test.0000", "test.0001", "interfero.0002"};
  const std::vector<std::string> written = {"out/test.0000.spc", "out/test.0001.spc",
                                            "out/interfero.0002.spc"};
  const std::vector<std::vector<std::string>> runs = {
      {"-q"}, {"-q", "-j", "2"}, {"-q", "--shard", "2/2"}};
  for (const std::vector<std::string>& extra : runs) {
    SCOPED_TRACE(extra.back());
    fs::remove_all("out");
    std::vector<std::string> args = series;
    args.insert(args.end(), {"-o", "out"});
    args.insert(args.end(), extra.begin(), extra.end());
    const CliResult cli = run_cli(dir.clock, args);
    EXPECT_EQ(cli.status, 0) << cli.err;
    EXPECT_EQ(cli.err, "");
    const bool shard = extra.back() == "2/2";
    for (std::size_t i = 0; i < written.size(); ++i) {
      EXPECT_EQ(fs::exists(written[i]), !shard || i == 1) << written[i];
    }
  }
  // The red.dat run writes the same names, and its check expects them.
  fs::remove_all("out");
  fs::create_directory("out");
  RedDat red;
  red.files = series;
  red.ilog = "    0";
  EXPECT_EQ(dir.run(red), 0) << dir.console.output;
  for (const std::string& name : written) EXPECT_TRUE(fs::exists(name)) << name;
  const cli::CheckResult check = cli::check_red_dat(dir.file("red.dat"));
  ASSERT_EQ(check.files.size(), written.size());
  for (std::size_t i = 0; i < written.size(); ++i) EXPECT_EQ(check.files[i].oname, written[i]);
  for (const cli::CheckWarning& w : check.warnings) {
    EXPECT_EQ(w.text.find("as line"), std::string::npos) << w.text;
  }
}

// Single beam, reference and ratios of one file land side by side, and none replaces another.
TEST(OutputNamesOnEveryRoad, EachChannelAndRatioHasItsOwnName) {
  RunDir dir;
  copy_series(dir);
  const struct {
    const char* option;
    const char* name;
  } cases[] = {{"--channel=sample", "out/test.0000.spc"},
               {"--channel=reference", "out/test.0000.reference.spc"},
               {"--absorbance", "out/test.0000.absorbance.spc"},
               {"--transmittance", "out/test.0000.transmittance.spc"}};
  for (const auto& [option, name] : cases) {
    SCOPED_TRACE(option);
    const CliResult cli = run_cli(dir.clock, {"test.0000", "-o", "out", "-q", option});
    EXPECT_EQ(cli.status, 0) << cli.err;
    EXPECT_TRUE(fs::exists(name));
  }
  EXPECT_EQ(std::distance(fs::directory_iterator("out"), fs::directory_iterator()), 4);
}

// --phase stored:FILE reads FILE: no side output or output of the run may replace it, and a
// cut one is refused as a cut interferogram is.
TEST(OutputNamesOnEveryRoad, TheStoredPhaseIsAnInput) {
  RunDir dir;
  dir.write_interferogram("a.spc", burst(4096, 400));
  ASSERT_EQ(run_cli(dir.clock, {"a.spc", "-o", "out", "--laser", "16384", "--sides", "single",
                                "--phase-files", "-q"})
                .status,
            0);
  const ByteImage phase = read_file_bytes(dir.file("out/a.phz"));
  const struct {
    std::vector<std::string> args;
    const char* err;
  } cases[] = {
      {{"--log", "out/a.phz"}, "ftir-reduce: --log out/a.phz is the stored phase of --phase\n"},
      {{"--report", "./out/a.phz"},
       "ftir-reduce: --report ./out/a.phz is out/a.phz, the stored phase of --phase\n"},
      {{"--phase-files"},
       "ftir-reduce: --phase stored:out/a.phz is out/a.phz, the output of a.spc\n"},
  };
  for (const auto& [extra, err] : cases) {
    SCOPED_TRACE(extra.front());
    std::vector<std::string> args = {"a.spc", "-o", "out", "--laser", "16384", "--sides",
                                     "single", "--phase", "stored:out/a.phz", "-q"};
    args.insert(args.end(), extra.begin(), extra.end());
    const CliResult cli = run_cli(dir.clock, args);
    EXPECT_EQ(cli.status, 1);
    EXPECT_EQ(cli.err, err);
    EXPECT_EQ(read_file_bytes(dir.file("out/a.phz")), phase);
  }
  ByteImage cut = phase;
  cut.resize(1000);
  dir.write("cut.phz", cut);
  const CliResult cli = run_cli(dir.clock, {"a.spc", "--phase", "stored:cut.phz", "-q"});
  EXPECT_EQ(cli.status, 1);
  // 1000 bytes: the 256-byte header and 186 points of 4 bytes.
  EXPECT_NE(cli.err.find("cut.phz: the header declares "), std::string::npos) << cli.err;
  EXPECT_NE(cli.err.find(" points, the file holds 186"), std::string::npos) << cli.err;
}

// The command line keeps an interferogram or an instrument file that bears an output's name;
// a red.dat run replaces it, as it always has.
TEST(OutputNamesOnEveryRoad, AnInterferogramUnderAnOutputNameIsKept) {
  RunDir dir;
  copy_series(dir);
  dir.write_interferogram("interfero.spc", burst(4096, 2048));
  fs::copy_file(kFiles / "opus/test.0000", dir.file("y.spc"));
  fs::copy_file(kFiles / "omnic/interfero.SPA", dir.file("y.SPA"));
  const ByteImage interferogram = read_file_bytes(dir.file("interfero.spc"));
  const CliResult cli = run_cli(dir.clock, {"interfero.SPA", "y.SPA", "-o", ".", "-q"});
  EXPECT_EQ(cli.status, 2);
  EXPECT_EQ(cli.err,
            "ftir-reduce: skipped interfero.SPA: its output ./interfero.spc is an interferogram, "
            "not a spectrum: it is left as it is\n"
            "ftir-reduce: skipped y.SPA: its output ./y.spc is an instrument file, not a "
            "spectrum: it is left as it is\n");
  EXPECT_EQ(read_file_bytes(dir.file("interfero.spc")), interferogram);
  // A spectrum of an earlier run is replaced; so is a phase file, whose wrapping angles
  // may look like a centerburst.
  EXPECT_EQ(run_cli(dir.clock, {"interfero.SPA", "-o", "out", "-q"}).status, 0);
  EXPECT_EQ(run_cli(dir.clock, {"interfero.SPA", "-o", "out", "-q"}).status, 0);
  dir.write_interferogram("out/interfero.phz", burst(4096, 2048));
  dir.write_interferogram("a.spc", burst(4096, 400));
  const CliResult phase = run_cli(dir.clock, {"a.spc", "interfero.spc", "-o", "out", "-q",
                                              "--laser", "16384", "--sides", "single",
                                              "--phase-files"});
  EXPECT_EQ(phase.status, 0) << phase.err;
  EXPECT_NE(read_file_bytes(dir.file("out/interfero.phz")), interferogram);
  RedDat red;
  red.files = {"interfero.SPA"};
  red.outdir = ".";
  red.ilog = "    0";
  EXPECT_EQ(dir.run(red), 0);
  EXPECT_NE(read_file_bytes(dir.file("interfero.spc")), interferogram);
}

TEST(OutputNamesOnEveryRoad, ARefusedRunCreatesNothing) {
  RunDir dir;
  dir.write_interferogram("a.spc", burst(4096, 2048));
  const CliResult cli =
      run_cli(dir.clock, {"a.spc", "-o", "new/deep", "--log", "nodir/run.log", "--summary",
                          "s.csv", "--laser", "16384"});
  EXPECT_EQ(cli.status, 1);
  EXPECT_EQ(cli.err, "ftir-reduce: Cannot write nodir/run.log: No such file or directory\n");
  EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace ftir::testing
