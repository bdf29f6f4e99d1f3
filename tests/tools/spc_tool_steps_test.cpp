// spc-tool's steps after a conversion on hand-made files whose answers are worked out by
// hand: split, coadd, ratio and jcamp, each with its refusals; the help of every command;
// legend labels. Files made by the commands are read back with the converter's reader.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "run/run_support.h"
#include "spc_tool/svg_plot.h"
#include "support/spc_images.h"
#include "tools/tool_run.h"

namespace ftir::testing {
namespace {

constexpr std::size_t kSubfilesOffset = 24;
constexpr std::size_t kLogoffsetOffset = 248;

// A 32-byte subheader with the given exponent byte.
ByteImage subheader(std::int8_t subexp) {
  ByteImage sub(32, 0);
  sub[1] = static_cast<unsigned char>(subexp);
  return sub;
}

void append(ByteImage& image, const ByteImage& more) {
  image.insert(image.end(), more.begin(), more.end());
}

std::string text_of(const std::string& path) {
  const ByteImage bytes = read_file_bytes(path);
  return std::string(bytes.begin(), bytes.end());
}

void expect_points(const std::string& path, const std::vector<double>& x,
                   const std::vector<double>& y, double tolerance) {
  const SpectrumFile s = read_spectrum(path);
  ASSERT_EQ(s.skip_reason, nullptr);
  ASSERT_EQ(s.x.size(), x.size());
  ASSERT_EQ(s.y.size(), y.size());
  for (std::size_t i = 0; i < x.size(); ++i) {
    EXPECT_EQ(s.x[i], x[i]) << "point " << i + 1;
    EXPECT_NEAR(s.y[i], y[i], tolerance) << "point " << i + 1;
  }
}

// New format, two traces of 3 points, X 100 down to 50, a log block after the data.
// Trace 1 has exponent 32 (factor 1), trace 2 exponent 34 (factor 4).
ByteImage new_multi() {
  ByteImage image = new_format_header({0x04, 0x4B, 28, 3, 100.0, 50.0});
  image.resize(512);
  set_le(image, kSubfilesOffset, 2, 4);
  set_le(image, kLogoffsetOffset, 544 + 2 * 44, 4);
  append(image, subheader(32));
  for (std::int32_t k : {1, -2, 3}) append_i32(image, k);
  append(image, subheader(34));
  for (std::int32_t k : {5, 6, -7}) append_i32(image, k);
  append(image, ByteImage(16, 0xAB));
  return image;
}

TEST(SpcToolSplit, EachTraceBecomesAFileTheReaderTakes) {
  TempDir dir;
  const ByteImage multi = new_multi();
  dir.write("multi.spc", multi);
  // Old format, 16-bit samples: the first subheader sits in the header at 224, the second
  // before its data; factors 2^(16-16) and 2^(17-16).
  ByteImage old = old_format_header({0x05, 16, 2.0f, 0.0f, 1.0f});
  old[224 + 1] = 16;
  append_i16(old, 300);
  append_i16(old, -1);
  append(old, subheader(17));
  append_i16(old, 5);
  append_i16(old, 6);
  dir.write("old.spc", old);

  const ToolRun run = spc_tool(dir, "split multi.spc -o parts");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(
      run.out,
      "parts/multi_1.spc: trace 1 of 2, 3 points\nparts/multi_2.spc: trace 2 of 2, 3 points\n");
  expect_points(dir.file("parts/multi_1.spc"), {100, 75, 50}, {1, -2, 3}, 0.0);
  expect_points(dir.file("parts/multi_2.spc"), {100, 75, 50}, {20, 24, -28}, 0.0);
  const ByteImage part = read_file_bytes(dir.file("parts/multi_2.spc"));
  ASSERT_EQ(part.size(), 544u + 12u);
  EXPECT_EQ(part[0], 0x00);  // one trace
  EXPECT_EQ(part[3], 34);    // the trace's own exponent
  EXPECT_EQ(part[kSubfilesOffset], 1);
  EXPECT_EQ(part[kLogoffsetOffset], 0);  // no log block
  EXPECT_EQ(ByteImage(part.begin() + 8, part.begin() + 24),
            ByteImage(multi.begin() + 8, multi.begin() + 24));  // X range as is

  ASSERT_EQ(spc_tool(dir, "split old.spc -o .").status, 0);
  expect_points(dir.file("old_1.spc"), {0, 1}, {300, -1}, 0.0);
  expect_points(dir.file("old_2.spc"), {0, 1}, {10, 12}, 0.0);
}

TEST(SpcToolSplit, Refusals) {
  TempDir dir;
  ByteImage single = new_format_header({0x00, 0x4B, 32, 2, 0.0, 1.0});
  append_i32(single, 1);
  append_i32(single, 2);
  dir.write("single.spc", single);
  ByteImage xarray = new_multi();
  xarray[0] = 0x84;
  dir.write("xarray.spc", xarray);
  ByteImage compat = new_multi();
  compat[0] = 0x06;
  dir.write("compat.spc", compat);
  ByteImage one_point = new_multi();
  set_le(one_point, 4, 1, 4);
  dir.write("one.spc", one_point);
  ByteImage cut = new_multi();
  cut.resize(544 + 12 + 32 + 8);
  dir.write("cut.spc", cut);
  const struct {
    const char* args;
    const char* message;
  } cases[] = {
      {"split single.spc -o d",
       "single.spc: cannot split: it holds a single trace (flag 0x04 is clear)"},
      {"split xarray.spc -o d",
       "xarray.spc: cannot split: its traces have X arrays (flags 0x40, 0x80), not evenly "
       "spaced points"},
      {"split compat.spc -o d",
       "compat.spc: cannot split: the compatibility flag (0x02) is not supported"},
      {"split one.spc -o d", "one.spc: cannot split: the header declares fewer than 2 points"},
      {"split cut.spc -o d", "cut.spc: cannot split: the file ends inside trace 2 of 2"},
      {"split cut.spc", "split needs -o DIR (see spc-tool --help)"},
      {"split -o d", "split takes one FILE (see spc-tool --help)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const ToolRun run = spc_tool(dir, c.args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "spc-tool: " + std::string(c.message) + "\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("d")));
  }
}

// Three records of X 0..3 stored three ways: new format 32-bit (factor 1), new format
// 16-bit (exponent 17, factor 2), old format 32-bit (exponent 33, factor 2). Their values
// are {0,10,100,-20}, {2,10,104,-18}, {4,10,96,-22}: the average is {2,10,100,-20}, and
// every centerburst is at point 3.
TEST(SpcToolCoadd, AveragesEachFileAtItsOwnScale) {
  TempDir dir;
  ByteImage a = new_format_header({0x00, 0x4B, 32, 4, 0.0, 3.0});
  for (std::int32_t k : {0, 10, 100, -20}) append_i32(a, k);
  dir.write("a.spc", a);
  ByteImage b = new_format_header({0x01, 0x4B, 17, 4, 0.0, 3.0});
  for (std::int16_t k : std::vector<std::int16_t>{1, 5, 52, -9}) append_i16(b, k);
  dir.write("b.spc", b);
  ByteImage c = old_format_header({0x00, 33, 4.0f, 0.0f, 3.0f});
  for (std::int32_t k : {2, 5, 48, -11}) append_i32_old(c, k);
  dir.write("c.spc", c);

  const ToolRun run = spc_tool(dir, "coadd a.spc b.spc c.spc -o avg.spc");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "avg.spc: average of 3 records of 4 points, centerburst at point 3\n");
  expect_points(dir.file("avg.spc"), {0, 1, 2, 3}, {2, 10, 100, -20}, 0.0);
  const ByteImage avg = read_file_bytes(dir.file("avg.spc"));
  EXPECT_EQ(avg[1], 0x4B);  // the first file's format
  EXPECT_EQ(std::string(avg.begin() + 88, avg.begin() + 88 + 31),
            "Co-added 3: a.spc, b.spc, c.spc");
  EXPECT_EQ(avg[88 + 31], 0);

