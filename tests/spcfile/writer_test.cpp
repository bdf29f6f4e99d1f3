// WRITSC: golden bytes of written files, the exponent rule, truncation, the file's
// replacement, failures, and the round trip through READSC.
#include "spcfile/writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "report/fake_console.h"
#include "report/report.h"
#include "spcfile/reader.h"
#include "support/run_stop.h"
#include "support/spc_images.h"

namespace ftir::spcfile {
namespace {

using ftir::testing::ByteImage;
using ftir::testing::read_file_bytes;
using ftir::testing::stop_of;

std::string padded(std::string_view text, std::size_t length) {
  std::string out(text);
  out.resize(length, ' ');
  return out;
}

// The 32-bit integer stored for point `index` (0-based) of an old-format file, decoded here
// by hand: bytes b2 b3 b0 b1.
std::int32_t stored_integer(const ByteImage& file, std::size_t index) {
  const std::size_t at = 256 + 4 * index;
  const std::uint32_t bits = (std::uint32_t{file[at + 1]} << 24) | (std::uint32_t{file[at]} << 16) |
                             (std::uint32_t{file[at + 3]} << 8) | std::uint32_t{file[at + 2]};
  return static_cast<std::int32_t>(bits);
}

std::int16_t stored_exponent(const ByteImage& file) {
  return static_cast<std::int16_t>(file[2] | (file[3] << 8));
}

class WriterTest : public ::testing::Test {
 protected:
  // Writes a file with the driver's unit codes and returns its bytes.
  ByteImage write(const std::vector<double>& x, const std::vector<double>& y,
                  std::string_view title = "Boxcar", double resol = 4.0, double spare1 = 0.0) {
    WRITSC(path, padded(title, 80), 1, 0, resol, static_cast<int>(y.size()), spare1, x, y, clock,
           io);
    return read_file_bytes(path);
  }

