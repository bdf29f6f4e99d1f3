// READSC on the public sample files kept beside the project (../shared/data/spc-samples),
// when that folder is present. Expected values come from tests/spcfile/spc_reference.py,
// a reader written apart from this one; run it on the folder to see them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "report/fake_console.h"
#include "report/report.h"
#include "spcfile/reader.h"
#include "spcfile/writer.h"
#include "support/run_stop.h"

namespace ftir::spcfile {
namespace {

const std::filesystem::path kSamples = FTIR_SOURCE_DIR "/../shared/data/spc-samples";

struct Sample {
  const char* file;
  int npts;  // 0: refused as unsupported (flags 0x04 or 0x80)
  int mid;   // 1-based index of the middle point
  double x_first, x_mid, x_last;
  double y_first, y_mid, y_last;
};

const Sample kSampleFiles[] = {
    // New format, 32-bit: every declared point is kept, the last one included.
    {"IG_SAMP.SPC", 4645, 2323, 0x0.0p+0, 0x1.edc696872b020p+11, 0x1.edc696872b020p+12,
     -0x1.4c00000000000p+3, 0x1.cc00000000000p+1, -0x1.f600000000000p+3},
    {"IG_BKGND.SPC", 4096, 2048, 0x0.0p+0, 0x1.eda7b82fdd1a7p+11, 0x1.edc696872b020p+12,
     -0x1.bf75500000000p-8, 0x1.dca4b60000000p-2, -0x1.4a30000000000p-12},
    // New format, decreasing X.
    {"KKSAM.SPC", 751, 376, 0x1.c200000000000p+11, 0x1.0680000000000p+11, 0x1.2c00000000000p+9,
     0x1.f47ade0000000p+1, 0x1.dae1440000000p+1, 0x1.15c28c0000000p+2},
    // Old format, 32-bit.
    {"DOERNER.spc", 1602, 801, 0x1.9000000000000p+6, 0x1.dabc0c0000000p+9, 0x1.c200000000000p+10,
     0x0.0p+0, 0x1.f130000000000p+8, 0x0.0p+0},
    // New format, exponent -128: f32 values.
    {"resolutionPro.spc", 1557, 779, 0x1.f38fea4050275p+8, 0x1.f40b5be5ef5dbp+10,
     0x1.b5995e9de558dp+11, 0x1.c000000000000p+2, 0x1.c000000000000p+2, 0x1.2000000000000p+3},
    {"test_input.spc", 3839, 1920, 0x1.8fa4eacd73c55p+8, 0x1.a6f8413911efcp+11,
     0x1.8dfdf28c3ab36p+12, 0x1.c254600000000p+14, 0x1.30c0900000000p+12, 0x1.a9e7ce0000000p+10},
    // Several traces (0x04) or an X array (0x80): refused.
    {"IG_MULTI.SPC", 0, 0, 0, 0, 0, 0, 0, 0},
    {"CONTOUR.SPC", 0, 0, 0, 0, 0, 0, 0, 0},
    {"DEMO_3D.SPC", 0, 0, 0, 0, 0, 0, 0, 0},
    {"LC_DIODE_ARRAY.SPC", 0, 0, 0, 0, 0, 0, 0, 0},
    {"TriVista-linear.spc", 0, 0, 0, 0, 0, 0, 0, 0},
    {"XYTRACE.SPC", 0, 0, 0, 0, 0, 0, 0, 0},
};

TEST(SampleFiles, EachIsReadOrRefusedAsItShouldBe) {
  if (!std::filesystem::is_directory(kSamples)) GTEST_SKIP() << "no folder " << kSamples;
  std::vector<double> xin(kMaxPoints);
  std::vector<double> yin(kMaxPoints);
  std::vector<unsigned char> io(kIoBufferBytes);
  for (const Sample& s : kSampleFiles) {
    SCOPED_TRACE(s.file);
    const std::string path = (kSamples / s.file).string();
    ftir::testing::FakeConsole console;
    console.input.push_back("");
    report::Report report(console);
    // The driver's request: -9.0E10 to +9.0E10 as single-precision constants.
    auto read = [&] {
      return READSC(report, path, static_cast<double>(-9.0e10f), static_cast<double>(9.0e10f),
                    kMaxPoints, xin, yin, io);
    };
    if (s.npts == 0) {
      const auto stop = ftir::testing::stop_of(read);
      ASSERT_TRUE(stop.has_value());
      EXPECT_EQ(stop->text(), "Program terminating");
      EXPECT_EQ(console.output,
                "This file format is not supported\r\n"
                "Pause - Please enter a blank line (to continue) or a DOS command.\r\n");
      continue;
    }
    const ReadResult r = read();
    EXPECT_EQ(r.skip_reason, nullptr);
    ASSERT_EQ(r.npts, s.npts);
    const auto at = [](const std::vector<double>& v, int i) { return v[static_cast<std::size_t>(i - 1)]; };
    EXPECT_EQ(at(xin, 1), s.x_first);
    EXPECT_EQ(at(xin, s.mid), s.x_mid);
    EXPECT_EQ(at(xin, s.npts), s.x_last);
    EXPECT_EQ(at(yin, 1), s.y_first);
    EXPECT_EQ(at(yin, s.mid), s.y_mid);
    EXPECT_EQ(at(yin, s.npts), s.y_last);
    EXPECT_EQ(console.output, "");
  }
}

}  // namespace
}  // namespace ftir::spcfile