  // Records that differ from the first.
  ByteImage longer = new_format_header({0x00, 0x4B, 32, 5, 0.0, 3.0});
  for (std::int32_t k : {0, 10, 100, -20, 0}) append_i32(longer, k);
  dir.write("longer.spc", longer);
  ByteImage shifted = new_format_header({0x00, 0x4B, 32, 4, 0.0, 4.0});
  for (std::int32_t k : {0, 10, 100, -20}) append_i32(shifted, k);
  dir.write("shifted.spc", shifted);
  ByteImage burst = new_format_header({0x00, 0x4B, 32, 4, 0.0, 3.0});
  for (std::int32_t k : {100, 10, 0, -20}) append_i32(burst, k);
  dir.write("burst.spc", burst);
  ByteImage cut = a;
  cut.resize(cut.size() - 4);
  dir.write("cut.spc", cut);
  dir.write("multi.spc", new_multi());
  const struct {
    const char* args;
    const char* message;
  } cases[] = {
      {"coadd a.spc longer.spc -o out.spc",
       "longer.spc: cannot co-add: 5 points where a.spc has 4"},
      {"coadd a.spc shifted.spc -o out.spc",
       "shifted.spc: cannot co-add: X runs from 0 to 4 where a.spc runs from 0 to 3"},
      {"coadd a.spc b.spc burst.spc -o out.spc",
       "burst.spc: cannot co-add: centerburst at point 1 where a.spc has it at 3"},
      {"coadd a.spc cut.spc -o out.spc", "cut.spc: cannot co-add: it holds only 3 of its 4 points"},
      {"coadd --traces multi.spc -o out.spc",
       "multi.spc trace 2: cannot co-add: centerburst at point 3 where multi.spc trace 1 has it "
       "at 2"},
      {"coadd --traces a.spc -o out.spc",
       "a.spc: cannot split: it holds a single trace (flag 0x04 is clear)"},
      {"coadd --traces a.spc b.spc -o out.spc",
       "coadd --traces takes one FILE (see spc-tool --help)"},
      {"coadd a.spc b.spc -o b.spc", "b.spc: the output would replace the input b.spc"},
      {"coadd a.spc b.spc ./a.spc -o out.spc", "./a.spc: the same file as a.spc, named earlier"},
      {"coadd a.spc", "coadd needs -o OUT (see spc-tool --help)"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.args);
    const ToolRun refused = spc_tool(dir, k.args);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "spc-tool: " + std::string(k.message) + "\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.spc")));
  }
  EXPECT_EQ(read_file_bytes(dir.file("b.spc")), b);
}

