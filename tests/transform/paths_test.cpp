// The transform paths called directly, for the cases a file cannot easily produce.
#include <gtest/gtest.h>

#include "driver/workspace.h"
#include "report/fake_console.h"
#include "transform/double_sided.h"
#include "transform/single_sided.h"

namespace ftir::transform {
namespace {

class PathsTest : public ::testing::Test {
 protected:
  PathRequest request(int npts, int jmax) {
    PathRequest req;
    req.sampr = 1.0;
    req.wlref = 1.0 / 16384.0;
    req.iapod = 1;
    req.wlow = 0.0;
    req.whigh = 9000.0;
    req.outdir = "out";
    req.fname = "zero.spc";
    req.npts = npts;
    req.jmax = jmax;
    return req;
  }
  testing::FakeConsole console_;
  testing::FakeClock clock_;
  report::Report report_{console_};
  FileRecord record_;
  PathContext ctx_{report_, clock_, record_};
  std::unique_ptr<driver::Workspace> ws_ = std::make_unique<driver::Workspace>();
};

// A record with no signal left: E2 is zero, the file is skipped and res is restored.
TEST_F(PathsTest, NoSignalIsSkippedAndTheResolutionRestored) {
  std::fill(ws_->yin.begin(), ws_->yin.end(), 0.0);
  PathStorage storage = ws_->paths();
  double res = 2.0;  // finer than the record allows: the path coarsens it first
  EXPECT_EQ(double_sided(ctx_, request(10000, 5001), res, storage), PathResult::kSkipped);
  EXPECT_EQ(res, 2.0);
  EXPECT_NE(console_.output.find("Skipped zero.spc: no signal remains after the mean is removed"),
            std::string::npos)
      << console_.output;
  EXPECT_EQ(record_.status, FileStatus::kSkipped);
  EXPECT_EQ(record_.reason, "no signal remains after the mean is removed");

  console_.output.clear();
  res = 4.0;
  EXPECT_EQ(single_sided(ctx_, request(3000, 1000), res, storage), PathResult::kSkipped);
  EXPECT_EQ(res, 4.0);
  EXPECT_NE(console_.output.find("Skipped zero.spc: no signal remains after the mean is removed"),
            std::string::npos)
      << console_.output;
}

// A resolution request coarser than the whole grid leaves fewer than 2 transform points.
TEST_F(PathsTest, ACoarseRequestLeavesTooFewTransformPoints) {
  std::fill(ws_->yin.begin(), ws_->yin.end(), 1.0);
  ws_->yin[999] = 50.0;
  PathStorage storage = ws_->paths();
  PathRequest req = request(3000, 1000);
  req.ires = 1;
  double res = 1.0e6;
  EXPECT_EQ(single_sided(ctx_, req, res, storage), PathResult::kSkipped);
  EXPECT_EQ(res, 1.0e6);
  EXPECT_NE(console_.output.find("Skipped zero.spc: fewer than 2 transform points"),
            std::string::npos)
      << console_.output;
}

}  // namespace
}  // namespace ftir::transform
