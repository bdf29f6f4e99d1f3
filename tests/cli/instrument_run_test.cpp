// Instrument files through the command line: what the file says of its measurement in the
// written SPC and the summary, the per-file check against the instrument's own spectrum,
// the note for options that do not apply, --check and --explain, each against the run.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "cli/cli_support.h"
#include "report/fake_console.h"
#include "spcfile/layout.h"
#include "support/spc_images.h"

namespace ftir::testing {
namespace {

const std::string kData = FTIR_SOURCE_DIR "/tests/data/";
const std::string kTest = kData + "opus/test.0000";
const std::string kTwoScans = kData + "opus/example_opus.0";
const std::string kSpa = kData + "omnic/interfero.SPA";

std::string text_of(const std::string& path) {
  const ByteImage bytes = read_file_bytes(path);
  return {bytes.begin(), bytes.end()};
}

// The comment (its padding left out) and date stamp of an old-format spectrum, as its
// header stores them.
struct Stamp {
  std::string comment;
  std::array<int, 5> date;  // year, month, day, hour, minute
};

Stamp stamp_of(const std::string& path) {
  const ByteImage b = read_file_bytes(path);
  if (b.size() < spcfile::kOldHeaderBytes) {
    ADD_FAILURE() << path << " holds no header";
    return {};
  }
  const char* comment = reinterpret_cast<const char*>(b.data() + 64);
  std::string text(comment, strnlen(comment, 130));
  text.erase(text.find_last_not_of(' ') + 1);  // the title field is padded with blanks
  return {text, {b[18] | (b[19] << 8), b[20], b[21], b[22], b[23]}};
}

TEST(InstrumentRun, TheSpectrumSaysWhatItHoldsAndWhenItWasMeasured) {
  const FakeClock clock;
  const struct {
    std::vector<std::string> args;
    std::string file;
    Stamp stamp;
  } cases[] = {
      {{kTest},
       "test.0000.spc",
       {"MCT D317 1mm\xB2 [8500 - 700 Cm-1]: sample channel, 2020-02-06 13:09:58 GMT+1",
        {2020, 2, 6, 13, 9}}},
      // The reference channel was measured eight minutes before the sample.
      {{kTest, "--channel", "reference"},
       "test.0000.reference.spc",
       {"MCT D317 1mm\xB2 [8500 - 700 Cm-1]: reference channel, 2020-02-06 13:01:55 GMT+1",
        {2020, 2, 6, 13, 1}}},
      {{kTwoScans, "--transmittance"},
       "example_opus.0.transmittance.spc",
       {"BlackBody: transmittance, 2023-01-18 15:00:45 GMT+0", {2023, 1, 18, 15, 0}}},
      // 3815378036 s after 1899-12-31 00:00.
      {{kSpa},
       "interfero.spc",
       {"interferogramme: sample channel, 2020-11-25 11:13:56", {2020, 11, 25, 11, 13}}},
  };
  for (const auto& [args, file, stamp] : cases) {
    SCOPED_TRACE(args.front() + " " + std::to_string(args.size()));
    TempDir dir;
    std::vector<std::string> command = args;
    command.insert(command.end(), {"-q", "-o", dir.path().string()});
    ASSERT_EQ(run_cli(clock, command).status, 0);
    const Stamp got = stamp_of(dir.file(file));
    EXPECT_EQ(got.comment, stamp.comment);
    EXPECT_EQ(got.date, stamp.date);
  }
}

TEST(InstrumentRun, TheSummaryKeepsTheMeasurementAndTheCheckAgainstTheInstrument) {
  const FakeClock clock;
  TempDir dir;
  const std::string json = dir.file("s.json");
  ASSERT_EQ(run_cli(clock, {kTest, kSpa, "-q", "-o", dir.file("out"), "--summary", json}).status,
            0);
  const nlohmann::json rows = nlohmann::json::parse(text_of(json));
  ASSERT_EQ(rows.size(), 2u);
  const nlohmann::json& opus = rows[0];
  const nlohmann::json& used = opus["instrument"];
  EXPECT_EQ(used["sample"], "MCT D317 1mm\u00B2 [8500 - 700 Cm-1]");
  EXPECT_EQ(used["measured"], "2020-02-06 13:09:58 GMT+1");
  EXPECT_EQ(used["contents"], "sample channel");
  // RES 4 as stated; the grid's step HFL / (N / 2) = 5265.987417 / 4096 apart from it.
  EXPECT_EQ(opus["resolution"], 4.0);
  EXPECT_NEAR(used["grid_step"].get<double>(), 5265.987417333333 / 4096, 1e-9);
  // README's agreement table for test.0000 ScSm.
  EXPECT_EQ(used["check"]["block"], "ScSm");
  EXPECT_NEAR(used["check"]["median"].get<double>(), 0.00016, 0.00002);
  EXPECT_NEAR(used["check"]["p95"].get<double>(), 0.0021, 0.0002);
  EXPECT_NEAR(used["check"]["scale"].get<double>(), 0.750, 0.001);
  // The OMNIC file states no resolution and stores no spectrum of its own.
  EXPECT_TRUE(rows[1]["resolution"].is_null());
  EXPECT_TRUE(rows[1]["instrument"]["check"].is_null());
  EXPECT_EQ(rows[1]["instrument"]["sample"], "interferogramme");
}

TEST(InstrumentRun, OptionsThatDoNotApplyGiveOneNotePerRun) {
  const FakeClock clock;
  const std::string note =
      "ftir-reduce: note: --sides and --sampr do not apply to instrument files (" + kTest +
      " is one): each file's own processing decides\n";
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{kTest, kTwoScans, "--sides", "single", "--sampr", "1"}, note},
      {{kTest, kTwoScans, "--sides", "single", "--sampr", "1", "-q"}, ""},
      {{kTest, kTwoScans}, ""},
  };
  for (const auto& [args, err] : cases) {
    SCOPED_TRACE(std::to_string(args.size()));
    TempDir dir;
    std::vector<std::string> command = args;
    command.insert(command.end(), {"-o", dir.path().string()});
    const CliResult r = run_cli(clock, command);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, err);
  }
}