// The sample: X 4000 down to 3000 in steps of 250, Y 1, 2, 0.5, -0.25, 0.125.
TEST(SpcToolRatio, TransmittanceAndAbsorbanceOnTheSampleGrid) {
  TempDir dir;
  const std::vector<double> sx = {4000.0, 0, 0, 0, 3000.0};
  write_spectrum(dir.file("s.spc"), "Happ-Genzel", sx, {1.0, 2.0, 0.5, -0.25, 0.125});
  // Same grid, a zero at 3500.
  write_spectrum(dir.file("bg.spc"), "Happ-Genzel", sx, {2.0, 4.0, 0.0, 1.0, 0.5});
  // Another grid, 2900 to 4100 in steps of 200, Y = X / 1000: linear interpolation gives
  // X / 1000 at every sample point.
  write_spectrum(dir.file("lin.spc"), "b", {2900.0, 0, 0, 0, 0, 0, 4100.0},
                 {2.9, 3.1, 3.3, 3.5, 3.7, 3.9, 4.1});
  // 3200 to 4200: the sample point at 3000 lies outside.
  write_spectrum(dir.file("part.spc"), "b", {3200.0, 0, 4200.0}, {3.2, 3.7, 4.2});
  const std::vector<double> x = {4000, 3750, 3500, 3250, 3000};
  const double l2 = std::log10(2.0);
  const struct {
    const char* args;
    std::vector<double> x;
    std::vector<double> y;
    int yunits;
    const char* comment;
    const char* err;
  } cases[] = {
      {"ratio s.spc bg.spc -o t.spc",
       x,
       {0.5, 0.5, 0.0, -0.25, 0.25},
       128,
       "Transmittance s.spc / bg.spc",
       "spc-tool: ratio: background not positive at 1 of 5 points (X 3500 to 3500): written as "
       "0\n"},
      {"ratio s.spc bg.spc -o t.spc --absorbance",
       x,
       // T = -0.25 at 3250 takes the converter's clamp at 1e-6: A = 6.
       {l2, l2, 0.0, 6.0, 2 * l2},
       2,
       "Absorbance -log10 s.spc / bg.spc",
       "spc-tool: ratio: background not positive at 1 of 5 points (X 3500 to 3500): written as "
       "0\n"},
      {"ratio s.spc lin.spc -o t.spc",
       x,
       {1 / 4.0, 2 / 3.75, 0.5 / 3.5, -0.25 / 3.25, 0.125 / 3.0},
       128,
       "Transmittance s.spc / lin.spc",
       ""},
      {"ratio s.spc part.spc -o t.spc",
       {4000, 3750, 3500, 3250},
       {1 / 4.0, 2 / 3.75, 0.5 / 3.5, -0.25 / 3.25},
       128,
       "Transmittance s.spc / part.spc",
       "spc-tool: ratio: 1 of 5 sample points lie outside the background's X range and are "
       "left out\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const ToolRun run = spc_tool(dir, c.args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, c.err);
    expect_points(dir.file("t.spc"), c.x, c.y, 1e-6);
    const ByteImage t = read_file_bytes(dir.file("t.spc"));
    EXPECT_EQ(t[17], c.yunits);
    EXPECT_EQ(
        std::string(t.begin() + 64, t.begin() + 64 + static_cast<long>(std::strlen(c.comment)) + 1),
        std::string(c.comment) + '\0');
  }
}

TEST(SpcToolRatio, Refusals) {
  TempDir dir;
  write_spectrum(dir.file("s.spc"), "s", {4000.0, 0, 3000.0}, {1.0, 2.0, 3.0});
  write_spectrum(dir.file("far.spc"), "far", {100.0, 0, 200.0}, {1.0, 2.0, 3.0});
  ByteImage nm = read_file_bytes(dir.file("s.spc"));
  nm[16] = 3;
  dir.write("nm.spc", nm);
  ByteImage ig = new_format_header({0x00, 0x4B, 32, 2, 3000.0, 4000.0});
  ig[29] = 1;
  append_i32(ig, 5);
  append_i32(ig, 6);
  dir.write("ig.spc", ig);
  const struct {
    const char* args;
    const char* message;
  } cases[] = {
      {"ratio s.spc far.spc -o t.spc",
       "s.spc: X runs from 4000 to 3000, outside the range of far.spc (100 to 200)"},
      {"ratio s.spc nm.spc -o t.spc", "nm.spc: X units 3 differ from the sample's 1"},
      {"ratio ig.spc s.spc -o t.spc",
       "ig.spc: cannot ratio an interferogram; convert it to a spectrum first"},
      {"ratio s.spc -o t.spc", "ratio takes SAMPLE and BACKGROUND (see spc-tool --help)"},
      {"ratio s.spc far.spc", "ratio needs -o OUT (see spc-tool --help)"},
      {"ratio s.spc far.spc -o s.spc", "s.spc: the output would replace the input s.spc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const ToolRun run = spc_tool(dir, c.args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "spc-tool: " + std::string(c.message) + "\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("t.spc")));
  }
}

