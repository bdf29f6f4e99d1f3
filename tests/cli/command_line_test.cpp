// The command line: files converted as a red.dat run listing each alone converts them,
// skips that do not stop the run, the summary and the equivalent red.dat.
#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/convert.h"
#include "cli/summary.h"
#include "driver/run_parameters.h"
#include "cli/cli_support.h"
#include "run/run_support.h"
#include "simd/width.h"
#include "support/run_stop.h"

namespace ftir::testing {
namespace {

std::string without_cr(std::string text) {
  std::erase(text, '\r');
  return text;
}

// An old-format interferogram whose header states its laser: first X 0 cm-1, last X
// wref * sampr / 2 = 8192 (wref 16384 at sampr 1).
ByteImage stating_laser(const std::vector<std::int32_t>& y) {
  OldHeaderFields h;
  h.exponent = 32;
  h.pointcount = static_cast<float>(y.size());
  h.lastx = 8192.0f;
  ByteImage image = old_format_header(h);
  image[16] = 1;  // xunits: wavenumbers
  for (std::int32_t v : y) append_i32_old(image, v);
  return image;
}

// For every window and both paths, one file converted from the command line gives the
// bytes of every output, the log and the console lines of a red.dat run listing it alone.
TEST(CommandLine, EachFileAsARedDatRunListingItAlone) {
  const char* windows[] = {"boxcar",  "triangle",  "happ-genzel", "blackman-harris",
                           "nb-weak", "nb-medium", "nb-strong"};
  for (int iapod = 0; iapod < 7; ++iapod) {
    for (int idbl : {0, 1}) {
      for (const char* sides : {"auto", idbl == 1 ? "double" : "single"}) {
        SCOPED_TRACE(::testing::Message() << windows[iapod] << " idbl " << idbl << " " << sides);
        RunDir dir;
        std::filesystem::create_directory("out");
        dir.write_interferogram("x.spc", idbl == 1 ? burst(10000, 5001) : burst(6000, 700));
        RedDat red;
        red.files = {"x.spc"};
        red.iapod = iapod;
        red.idbl = idbl;
        red.iphase = idbl == 1 ? 0 : 1;
        red.res = "2.5";
        red.wlow = "300";
        red.whigh = "5000";
        ASSERT_EQ(dir.run(red), 0) << dir.console.output;
        const std::vector<std::string> names =
            idbl == 1 ? std::vector<std::string>{"x.spc"}
                      : std::vector<std::string>{"x.spc", "x.phz", "x.shr"};
        std::vector<ByteImage> expected;
        for (const std::string& n : names)
          expected.push_back(read_file_bytes(dir.file("out/" + n)));
        const std::string red_out = dir.read_text("red.out");
        std::filesystem::remove_all("out");

        std::vector<std::string> args = {
            "x.spc",   "-o",    "out", "--window", windows[iapod], "--sides", sides,    "--laser",
            "16384.0", "--res", "2.5", "--range",  "300:5000",     "--log",   "cli.log"};
        if (idbl == 0) args.push_back("--phase-files");
        const CliResult cli = run_cli(dir.clock, args);
        ASSERT_EQ(cli.status, 0) << cli.err;
        for (std::size_t k = 0; k < names.size(); ++k) {
          EXPECT_EQ(read_file_bytes(dir.file("out/" + names[k])), expected[k]) << names[k];
        }
        EXPECT_EQ(dir.read_text("cli.log"), red_out);
        const std::string console = dir.console.output;
        const std::string lines = without_cr(console.substr(0, console.size() - 4));  // "OK"
        EXPECT_EQ(cli.out.substr(0, lines.size()), lines);
        EXPECT_EQ(cli.err, "");
      }
    }
  }
}

// The bundled example and a real interferogram: the command line writes the bytes of the
// equivalent red.dat runs (the example's own red.dat; IG_SAMP.SPC when the public samples
// lie beside the project).
TEST(CommandLine, TheBundledExampleAndARealFileAsTheirRedDatRuns) {
  const std::filesystem::path source(FTIR_SOURCE_DIR);
  const std::filesystem::path sample = source / "../shared/data/spc-samples/IG_SAMP.SPC";
  struct Case {
    std::filesystem::path folder;  // holds red.dat, or empty for a red.dat written here
    std::vector<std::string> files;
    std::vector<std::string> options;
    int outputs;  // files the red.dat run writes
  };
  std::vector<Case> cases = {{source / "examples/single",
                              {"ss-1300K-new32.spc", "ss-1000K-old16.spc"},
                              {"--sides", "single", "--phase-files", "--laser", "15800.823"},
                              6},
                             {source / "examples/double",
                              {"ds-1300K-old32.spc", "ds-1000K-new16.spc"},
                              {"--sides", "auto", "--laser", "15800.823"},
                              2}};
  if (std::filesystem::exists(sample)) {
    cases.push_back({{},
                     {"IG_SAMP.SPC"},
                     {"--sides", "single", "--window", "triangle", "--range", "0:7900", "--laser",
                      "15800.8235"},
                     1});
    cases.push_back({{},
                     {"IG_SAMP.SPC"},
                     {"--sides", "double", "--window", "blackman-harris", "--laser", "15800.8235"},
                     1});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder.string() + " " + c.options[1]);
    RunDir dir;
    const std::filesystem::path from = c.folder.empty() ? sample.parent_path() : c.folder;
    for (const std::string& f : c.files) {
      std::filesystem::create_symlink(std::filesystem::canonical(from / f), f);
    }
    std::filesystem::create_directory("out");
    if (c.folder.empty()) {
      RedDat red;
      red.files = c.files;
      red.idbl = c.options[1] == "double" ? 1 : 0;
      red.iapod = red.idbl == 1 ? 3 : 1;
      red.wlow = red.idbl == 1 ? "400" : "0";
      red.whigh = red.idbl == 1 ? "4000" : "7900";
      red.wref = "15800.8235";
      dir.write_text("red.dat", red.text());
    } else {
      std::filesystem::copy_file(c.folder / "red.dat", "red.dat");
    }
    ASSERT_EQ(dir.run(), 0) << dir.console.output;
    std::vector<std::string> args = c.files;
    args.insert(args.end(), {"-o", "cli", "-q"});
    args.insert(args.end(), c.options.begin(), c.options.end());
    const CliResult cli = run_cli(dir.clock, args);
    ASSERT_EQ(cli.status, 0) << cli.err;
    int compared = 0;
    for (const auto& entry : std::filesystem::directory_iterator("out")) {
      const std::string name = entry.path().filename().string();
      EXPECT_EQ(read_file_bytes(dir.file("cli/" + name)), read_file_bytes(entry.path().string()))
          << name;
      ++compared;
    }
    EXPECT_EQ(compared, c.outputs);
  }
}

// The laser wavenumber comes from the header where it states one; a file that states none
// and is not refused for another reason is skipped with a hint, and the run goes on.
TEST(CommandLine, LaserFromTheHeaderElseSkippedWithAHint) {
  RunDir dir;
  std::filesystem::create_directory("ref");
  dir.write("stated.spc", stating_laser(burst(10000, 5001)));
  dir.write_interferogram("silent.spc", burst(10000, 5001));
  const CliResult laser = run_cli(dir.clock, {"stated.spc", "-o", "ref", "--laser", "16384"});
  ASSERT_EQ(laser.status, 0) << laser.err;
  const CliResult cli = run_cli(dir.clock, {"stated.spc", "silent.spc", "-q"});
  EXPECT_EQ(cli.status, 2);
  EXPECT_EQ(read_file_bytes(dir.file("spectra/stated.spc")),
            read_file_bytes(dir.file("ref/stated.spc")));
  EXPECT_FALSE(std::filesystem::exists("spectra/silent.spc"));
  EXPECT_EQ(cli.out, "2 files: 1 converted, 1 skipped\n");
  EXPECT_EQ(cli.err,
            "ftir-reduce: skipped silent.spc: its header states no laser wavenumber (its X range "
            "does not run from 0 cm-1); give --laser\n");
}

// Files the classic run stops on are skipped with their reason; outputs never replace
// inputs; two files with one output name do not overwrite each other; exit 2.
TEST(CommandLine, BadFilesAreSkippedAndNoOutputReplacesAnInput) {
  RunDir dir;
  std::filesystem::create_directories("a");
  std::filesystem::create_directories("b");
  OldHeaderFields multi;
  multi.flags = 0x04;
  multi.pointcount = 4.0f;
  dir.write("a/multi.spc", old_format_header(multi));
  dir.write_interferogram("a/x.spc", burst(10000, 5001));
  dir.write_interferogram("b/x.spc", burst(10000, 4000));
  dir.write_interferogram("in.spc", burst(10000, 5001));
  const ByteImage input = read_file_bytes(dir.file("in.spc"));
  const CliResult cli =
      run_cli(dir.clock, {"a/multi.spc", "missing.spc", "a/x.spc", "b/x.spc", "in.spc", "-o", ".",
                          "--laser", "16384", "-q", "--summary", "s.csv"});
  EXPECT_EQ(cli.status, 2);
  EXPECT_EQ(cli.out, "5 files: 1 converted, 4 skipped\n");
  EXPECT_EQ(
      cli.err,
      "ftir-reduce: skipped a/multi.spc: this file format is not supported (several traces: "
      "spc-tool split writes each to a file)\n"
      "ftir-reduce: skipped missing.spc: Cannot open missing.spc: No such file or directory\n"
      "ftir-reduce: skipped b/x.spc: its output ./x.spc is also the output of a/x.spc, "
      "listed earlier\n"
      "ftir-reduce: skipped in.spc: its output ./in.spc would replace an input file\n");
  EXPECT_EQ(read_file_bytes(dir.file("in.spc")), input);
  EXPECT_TRUE(std::filesystem::exists("x.spc"));
  const std::string csv = dir.read_text("s.csv");
  const std::string header =
      "input,outputs,points_read,centerburst,side,window,resolution,points_written,status,reason,"
      "milliseconds\n";
  ASSERT_EQ(csv.substr(0, header.size()), header);
  std::vector<std::string> rows;
  for (std::size_t at = header.size(); at < csv.size();) {
    const std::size_t end = csv.find('\n', at);
    std::string row = csv.substr(at, end - at);
    rows.push_back(row.substr(0, row.rfind(',')));  // milliseconds vary
    at = end + 1;
  }
  // 10000 points, centerburst 5001: best 16384 / 4999 = 3.2775 cm-1, finer than 4 is kept.
  EXPECT_EQ(rows, (std::vector<std::string>{
                      "a/multi.spc,,,,,happ-genzel,,,skipped,this file format is not supported "
                      "(several traces: spc-tool split writes each to a file)",
                      "missing.spc,,,,,happ-genzel,,,skipped,Cannot open missing.spc: No such file "
                      "or directory",
                      "a/x.spc,./x.spc,10000,5001,double,happ-genzel,4,1800,converted,",
                      "b/x.spc,,,,,happ-genzel,,,skipped,\"its output ./x.spc is also the output "
                      "of a/x.spc, listed earlier\"",
                      "in.spc,,,,,happ-genzel,,,skipped,its output ./in.spc would replace an input "
                      "file"}));
}

// A bad command line names the option and what it allows, converts nothing, exit 1.
TEST(CommandLine, BadOptionsSayWhichAndWhatIsAllowed) {
  RunDir dir;
  dir.write_interferogram("x.spc", burst(1000, 500));
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"x.spc", "--res", "4x"}, "--res: '4x' is not a number above 0"},
      {{"x.spc", "--res", "0"}, "--res: '0' is not a number above 0"},
      {{"x.spc", "--range", "4000:400"},
       "--range: '4000:400' is not LOW:HIGH, two numbers in cm-1 with LOW not above HIGH"},
      {{"x.spc", "--points", "1000"}, "--points: '1000' is not a power of two from 2 to 2^30"},
      {{"x.spc", "--summary", "s.txt"}, "--summary: 's.txt' does not end in .csv or .json"},
      {{"x.spc", "--shard", "3/2"}, "--shard: '3/2' is not K/N with 1 <= K <= N"},
      {{"x.spc", "--log", "x.spc"}, "--log x.spc is an input file"},
      {{"-o", "out"}, "no FILE given (with no arguments at all, ftir-reduce runs ./red.dat)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const CliResult cli = run_cli(dir.clock, c.args);
    EXPECT_EQ(cli.status, 1);
    EXPECT_EQ(cli.out, "");
    const std::string suffix =
        c.message.rfind("--log", 0) == 0 ? "\n" : " (see ftir-reduce --help)\n";
    EXPECT_EQ(cli.err, "ftir-reduce: " + c.message + suffix);
  }
  // CLI11's own refusals name the option and list the choices.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"x.spc", "--window", "hann"}, {"x.spc", "--sides", "both"}}) {
    const CliResult cli = run_cli(dir.clock, args);
    EXPECT_EQ(cli.status, 1);
    EXPECT_NE(cli.err.find(args[1]), std::string::npos) << cli.err;
    EXPECT_NE(cli.err.find(args[1] == "--window" ? "blackman-harris" : "double"), std::string::npos)
        << cli.err;
  }
  EXPECT_FALSE(std::filesystem::exists("spectra/x.spc"));
}

