// spc-tool info on the shared instrument files: the lines naming blocks, sections and
// parameters, with offsets and sizes read from the files apart from the reader (a dump of
// the directory by hand), and a damaged file described up to the reason it is refused;
// csv of their interferograms and stored spectra; the SPC-only commands' refusals.
#include "spc_tool/instrument_info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/tool_run.h"

namespace ftir::spctool {
namespace {

const std::filesystem::path kFiles =
    std::filesystem::path(FTIR_SOURCE_DIR) / "tests/data";

std::vector<unsigned char> bytes_of(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void expect_lines(const std::string& text, std::initializer_list<const char*> lines) {
  for (const char* line : lines) EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST(InstrumentInfo, OpusBlocksAndParametersAreListed) {
  std::vector<unsigned char> bytes = bytes_of(kFiles / "opus/test.0000");
  const std::string text = opus_info_text("test.0000", bytes);
  expect_lines(text,
               {"format:      OPUS, program version 920622, directory at byte 24 with room for 40 "
                "blocks, 23 blocks\n",
                "block 5: IgSm, type 0x00000807, offset 1352, 12712 bytes, 3177 points (room for "
                "3178), X 0 to 3176, Y scale 0.0078125\n",
                "block 6: Data status of IgSm, type 0x00000817, offset 14064, 200 bytes\n",
                "block 9: AB, type 0x0000100F, offset 26808, 10272 bytes, 2567 points",
                "block 10: Instrument (reference), type 0x00000028",
                "block 18: History, type 0x40680000, offset 61816, 2744 bytes\n",
                "  LWN = 15797.962252\n", "  SSP = 3\n", "  AQM = \"SN\"\n", "  ZFF = \"2\"\n"});
  EXPECT_EQ(text.find("not readable"), std::string::npos);

  bytes.resize(30000);  // inside the ScSm block, before the status blocks at the end
  const std::string cut = opus_info_text("cut.0", bytes);
  // Described up to the first block the directory lists past the end: AB, block 9.
  expect_lines(
      cut, {"block 8: ScSm", "not readable: its block directory or a block it lists lies outside"});
  EXPECT_EQ(cut.find("block 9:"), std::string::npos);
}

TEST(InstrumentInfo, SpaSectionsAndHeaderAreListed) {
  const std::string text = spa_info_text("spectre.SPA", bytes_of(kFiles / "omnic/spectre.SPA"));
  expect_lines(text,
               {"format:      OMNIC SPA, title \"spectre\", 9 sections\n",
                "section 0: key 2 (header), offset 560, 140 bytes\n",
                "section 6: key 3 (data), offset 2636, 14936 bytes\n",
                "section 7: key 102 (sample interferogram), offset 17572, 16640 bytes\n",
                "points:      3734\n", "x units:     1 (wavenumber, cm-1)\n", "scans:       32",
                "laser:       15798.26 cm-1\n", "spacing:     2 laser fringes\n"});
}

// The first f32 of a block, at the offset the directory gives (info's lines above).
double first_f32(const std::vector<unsigned char>& bytes, std::size_t offset) {
  float value = 0.0f;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return static_cast<double>(value);
}

TEST(InstrumentInfo, CsvWritesTheInterferogramOrAStoredSpectrum) {
  testing::TempDir dir;
  const std::vector<unsigned char> opus = bytes_of(kFiles / "opus/test.0000");
  std::filesystem::copy_file(kFiles / "opus/test.0000", dir.file("test.0000"));
  std::filesystem::copy_file(kFiles / "omnic/interfero.SPA", dir.file("interfero.SPA"));
  struct Case {
    const char* args;
    std::size_t lines;
    double x;  // of the first line
    double y;
  };
  const Case cases[] = {
      // IgSm: 3177 points from X 0, the file's values times its Y scale 2^-7.
      {"csv test.0000", 3177, 0.0, first_f32(opus, 1352) * 0.0078125},
      {"csv test.0000 --block IgSm", 3177, 0.0, first_f32(opus, 1352) * 0.0078125},
      // ScSm and AB: 2567 points from 3998.34493845 cm-1, Y scale 1.
      {"csv test.0000 --block ScSm", 2567, 3998.34493845, first_f32(opus, 16424)},
      {"csv test.0000 --block AB", 2567, 3998.34493845, first_f32(opus, 26808)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const testing::ToolRun run = testing::spc_tool(dir, c.args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(static_cast<std::size_t>(std::count(run.out.begin(), run.out.end(), '\n')),
              c.lines);
    const std::size_t comma = run.out.find(',');
    EXPECT_NEAR(std::stod(run.out.substr(0, comma)), c.x, 1e-8);
    EXPECT_EQ(std::stod(run.out.substr(comma + 1)), c.y);
  }
  const testing::ToolRun absent = testing::spc_tool(dir, "csv interfero.SPA --block AB");
  EXPECT_EQ(absent.status, 1);
  EXPECT_EQ(absent.err, "spc-tool: interfero.SPA: holds no AB block (it holds data)\n");
}

TEST(InstrumentInfo, RefusalsAndLimitsOfInstrumentFiles) {
  testing::TempDir dir;
  std::vector<unsigned char> opus = bytes_of(kFiles / "opus/test.0000");
  std::vector<unsigned char> cut(opus.begin(), opus.begin() + 30000);
  dir.write("cut.0", cut);
  // Larger than the largest SPC file spc-tool reads, well under the converter's limit.
  opus.resize(6000000, 0);
  dir.write("test.0000", opus);
  const testing::ToolRun info = testing::spc_tool(dir, "info test.0000");
  EXPECT_EQ(info.status, 0) << info.err;
  const testing::ToolRun damaged = testing::spc_tool(dir, "info cut.0");
  EXPECT_EQ(damaged.status, 1);
  EXPECT_NE(damaged.out.find("block 8: ScSm"), std::string::npos);
  EXPECT_EQ(damaged.err,
            "spc-tool: cut.0: not readable: its block directory or a block it lists lies "
            "outside the file\n");
  for (const char* args : {"jcamp test.0000 -o t.jdx", "ratio test.0000 test.0000 -o t.spc",
                           "svg test.0000 -o t.svg", "split test.0000 -o t",
                           "coadd --traces test.0000 -o t.spc"}) {
    SCOPED_TRACE(args);
    const testing::ToolRun run = testing::spc_tool(dir, args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "spc-tool: test.0000: an OPUS file, not SPC: convert it with ftir-reduce first "
              "(spc-tool info and csv read it as it is)\n");
  }
}

}  // namespace
}  // namespace ftir::spctool