  ftir::testing::TempDir dir;
  std::string path = dir.file("out.spc");
  ftir::testing::FakeClock clock{{2024, 3, 7, 14, 5}};
  std::vector<unsigned char> io = std::vector<unsigned char>(kIoBufferBytes);
};

TEST_F(WriterTest, HeaderAndDataBytesOfAWrittenFile) {
  WRITSC(path, padded("Phase angle", 80), 1, 0, 4.0, 3, 1.5,
         std::vector<double>{4000.0, 2000.0, 400.0}, std::vector<double>{1.0, -1.0, 0.5}, clock, io);
  const ByteImage file = read_file_bytes(path);

  ByteImage expected = {
      0x00, 0x4D,              // flags, version
      0x02, 0x00,              // exponent 2 (largest |y| = 1.0)
      0x00, 0x00, 0x40, 0x40,  // pointcount 3.0f
      0x00, 0x00, 0x7A, 0x45,  // firstx 4000.0f
      0x00, 0x00, 0xC8, 0x43,  // lastx 400.0f
      0x01, 0x00,              // xunits, yunits
      0xE8, 0x07,              // year 2024
      0x03, 0x07, 0x0E, 0x05,  // month, day, hour, minute
      ' ', ' ', '4', '.', '0', '0', '0', 0x00,  // restext
      0x00, 0x00, 0x00, 0x00,  // peakpoint, scans
      0x00, 0x00, 0xC0, 0x3F,  // spare 1 = 1.5f
  };
  expected.resize(64, 0x00);  // spare 2 to 7
  const std::string comment = padded("Phase angle", 80);
  expected.insert(expected.end(), comment.begin(), comment.end());
  expected.resize(194, 0x00);  // comment ends in 50 zero bytes; then 30 for axislabels
  expected.resize(224, 0x00);
  expected.push_back(0x81);
  expected.push_back(0xFE);
  expected.resize(256, 0x00);
  // 1.0 -> 2^30, -1.0 -> -2^30, 0.5 -> 2^29, each as b2 b3 b0 b1.
  for (int b : {0x00, 0x40, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00}) {
    expected.push_back(static_cast<unsigned char>(b));
  }
  EXPECT_EQ(file, expected);
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST_F(WriterTest, AThousandPointFileHasItsFixedBytes) {
  std::vector<double> x(1000);
  std::vector<double> y(1000);
  for (int i = 0; i < 1000; ++i) {
    x[static_cast<std::size_t>(i)] = 400.0 + i;
    y[static_cast<std::size_t>(i)] = std::sin(0.01 * i);
  }
  const ByteImage file = write(x, y, std::string(80, 'T'));
  ASSERT_EQ(file.size(), 4256u);
  EXPECT_EQ(file[0], 0x00);
  EXPECT_EQ(file[1], 0x4D);
  EXPECT_EQ(file[224], 0x81);
  EXPECT_EQ(file[225], 0xFE);
  for (std::size_t i = 226; i < 256; ++i) EXPECT_EQ(file[i], 0x00) << "offset " << i;
  // An 80-character title fills offsets 64 to 143; 144 to 193 hold zero bytes.
  for (std::size_t i = 64; i < 144; ++i) EXPECT_EQ(file[i], 'T') << "offset " << i;
  for (std::size_t i = 144; i < 224; ++i) EXPECT_EQ(file[i], 0x00) << "offset " << i;
}

TEST_F(WriterTest, ExponentAndStoredIntegers) {
  struct Case {
    const char* what;
    std::vector<double> y;
    int exponent;
    std::vector<std::int32_t> stored;
  };
  const double f30 = std::ldexp(1.0, -30);
  const Case cases[] = {
      {"all zero", {0.0, 0.0, -0.0}, 1, {0, 0, 0}},
      {"ymax 1.0", {1.0, -1.0}, 2, {1073741824, -1073741824}},
      {"ymax 1000", {1000.0, 1.0}, 11, {2097152000, 2097152}},
      {"ymax 0.3", {0.3}, 1, {644245094}},
      {"ymax 0.1", {0.1}, -1, {858993459}},
      {"cut toward zero", {1.0, 2.7 * f30, -2.7 * f30}, 2, {1073741824, 2, -2}},
      {"low half order", {1.0, 305419896 * f30}, 2, {1073741824, 305419896}},
      {"65536", {1.0, 65536 * f30}, 2, {1073741824, 65536}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ByteImage file = write(std::vector<double>(c.y.size(), 1.0), c.y);
    ASSERT_EQ(file.size(), 256 + 4 * c.y.size());
    EXPECT_EQ(stored_exponent(file), c.exponent);
    for (std::size_t i = 0; i < c.y.size(); ++i) EXPECT_EQ(stored_integer(file, i), c.stored[i]);
  }
  // 65536 is stored as 01 00 00 00, and 0x12345678 as 34 12 78 56.
  const ByteImage file = write({1.0, 1.0, 1.0}, {1.0, 65536 * f30, 305419896 * f30});
  EXPECT_EQ(ByteImage(file.begin() + 260, file.end()),
            (ByteImage{0x01, 0x00, 0x00, 0x00, 0x34, 0x12, 0x78, 0x56}));
}

// The data block is encoded four values at a time and the maximum taken two at a time;
// against the plain rule value by value (trunc(y / factor) by scaled_integer, the exponent
// of the largest finite magnitude alone), with the largest value, non-finite values and
// negative zeros at every position of a group and a count that is not a multiple of four.
TEST_F(WriterTest, DataBlockMatchesThePlainRuleValueByValue) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  for (int at = 0; at < 8; ++at) {
    SCOPED_TRACE(::testing::Message() << "largest value at " << at);
    std::vector<double> y(23);
    for (double& v : y) v = dist(rng);
    y[static_cast<std::size_t>(at)] = -3.5;
    y[static_cast<std::size_t>(8 + at)] = at % 2 == 0 ? nan : -0.0;
    y[static_cast<std::size_t>(15 + at % 4)] = at % 3 == 0 ? -inf : inf;
    const ByteImage file = write(std::vector<double>(y.size(), 1.0), y);
    const int exponent = spectrum_exponent(std::vector<double>{3.5});
    EXPECT_EQ(stored_exponent(file), exponent);
    const double factor = static_cast<float>(std::ldexp(1.0, exponent - 32));
    for (std::size_t i = 0; i < y.size(); ++i) {
      EXPECT_EQ(stored_integer(file, i), scaled_integer(y[i], factor)) << "point " << i;
    }
  }
}

TEST(SpectrumExponent, IsExactAtAndAroundPowersOfTwo) {
  const double below_one = std::nextafter(1.0, 0.0);
  struct Case {
    const char* what;
    std::vector<double> y;
    int exponent;  // trunc(log2(2 ymax)) + 1, worked out by hand
  };
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {"1", {1.0}, 2},
      {"just below 1", {below_one}, 1},
      {"just above 1", {std::nextafter(1.0, 2.0)}, 2},
      {"0.5", {0.5}, 1},
      {"just below 0.5", {std::nextafter(0.5, 0.0)}, 1},
      {"0.25", {0.25}, 0},
      {"just below 0.25", {std::nextafter(0.25, 0.0)}, 0},
      {"just above 0.25", {std::nextafter(0.25, 1.0)}, 1},
      {"2^30", {std::ldexp(1.0, 30)}, 32},
      {"just below 2^30", {std::ldexp(below_one, 30)}, 31},
      {"3, from a negative value", {2.0, -3.0}, 3},
      {"2^-1000", {std::ldexp(1.0, -1000)}, -998},
      {"smallest subnormal", {std::ldexp(1.0, -1074)}, -1072},
      {"largest double", {std::numeric_limits<double>::max()}, 1025},
      {"non-finite values ignored", {nan, -inf, 1.0}, 2},
      {"only NaN", {nan}, 1},
      {"empty", {}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(spectrum_exponent(c.y), c.exponent);
  }
}

// The factor 2^(exponent - 32) is a binary32 from 2^-149 to 2^127 only: exponents -117 to
// 159, that is 2^-120 < ymax < 2^158 by the exponent's formula.
TEST(ScaleFactorUsable, OnlyBetween2ToTheMinus120And2ToThe158) {
  const double low = std::ldexp(1.0, -120);
  const double high = std::ldexp(1.0, 158);
  const std::pair<std::vector<double>, bool> cases[] = {
      {{low}, false},
      {{-std::nextafter(low, 1.0)}, true},
      {{high}, false},
      {{std::nextafter(high, 0.0), 1.0}, true},
      {{std::numeric_limits<double>::max()}, false},
      {{0.0, 0.0}, true},  // exponent 1
      {{1.0}, true},
  };
  for (const auto& [y, usable] : cases) {
    SCOPED_TRACE(y.front());
    EXPECT_EQ(scale_factor_usable(y), usable);
  }
}

TEST(ScaledInteger, TruncatesAndNeverConvertsOutOfRange) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double y, factor;
    std::int32_t k;
  };
  const Case cases[] = {
      {2.7, 1.0, 2},           {-2.7, 1.0, -2},           {0.75, 0.25, 3},
      {2147483647.9, 1.0, kMax}, {-2147483648.9, 1.0, kMin}, {3.0e9, 1.0, kMax},
      {-3.0e9, 1.0, kMin},     {inf, 1.0, kMax},          {-inf, 1.0, kMin},
      {std::nan(""), 1.0, 0},  {1.0, 0.0, kMax},          {0.0, 0.0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.y << " / " << c.factor);
    EXPECT_EQ(scaled_integer(c.y, c.factor), c.k);
  }
}

TEST_F(WriterTest, ResolutionTextIsF7Point3ThenAZeroByte) {
  struct Case {
    double resol;
    std::string text;
  };
  const Case cases[] = {{4.0, "  4.000"},   {12.3456, " 12.346"},  {0.5, "   .500"},
                        {999.9994, "999.999"}, {1000.0, "*******"}, {-99.9994, "-99.999"},
                        {-100.0, "*******"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.resol);
    const ByteImage file = write({1.0}, {1.0}, "t", c.resol);
    EXPECT_EQ(std::string(file.begin() + 24, file.begin() + 31), c.text);
    EXPECT_EQ(file[31], 0x00);
  }
}

TEST_F(WriterTest, UnitCodesKeepTheirLowByteAndOnePointRepeatsItsX) {
  WRITSC(path, padded("t", 80), 0x1234, -1, 4.0, 1, 0.0, std::vector<double>{1234.5},
         std::vector<double>{3.0}, clock, io);
  const ByteImage file = read_file_bytes(path);
  ASSERT_EQ(file.size(), 260u);
  EXPECT_EQ(file[16], 0x34);
  EXPECT_EQ(file[17], 0xFF);
  const ByteImage one_point = {0x00, 0x00, 0x80, 0x3F};  // 1.0f
  const ByteImage x = {0x00, 0x50, 0x9A, 0x44};          // 1234.5f
  EXPECT_EQ(ByteImage(file.begin() + 4, file.begin() + 8), one_point);
  EXPECT_EQ(ByteImage(file.begin() + 8, file.begin() + 12), x);
  EXPECT_EQ(ByteImage(file.begin() + 12, file.begin() + 16), x);
}

TEST_F(WriterTest, ReplacesALongerFileWholeAndLeavesNoTemporaryFile) {
  write(std::vector<double>(500, 1.0), std::vector<double>(500, 2.0));
  const ByteImage file = write({1.0, 2.0}, {3.0, 4.0});
  EXPECT_EQ(file.size(), 264u);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"out.spc"});
}

