// Whole runs: red.dat in a temporary folder, interferograms written there, the console,
// red.out and every output file checked.
#include <gtest/gtest.h>

#include <sstream>

#include "run/run_support.h"

namespace ftir::testing {
namespace {

// The lines of a CR LF text; fails the test on a bare LF.
std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "text does not end in CR LF";
    if (end == std::string::npos) break;
    std::string line = text.substr(start, end - start);
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    lines.push_back(line);
    start = end + 2;
  }
  return lines;
}

// Drops the console's " Average=" line, whose value depends on every sample.
std::vector<std::string> without_average(std::vector<std::string> lines) {
  std::erase_if(lines, [](const std::string& l) { return l.rfind("Average=", 0) == 0; });
  return lines;
}

TEST(BatchRun, AnEmptyListEndsWithOkAndAnEmptyLog) {
  RunDir dir;
  RedDat red;
  EXPECT_EQ(dir.run(red), 0);
  EXPECT_EQ(dir.console.output, "OK\r\n");
  EXPECT_EQ(dir.read_text("red.out"), "");

  red.ilog = "";
  dir.write_text("red.dat", red.text());
  std::filesystem::remove("red.out");
  EXPECT_EQ(dir.run(), 0);
  EXPECT_FALSE(std::filesystem::exists("red.out"));
}

TEST(BatchRun, RedDatErrorsStopBeforeAnyFile) {
  RunDir dir;
  EXPECT_EQ(dir.run(), 1);
  EXPECT_EQ(dir.console.output,
            "red.dat: cannot be opened: No such file or directory (run ftir-reduce --help for "
            "what it must hold)\r\n");
  RedDat red;
  red.files = {"a.spc"};
  red.wref = "-2.";
  EXPECT_EQ(dir.run(red), 1);
  EXPECT_EQ(dir.console.output, "red.dat line 13: wref: must be greater than 0\r\n");
}

// sampr 1, wref 16384 (xstep 2^-14 cm, fmax 8192 cm-1), 10000 points, centerburst 5001.
TEST(BatchRun, DoubleSidedWorkedExample) {
  RunDir dir;
  std::filesystem::create_directory("out");
  dir.write_interferogram("ds.spc", burst(10000, 5001));
  RedDat red;
  red.files = {"ds.spc"};
  ASSERT_EQ(dir.run(red), 0) << dir.console.output;

  const std::string name = name40("ds.spc");
  const std::string oname = name50("out/ds.spc");
  EXPECT_EQ(without_average(lines_of(dir.console.output)),
            (std::vector<std::string>{"", "", "Interferogram File:  " + name,
                                      "     10000 points read", "Centerburst located at       5001",
                                      "Processing as a double sided interferogram",
                                      "Best possible resolution =    3.27746",
                                      "Output spectrum file name: " + oname, "OK"}));
  EXPECT_EQ(lines_of(dir.read_text("red.out")),
            (std::vector<std::string>{
                "", "", "Interferogram File:  " + name, "     10000 points read",
                "Centerburst located at       5001", "Processing as a double sided interferogram",
                "res=   4.00000", "ilong=      5001", "ishort=      4999", "ics=        13",
                "iss=      8192", "Best possible resolution =    3.27746", "",
                "res=        4.00000", "opdmax=  .25000000D+00", "csx=  .40960000D+04",
                "icxsl=        12", "it=      4096", "l=      8192 ksort=      8192",
                "Number of transform points=      8192", "power of 2        13",
                "calculated number of points=      8192", "xstep=  .61035156D-04",
                "fmax=  .81920000D+04", "lnum=      4096", "delta=  .20004884D+01",
                "lnum, xin(1), xin(lnum)=      4096        .000000    8192.000000",
                "Output spectrum file name: " + oname}));
  // Grid points (i - 1) * 8192/4095 from 400 to 4000: i - 1 = 200 .. 1999.
  ByteImage spectrum = read_file_bytes(dir.file("out/ds.spc"));
  EXPECT_EQ(spectrum.size(), 256u + 4u * 1800u);
}

