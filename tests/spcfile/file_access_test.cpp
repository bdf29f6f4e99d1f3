// File identity, what the run's checks of "is this file one of the inputs" rest on, and the
// temporary file's hold on the signals that end the program.
#include "spcfile/file_access.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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

// A signal that ends the program while a temporary file lives ends it once the file is
// renamed or removed: a child process signals itself halfway through writing one.
TEST(FileAccess, ASignalWaitsUntilTheTemporaryFileIsGone) {
  for (const bool commit : {true, false}) {
    SCOPED_TRACE(commit ? "committed" : "abandoned");
    TempDir dir;
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::signal(SIGTERM, SIG_DFL);
      {
        spcfile::TempFile temp(dir.file("w.spc"));
        ::kill(::getpid(), SIGTERM);
        std::fputs("whole", temp.file());
        if (commit && temp.close()) temp.commit();
      }
      ::_exit(0);  // not reached: the signal ends the child once the file is gone
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    // Only the whole file, or nothing.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), commit);
    std::error_code none;
    EXPECT_EQ(std::filesystem::file_size(dir.file("w.spc"), none),
              commit ? 5 : static_cast<std::uintmax_t>(-1));
  }
}

// Both kinds of temporary file: the target appears whole at commit, over a file or a link
// already there (the link's own file untouched), under a name of the longest length, and an
// abandoned file leaves nothing. While it is written the unnamed kind shows no name at all.
TEST(FileAccess, TemporaryFilesOfBothKindsBecomeTheTarget) {
  using Kind = spcfile::TempFile::Kind;
  for (const Kind kind : {Kind::kAny, Kind::kNamed}) {
    const struct {
      const char* what;
      std::string name;
      bool existing, link, commit;
    } cases[] = {
        {"a new name", "w.spc", false, false, true},
        {"a file there", "w.spc", true, false, true},
        {"a link there", "w.spc", false, true, true},
        {"the longest name", std::string(255, 'n'), true, false, true},
        {"abandoned", "w.spc", true, false, false},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (kind == Kind::kNamed ? ", named" : ", any"));
      TempDir dir;
      const std::string target = dir.file(c.name);
      if (c.existing) dir.write(c.name, {9, 9});
      const std::string outside = dir.write("../outside-" + dir.path().filename().string(), {7});
      if (c.link) std::filesystem::create_symlink(outside, target);
      const auto entries = [&] {
        return std::distance(std::filesystem::directory_iterator(dir.path()), {});
      };
      const long before = entries();
      {
        spcfile::TempFile temp(target, kind);
        std::fputs("whole", temp.file());
        EXPECT_EQ(entries(), before + (kind == Kind::kNamed ? 1 : 0));
        ASSERT_TRUE(temp.close());
        if (c.commit) {
          ASSERT_TRUE(temp.commit());
        }
      }
      EXPECT_EQ(entries(), c.existing || c.link || c.commit ? 1 : 0);
      EXPECT_EQ(read_file_bytes(outside), ByteImage{7});
      const ByteImage expected = c.commit ? ByteImage{'w', 'h', 'o', 'l', 'e'} : ByteImage{9, 9};
      EXPECT_EQ(read_file_bytes(target), expected);
      std::filesystem::remove(outside);
    }
  }
}

}  // namespace
}  // namespace ftir::testing