TEST_F(WriterTest, AFileThatCannotBeWrittenStopsNamingIt) {
  const std::string missing_dir = dir.file("no-such-dir/out.spc");
  auto stop = stop_of([&] {
    WRITSC(missing_dir, "t", 1, 0, 4.0, 1, 0.0, std::vector<double>{1.0}, std::vector<double>{1.0},
           clock, io);
  });
  ASSERT_TRUE(stop.has_value());
  EXPECT_EQ(stop->text(), "Cannot write " + missing_dir + ": No such file or directory");
  EXPECT_EQ(stop->exit_status(), 1);

  // A folder in the target's place: the rename fails, the folder stays, no temporary file.
  const std::string folder = dir.file("taken.spc");
  std::filesystem::create_directory(folder);
  stop = stop_of([&] {
    WRITSC(folder, "t", 1, 0, 4.0, 1, 0.0, std::vector<double>{1.0}, std::vector<double>{1.0},
           clock, io);
  });
  ASSERT_TRUE(stop.has_value());
  EXPECT_EQ(stop->text(), "Cannot write " + folder + ": Is a directory");
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_FALSE(std::filesystem::exists(folder + ".tmp"));
}

TEST_F(WriterTest, WrittenFilesReadBackThroughTheReader) {
  // Values with few significant bits survive the f32 rounding exactly: Y = (j - 250) * 25/64,
  // largest |Y| 97.66, exponent 8; X = 0 .. 499 with increment 1.
  std::vector<double> x(500);
  std::vector<double> y(500);
  for (int j = 0; j < 500; ++j) {
    x[static_cast<std::size_t>(j)] = j;
    y[static_cast<std::size_t>(j)] = (j - 250) * 0.390625;
  }
  const ByteImage file = write(x, y, "Boxcar", 4.0, -3.25);
  EXPECT_EQ(stored_exponent(file), 8);

  ftir::testing::FakeConsole console;
  report::Report report(console);
  std::vector<double> xin(kMaxPoints);
  std::vector<double> yin(kMaxPoints);
  ReadResult r = READSC(report, path, -9.0e10, 9.0e10, kMaxPoints, xin, yin, io);
  ASSERT_EQ(r.npts, 500);
  EXPECT_EQ(r.xinc, 1.0);
  EXPECT_EQ(r.spare1, -3.25);
  EXPECT_EQ(r.spare2, 0.0);
  EXPECT_EQ(std::vector<double>(xin.begin(), xin.begin() + 500), x);
  EXPECT_EQ(std::vector<double>(yin.begin(), yin.begin() + 500), y);

  // A general spectrum comes back within one step of the scale, as f32 values, with the
  // written first and last X (decreasing here) and the implied spacing between them.
  for (int j = 0; j < 500; ++j) {
    x[static_cast<std::size_t>(j)] = 4000.0 - 3600.0 * j / 499.0;
    y[static_cast<std::size_t>(j)] = 1.0e-3 * std::cos(0.05 * j) + 2.0e-4;
  }
  write(x, y);
  r = READSC(report, path, -9.0e10, 9.0e10, kMaxPoints, xin, yin, io);
  ASSERT_EQ(r.npts, 500);
  EXPECT_EQ(r.xinc, (400.0 - 4000.0) / 499.0);
  EXPECT_EQ(xin[0], 4000.0);
  EXPECT_NEAR(xin[499], 400.0, 1e-3);
  // Largest |Y| 1.2e-3: exponent ceil(log2 1.2e-3) + 2 = -7, one step 2^-39; the f32
  // rounding of the read value adds at most half an f32 ulp.
  const double step = std::ldexp(1.0, -7 - 32);
  for (std::size_t j = 0; j < 500; ++j) {
    if (j > 0) {
      EXPECT_LT(xin[j], xin[j - 1]) << j;
    }
    EXPECT_LE(std::fabs(yin[j] - y[j]), step + std::fabs(y[j]) * 0x1p-24) << j;
    EXPECT_EQ(yin[j], static_cast<double>(static_cast<float>(yin[j])));
  }
  EXPECT_EQ(console.output, "");
}

}  // namespace
}  // namespace ftir::spcfile