// A request finer than the record allows is coarsened, and the next file starts from it.
TEST(BatchRun, AnAdjustedResolutionCarriesOverToTheNextFile) {
  RunDir dir;
  std::filesystem::create_directory("out");
  dir.write_interferogram("a.spc", burst(10000, 5001));
  dir.write_interferogram("b.spc", burst(10000, 5001));
  RedDat red;
  red.files = {"a.spc", "b.spc"};
  red.res = "2.0";
  ASSERT_EQ(dir.run(red), 0) << dir.console.output;
  const std::string console = dir.console.output;
  const std::string adjustment =
      "Reqested resolution ( 2.0000) exceeds what is \r\n"
      " possible with this interferogram.  Resolution will be adjusted\r\n"
      "to best possible resolution ( 3.2775)\r\n";
  EXPECT_EQ(console.find(adjustment), console.rfind(adjustment));
  EXPECT_NE(console.find(adjustment), std::string::npos);
  const std::string log = dir.read_text("red.out");
  // The first file works at the best possible resolution, the second asks for it.
  EXPECT_NE(log.find("res=   2.00000\r\n"), std::string::npos);
  EXPECT_NE(log.find("res=   3.27746\r\n"), std::string::npos);
  EXPECT_EQ(lines_of(log).size(), 2u * 28u + 3u);
  // csx is 4999 (or 4998), it is again 4096: the same segment as at res 4.
  EXPECT_NE(log.find("it=      4096"), std::string::npos);
}

// 3000 points, centerburst 1000: a 1024-point phase piece, zero filling to 2048.
TEST(BatchRun, SingleSidedWithZeroFillingAndPhaseFiles) {
  RunDir dir;
  std::filesystem::create_directory("out");
  dir.write_interferogram("ss.spc", burst(3000, 1000));
  RedDat red;
  red.files = {"ss.spc"};
  red.idbl = 0;
  red.iphase = 1;
  ASSERT_EQ(dir.run(red), 0) << dir.console.output;
  const std::string name = name40("ss.spc");
  const std::string oname = name50("out/ss.spc");
  EXPECT_EQ(without_average(lines_of(dir.console.output)),
            (std::vector<std::string>{
                "", "", "Interferogram File:  " + name, "      3000 points read",
                "Centerburst located at       1000", "Processing as single sided interferogram",
                "Number of points used in phase correction calculation:       1024",
                "Phase correction resolution:     32.000 cm**-1",
                "********   Zero filling  *******", " number of points used      2048",
                "number of points avaliable:      2001", "",
                "Output spectrum resolution =     8.0000", "Number of points =       2048",
                "Output spectrum file name: " + oname, "Output file=" + oname,
                "ii=       900", "lnum=      2048", "wlow,whigh=  400.0000 4000.0000", "OK"}));
  const std::string log = dir.read_text("red.out");
  for (const char* expected :
       {"istart=       488\r\njmax=      1000\r\niuse=      2001\r\nis=       512\r\n"
        "icc=        10\r\ncc=  .10966505D+02\r\ndd=  .96650545D+00\r\n",
        "\r\n\r\nicc, lnum=        11      2048\r\n",
        "\r\n\r\nistart, lnun, iend=       488      2048      3047\r\nknt=      2560\r\n",
        "ipeak=       513\r\nlexp=        12\r\nlknt=      4096\r\nipoint=       512\r\n"
        "ipoint=      2560\r\nnb,n,ndir=      4096        12         1\r\n",
        "xstep=  .61035156D-04\r\nfmax=  8192.00000000\r\ndelta=  .16031311D+02\r\n"}) {
    SCOPED_TRACE(expected);
    EXPECT_NE(log.find(expected), std::string::npos) << log;
  }
  EXPECT_EQ(read_file_bytes(dir.file("out/ss.spc")).size(), 256u + 4u * 900u);
  EXPECT_EQ(read_file_bytes(dir.file("out/ss.phz")).size(), 256u + 4u * 512u);
  EXPECT_EQ(read_file_bytes(dir.file("out/ss.shr")).size(), 256u + 4u * 512u);
}

// lnum 4096 with r = 1 cm-1; a request of 4 cm-1 shortens the transform by 2^2.
TEST(BatchRun, SingleSidedShortensToTheRequestedResolution) {
  for (const auto& [res, resolution_line, points_line, fft_line] :
       {std::tuple{"4.0", "Output spectrum resolution =     4.0000", "Number of points =       1024",
                   "nb,n,ndir=      2048        11         1"},
        std::tuple{"0.5", "Output spectrum resolution =     1.0000", "Number of points =       4096",
                   "nb,n,ndir=      8192        13         1"}}) {
    SCOPED_TRACE(res);
    RunDir dir;
    std::filesystem::create_directory("out");
    dir.write_interferogram("r.spc", burst(4695, 600));
    RedDat red;
    red.files = {"r.spc"};
    red.idbl = 0;
    red.wref = "4096.0";
    red.res = res;
    red.wlow = "0";
    red.whigh = "3000";
    ASSERT_EQ(dir.run(red), 0) << dir.console.output;
    EXPECT_NE(dir.console.output.find(std::string(resolution_line) + "\r\n" + points_line),
              std::string::npos)
        << dir.console.output;
    EXPECT_NE(dir.read_text("red.out").find(fft_line), std::string::npos);
  }
}