TEST(InstrumentRun, ThePageSaysWhatEachFileDecidedAndNoFolderOfTheMachine) {
  const FakeClock clock;
  TempDir dir;
  const std::string page = dir.file("run.html");
  ASSERT_EQ(
      run_cli(clock, {kTest, "--res", "8", "-q", "-o", dir.file("out"), "--report", page}).status,
      0);
  const std::string html = text_of(page);
  EXPECT_NE(html.find("<th>Settings from</th><td>the command line</td>"), std::string::npos);
  EXPECT_NE(html.find("<th>Window</th><td>from each file</td>"), std::string::npos);
  EXPECT_NE(html.find("<th>Resolution</th><td>8 cm-1 requested"), std::string::npos);
  EXPECT_NE(html.find("given: --res 8 for RES 4"), std::string::npos);
  EXPECT_NE(html.find("against the instrument&#39;s ScSm"), std::string::npos);
  EXPECT_EQ(html.find(std::filesystem::current_path().string() + "<"), std::string::npos);

  // The page of a red.dat run: the file's own processing over red.dat's window and range.
  std::filesystem::copy_file(kTest, dir.file("test.0000"));
  std::filesystem::create_directory(dir.file("out"));
  std::ofstream(dir.file("red.dat"))
      << "    1 nfiles\ntest.0000\n    0 iphase\n1.0   sampr\n    3 iapod\n    0 ipow2\n"
      << "   14 npow\n    1 ires\n    0 idbl\n          4.0  res\n400.0 wlow\n4000. whigh\n"
      << "  15800.823    wref\nout\n    0 ilog\n";
  const std::string command = "cd '" + dir.path().string() + "' && '" FTIR_REDUCE_EXE
                              "' --report red.html > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string red = text_of(dir.file("red.html"));
  EXPECT_NE(red.find("<th>Settings from</th><td>red.dat</td>"), std::string::npos);
  EXPECT_NE(red.find("<th>Window</th><td>from each file</td>"), std::string::npos);
  EXPECT_NE(red.find("<th>Output folder</th><td>out</td>"), std::string::npos);
}