// --version names the vector width after the version; FTIR_SIMD forces a width the
// processor has and is ignored otherwise.
TEST(CommandLine, VersionNamesTheVectorWidth) {
  RunDir dir;
  const CliResult cli = run_cli(dir.clock, {"--version"});
  EXPECT_EQ(cli.status, 0);
  const std::string active(simd::width_name(simd::active_width()));
  EXPECT_EQ(cli.out, "ftir-reduce 1.0.0 (vector width: " + active + ")\n");
  const std::string widest(simd::width_name(simd::widest_width()));
  const std::string avx2 = simd::processor_has(simd::Width::kAvx2) ? "avx2" : widest;
  const struct {
    const char* setting;
    std::string width;
  } cases[] = {{"-u FTIR_SIMD", widest},
               {"FTIR_SIMD=plain", "plain"},
               {"FTIR_SIMD=sse2", "sse2"},
               {"FTIR_SIMD=avx2", avx2},
               {"FTIR_SIMD=neon", widest}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setting);
    const std::string command =
        "env " + std::string(c.setting) + " '" + FTIR_REDUCE_EXE + "' --version > version.txt";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(dir.read_text("version.txt"), "ftir-reduce 1.0.0 (vector width: " + c.width + ")\n");
  }
}

// --save-red-dat writes a red.dat whose run gives the same outputs; with files that leave
// different resolutions it writes none, says why and exits with 1.
TEST(CommandLine, TheSavedRedDatRunsTheSameConversion) {
  RunDir dir;
  dir.write_interferogram("a.spc", burst(6000, 700));
  dir.write_interferogram("b.spc", burst(5000, 600));
  const CliResult cli =
      run_cli(dir.clock,
              {"a.spc", "b.spc", "--sides", "single", "--laser", "15800.823", "--res", "3",
               "--carry-resolution", "--window", "nb-medium", "--points", "4096",
               "--range=-10.5:7000", "-q", "--save-red-dat", "saved.dat", "--summary", "s.json"});
  ASSERT_EQ(cli.status, 0) << cli.err;
  const driver::RunParameters p = driver::parse_run_parameters(dir.read_text("saved.dat"));
  EXPECT_EQ(p.files, (std::vector<std::string>{"a.spc", "b.spc"}));
  EXPECT_EQ(p.iapod, 5);
  EXPECT_EQ(p.ipow2, 1);
  EXPECT_EQ(p.npow, 12);
  EXPECT_EQ(p.ires, 1);
  EXPECT_EQ(p.idbl, 0);
  EXPECT_EQ(p.res, 3.0);
  EXPECT_EQ(p.wlow, -10.5);
  EXPECT_EQ(p.whigh, 7000.0);
  EXPECT_EQ(p.wref, 15800.823);
  EXPECT_EQ(p.outdir, "spectra");
  EXPECT_EQ(p.ilog, 0);
  const nlohmann::json rows = nlohmann::json::parse(dir.read_text("s.json"));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1]["input"], "b.spc");
  EXPECT_EQ(rows[1]["outputs"], nlohmann::json::array({"spectra/b.spc"}));
  EXPECT_EQ(rows[1]["side"], "single");
  EXPECT_EQ(rows[1]["window"], "nb-medium");

  const ByteImage a = read_file_bytes(dir.file("spectra/a.spc"));
  const ByteImage b = read_file_bytes(dir.file("spectra/b.spc"));
  std::filesystem::remove_all("spectra");
  std::filesystem::create_directory("spectra");
  std::filesystem::rename("saved.dat", "red.dat");
  ASSERT_EQ(dir.run(), 0) << dir.console.output;
  EXPECT_EQ(read_file_bytes(dir.file("spectra/a.spc")), a);
  EXPECT_EQ(read_file_bytes(dir.file("spectra/b.spc")), b);

  // Without --carry-resolution the second file would start elsewhere in a red.dat run: the
  // first is coarsened from 2 to its best possible 3.2775 cm-1.
  dir.write_interferogram("c.spc", burst(10000, 5001));
  dir.write_interferogram("d.spc", burst(10000, 5001));
  const CliResult apart = run_cli(dir.clock, {"c.spc", "d.spc", "--laser", "16384", "--res", "2",
                                              "-o", "apart", "-q", "--save-red-dat", "apart.dat"});
  EXPECT_EQ(apart.status, 1);
  EXPECT_FALSE(std::filesystem::exists("apart.dat"));
  EXPECT_EQ(apart.err,
            "ftir-reduce: no red.dat written: c.spc: it leaves another resolution for the next "
            "file (see --carry-resolution)\n");
}