// With wref 16352.01 the spectrum's last wavenumber lies one rounding step above the
// phase grid's last abscissa; the file is converted all the same.
TEST(BatchRun, TheLastWavenumberMayExceedThePhaseGridByRounding) {
  RunDir dir;
  std::filesystem::create_directory("out");
  dir.write_interferogram("g.spc", burst(3000, 1000));
  RedDat red;
  red.files = {"g.spc"};
  red.idbl = 0;
  red.wref = "16352.01";
  red.wlow = "0";
  red.whigh = "9000";
  ASSERT_EQ(dir.run(red), 0) << dir.console.output;
  EXPECT_EQ(read_file_bytes(dir.file("out/g.spc")).size(), 256u + 4u * 2048u);
}

TEST(BatchRun, DegenerateFilesAreSkippedAndTheRunGoesOn) {
  RunDir dir;
  std::filesystem::create_directory("out");
  std::vector<std::int32_t> last = burst(4000, 2000);
  last.back() = 10000000;
  dir.write_interferogram("last.spc", last);
  dir.write_interferogram("early.spc", burst(4000, 2));
  dir.write_interferogram("good.spc", burst(10000, 5001));
  dir.write_interferogram("empty.spc", {});
  RedDat red;
  red.files = {"last.spc", "good.spc", "empty.spc"};
  EXPECT_EQ(dir.run(red), 2);
  const std::string& console = dir.console.output;
  EXPECT_NE(console.find("\r\nSkipped " + name40("last.spc") + ": the centerburst is the last sample\r\n"),
            std::string::npos)
      << console;
  EXPECT_NE(console.find("\r\nSkipped " + name40("empty.spc") +
                         ": the header declares fewer than 2 points\r\nOK\r\n"),
            std::string::npos)
      << console;
  EXPECT_TRUE(std::filesystem::exists("out/good.spc"));
  EXPECT_FALSE(std::filesystem::exists("out/last.spc"));

  red.files = {"early.spc"};
  red.idbl = 0;
  EXPECT_EQ(dir.run(red), 2);
  EXPECT_NE(dir.console.output.find("Skipped " + name40("early.spc") +
                                    ": the centerburst lies in the first 3 samples\r\nOK\r\n"),
            std::string::npos)
      << dir.console.output;
}

// The per-file records say what the console and the files say: the worked single-sided
// file above (phase files first, then the spectrum), a skipped file, and the file whose
// stop ended the run.
TEST(BatchRun, RecordsHoldWhatWasReadFoundAndWritten) {
  RunDir dir;
  std::filesystem::create_directory("out");
  dir.write_interferogram("ss.spc", burst(3000, 1000));
  dir.write_interferogram("empty.spc", {});
  RedDat red;
  red.files = {"ss.spc", "empty.spc", "missing.spc"};
  red.idbl = 0;
  red.iphase = 1;
  dir.write_text("red.dat", red.text());
  std::vector<driver::FileRecord> records;
  EXPECT_EQ(driver::run_program(dir.console, dir.clock, &records), 1);
  ASSERT_EQ(records.size(), 3u);

  const driver::FileRecord& ss = records[0];
  EXPECT_EQ(ss.input, "ss.spc");
  EXPECT_EQ(ss.status, driver::FileStatus::kConverted);
  EXPECT_EQ(ss.npts, 3000);
  EXPECT_EQ(ss.jmax, 1000);
  EXPECT_EQ(ss.side, driver::Side::kSingle);
  EXPECT_EQ(ss.iapod, 3);
  EXPECT_EQ(ss.res_requested, 4.0);
  EXPECT_EQ(ss.res, 8.0);  // 1 / (2048 points / 16384 cm-1)
  EXPECT_EQ(ss.lnum, 2048);
  EXPECT_EQ(ss.outputs, (std::vector<std::string>{"out/ss.phz", "out/ss.shr", "out/ss.spc"}));
  const SpectrumFile spc = read_spectrum("out/ss.spc");
  EXPECT_EQ(ss.points_written, static_cast<int>(spc.y.size()));
  EXPECT_EQ(static_cast<float>(ss.first_x), static_cast<float>(spc.x.front()));
  EXPECT_EQ(static_cast<float>(ss.last_x), static_cast<float>(spc.x.back()));
  double peak = 0.0;
  for (double y : spc.y) peak = std::max(peak, std::fabs(y));
  EXPECT_NEAR(ss.peak, peak, 1e-6 * peak);
  EXPECT_GT(ss.energy, 0.0);
  EXPECT_TRUE(ss.spectrum.y.empty());  // curves only when asked

  EXPECT_EQ(records[1].status, driver::FileStatus::kSkipped);
  EXPECT_EQ(records[1].reason, "the header declares fewer than 2 points");
  EXPECT_TRUE(records[1].outputs.empty());
  EXPECT_EQ(records[2].status, driver::FileStatus::kStopped);
  EXPECT_EQ(records[2].reason, "Cannot open missing.spc: No such file or directory");
}