// Y 1, -2, 0.5, 0, 0.25: the largest |Y| is 2, so YFACTOR is 1E-8 and the integers carry 9
// digits.
TEST(SpcToolJcamp, WritesTheLabelledRecordsAndTheTable) {
  TempDir dir;
  write_spectrum(dir.file("spectrum.spc"), "Boxcar", {4000.0, 0, 0, 0, 3000.0},
                 {1.0, -2.0, 0.5, 0.0, 0.25});
  const ToolRun run = spc_tool(dir, "jcamp spectrum.spc -o s.jdx");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(text_of(dir.file("s.jdx")),
            "##TITLE=Boxcar\n##JCAMP-DX=5.01\n##DATA TYPE=INFRARED SPECTRUM\n"
            "##ORIGIN=spectrum.spc\n##OWNER=\n##RESOLUTION=4.000\n##XUNITS=1/CM\n"
            "##YUNITS=ARBITRARY UNITS\n##XFACTOR=1\n##YFACTOR=1E-8\n##FIRSTX=4000\n"
            "##LASTX=3000\n##DELTAX=-250\n##MAXY=1\n##MINY=-2\n##NPOINTS=5\n##FIRSTY=1\n"
            "##XYDATA=(X++(Y..Y))\n4000 100000000 -200000000 50000000 0 25000000\n##END=\n");
  const ToolRun refused = spc_tool(dir, "jcamp spectrum.spc -o spectrum.spc");
  EXPECT_EQ(refused.err,
            "spc-tool: spectrum.spc: the output would replace the input spectrum.spc\n");
}

