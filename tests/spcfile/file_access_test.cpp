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

}  // namespace
}  // namespace ftir::testing
