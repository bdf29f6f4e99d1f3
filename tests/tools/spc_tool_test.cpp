// spc-tool: info and csv on files the converter's writer made and on hand-made new- and
// old-format files; the SVG plot's structure, direction and well-formedness; bad input.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "report/fake_console.h"
#include "spc_tool/spc_trace.h"
#include "spc_tool/svg_plot.h"
#include "spcfile/writer.h"
#include "support/spc_images.h"
#include "tools/tool_run.h"

namespace ftir::spctool {
namespace {

using ftir::testing::append_f32;
using ftir::testing::append_i16;
using ftir::testing::ByteImage;
using ftir::testing::TempDir;
using ftir::testing::ToolRun;
using ftir::testing::spc_tool;
using ftir::testing::write_spectrum;

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

// The coordinate pairs of every <path d="..."> in document order.
std::vector<std::vector<std::string>> path_points(const std::string& svg) {
  std::vector<std::vector<std::string>> paths;
  for (std::size_t at = svg.find("<path"); at != std::string::npos;
       at = svg.find("<path", at + 1)) {
    const std::size_t d = svg.find(" d=\"", at) + 4;
    const std::string data = svg.substr(d, svg.find('"', d) - d);
    std::vector<std::string> points;
    std::size_t start = 0;
    while (start < data.size()) {
      while (start < data.size() &&
             (data[start] == ' ' || data[start] == 'M' || data[start] == 'L'))
        ++start;
      const std::size_t end = data.find(' ', start);
      if (start < data.size()) points.push_back(data.substr(start, end - start));
      if (end == std::string::npos) break;
      start = end;
    }
    paths.push_back(points);
  }
  return paths;
}

// Y = 1, -2, 0.5, 0, 0.25: the largest |Y| is 2, so the writer's exponent is 3 and every
// value is an exact integer times 2^-29; X from 4000 down to 3000 in steps of -250.
TEST(SpcTool, InfoAndCsvOfAWrittenSpectrum) {
  TempDir dir;
  write_spectrum(dir.file("spectrum.spc"), "Boxcar", {4000.0, 0, 0, 0, 3000.0},
                 {1.0, -2.0, 0.5, 0.0, 0.25});

  const ToolRun info = spc_tool(dir, "info spectrum.spc");
  ASSERT_EQ(info.status, 0) << info.err;
  const std::vector<std::string> expected = {
      "file:        spectrum.spc",
      "format:      old (version 0x4D), 256-byte header, data from byte 256",
      "flags:       0x00 (32-bit Y)",
      "points:      5",
      "first X:     4000",
      "last X:      3000",
      "exponent:    3 (Y = 32-bit integer x 2^(3-32))",
      "date:        2026-12-07 09:41",
      "resolution:  \"  4.000\"",
      "peak point:  0",
      "comment:     \"Boxcar\"",
      "x units:     1 (wavenumber, cm-1)",
      "y units:     0 (arbitrary intensity)",
      "spare 1, 2:  0.25, 0",
  };
  EXPECT_EQ(lines_of(info.out), expected);

  const ToolRun csv = spc_tool(dir, "csv spectrum.spc");
  ASSERT_EQ(csv.status, 0) << csv.err;
  EXPECT_EQ(csv.out, "4000,1\n3750,-2\n3500,0.5\n3250,0\n3000,0.25\n");
}

// Hand-made files for the other sample kinds: 16-bit integers scale by 2^(exponent - 16)
// (exponent 18: factor 4), f32 values are taken as they are, new-format X is f64.
TEST(SpcTool, CsvScalesEverySampleKind) {
  struct Case {
    const char* what;
    ByteImage image;
    const char* csv;
  };
  ByteImage new16 = ftir::testing::new_format_header({0x01, 0x4B, 18, 3, 0.5, 1.5});
  for (const std::int16_t k : std::vector<std::int16_t>{3, -5, 300}) append_i16(new16, k);
  ByteImage newf32 = ftir::testing::new_format_header({0x00, 0x4B, -128, 2, 100.0, 50.0});
  append_f32(newf32, 1.5f);
  append_f32(newf32, -0.25f);
  ByteImage old16 = ftir::testing::old_format_header({0x01, 16, 2.0f, 10.0f, 20.0f});
  append_i16(old16, 300);
  append_i16(old16, -1);
  ByteImage truncated = ftir::testing::new_format_header({0x00, 0x4B, 32, 4, 1.0, 4.0});
  ftir::testing::append_i32(truncated, 7);
  ftir::testing::append_i32(truncated, -7);
  const Case cases[] = {
      {"new format, 16-bit", new16, "0.5,12\n1,-20\n1.5,1200\n"},
      {"new format, f32", newf32, "100,1.5\n50,-0.25\n"},
      {"old format, 16-bit", old16, "10,300\n20,-1\n"},
      {"data block shorter than declared", truncated, "1,7\n2,-7\n"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    dir.write("in.spc", c.image);
    const ToolRun csv = spc_tool(dir, "csv in.spc");
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(csv.out, c.csv);
  }
}

TEST(SpcTool, BadInputGivesOneLineAndStatusOne) {
  TempDir dir;
  write_spectrum(dir.file("good.spc"), "Boxcar", {4000.0, 0, 3000.0}, {1.0, 2.0, 3.0});
  dir.write("empty.spc", {});
  dir.write("short.spc", ByteImage(100, 0));
  ByteImage multi = ftir::testing::old_format_header({0x04, 0, 2.0f, 0.0f, 1.0f});
  ftir::testing::append_i32_old(multi, 1);
  ftir::testing::append_i32_old(multi, 2);
  dir.write("multi.spc", multi);
  ByteImage msb(544, 0);
  msb[1] = 0x4C;
  dir.write("msb.spc", msb);
  ByteImage one = ftir::testing::new_format_header({0x00, 0x4B, 0, 1, 0.0, 0.0});
  ftir::testing::append_i32(one, 5);
  dir.write("one.spc", one);

  struct Case {
    const char* args;
    const char* message;
  };
  const Case cases[] = {
      {"csv missing.spc", "spc-tool: missing.spc: No such file or directory"},
      {"csv empty.spc", "spc-tool: empty.spc: the file is empty"},
      {"info short.spc", "spc-tool: short.spc: the file ends inside its header"},
      {"csv multi.spc",
       "spc-tool: multi.spc: several traces in one file (flag 0x04) are not supported"},
      {"csv msb.spc",
       "spc-tool: msb.spc: the new format with the most significant byte first is not supported"},
      {"csv one.spc", "spc-tool: one.spc: the header declares fewer than 2 points"},
      {"svg good.spc empty.spc -o plot.svg", "spc-tool: empty.spc: the file is empty"},
      {"svg -o plot.svg", "spc-tool: svg needs at least one FILE (see spc-tool --help)"},
      {"draw good.spc", "spc-tool: unknown command 'draw' (see spc-tool --help)"},
      {"csv good.spc extra.spc", "spc-tool: csv takes one FILE (see spc-tool --help)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const ToolRun run = spc_tool(dir, c.args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, std::string(c.message) + "\n");
    EXPECT_TRUE(run.out.empty());
    EXPECT_FALSE(std::filesystem::exists(dir.file("plot.svg")));
  }
  // info still describes what the converter refuses.
  const ToolRun info = spc_tool(dir, "info multi.spc");
  EXPECT_EQ(info.status, 0);
  EXPECT_NE(info.out.find("flags:       0x04 (32-bit Y; several traces: not readable)"),
            std::string::npos);
}

// Two spectra: a.spc from 4000 down to 3000 (5 points), b.spc from 3100 up to 3700 (7
// points). The plot spans X 3000..4000 over 780 px from x = 96: wavenumbers run from high to
// low, so X 4000 lies at 96.00 and X 3000 at 876.00, whatever order a file's points are in.
TEST(SpcTool, SvgHoldsOnePathPerFileWithEverySample) {
  TempDir dir;
  write_spectrum(dir.file("a.spc"), "  Boxcar & <friends>  ", {4000.0, 0, 0, 0, 3000.0},
                 {1.0, -2.0, 0.5, 0.0, 0.25});
  write_spectrum(dir.file("b.spc"), "Other", {3100.0, 0, 0, 0, 0, 0, 3700.0},
                 {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7});
  const ToolRun run = spc_tool(dir, "svg a.spc b.spc -o plot.svg");
  ASSERT_EQ(run.status, 0) << run.err;
  const ByteImage bytes = ftir::testing::read_file_bytes(dir.file("plot.svg"));
  const std::string svg(bytes.begin(), bytes.end());

  const auto paths = path_points(svg);
  ASSERT_EQ(paths.size(), 2u);
  ASSERT_EQ(paths[0].size(), 5u);
  ASSERT_EQ(paths[1].size(), 7u);
  EXPECT_EQ(paths[0].front().substr(0, 6), "96.00,");
  EXPECT_EQ(paths[0].back().substr(0, 7), "876.00,");
  EXPECT_EQ(paths[1].front().substr(0, 7), "798.00,");  // 3100: 96 + 900/1000 * 780
  EXPECT_EQ(paths[1].back().substr(0, 7), "330.00,");   // 3700: 96 + 300/1000 * 780
  for (const auto& path : paths) {
    for (const std::string& point : path) {
      // "x,y", each with two decimals.
      const std::size_t comma = point.find(',');
      ASSERT_NE(comma, std::string::npos) << point;
      EXPECT_EQ(comma - point.find('.'), 3u) << point;
      EXPECT_EQ(point.size() - point.rfind('.'), 3u) << point;
    }
  }

  // Title from the first file's comment, trimmed and escaped; a legend entry per file.
  EXPECT_NE(svg.find(">Boxcar &amp; &lt;friends&gt;</text>"), std::string::npos);
  EXPECT_NE(svg.find(">a.spc</text>"), std::string::npos);
  EXPECT_NE(svg.find(">b.spc</text>"), std::string::npos);
  EXPECT_NE(svg.find("Wavenumber (cm\u207B\u00B9)"), std::string::npos);
  // Labelled round ticks: X every 100 cm-1 from 3000 to 4000.
  for (const char* label : {">3000</text>", ">3500</text>", ">4000</text>"}) {
    EXPECT_NE(svg.find(label), std::string::npos) << label;
  }
  // Self-contained: nothing fetched, nothing run.
  for (const char* outside : {"<script", "href", "url(", "<image", "@import"}) {
    EXPECT_EQ(svg.find(outside), std::string::npos) << outside;
  }
}

TEST(SpcTool, SvgIsWellFormedXml) {
  if (std::system("command -v xmllint > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "xmllint (Debian package libxml2-utils) is not installed";
  }
  TempDir dir;
  // A comment with a control character, a stray Latin-1 byte and markup characters.
  write_spectrum(dir.file("a.spc"), "T\x01it\xE9le <&> \"q\" 'a'", {4000.0, 0, 400.0},
                 {1.0, 2.0, 3.0});
  write_spectrum(dir.file("b&c.spc"), "b", {400.0, 0, 4000.0}, {3.0, 2.0, 1.0});
  ASSERT_EQ(spc_tool(dir, "svg a.spc 'b&c.spc' -o plot.svg").status, 0);
  const std::string check =
      "xmllint --noout '" + dir.file("plot.svg") + "' 2> '" + dir.file("lint") + "'";
  EXPECT_EQ(std::system(check.c_str()), 0);
  const ByteImage lint = ftir::testing::read_file_bytes(dir.file("lint"));
  EXPECT_EQ(std::string(lint.begin(), lint.end()), "");
}

TEST(SvgPlot, TicksAndLabels) {
  struct TickCase {
    double lo;
    double hi;
    int target;
    std::vector<double> ticks;
  };
  const TickCase tick_cases[] = {
      {400.0, 4000.0, 8, {500, 1000, 1500, 2000, 2500, 3000, 3500, 4000}},
      {-2.15, 1.15, 7, {-2.0, -1.5, -1.0, -0.5, 0.0, 0.5, 1.0}},
      {0.0, 7900.41, 8, {0, 1000, 2000, 3000, 4000, 5000, 6000, 7000}},
      {3000.0, 3001.0, 4, {3000.0, 3000.2, 3000.4, 3000.6, 3000.8, 3001.0}},
  };
  for (const TickCase& c : tick_cases) {
    SCOPED_TRACE(::testing::Message() << c.lo << ".." << c.hi);
    const std::vector<double> ticks = nice_ticks(c.lo, c.hi, c.target);
    ASSERT_EQ(ticks.size(), c.ticks.size());
    for (std::size_t i = 0; i < ticks.size(); ++i) EXPECT_NEAR(ticks[i], c.ticks[i], 1e-9);
  }
  struct LabelCase {
    double value;
    double step;
    const char* label;
  };
  const LabelCase label_cases[] = {
      {2000.0, 500.0, "2000"}, {-1.5, 0.5, "-1.5"},     {0.25, 0.05, "0.25"},
      {-1e-17, 0.5, "0.0"},    {2.5e6, 5e5, "2.5e+06"}, {3000.2, 0.2, "3000.2"},
  };
  for (const LabelCase& c : label_cases) {
    EXPECT_EQ(tick_label(c.value, c.step), c.label) << c.value;
  }
  EXPECT_EQ(xml_text("a&b<c>\"'\x01z\xE9\xC3\xA9"), "a&amp;b&lt;c&gt;&quot;&apos; z\uFFFD\u00E9");
}

}  // namespace
}  // namespace ftir::spctool
