// Whole runs on malformed input: each bad file or output directory gives its message and
// exit status, a stop leaves the rest of the list alone, and no run leaves a partial
// output file (.spc or .tmp) behind.
#include <gtest/gtest.h>

#include <optional>
#include <set>

#include "run/run_support.h"

namespace ftir::testing {
namespace {

// Every regular file under `root`, relative to it.
std::set<std::string> files_under(const std::filesystem::path& root) {
  std::set<std::string> found;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) found.insert(entry.path().lexically_relative(root).string());
  }
  return found;
}

ByteImage old_image(float pointcount, float firstx, float lastx, int samples) {
  OldHeaderFields h;
  h.exponent = 32;
  h.pointcount = pointcount;
  h.firstx = firstx;
  h.lastx = lastx;
  ByteImage image = old_format_header(h);
  for (std::int32_t v : burst(samples, samples / 2 + 1)) append_i32_old(image, v);
  return image;
}

ByteImage new_image(std::uint8_t flags, std::uint8_t version) {
  NewHeaderFields h;
  h.flags = flags;
  h.version = version;
  h.exponent = 32;
  h.pointcount = 4;
  h.lastx = 3.0;
  ByteImage image = new_format_header(h);
  for (std::int32_t v : {1, -1, 2, -2}) append_i32(image, v);
  return image;
}

std::string file_line(const std::string& name) {
  return "Interferogram File:  " + name40(name) + "\r\n";
}

TEST(MalformedRun, EachBadInputGivesItsMessageAndStatusAndNoPartialOutput) {
  const std::string refused =
      "This file format is not supported\r\n"
      "Pause - Please enter a blank line (to continue) or a DOS command.\r\n"
      "Program terminating\r\n";
  ByteImage short_header = new_image(0x00, 0x4B);
  short_header.resize(543);
  ByteImage half_sample = old_image(10000.0f, 0.0f, 9999.0f, 0);
  half_sample.resize(256 + 2);
  struct Case {
    const char* what;
    std::string name;
    std::optional<ByteImage> image;  // none: the file is not there
    std::string outdir;
    int status;
    std::string tail;  // the console's last lines
    std::set<std::string> outputs;
  };
  const ByteImage good = old_image(10000.0f, 0.0f, 9999.0f, 10000);
  // clang-format off
  const std::vector<Case> cases = {
      {"header cut short", "cut.spc", short_header, "out", 1,
       file_line("cut.spc") + "Cannot read cut.spc: the file ends inside its header\r\n", {}},
      {"empty file", "empty.spc", ByteImage{}, "out", 1,
       file_line("empty.spc") + "Cannot read empty.spc: the file ends inside its header\r\n", {}},
      {"missing file", "missing.spc", std::nullopt, "out", 1,
       file_line("missing.spc") + "Cannot open missing.spc: No such file or directory\r\n", {}},
      {"flag 0x02", "f02.spc", new_image(0x02, 0x4B), "out", 1, file_line("f02.spc") + refused, {}},
      {"flag 0x04", "f04.spc", new_image(0x04, 0x4C), "out", 1, file_line("f04.spc") + refused, {}},
      {"flag 0x80", "f80.spc", new_image(0x80, 0x4D), "out", 1, file_line("f80.spc") + refused, {}},
      {"MSB first", "msb.spc", new_image(0x00, 0x4C), "out", 1,
       file_line("msb.spc") + "new format(GRAMS) with MSB first\r\n"
                              "this format is not presently supported in this program\r\n"
                              "execution is terminating\r\nHu-Oh &#&$!#^*\r\n",
       {}},
      {"more points than the arrays hold", "big.spc", old_image(270001.0f, 0.0f, 270000.0f, 270001),
       "out", 1,
       file_line("big.spc") + "\r\n\r\nError in READSC --- Data requested exceeds array size\r\n"
                              "Array size =   270000\r\nRequired size =   270001\r\n"
                              "Program Terminated\r\n",
       {}},
      {"output directory missing", "w.spc", good, "nodir", 1,
       "\r\nCannot write nodir/w.spc: No such file or directory\r\n", {}},
      {"output directory under a file", "w.spc", good, "afile/sub", 1,
       "\r\nCannot write afile/sub/w.spc: Not a directory\r\n", {}},
      {"output name taken by a directory", "taken.spc", good, "out", 1,
       "\r\nCannot write out/taken.spc: Is a directory\r\n", {}},
      {"zero points", "zero.spc", old_image(0.0f, 0.0f, 0.0f, 0), "out", 2,
       file_line("zero.spc") + "Skipped " + name40("zero.spc") +
           ": the header declares fewer than 2 points\r\nOK\r\n",
       {}},
      {"one point", "one.spc", old_image(1.0f, 0.0f, 0.0f, 1), "out", 2,
       file_line("one.spc") + "Skipped " + name40("one.spc") +
           ": the header declares fewer than 2 points\r\nOK\r\n",
       {}},
      {"data cut inside the first sample", "half.spc", half_sample, "out", 2,
       file_line("half.spc") + "         0 points read\r\nSkipped " + name40("half.spc") +
           ": no points were read\r\nOK\r\n",
       {}},
      {"decreasing X is converted", "down.spc", old_image(10000.0f, 9999.0f, 0.0f, 10000), "out", 0,
       "Output spectrum file name: " + name50("out/down.spc") + "\r\nOK\r\n", {"out/down.spc"}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunDir dir;
    std::filesystem::create_directory("out");
    std::filesystem::create_directory("out/taken.spc");  // in the way of taken.spc's spectrum
    dir.write("afile", ByteImage{'x'});
    if (c.image) dir.write(c.name, *c.image);
    dir.write("good.spc", good);
    RedDat red;
    red.files = {c.name};
    // After a stop the next file must not be touched.
    if (c.status == 1) red.files.push_back("good.spc");
    red.outdir = c.outdir;
    dir.write_text("red.dat", red.text());
    const std::set<std::string> inputs = files_under(dir.path());

    EXPECT_EQ(dir.run(), c.status);
    const std::string& console = dir.console.output;
    EXPECT_TRUE(console.ends_with(c.tail)) << console;
    EXPECT_EQ(console.find("good.spc"), std::string::npos) << console;
    std::set<std::string> left = files_under(dir.path());
    for (const std::string& input : inputs) left.erase(input);
    left.erase("red.out");
    EXPECT_EQ(left, c.outputs);
  }
}

}  // namespace
}  // namespace ftir::testing
