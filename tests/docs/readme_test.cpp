// README.md as a user follows it: every sh, python and red.dat block, in order, in one fresh
// folder with the built programs on PATH, the Python module on PYTHONPATH and the bundled
// examples beside it, so that an example that no longer works as written fails here. A block
// may be left out only by a "<!-- not run by the documentation test: <reason> -->" line right
// above it. Python blocks run only where the build has the module (FTIR_PYTHON_MODULE_DIR).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/spc_images.h"

namespace ftir::testing {
namespace {

struct Block {
  int line = 0;      // 1-based line of the opening fence
  std::string info;  // the fence's info string: "sh", "python" or "red.dat"
  std::string text;
  bool run = true;
};

std::vector<Block> blocks_of(const std::string& markdown) {
  constexpr std::string_view kNotRun = "<!-- not run by the documentation test: ";
  std::vector<Block> blocks;
  std::istringstream in(markdown);
  std::string line;
  std::string previous;
  Block* open = nullptr;
  for (int number = 1; std::getline(in, line); ++number) {
    if (open != nullptr) {
      if (line == "```") {
        open = nullptr;
      } else {
        open->text += line + "\n";
      }
    } else if (line.rfind("```", 0) == 0) {
      blocks.push_back({number, line.substr(3), "", true});
      open = &blocks.back();
      if (previous.rfind(kNotRun, 0) == 0) {
        const std::string reason = previous.substr(kNotRun.size());
        EXPECT_GT(reason.size(), std::string("-->").size())
            << "line " << number - 1 << ": no reason";
        open->run = false;
      }
    }
    previous = line;
  }
  EXPECT_EQ(open, nullptr) << "a block is not closed";
  return blocks;
}

std::string read_text(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(Readme, EveryBlockRunsAsWritten) {
  const std::filesystem::path source(FTIR_SOURCE_DIR);
  const std::vector<Block> blocks = blocks_of(read_text(source / "README.md"));
  TempDir dir;
  std::filesystem::create_directory_symlink(source / "examples", dir.path() / "examples");
  // The instrument files the project carries, where a clone has them.
  std::filesystem::create_directory_symlink(source / "tests", dir.path() / "tests");
  std::string path;
  for (const char* exe : {FTIR_REDUCE_EXE, SPC_TOOL_EXE, MAKE_INTERFEROGRAM_EXE}) {
    path += std::filesystem::path(exe).parent_path().string() + ":";
  }
  int ran = 0;
  for (const Block& b : blocks) {
    SCOPED_TRACE(::testing::Message() << "README.md line " << b.line << ":\n" << b.text);
    if (!b.run) continue;
    ASSERT_TRUE(b.info == "sh" || b.info == "python" || b.info == "red.dat")
        << "a block to copy is a sh, python or red.dat block, or says why the test leaves it out";
    if (b.info == "red.dat") {
      std::ofstream(dir.path() / "red.dat", std::ios::binary) << b.text;
      continue;
    }
#ifndef FTIR_PYTHON_MODULE_DIR
    if (b.info == "python") continue;  // this build has no Python module
#endif
    const std::filesystem::path script =
        dir.path() / ("block-" + std::to_string(b.line) + (b.info == "sh" ? ".sh" : ".py"));
    std::ofstream(script, std::ios::binary) << b.text;
    const std::filesystem::path log = script.string() + ".log";
    std::string interpreter = "bash -e -o pipefail";
#ifdef FTIR_PYTHON_MODULE_DIR
    if (b.info == "python") {
      interpreter = "PYTHONPATH='" FTIR_PYTHON_MODULE_DIR "' '" FTIR_PYTHON_EXE "'";
    }
#endif
    const std::string command = "cd '" + dir.path().string() + "' && PATH='" + path +
                                "'\"$PATH\" " + interpreter + " '" + script.string() + "' >'" +
                                log.string() + "' 2>&1 </dev/null";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << read_text(log);
    ++ran;
  }
  EXPECT_GE(ran, 5);
}

}  // namespace
}  // namespace ftir::testing