TEST(CommandLine, DecimalFieldTextReadsBackExactly) {
  for (double value : {4.0, 0.5, 15800.823, 1e-5, 123456.789, 2.5e-300}) {
    SCOPED_TRACE(value);
    const std::optional<std::string> text = cli::decimal_text(value);
    ASSERT_TRUE(text.has_value());
    EXPECT_NE(text->find('.'), std::string::npos);
    RedDat red;
    red.res = *text;
    EXPECT_EQ(driver::parse_run_parameters(red.text()).res, value);
  }
  EXPECT_FALSE(cli::decimal_text(0.1 + 0.2).has_value());  // 0.30000000000000004
}

}  // namespace
}  // namespace ftir::testing

namespace ftir::testing {
namespace {

TEST(CommandLine, SummaryTableAndClosingLine) {
  driver::FileRecord ok;
  ok.input = "scan01.spc";
  ok.side = driver::Side::kDouble;
  ok.npts = 16384;
  ok.jmax = 8193;
  ok.res = 3.86;
  ok.points_written = 1866;
  ok.outputs = {"spectra/scan01.spc"};
  ok.status = driver::FileStatus::kConverted;
  driver::FileRecord bad;
  bad.input = "a-much-longer-name.spc";
  bad.status = driver::FileStatus::kSkipped;
  bad.reason = "no points were read";
  const std::vector<driver::FileRecord> records = {ok, bad};
  EXPECT_EQ(cli::summary_table(records),
            "file                    side    points  centerburst  resolution  written  output\n"
            "scan01.spc              double   16384         8193      3.8600     1866  "
            "spectra/scan01.spc\n"
            "a-much-longer-name.spc  -            -            -           -        -  "
            "skipped: no points were read\n");
  EXPECT_EQ(cli::closing_line(records), "2 files: 1 converted, 1 skipped\n");
}

}  // namespace
}  // namespace ftir::testing

