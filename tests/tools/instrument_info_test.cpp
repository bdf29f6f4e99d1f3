// spc-tool info on the shared instrument files: the lines naming blocks, sections and
// parameters, with offsets and sizes read from the files apart from the reader (a dump of
// the directory by hand), and a damaged file described up to the reason it is refused.
#include "spc_tool/instrument_info.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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

}  // namespace
}  // namespace ftir::spctool
