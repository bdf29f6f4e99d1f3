// The programs at their inputs' edges, as child processes under a generous timeout: no
// input is waited on (a FIFO without a writer, a device), spc-tool reads up to its bound,
// and memory that cannot be had ends a program with one line instead of an abort.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "run/run_support.h"
#include "spc_tool/spc_trace.h"

namespace ftir::testing {
namespace {

TEST(Waiting, NoInputIsWaitedOnAndNoProgramAborts) {
  RunDir dir;
  ASSERT_EQ(mkfifo("ff", 0600), 0);
  dir.write_interferogram("good.spc", burst(4096, 2049));
  RedDat red;
  red.files = {"good.spc", "ff"};
  dir.write_text("red.dat", red.text());
  ByteImage edge = read_file_bytes(dir.file("good.spc"));
  edge.resize(spctool::kMaxFileBytes, 0);  // zero bytes where a log block may stand
  dir.write("edge.spc", edge);
  edge.push_back(0);
  dir.write("over.spc", edge);
  // A worker's storage is sized for the largest record: a run of one file, of any length, needs
  // about 125 MB of address space, so in 60 MB no worker gets its storage, however the 16
  // workers' lives overlap.
  std::string many;
  for (int k = 1; k <= 16; ++k) {
    std::filesystem::copy_file("good.spc", "g" + std::to_string(k) + ".spc");
    many += "g" + std::to_string(k) + ".spc ";
  }
  const std::string fr = std::string("timeout 60 ") + FTIR_REDUCE_EXE + " ";
  const std::string tool = std::string("timeout 60 ") + SPC_TOOL_EXE + " ";
  const std::string fifo = "spc-tool: ff: not a regular file (a FIFO, socket or device)\n";
  const std::string skipped = "ftir-reduce: skipped ff: Cannot read ff: not a regular file\n";
  const struct {
    std::string command, err, out_holds;
    int status;
  } cases[] = {
    {fr + "ff good.spc -q --laser 16384", skipped, "", 2},
    {fr + "good.spc ff -j 2 -o j2 -q --laser 16384", skipped, "", 2},
    {fr + "--check", "", "line 3: \"ff\" is not a regular file (a FIFO, socket or device)", 3},
    {tool + "info ff", fifo, "", 1},
    {tool + "coadd good.spc ff -o avg.spc", fifo, "", 1},
    {tool + "csv /dev/zero", "spc-tool: /dev/zero: not a regular file (a FIFO, socket or device)\n",
     "", 1},
    {tool + "info edge.spc", "", "points:      4096\n", 0},
    {tool + "info over.spc",
     "spc-tool: over.spc: 5400513 bytes, more than the 5400512 bytes spc-tool reads (see "
     "spc-tool --help)\n",
     "", 1},
    {tool + "--help", "", "of at most 5400512 bytes", 0},
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)  // they reserve far more
    {"ulimit -v 60000; " + fr + many + "-j 16 -o j16 -q --laser 16384",
     "ftir-reduce: out of memory\n", "", 1},
    {"ulimit -v 12000; timeout 60 " MAKE_INTERFEROGRAM_EXE " --points 262144 -o m.spc",
     "make-interferogram: out of memory\n", "", 1},
#endif
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const int status = std::system(("(" + c.command + ") > out 2> err").c_str());
    EXPECT_EQ(WEXITSTATUS(status), c.status);
    EXPECT_EQ(dir.read_text("err"), c.err);
    EXPECT_NE(dir.read_text("out").find(c.out_holds), std::string::npos) << dir.read_text("out");
  }
}

}  // namespace
}  // namespace ftir::testing
