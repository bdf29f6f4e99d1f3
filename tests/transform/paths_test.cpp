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
    req.npts = npts;
    req.jmax = jmax;
    return req;
  }
  testing::FakeConsole console_;
  report::Report report_{console_};
  std::unique_ptr<driver::Workspace> ws_ = std::make_unique<driver::Workspace>();
};

// Both paths return the refusal of a degenerate record as a value, print no skip line (the
// road decides that), and give the resolution request back.
TEST_F(PathsTest, DegenerateRecordsAreRefusedAndTheResolutionRestored) {
  std::fill(ws_->yin.begin(), ws_->yin.end(), 0.0);
  PathStorage storage = ws_->paths();
  double res = 2.0;  // finer than the record allows: the path coarsens it first
  PathOutcome out = double_sided(report_, request(10000, 5001), res, storage);
  ASSERT_TRUE(out.refused);
  EXPECT_EQ(out.refused->code, values::Refusal::kNoSignal);
  EXPECT_EQ(res, 2.0);

  res = 4.0;
  const PhaseOutcome phase = phase_determination(report_, request(3000, 1000), storage);
  ASSERT_FALSE(phase.refused);
  EXPECT_EQ(phase.is, 512);
  out = mertz_transform(report_, request(3000, 1000), res, phase, storage);
  ASSERT_TRUE(out.refused);
  EXPECT_EQ(out.refused->code, values::Refusal::kNoSignal);
  EXPECT_EQ(res, 4.0);
  EXPECT_EQ(console_.output.find("Skipped"), std::string::npos) << console_.output;

  EXPECT_EQ(phase_determination(report_, request(3000, 3), storage).refused->code,
            values::Refusal::kCenterburstFirst3);
}

// A resolution request coarser than the whole grid leaves fewer than 2 transform points.
TEST_F(PathsTest, ACoarseRequestLeavesTooFewTransformPoints) {
  std::fill(ws_->yin.begin(), ws_->yin.end(), 1.0);
  ws_->yin[999] = 50.0;
  PathStorage storage = ws_->paths();
  PathRequest req = request(3000, 1000);
  req.ires = 1;
  double res = 1.0e6;
  const PhaseOutcome phase = phase_determination(report_, req, storage);
  const PathOutcome out = mertz_transform(report_, req, res, phase, storage);
  ASSERT_TRUE(out.refused);
  EXPECT_EQ(out.refused->code, values::Refusal::kFewTransformPoints);
  EXPECT_EQ(res, 1.0e6);
}

// A range that holds no grid point: the spectrum's facts, no points, refused as empty.
TEST_F(PathsTest, AnEmptyRangeKeepsTheFacts) {
  std::fill(ws_->yin.begin(), ws_->yin.end(), 0.0);
  ws_->yin[4999] = 1.0;
  PathStorage storage = ws_->paths();
  PathRequest req = request(10000, 5000);
  req.wlow = 9000.5;
  double res = 4.0;
  const PathOutcome out = double_sided(report_, req, res, storage);
  ASSERT_TRUE(out.refused);
  EXPECT_EQ(out.refused->code, values::Refusal::kEmptyRange);
  EXPECT_EQ(out.points, 0);
  EXPECT_EQ(out.lnum, 4096);  // it = 2^12 samples a side at res 4 and 16384 cm-1
  EXPECT_GT(out.energy, 0.0);
}

}  // namespace
}  // namespace ftir::transform
