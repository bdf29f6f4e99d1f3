// File identity: what the run's checks of "is this file one of the inputs" rest on.
#include "spcfile/file_access.h"

#include <gtest/gtest.h>

#include "support/spc_images.h"

namespace ftir::testing {
namespace {

using spcfile::file_id;

// By default a name is looked up through links and may name any kind of file, so that
// "--log link-to-an-input" is caught and a folder has an identity.
TEST(FileAccess, FileIdentityNamesTheFileBehindEveryName) {
  TempDir dir;
  const std::string a = dir.write("a.spc", {1, 2, 3});
  std::filesystem::create_hard_link(a, dir.file("hard.spc"));
  std::filesystem::create_symlink(a, dir.file("soft.spc"));
  ASSERT_TRUE(file_id(a).has_value());
  EXPECT_EQ(file_id(dir.file("hard.spc")), file_id(a));
  EXPECT_EQ(file_id(dir.file("soft.spc")), file_id(a));
  EXPECT_NE(file_id(dir.file("soft.spc"), false, false), file_id(a));  // the link itself
  EXPECT_NE(file_id(dir.write("b.spc", {1, 2, 3})), file_id(a));        // same bytes, another file
  EXPECT_TRUE(file_id(dir.path().string()).has_value());
  EXPECT_FALSE(file_id(dir.file("none.spc")).has_value());
  EXPECT_FALSE(file_id(std::string_view(a.c_str(), a.size() + 1)).has_value());  // a NUL byte
}

}  // namespace
}  // namespace ftir::testing