// An independent reader: the npm package jcampconverter under node, installed into the
// build folder by scripts/install-node-readers.sh (which scripts/test.sh runs for each suite).
TEST(SpcToolJcamp, AnIndependentReaderGetsThePointsBack) {
  const std::string reader = FTIR_JCAMP_READER;
  if (std::system("command -v node > /dev/null 2>&1") != 0) GTEST_SKIP() << "node is missing";
  if (!std::filesystem::exists(reader)) {
    GTEST_SKIP() << reader << " is missing (scripts/install-node-readers.sh BUILD_DIR)";
  }
  TempDir dir;
  // 200 points from 3999.5 down to 400.25 with values of every size and sign, so the table
  // takes many lines.
  std::vector<double> y(200);
  for (std::size_t i = 0; i < y.size(); ++i) {
    y[i] = 3.0 * std::sin(0.37 * static_cast<double>(i)) * std::exp(-0.02 * static_cast<double>(i));
  }
  std::vector<double> x(200, 0.0);
  x.front() = 3999.5;
  x.back() = 400.25;
  write_spectrum(dir.file("a.spc"), "Absorbance of a film", x, y);
  ASSERT_EQ(spc_tool(dir, "jcamp a.spc -o a.jdx").status, 0);
  std::ofstream(dir.file("read.mjs"))
      << "import { readFileSync } from 'node:fs';\n"
         "const { convert } = await import(process.argv[2]);\n"
         "const entry = convert(readFileSync(process.argv[3], 'latin1')).flatten[0];\n"
         "const s = entry.spectra[0];\n"
         "let out = `${entry.title}|${entry.jcampDX}|${s.xUnits}|${s.yUnits}\\n`;\n"
         "for (let i = 0; i < s.data.x.length; ++i) out += `${s.data.x[i]} ${s.data.y[i]}\\n`;\n"
         "process.stdout.write(out);\n";
  const std::string command = "cd '" + dir.path().string() + "' && node read.mjs '" + reader +
                              "' a.jdx > back.txt 2> err.txt";
  ASSERT_EQ(std::system(command.c_str()), 0) << text_of(dir.file("err.txt"));
  std::istringstream back(text_of(dir.file("back.txt")));
  std::string head;
  std::getline(back, head);
  EXPECT_EQ(head, "Absorbance of a film|5.01|1/CM|ARBITRARY UNITS");
  const SpectrumFile s = read_spectrum(dir.file("a.spc"));
  std::size_t n = 0;
  for (double bx = 0, by = 0; back >> bx >> by; ++n) {
    ASSERT_LT(n, s.x.size());
    // X as the layout defines it: evenly spaced from the first X to the last.
    EXPECT_NEAR(bx, 3999.5 + static_cast<double>(n) * (400.25 - 3999.5) / 199.0, 1e-9 * 4000) << n;
    EXPECT_NEAR(by, s.y[n], 1e-8) << n;
  }
  EXPECT_EQ(n, s.x.size());
  std::istringstream lines(text_of(dir.file("a.jdx")));
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
}

TEST(SpcTool, VersionAndHelpOfEveryCommand) {
  TempDir dir;
  const ToolRun version = spc_tool(dir, "--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(std::regex_match(version.out, std::regex("spc-tool [0-9]+\\.[0-9]+\\.[0-9]+\n")))
      << version.out;
  for (const char* command : {"info", "csv", "svg", "split", "coadd", "ratio", "jcamp"}) {
    SCOPED_TRACE(command);
    const ToolRun help = spc_tool(dir, std::string(command) + " missing.spc -o out --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind("Usage: spc-tool " + std::string(command) + " ", 0), 0u) << help.out;
    EXPECT_FALSE(std::filesystem::exists(dir.file("out")));
  }
}

TEST(SvgPlot, LegendTellsApartFilesOfTheSameName) {
  const struct {
    std::vector<std::string> paths;
    std::vector<std::string> labels;
  } cases[] = {
      {{"/m/a/x.spc", "/m/b/x.spc", "/m/b/y.spc"}, {"a/x.spc", "b/x.spc", "y.spc"}},
      {{"/m/a/x.spc", "/n/a/x.spc"}, {"m/a/x.spc", "n/a/x.spc"}},
      {{"/w/x.spc", "/w/sub/x.spc"}, {"w/x.spc", "sub/x.spc"}},
      {{"/w/x.spc", "/w/./x.spc", "/w/sub/../x.spc"}, {"x.spc", "x.spc", "x.spc"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.paths.front());
    EXPECT_EQ(spctool::legend_labels(c.paths), c.labels);
  }
}

}  // namespace
}  // namespace ftir::testing