namespace ftir::testing {
namespace {

// --sides auto takes the double-sided path exactly when npts < 3 jmax <= 2 npts; the
// records keep the written curves when the settings ask for them.
TEST(CommandLine, AutoSidesAtTheThirdsAndCurvesWhenAsked) {
  RunDir dir;
  cli::Settings settings;
  settings.outdir = "out";
  settings.laser = 16384.0;
  settings.phase_files = true;
  settings.keep_curves = true;
  auto ws = std::make_unique<driver::Workspace>();
  // A file that cannot be written ends that file only, with the writer's reason.
  dir.write_interferogram("w.spc", burst(9000, 500));
  const cli::FileOutcome unwritten =
      cli::convert_file(settings, *ws, dir.clock, {"w.spc", 4.0, ""});
  EXPECT_EQ(unwritten.record.status, driver::FileStatus::kSkipped);
  EXPECT_EQ(unwritten.record.reason, "Cannot write out/w.phz: No such file or directory");
  std::filesystem::create_directory("out");
  for (const auto& [jmax, side] :
       {std::pair{3000, driver::Side::kSingle}, std::pair{3001, driver::Side::kDouble},
        std::pair{6000, driver::Side::kDouble}, std::pair{6001, driver::Side::kSingle}}) {
    SCOPED_TRACE(jmax);
    const std::string name = "c" + std::to_string(jmax) + ".spc";
    dir.write_interferogram(name, burst(9000, jmax));
    const cli::FileOutcome out = cli::convert_file(settings, *ws, dir.clock, {name, 4.0, ""});
    const driver::FileRecord& r = out.record;
    ASSERT_EQ(r.status, driver::FileStatus::kConverted) << out.console;
    EXPECT_EQ(r.jmax, jmax);
    EXPECT_EQ(r.side, side);
    // The kept spectrum is the one written: its points, at x_first + i * x_step, read back.
    const SpectrumFile spc = read_spectrum("out/c" + std::to_string(jmax) + ".spc");
    ASSERT_EQ(r.spectrum.y.size(), spc.y.size());
    EXPECT_EQ(r.spectrum.x_first, r.first_x);
    EXPECT_DOUBLE_EQ(r.spectrum.x_first + r.spectrum.x_step * (r.points_written - 1), r.last_x);
    for (std::size_t i = 0; i < spc.y.size(); i += 97) {
      EXPECT_NEAR(r.spectrum.y[i], spc.y[i], 1e-6 * r.peak) << i;
    }
    if (side == driver::Side::kSingle) {
      const SpectrumFile phz = read_spectrum("out/c" + std::to_string(jmax) + ".phz");
      ASSERT_EQ(r.phase.y.size(), phz.y.size());
      EXPECT_NEAR(r.phase.y.back(), phz.y.back(), 1e-6);
      EXPECT_EQ(r.phase.x_first, 0.0);
    } else {
      EXPECT_TRUE(r.phase.y.empty());
    }
  }
}

}  // namespace
}  // namespace ftir::testing