TEST(BatchRun, AnEmptyRangeWritesNoFile) {
  for (int idbl : {0, 1}) {
    SCOPED_TRACE(idbl);
    RunDir dir;
    std::filesystem::create_directory("out");
    dir.write_interferogram("w.spc", burst(10000, 5001));
    RedDat red;
    red.files = {"w.spc"};
    red.idbl = idbl;
    red.wlow = "4000";
    red.whigh = "400";
    EXPECT_EQ(dir.run(red), 2);
    const std::string skip =
        "Skipped " + name40("w.spc") + ": no spectrum point lies between wlow and whigh\r\n";
    EXPECT_NE(dir.console.output.find(skip), std::string::npos) << dir.console.output;
    EXPECT_NE(dir.read_text("red.out").find(skip), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists("out/w.spc"));
  }
}

TEST(BatchRun, CountOnlyModeReadsAndCounts) {
  RunDir dir;
  dir.write_interferogram("a.spc", burst(1024, 500));
  RedDat red;
  red.files = {"a.spc", "a.spc"};
  red.ipow2 = 0;
  red.ires = 0;
  EXPECT_EQ(dir.run(red), 0);
  // A file's block starts by ending the line left pending before it.
  const std::string block = "\r\n\r\nInterferogram File:  " + name40("a.spc") + "\r\n      1024 points read";
  EXPECT_EQ(dir.console.output, block + "\r\n" + block + "\r\nOK\r\n");
  EXPECT_EQ(dir.read_text("red.out"), block + "\r\n" + block + "\r\n");
}

TEST(BatchRun, AnUnsupportedFileStopsTheRunAfterThePause) {
  RunDir dir;
  OldHeaderFields h;
  h.flags = 0x04;
  h.pointcount = 4.0f;
  h.lastx = 3.0f;
  dir.write("multi.spc", old_format_header(h));
  dir.write_interferogram("good.spc", burst(10000, 5001));
  RedDat red;
  red.files = {"multi.spc", "good.spc"};
  dir.write_text("red.dat", red.text());
  dir.console.input = {"echo hello"};
  EXPECT_EQ(dir.run(), 1);
  EXPECT_EQ(dir.console.output,
            "\r\n\r\nInterferogram File:  " + name40("multi.spc") +
                "\r\nThis file format is not supported\r\n"
                "Pause - Please enter a blank line (to continue) or a DOS command.\r\n"
                "Program terminating\r\n");
  EXPECT_EQ(dir.console.commands, std::vector<std::string>{"echo hello"});
  EXPECT_FALSE(std::filesystem::exists("out"));
  EXPECT_EQ(dir.read_text("red.out"), "\r\n\r\nInterferogram File:  " + name40("multi.spc") + "\r\n");
}

TEST(BatchRun, ARunDoneTwiceGivesIdenticalBytes) {
  RunDir dir;
  std::filesystem::create_directory("out");
  dir.write_interferogram("s.spc", burst(5000, 700));
  RedDat red;
  red.files = {"s.spc"};
  red.idbl = 0;
  red.iphase = 1;
  ASSERT_EQ(dir.run(red), 0);
  const std::string console = dir.console.output;
  const std::string log = dir.read_text("red.out");
  const ByteImage spc = read_file_bytes("out/s.spc");
  const ByteImage phz = read_file_bytes("out/s.phz");
  ASSERT_EQ(dir.run(), 0);
  EXPECT_EQ(dir.console.output, console);
  EXPECT_EQ(dir.read_text("red.out"), log);
  EXPECT_EQ(read_file_bytes("out/s.spc"), spc);
  EXPECT_EQ(read_file_bytes("out/s.phz"), phz);
}

}  // namespace
}  // namespace ftir::testing