// --check and --explain end as the run of the same files does.
TEST(InstrumentRun, CheckAndExplainReadInstrumentFilesAsTheRunDoes) {
  const FakeClock clock;
  TempDir dir;
  std::filesystem::copy_file(kTest, dir.file("test.0000"));
  const ByteImage whole = read_file_bytes(kTest);
  dir.write("cut.0000", ByteImage(whole.begin(), whole.begin() + 20000));
  std::filesystem::create_directory(dir.file("out"));
  const auto red_dat = [&](const std::string& file) {
    std::ofstream(dir.file("red.dat"))
        << "    1 nfiles\n"
        << file << "\n    0 iphase\n1.0   sampr\n    3 iapod\n    0 ipow2\n"
        << "   14 npow\n    1 ires\n    0 idbl\n          4.0  res\n400.0 wlow\n4000. whigh\n"
        << "  15800.823    wref\nout\n    0 ilog\n";
    return run_cli(clock, {"--check", dir.file("red.dat")});
  };
  const CliResult whole_file = red_dat("test.0000");
  EXPECT_EQ(whole_file.status, 0) << whole_file.out;
  EXPECT_NE(whole_file.out.find("OPUS file, IgSm, 3177 points"), std::string::npos);
  const CliResult cut = red_dat("cut.0000");
  EXPECT_EQ(cut.status, 3);
  EXPECT_NE(cut.out.find("\"cut.0000\" is refused by its reader (OPUS file): its block"),
            std::string::npos)
      << cut.out;

  const std::string out = dir.file("explained");
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> lines;
  } cases[] = {
      {{kTest, "--res", "8", "--window", "boxcar", "--sampr", "2"},
       {"  stored parameters: LWN 15797.962252, HFL 5265.987417333333, LFL 0, SSP 3, AQM SN, "
        "PKL 562, RES 4, APF B3, PHR 32, PHZ ML, ZFF 2, LFQ 4000, HFQ 700, NLI 1,",
        "  options given: --window boxcar for APF B3, --res 8 for RES 4\n",
        "  not applied: --sampr (the file's own processing decides)\n",
        "--zpd 1 to 3177 (the centerburst at 563)\n", "  writes: " + out + "/test.0000.spc\n"}},
      // Finer than the two scans' 2032 samples either side of the centerburst allow.
      {{kTwoScans, "--res", "8"},
       {"  the run would skip it: --res 8 cm-1 is finer than the record holds: the finest is "
        "14 cm-1\n"}},
      {{dir.file("cut.0000")}, {"  OPUS file\n  the run would skip it: its block directory"}},
  };
  for (const auto& [args, lines] : cases) {
    SCOPED_TRACE(args.front());
    std::vector<std::string> command = args;
    command.insert(command.end(), {"-o", out});
    const CliResult run = run_cli(clock, command);
    command.push_back("--explain");
    std::filesystem::remove_all(out);
    const CliResult explained = run_cli(clock, command);
    EXPECT_EQ(explained.status, run.status);
    EXPECT_FALSE(std::filesystem::exists(out));
    for (const std::string& line : lines) {
      EXPECT_NE(explained.out.find(line), std::string::npos) << explained.out;
    }
  }
  // Side outputs named with --explain are not written, and the run says so.
  const std::string summary = dir.file("s.csv");
  const CliResult quiet_side = run_cli(clock, {kTest, "--explain", "--summary", summary});
  EXPECT_EQ(quiet_side.err, "ftir-reduce: note: --explain writes nothing: --summary not written\n");
  EXPECT_FALSE(std::filesystem::exists(summary));
}

}  // namespace
}  // namespace ftir::testing
