// OUTNAM: DOS-style and POSIX-style names, trailing blanks of the fields, long names.
#include "spcfile/output_name.h"

#include <gtest/gtest.h>

#include <string>

namespace ftir::spcfile {
namespace {

std::string padded(std::string_view text, std::size_t length) {
  std::string out(text);
  if (out.size() < length) out.resize(length, ' ');
  return out;
}

TEST(Outnam, BuildsDirectorySeparatorBaseNameAndExtension) {
  struct Case {
    const char* input;
    const char* outdir;
    const char* result;
  };
  const Case cases[] = {
      // DOS-style names.
      {"E:\\data\\scan01.dat", "D:\\out", "D:\\out\\scan01.spc"},
      {"E:\\data\\scan01.dat", "D:\\out\\", "D:\\out\\scan01.spc"},
      {"E:\\data\\scan01", "D:\\out", "D:\\out\\scan01.spc"},
      {"scan.01.dat", "D:\\out", "D:\\out\\scan.01.spc"},
      {"scan01.dat", "D:\\out", "D:\\out\\scan01.spc"},
      {"A:scan01.dat", "D:\\out", "D:\\out\\scan01.spc"},
      {"E:\\data.old\\scan01", "D:\\out", "D:\\out\\data.spc"},
      // "/" ends a directory part too.
      {"a/b.dat", "D:\\out", "D:\\out\\b.spc"},
      // A directory without "\" gets "/".
      {"E:\\data\\scan01.dat", "D:", "D:/scan01.spc"},
      // POSIX-style names.
      {"/data/ig/scan01.dat", "out", "out/scan01.spc"},
      {"/data/ig/scan01.dat", "/tmp/out/", "/tmp/out/scan01.spc"},
      {"data/scan01", "out", "out/scan01.spc"},
      {"../ig.v2/scan01", "out", "out/ig.spc"},
      {"scan01.dat", ".", "./scan01.spc"},
      {"dir/.dat", "out", "out/.spc"},
      {"scan 01.dat", "my out", "my out/scan 01.spc"},
      // A blank directory: the working directory, no separator.
      {"/data/scan01.dat", "", "scan01.spc"},
      {"/data/scan01.dat", "                                        ", "scan01.spc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.input << " | " << c.outdir);
    // Trailing blanks (a name read from 40 columns) are not part of the fields.
    EXPECT_EQ(OUTNAM(c.input, c.outdir, "spc"), c.result);
    EXPECT_EQ(OUTNAM(padded(c.input, 40), padded(c.outdir, 40), "spc"), c.result);
  }
}

TEST(Outnam, UsesThreeExtensionCharactersAndNeverCutsALongName) {
  EXPECT_EQ(OUTNAM("scan01.dat", "out", "phzx"), "out/scan01.phz");

  const std::string dir40(40, 'd');
  const std::string base = std::string(36, 'b');
  const std::string result = OUTNAM(base + ".dat", dir40, "spc");
  EXPECT_EQ(result, dir40 + "/" + base + ".spc");  // 81 characters, no cut
}

}  // namespace
}  // namespace ftir::spcfile