namespace ftir::testing {
namespace {

// More points before the centerburst than the transform's first half can take: only the
// nearest lnum are wrapped to the end.
TEST(BatchRun, ALateCenterburstWithASmallTransform) {
  RunDir dir;
  std::filesystem::create_directory("out");
  dir.write_interferogram("late.spc", burst(12000, 5000));
  RedDat red;
  red.files = {"late.spc"};
  red.idbl = 0;
  red.ipow2 = 1;
  red.npow = 10;
  red.ires = 0;
  ASSERT_EQ(dir.run(red), 0) << dir.console.output;
  EXPECT_NE(dir.console.output.find("Number of points used in phase correction calculation:       8192"),
            std::string::npos);
  EXPECT_NE(dir.console.output.find("Number of points =       1024"), std::string::npos);
  EXPECT_NE(dir.read_text("red.out").find("nb,n,ndir=      2048        11         1"),
            std::string::npos);
}

// The centerburst at 4096 with it = 4096: the segment starts at sample 0, which is zero.
TEST(BatchRun, ASegmentThatStartsBeforeTheRecord) {
  RunDir dir;
  std::filesystem::create_directory("out");
  dir.write_interferogram("edge.spc", burst(10000, 4096));
  RedDat red;
  red.files = {"edge.spc"};
  ASSERT_EQ(dir.run(red), 0) << dir.console.output;
  const std::string log = dir.read_text("red.out");
  EXPECT_NE(log.find("Best possible resolution =    4.00000"), std::string::npos);
  EXPECT_NE(log.find("it=      4096"), std::string::npos);
  EXPECT_EQ(log.find("Reqested"), std::string::npos);
}

}  // namespace
}  // namespace ftir::testing

namespace ftir::testing {
namespace {

// The transform length of the single-sided path: sampr 1, wref 16384, centerburst 600.
TEST(BatchRun, SingleSidedTransformLength) {
  struct Case {
    const char* name;
    int iuse;  // points from the centerburst to the end
    int ipow2, npow, ires;
    bool zero_filled;
    const char* points;
  };
  const Case cases[] = {
      {"dd 0.103 zero-fills", 1100, 0, 13, 1, true, "      2048"},
      {"dd 0.090 cuts", 1090, 0, 13, 1, false, "      1024"},
      {"npow limits", 4096, 1, 10, 0, false, "      1024"},
      {"npow above icc changes nothing", 4096, 1, 14, 0, false, "      4096"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunDir dir;
    std::filesystem::create_directory("out");
    dir.write_interferogram("t.spc", burst(600 + c.iuse - 1, 600));
    RedDat red;
    red.files = {"t.spc"};
    red.idbl = 0;
    red.ipow2 = c.ipow2;
    red.npow = c.npow;
    red.ires = c.ires;
    ASSERT_EQ(dir.run(red), 0) << dir.console.output;
    EXPECT_EQ(dir.console.output.find("Zero filling") != std::string::npos, c.zero_filled);
    EXPECT_NE(dir.console.output.find(std::string("Number of points = ") + c.points + "\r\n"),
              std::string::npos)
        << dir.console.output;
  }
}

// The second file's request is the first file's output resolution (4 cm-1), not the 3 cm-1
// read from red.dat: with r = 2 it is shortened by one power of two, not left alone.
TEST(BatchRun, TheNextSingleSidedFileStartsFromTheOutputResolution) {
  RunDir dir;
  std::filesystem::create_directory("out");
  dir.write_interferogram("a.spc", burst(600 + 4096 - 1, 600));
  dir.write_interferogram("b.spc", burst(600 + 8192 - 1, 600));
  RedDat red;
  red.files = {"a.spc", "b.spc"};
  red.idbl = 0;
  red.res = "3.0";
  ASSERT_EQ(dir.run(red), 0) << dir.console.output;
  const std::string& out = dir.console.output;
  const std::string four = "Output spectrum resolution =     4.0000\r\nNumber of points =       4096";
  EXPECT_NE(out.find(four), std::string::npos) << out;
  EXPECT_NE(out.find(four), out.rfind(four)) << out;
}

}  // namespace
}  // namespace ftir::testing
