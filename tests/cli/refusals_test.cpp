// What would be silently wrong, refused by the command line while a red.dat run converts it
// without a word as before; the laser from a first X of 0 up to rounding; output names up to
// the system's limit. The centerburst rule, calibrated on real and generated records.
#include <gtest/gtest.h>

#include "cli/cli_support.h"
#include "driver/prepare.h"
#include "run/run_support.h"
#include "spc_tool/split.h"
#include "synth/interferogram.h"
#include "tools/tool_run.h"

namespace ftir::testing {
namespace {

namespace fs = std::filesystem;
const fs::path kSamples = fs::path(FTIR_SOURCE_DIR) / "../shared/data/spc-samples";

// burst(4096, 300) with X from `firstx` to 8192 cm-1: a laser of 16384 where firstx is 0.
ByteImage with_first_x(float firstx) {
  OldHeaderFields h{.exponent = 32, .pointcount = 4096.0f, .firstx = firstx, .lastx = 8192.0f};
  ByteImage image = old_format_header(h);
  image[16] = 1;  // xunits: wavenumbers
  for (std::int32_t v : burst(4096, 300)) append_i32_old(image, v);
  return image;
}

TEST(CommandLineRefusals, WhatWouldBeSilentlyWrongIsSkippedUnlessAllowed) {
  RunDir dir;
  dir.write("ig.spc", with_first_x(0.0f));
  dir.write("tiny.spc", with_first_x(-1.0e-13f));  // within 1e-9 of last X
  dir.write("off.spc", with_first_x(1.0e-2f));     // 1.2e-6 of it
  ByteImage cut = read_file_bytes(dir.file("ig.spc"));
  cut.resize(256 + 614 * 4 + 3);  // 614 samples and part of one
  dir.write("cut.spc", cut);
  ASSERT_EQ(run_cli(dir.clock, {"ig.spc", "-q"}).status, 0);
  fs::copy_file("spectra/ig.spc", "sp.spc");  // a spectrum fed back
  const std::string skip = "ftir-reduce: skipped ";
  const struct {
    int status;
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {1,
       {"ig.spc", "-o", "a\\b"},
       "ftir-reduce: --out: 'a\\b' holds a backslash, which output names take for a DOS folder "
       "separator (the spectra would land beside the folder); name the folder with / (see "
       "ftir-reduce --help)\n"},
      {1,
       {"ig.spc", "-o", "out "},
       "ftir-reduce: --out: 'out ' ends in a blank, which output names drop (the spectra would "
       "be written to a folder without it) (see ftir-reduce --help)\n"},
      {2,
       {"cut.spc"},
       skip + "cut.spc: the header declares 4096 points, the file holds 614; --allow-truncated "
              "converts the points it holds\n"},
      {0, {"cut.spc", "-o", "cut", "--window", "blackman-harris", "--allow-truncated"}, ""},
      {2,
       {"sp.spc", "--laser", "16384"},
       skip + "sp.spc: its samples show no centerburst (a spectrum, not an interferogram?); "
              "--allow-no-centerburst converts it\n"},
      {0, {"sp.spc", "--laser", "16384", "--allow-no-centerburst"}, ""},
      {2,
       {"tiny.spc", "off.spc", "-o", "x"},
       skip + "off.spc: its header states no laser wavenumber (its X range does not run from 0 "
              "cm-1); give --laser\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back("-q");
    const CliResult cli = run_cli(dir.clock, args);
    EXPECT_EQ(cli.status, c.status) << args.front();
    EXPECT_EQ(cli.err, c.err);
  }
  EXPECT_FALSE(fs::exists("a\\b"));
  EXPECT_EQ(read_file_bytes(dir.file("x/tiny.spc")), read_file_bytes(dir.file("spectra/ig.spc")));
  // A red.dat run (blackman-harris, double-sided) converts both without a word, as before.
  RedDat red;
  red.files = {"cut.spc", "sp.spc"};
  fs::create_directory("out");
  ASSERT_EQ(dir.run(red), 0);
  EXPECT_EQ(dir.console.output.find("Skipped"), std::string::npos);
  EXPECT_EQ(read_file_bytes(dir.file("out/cut.spc")), read_file_bytes(dir.file("cut/cut.spc")));
  for (const std::size_t length : {245u, 251u, 255u}) {  // the temporary name is shortened
    const std::string name = std::string(length - 4, 'n') + ".spc";
    fs::copy_file("ig.spc", name);
    EXPECT_EQ(run_cli(dir.clock, {name, "-o", "long", "-q"}).status, 0) << length;
    EXPECT_EQ(read_file_bytes("long/" + name), read_file_bytes(dir.file("spectra/ig.spc")));
  }
  if (!fs::exists(kSamples / "IG_MULTI.SPC")) GTEST_SKIP() << "no sample files";
  // IG_MULTI's traces, split and co-added, start at X -7.99e-14; IG_BKGND is a spectrum.
  const std::string multi = fs::canonical(kSamples / "IG_MULTI.SPC").string();
  ASSERT_EQ(spc_tool(dir, "split '" + multi + "' -o split").status, 0);
  ASSERT_EQ(spc_tool(dir, "coadd --traces '" + multi + "' -o avg.spc").status, 0);
  std::vector<std::string> args = {"avg.spc", fs::canonical(kSamples / "IG_BKGND.SPC"), "-q"};
  for (const auto& entry : fs::directory_iterator("split")) args.push_back(entry.path());
  const CliResult cli = run_cli(dir.clock, args);
  EXPECT_EQ(cli.out, "12 files: 11 converted, 1 skipped\n");
  EXPECT_EQ(cli.err.rfind(skip + args[1] + ": its samples show no centerburst", 0), 0u);
}

// A damaged instrument file is skipped with its reader's reason, not with the SPC reader's
// laser hint; an input whose name starts with - is pointed to --.
TEST(CommandLineRefusals, InstrumentFilesGiveTheirReadersReason) {
  RunDir dir;
  const ByteImage test = read_file_bytes(fs::path(FTIR_SOURCE_DIR) / "tests/data/opus/test.0000");
  ByteImage cut = test;
  cut.resize(20000);  // inside the ScSm block (offset 16424, 10272 bytes)
  dir.write("cut.0000", cut);
  ByteImage nan = test;
  set_le(nan, 1352 + 4 * 100, 0x7FC00000u, 4);  // IgSm at 1352: its 101st value NaN
  dir.write("nan.0000", nan);
  ByteImage zff = test;
  zff[776 + 104] = 'x';  // the transform block's last entry, ZFF "2", reads "x"
  dir.write("zff.0000", zff);
  dir.write("big.0", ByteImage(test.begin(), test.begin() + 24));
  fs::resize_file("big.0", std::uintmax_t{65} << 20);  // past the read limit, holes mostly
  const CliResult cli =
      run_cli(dir.clock, {"cut.0000", "nan.0000", "zff.0000", "big.0", "-q"});
  EXPECT_EQ(cli.status, 2);
  EXPECT_EQ(cli.err,
            "ftir-reduce: skipped cut.0000: its block directory or a block it lists lies outside "
            "the file\n"
            "ftir-reduce: skipped nan.0000: a sample is not a finite number\n"
            "ftir-reduce: skipped zff.0000: its ZFF \"x\" is not a whole number; --zero-fill "
            "replaces it\n"
            "ftir-reduce: skipped big.0: the file is larger than the 67108864 bytes an "
            "instrument file is read up to\n");
  EXPECT_EQ(run_cli(dir.clock, {"-x.spc"}).err,
            "ftir-reduce: The following argument was not expected: -x.spc; a FILE whose name "
            "starts with - is given after --: ftir-reduce [OPTIONS] -- -x.spc\n");
}

TEST(CommandLineRefusals, CenterburstRuleCalibration) {
  struct Record {
    std::string what;
    std::vector<double> y;
    bool interferogram;
  };
  std::vector<Record> records;
  const struct {
    const char* what;
    int center;
    double noise, low, high, sampr, dispersion;
    synth::EnvelopeShape shape;
  } kinds[] = {
      {"single-sided", 1024, 0.0, 400, 4000, 1, 0, synth::EnvelopeShape::kPlanck},
      {"double-sided, noise 0.1", 4095, 0.1, 400, 4000, 1, 0, synth::EnvelopeShape::kPlanck},
      {"burst on sample 4, noise 0.2", 3, 0.2, 400, 4000, 1, 0, synth::EnvelopeShape::kPlanck},
      {"dispersion", 1024, 1e-3, 400, 4000, 1, 1e-6, synth::EnvelopeShape::kPlanck},
      {"flat 400-7800", 1024, 1e-3, 400, 7800, 1, 0, synth::EnvelopeShape::kFlat},
      {"narrow 1000-1020", 1024, 1e-3, 1000, 1020, 1, 0, synth::EnvelopeShape::kGauss},
      {"sampr 2, 800-2000", 1024, 0.0, 800, 2000, 2, 0, synth::EnvelopeShape::kPlanck},
  };
  for (const auto& k : kinds) {
    records.push_back({k.what,
                       synth::make_interferogram(
                           {.points = 8192,
                            .center = k.center,
                            .sampr = k.sampr,
                            .source = {k.low, k.high, k.shape, 1300.0, {{1600, 4, 0.9}}},
                            .dispersion = k.dispersion,
                            .noise = k.noise}),
                       true});
  }
  for (const char* name : {"IG_SAMP.SPC", "IG_MULTI.SPC", "IG_BKGND.SPC", "KKSAM.SPC",
                           "DOERNER.spc", "test_input.spc", "resolutionPro.spc", "CONTOUR.SPC",
                           "DEMO_3D.SPC", "LC_DIODE_ARRAY.SPC", "TriVista-linear.spc"}) {
    if (!fs::exists(kSamples / name)) continue;
    spctool::Trace trace = spctool::read_trace((kSamples / name).string());
    std::vector<spctool::Trace> traces = {trace};
    if ((trace.header.flags & spcfile::kFlagMulti) != 0) traces = spctool::split_traces(trace, "");
    for (spctool::Trace& t : traces) {
      spctool::load_points(t);
      records.push_back({name + t.path, t.y,
                         std::string_view(name).starts_with("IG_M") ||
                             std::string_view(name).starts_with("IG_S")});
    }
  }
  for (Record& r : records) {
    FakeConsole console;
    report::Report report(console);
    const int npts = static_cast<int>(r.y.size());
    const int jmax = driver::remove_mean_and_find_centerburst(report, r.y, npts);
    const driver::CenterburstShape shape = driver::centerburst_shape(r.y, jmax);
    EXPECT_EQ(shape.shown, r.interferogram)
        << r.what << ": " << shape.opposite << ", " << shape.residue;
  }
}

}  // namespace
}  // namespace ftir::testing
