// READSC on hand-made old- and new-format files: sample widths and scales, X values, the
// kept range, early ends, skips and every refusal with its exact console text.
#include "spcfile/reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "report/fake_console.h"
#include "report/report.h"
#include "spcfile/writer.h"
#include "support/run_stop.h"
#include "support/spc_images.h"

namespace ftir::spcfile {
namespace {

using ftir::testing::append_f32;
using ftir::testing::append_i16;
using ftir::testing::append_i32;
using ftir::testing::append_i32_old;
using ftir::testing::ByteImage;
using ftir::testing::new_format_header;
using ftir::testing::NewHeaderFields;
using ftir::testing::old_format_header;
using ftir::testing::OldHeaderFields;
using ftir::testing::stop_of;

// The driver's request: -9.0E10 and +9.0E10 as single-precision constants.
constexpr double kLow = static_cast<double>(-9.0e10f);
constexpr double kHigh = static_cast<double>(9.0e10f);
constexpr int kCapacity = 270000;

constexpr std::string_view kPausePrompt =
    "Pause - Please enter a blank line (to continue) or a DOS command.\r\n";

class ReaderTest : public ::testing::Test {
 protected:
  ReadResult read(const std::string& path, double xlo = kLow, double xhi = kHigh,
                  int nmax = kCapacity) {
    return READSC(report, path, xlo, xhi, nmax, xin, yin, io);
  }
  std::vector<double> kept_x(const ReadResult& r) const {
    return {xin.begin(), xin.begin() + r.npts};
  }
  std::vector<double> kept_y(const ReadResult& r) const {
    return {yin.begin(), yin.begin() + r.npts};
  }

  ftir::testing::TempDir dir;
  ftir::testing::FakeConsole console;
  report::Report report{console};
  std::vector<double> xin = std::vector<double>(kCapacity, -777.0);
  std::vector<double> yin = std::vector<double>(kCapacity, -777.0);
  std::vector<unsigned char> io = std::vector<unsigned char>(kIoBufferBytes);
};

// Ten points at X = 0, 1, ..., 9 (or 9 down to 0), Y = 1, 2, ..., 10 (exponent 32: factor 1).
ByteImage ten_points(bool decreasing = false) {
  ByteImage image = new_format_header({.exponent = 32, .pointcount = 10,
                                       .firstx = decreasing ? 9.0 : 0.0,
                                       .lastx = decreasing ? 0.0 : 9.0});
  for (int k = 1; k <= 10; ++k) append_i32(image, k);
  return image;
}

// Five points at X = 0..4 with both spare fields set; exponent 26, so Y is the integer / 64.
ByteImage five_points() {
  ByteImage image = new_format_header({.exponent = 26, .pointcount = 5, .firstx = 0.0,
                                       .lastx = 4.0, .spare1 = 2.5f, .spare2 = -7.25f});
  for (int k : {64, -64, 128, 0, 6400}) append_i32(image, k);
  return image;
}

// f32 samples (exponent -128) at X = firstx, firstx + 1, ...
ByteImage f32_points(std::initializer_list<float> samples, double firstx) {
  const auto n = static_cast<std::int32_t>(samples.size());
  ByteImage image = new_format_header(
      {.exponent = -128, .pointcount = n, .firstx = firstx, .lastx = firstx + n - 1});
  for (float v : samples) append_f32(image, v);
  return image;
}

// 1, -2, 32767, -32768 as 16-bit samples at X = 10..13, then a fifth value past the count.
ByteImage sixteen_bit(bool old_format, int exponent) {
  ByteImage image =
      old_format
          ? old_format_header({.flags = 0x01, .exponent = static_cast<std::int16_t>(exponent),
                               .pointcount = 4.0f, .firstx = 10.0f, .lastx = 13.0f})
          : new_format_header({.flags = 0x01, .exponent = static_cast<std::int8_t>(exponent),
                               .pointcount = 4, .firstx = 10.0, .lastx = 13.0});
  for (int k : {1, -2, 32767, -32768, 99}) append_i16(image, static_cast<std::int16_t>(k));
  return image;
}

// 300000 points declared and one present: the declared count is more than the arrays hold.
ByteImage too_many_points(double lastx) {
  ByteImage image = new_format_header(
      {.exponent = 32, .pointcount = 300000, .firstx = 0.0, .lastx = lastx});
  append_i32(image, 1);
  return image;
}

// A header image one byte short of its end.
ByteImage cut_short(ByteImage image) {
  image.pop_back();
  return image;
}

// `run` stops the program with `text` and the exit status 1.
template <class Fn>
void expect_stop(Fn&& run, const std::string& text) {
  const auto stop = stop_of(std::forward<Fn>(run));
  ASSERT_TRUE(stop.has_value());
  EXPECT_EQ(stop->text(), text);
  EXPECT_EQ(stop->exit_status(), 1);
}

TEST_F(ReaderTest, NewFormat32BitSamplesAreScaledByTwoToTheExponentMinus32) {
  const ReadResult r = read(dir.write("a.spc", five_points()));
  EXPECT_EQ(r.skip_reason, nullptr);
  ASSERT_EQ(r.npts, 5);
  EXPECT_EQ(kept_x(r), (std::vector<double>{0, 1, 2, 3, 4}));
  EXPECT_EQ(kept_y(r), (std::vector<double>{1, -1, 2, 0, 100}));
  EXPECT_EQ(r.xinc, 1.0);
  EXPECT_EQ(r.spare1, 2.5);
  EXPECT_EQ(r.spare2, -7.25);
  EXPECT_EQ(xin[5], -777.0);  // nothing stored past npts
  EXPECT_EQ(console.output, "");
}

// 16-bit samples take two bytes and the factor 2^(exponent - 16); exponent -128 holds f32
// values; old 32-bit values have the more significant half first; a new file keeps its own
// end points even where they are not exact in f32.
TEST_F(ReaderTest, EverySampleKindGivesItsWorkedExample) {
  const auto shorts = [](double scale) {
    return std::vector<double>{1 * scale, -2 * scale, 32767 * scale, -32768 * scale};
  };
  // Exponent 32: factor 1, so each sample is its integer rounded to f32 once.
  ByteImage old32 =
      old_format_header({.exponent = 32, .pointcount = 5.0f, .firstx = 0.0f, .lastx = 4.0f});
  for (int b : {0x00, 0x00, 0x01, 0x00,     // 1
                0xFF, 0xFF, 0xFF, 0xFF,     // -1
                0x01, 0x00, 0x00, 0x00,     // 65536
                0x34, 0x12, 0x78, 0x56,     // 0x12345678 = 305419896
                0x00, 0x80, 0x00, 0x00}) {  // -2^31
    old32.push_back(static_cast<unsigned char>(b));
  }
  ByteImage tenth =
      new_format_header({.exponent = 32, .pointcount = 5, .firstx = 0.1, .lastx = 0.5});
  for (int k = 0; k < 5; ++k) append_i32(tenth, k);
  append_i32(tenth, 12345);  // bytes after the last point (a log block) are not samples
  const double step = (0.5 - 0.1) / 4;
  struct Case {
    const char* what;
    ByteImage image;
    std::vector<double> x, y;
  };
  const Case cases[] = {
      {"new, 16-bit, exponent 16", sixteen_bit(false, 16), {10, 11, 12, 13}, shorts(1.0)},
      {"new, 16-bit, exponent 18", sixteen_bit(false, 18), {10, 11, 12, 13}, shorts(4.0)},
      {"old, 16-bit, exponent 16", sixteen_bit(true, 16), {10, 11, 12, 13}, shorts(1.0)},
      {"old, 16-bit, exponent 13", sixteen_bit(true, 13), {10, 11, 12, 13}, shorts(0.125)},
      {"new, f32", f32_points({1.5f, -2.25f, 1.0e-3f}, 1.0), {1, 2, 3},
       {1.5, -2.25, static_cast<double>(1.0e-3f)}},
      // 305419896 needs 29 bits; to 24 bits it rounds up to 305419904.
      {"old, 32-bit", old32, {0, 1, 2, 3, 4}, {1, -1, 65536, 305419904, -2147483648.0}},
      {"new, 0.1 to 0.5", tenth, {0.1, 0.1 + step, 0.1 + 2 * step, 0.1 + 3 * step, 0.1 + 4 * step},
       {0, 1, 2, 3, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ReadResult r = read(dir.write("kind.spc", c.image));
    EXPECT_EQ(r.skip_reason, nullptr);
    ASSERT_EQ(r.npts, static_cast<int>(c.y.size()));
    EXPECT_EQ(kept_x(r), c.x);
    EXPECT_EQ(kept_y(r), c.y);
  }
}

TEST_F(ReaderTest, ANonFiniteSampleSkipsTheFile) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const ByteImage with_nan = f32_points({1.0f, nan, 2.0f}, 1.0);
  // Old format, exponent 200: the f32 factor 2^168 is infinite, so 0 x factor is NaN.
  ByteImage huge_factor =
      old_format_header({.exponent = 200, .pointcount = 2.0f, .firstx = 0.0f, .lastx = 1.0f});
  append_i32_old(huge_factor, 0);
  append_i32_old(huge_factor, 0);
  const std::pair<const char*, ByteImage> cases[] = {
      {"NaN", with_nan},
      {"-inf", f32_points({1.0f, 2.0f, -inf}, 1.0)},
      {"inf factor", huge_factor}};
  for (const auto& [what, image] : cases) {
    SCOPED_TRACE(what);
    const ReadResult r = read(dir.write("bad.spc", image));
    ASSERT_NE(r.skip_reason, nullptr);
    EXPECT_STREQ(r.skip_reason, "a sample is not a finite number");
  }
  // A NaN at a point outside the requested range is never looked at.
  const ReadResult r = read(dir.write("nan.spc", with_nan), 2.5, 3.5);
  EXPECT_EQ(r.skip_reason, nullptr);
  EXPECT_EQ(kept_y(r), (std::vector<double>{2.0}));
  EXPECT_EQ(console.output, "");
}

TEST_F(ReaderTest, OldFormatXIsComputedInDoubleFromTheRoundedIncrementAndRoundedOnce) {
  // firstx 0.1f, lastx 1.0f, 10 points; expected X from an independent script: qs is
  // q = (1.0f - 0.1f) / 9 rounded to f32, x = (i - 1) * qs + firstx in f64, rounded to f32.
  ByteImage image = old_format_header(
      {.exponent = 32, .pointcount = 10.0f, .firstx = 0.1f, .lastx = 1.0f, .spare1 = 0.75f});
  for (int k = 0; k < 10; ++k) append_i32_old(image, k);
  const ReadResult r = read(dir.write("oldx.spc", image));
  ASSERT_EQ(r.npts, 10);
  const std::vector<double> expected = {0x1.99999ap-4, 0x1.99999ap-3, 0x1.333334p-2, 0x1.99999ap-2,
                                        0x1.0p-1,      0x1.333334p-1, 0x1.666666p-1, 0x1.99999ap-1,
                                        0x1.cccccep-1, 0x1.0p+0};
  EXPECT_EQ(kept_x(r), expected);
  EXPECT_EQ(r.xinc, (static_cast<double>(1.0f) - static_cast<double>(0.1f)) / 9.0);
  EXPECT_EQ(r.spare1, 0.75);
}

TEST_F(ReaderTest, KeepsExactlyThePointsInsideTheRequestedRange) {
  struct Case {
    const char* what;
    bool decreasing;
    double xlo, xhi;
    std::vector<double> x;
  };
  const Case cases[] = {
      {"inside", false, 2.5, 6.0, {3, 4, 5, 6}},
      {"bounds swapped", false, 6.0, 2.5, {3, 4, 5, 6}},
      {"ends inclusive", false, 3.0, 3.0, {3}},
      {"decreasing X", true, 2.5, 6.0, {6, 5, 4, 3}},
      {"beyond the file", false, 20.0, 30.0, {}},
      {"before the file", false, -30.0, -0.5, {}},
      {"whole file, decreasing", true, kLow, kHigh, {9, 8, 7, 6, 5, 4, 3, 2, 1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ReadResult r = read(dir.write("ten.spc", ten_points(c.decreasing)), c.xlo, c.xhi);
    EXPECT_EQ(r.skip_reason, nullptr);
    EXPECT_EQ(kept_x(r), c.x);
    EXPECT_EQ(r.xinc, c.decreasing ? -1.0 : 1.0);
    for (std::size_t k = 0; k < static_cast<std::size_t>(r.npts); ++k) {
      // Y = point number, X = point number - 1 (increasing) or 10 - point number.
      const double point = c.decreasing ? 10.0 - xin[k] : xin[k] + 1.0;
      EXPECT_EQ(yin[k], point);
    }
  }
}

TEST_F(ReaderTest, AFileShorterThanItsHeaderSaysReturnsThePointsPresent) {
  ByteImage image = new_format_header({.exponent = 32, .pointcount = 10, .firstx = 0.0, .lastx = 9.0});
  for (int k = 1; k <= 6; ++k) append_i32(image, k);
  image.push_back(0x07);  // half of a seventh value
  image.push_back(0x00);
  ReadResult r = read(dir.write("trunc.spc", image));
  EXPECT_EQ(r.skip_reason, nullptr);
  EXPECT_EQ(kept_y(r), (std::vector<double>{1, 2, 3, 4, 5, 6}));

  // No data at all: nothing read, no message.
  r = read(dir.write("nodata.spc", new_format_header({.pointcount = 10, .firstx = 0.0, .lastx = 9.0})));
  EXPECT_EQ(r.skip_reason, nullptr);
  EXPECT_EQ(r.npts, 0);
  EXPECT_EQ(console.output, "");
}

TEST_F(ReaderTest, AHeaderWithFewerThanTwoPointsSkipsTheFile) {
  struct Case {
    const char* what;
    ByteImage image;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const Case cases[] = {
      {"new, 1", new_format_header({.pointcount = 1, .firstx = 5.0, .lastx = 5.0})},
      {"new, 0", new_format_header({.pointcount = 0})},
      {"new, -5", new_format_header({.pointcount = -5})},
      {"old, 1.0", old_format_header({.pointcount = 1.0f, .firstx = 5.0f, .lastx = 5.0f})},
      {"old, 1.5", old_format_header({.pointcount = 1.5f})},
      {"old, NaN", old_format_header({.pointcount = nan})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ByteImage image = c.image;
    append_i32(image, 1);
    append_i32(image, 2);
    const ReadResult r = read(dir.write("one.spc", image));
    ASSERT_NE(r.skip_reason, nullptr);
    EXPECT_STREQ(r.skip_reason, "the header declares fewer than 2 points");
    EXPECT_EQ(r.npts, 0);
  }
  EXPECT_EQ(console.output, "");
}

TEST_F(ReaderTest, VersionsOtherThanOldAndMsbFirstTakeTheNewPathAndSpareFlagsAreIgnored) {
  struct Case {
    std::uint8_t flags;
    std::uint8_t version;
  };
  const Case cases[] = {{0x00, 0x4B}, {0x00, 0x00}, {0x00, 0x41}, {0x08, 0x4B}, {0x10, 0x4B},
                        {0x20, 0x4B}, {0x40, 0x4B}, {0x78, 0x4B}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "flags " << int{c.flags} << " version " << int{c.version});
    ByteImage image = new_format_header(
        {.flags = c.flags, .version = c.version, .exponent = 32, .pointcount = 2, .firstx = 1.0, .lastx = 2.0});
    append_i32(image, 5);
    append_i32(image, 6);
    const ReadResult r = read(dir.write("v.spc", image));
    EXPECT_EQ(kept_y(r), (std::vector<double>{5, 6}));
  }
}

TEST_F(ReaderTest, UnsupportedFlagsPauseAndStopWithProgramTerminating) {
  struct Case {
    std::uint8_t flags;
    std::uint8_t version;
    std::string answer;
    std::vector<std::string> commands;
  };
  // 0x04 with the MSB-first version still takes this refusal: the flag test comes first.
  const Case cases[] = {{0x02, 0x4B, "", {}},
                        {0x04, 0x4C, " \t ", {}},
                        {0x80, 0x4D, "dir /w  \t", {"dir /w"}},
                        {0x05, 0x4D, "", {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "flags " << int{c.flags} << " version " << int{c.version});
    ftir::testing::FakeConsole fresh;
    report::Report fresh_report(fresh);
    fresh.input.push_back(c.answer);
    const ByteImage image = {c.flags, c.version};  // refused before the rest is needed
    const std::string path = dir.write("refused.spc", image);
    expect_stop([&] { READSC(fresh_report, path, kLow, kHigh, kCapacity, xin, yin, io); },
                "Program terminating");
    EXPECT_EQ(fresh.output, std::string("This file format is not supported\r\n") + std::string(kPausePrompt));
    EXPECT_EQ(fresh.reads, 1);
    EXPECT_EQ(fresh.commands, c.commands);
  }
}

TEST_F(ReaderTest, MsbFirstNewFormatStopsWithoutAPause) {
  const std::string path =
      dir.write("msb.spc", new_format_header({.version = 0x4C, .pointcount = 2}));
  expect_stop([&] { read(path); }, "Hu-Oh &#&$!#^*");
  EXPECT_EQ(console.output,
            "new format(GRAMS) with MSB first\r\n"
            "this format is not presently supported in this program\r\n"
            "execution is terminating");
  EXPECT_EQ(console.reads, 0);
}

TEST_F(ReaderTest, MorePointsThanTheArraysHoldStopWithTheArraySizeMessage) {
  // The declared count decides, even when the file holds fewer values.
  const std::string big_path = dir.write("big.spc", too_many_points(299999.0));
  expect_stop([&] { read(big_path); }, "Program Terminated");
  EXPECT_EQ(console.output,
            "\r\n\r\nError in READSC --- Data requested exceeds array size\r\n"
            "Array size =   270000\r\n"
            "Required size =   300000");

  // 100 points from 0 to 1 require 100 elements: 99 is too few, 100 is enough, and
  // nothing is stored past the capacity.
  ByteImage hundred = new_format_header({.exponent = 32, .pointcount = 100, .firstx = 0.0, .lastx = 1.0});
  for (int k = 0; k < 100; ++k) append_i32(hundred, k);
  const std::string path = dir.write("hundred.spc", hundred);
  ftir::testing::FakeConsole small_console;
  report::Report small_report(small_console);
  expect_stop([&] { READSC(small_report, path, kLow, kHigh, 99, xin, yin, io); },
              "Program Terminated");
  EXPECT_EQ(small_console.output,
            "\r\n\r\nError in READSC --- Data requested exceeds array size\r\n"
            "Array size =       99\r\n"
            "Required size =      100");
  std::vector<double> x100(101, -1.0);
  std::vector<double> y100(101, -1.0);
  const ReadResult r = READSC(report, path, kLow, kHigh, 100, x100, y100, io);
  EXPECT_EQ(r.npts, 100);
  EXPECT_EQ(y100[99], 99.0);
  EXPECT_EQ(x100[100], -1.0);
  EXPECT_EQ(y100[100], -1.0);

  // Only the points inside the requested range count.
  const ReadResult part = READSC(report, path, 0.1, 0.2, 11, xin, yin, io);
  EXPECT_EQ(part.npts, 10);  // X = 10/99 ... 19/99
}

// A command-line run skips what the classic run stops on: no message, no pause, a reason.
TEST_F(ReaderTest, RefusalsAreSkipsWhenTheRunSkipsThem) {
  const struct {
    ByteImage image;
    const char* reason;
  } cases[] = {
      {{0x04, 0x4C}, "this file format is not supported (several traces, an X array or the "
                     "compatibility flag)"},
      {{0x80, 0x4D}, "this file format is not supported (several traces, an X array or the "
                     "compatibility flag)"},
      {new_format_header({.version = 0x4C, .pointcount = 2}),
       "new format with the most significant byte first is not supported"},
      {too_many_points(1.0), "more points than the arrays hold"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    console.input.push_back("echo never");
    const std::string path = dir.write("refused.spc", c.image);
    const ReadResult r = READSC(report, path, kLow, kHigh, kCapacity, xin, yin, io,
                                Refusals::kSkipFile);
    ASSERT_NE(r.skip_reason, nullptr);
    EXPECT_STREQ(r.skip_reason, c.reason);
    EXPECT_EQ(r.npts, 0);
    EXPECT_EQ(console.output, "");
    EXPECT_EQ(console.reads, 0);
  }
}

TEST_F(ReaderTest, FilesThatCannotBeOpenedOrEndInsideTheHeaderStopNamingTheFile) {
  const std::string missing = dir.file("missing.spc");
  // Trailing blanks are not part of the name.
  expect_stop([&] { read(missing + "      "); },
              "Cannot open " + missing + ": No such file or directory");
  const std::pair<const char*, ByteImage> cases[] = {
      {"empty", {}},
      {"one byte", {0x00}},
      {"flags and version", {0x00, 0x4B}},
      {"new, one byte short", cut_short(new_format_header({.pointcount = 2}))},
      {"old, one byte short", cut_short(old_format_header({.pointcount = 2.0f}))}};
  for (const auto& [what, image] : cases) {
    SCOPED_TRACE(what);
    const std::string path = dir.write("short.spc", image);
    expect_stop([&] { read(path); }, "Cannot read " + path + ": the file ends inside its header");
  }
  EXPECT_EQ(console.output, "");
}

TEST_F(ReaderTest, NonFiniteHeaderValuesKeepNoPointRatherThanFailing) {
  const double inf = std::numeric_limits<double>::infinity();
  ByteImage image = new_format_header({.exponent = 32, .pointcount = 3, .firstx = 0.0, .lastx = inf});
  for (int k = 1; k <= 3; ++k) append_i32(image, k);
  ReadResult r = read(dir.write("inf.spc", image));
  EXPECT_EQ(r.skip_reason, nullptr);
  EXPECT_EQ(r.npts, 0);  // X of the first point is 0 + 0 x inf: not a number

  // A huge declared count is not walked point by point.
  image = new_format_header({.exponent = 32, .pointcount = 2147483647, .firstx = 0.0, .lastx = 1.0});
  append_i32(image, 1);
  r = read(dir.write("huge.spc", image), 0.0, 1.0e-9);
  EXPECT_EQ(r.npts, 1);
}

// Without X values the samples are decoded four at a time; every sample kind, with extreme
// integers, signed zeros, f32 subnormals and a count that is not a multiple of four (in
// more than one chunk of the data block), gives the same points, bit for bit, as the
// reading that stores X (one sample at a time).
TEST_F(ReaderTest, ReadingWithoutXGivesTheSameSamplesBitForBit) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::mt19937 rng(12);
  auto i32 = [&rng](int k) {
    const std::int32_t extremes[] = {INT32_MIN, INT32_MAX, 0, -1, 1, 16777217, -16777217};
    return k % 5 == 0 ? extremes[k / 5 % 7] : static_cast<std::int32_t>(rng());
  };
  auto i16 = [&rng](int k) {
    const std::int16_t extremes[] = {INT16_MIN, INT16_MAX, 0, -1};
    return k % 5 == 0 ? extremes[k / 5 % 4] : static_cast<std::int16_t>(rng());
  };
  auto f32 = [&rng](int k) {
    const float extremes[] = {-0.0f, 1.0e-45f, -3.0e38f, 0.0f};
    return k % 5 == 0 ? extremes[k / 5 % 4]
                      : std::bit_cast<float>(static_cast<std::uint32_t>(rng() & 0xBF7FFFFFu));
  };
  struct Case {
    const char* what;
    bool old_format;
    std::uint8_t flags;
    int exponent;
    int nan_at;  // f32 only: the point that holds a NaN, -1 for none
  };
  const Case cases[] = {{"new, i32", false, 0x00, 7, -1},
                        {"new, i32, products subnormal in f32", false, 0x00, -100, -1},
                        {"new, i32, factor 0 in f32", false, 0x00, -127, -1},
                        {"new, i32, factor the smallest normal f32", false, 0x00, -94, -1},
                        {"new, i32, factor just below it", false, 0x00, -95, -1},
                        {"new, i32, largest factor", false, 0x00, 127, -1},
                        {"new, i16, factor the smallest normal f32", false, 0x01, -110, -1},
                        {"new, i16", false, 0x01, 3, -1},
                        {"old, i32 halves swapped", true, 0x00, 40, -1},
                        {"old, i16", true, 0x01, -20, -1},
                        {"old, i32, 2^31 x factor beyond f32", true, 0x00, 150, -1},
                        {"new, f32", false, 0x00, -128, -1},
                        {"new, f32 with a NaN", false, 0x00, -128, 501},
                        {"new, f32 with a NaN among the last", false, 0x00, -128, 40001}};
  constexpr int kCount = 40003;  // more than one 64 KiB chunk of the data block
  int summed = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ByteImage image = c.old_format
                          ? old_format_header({.flags = c.flags,
                                               .exponent = static_cast<std::int16_t>(c.exponent),
                                               .pointcount = kCount,
                                               .firstx = 0.0f,
                                               .lastx = kCount - 1.0f})
                          : new_format_header({.flags = c.flags,
                                               .exponent = static_cast<std::int8_t>(c.exponent),
                                               .pointcount = kCount,
                                               .firstx = 0.0,
                                               .lastx = kCount - 1.0});
    for (int k = 0; k < kCount; ++k) {
      if (c.exponent == -128) {
        append_f32(image, k == c.nan_at ? nan : f32(k));
      } else if (c.flags == 0x01) {
        append_i16(image, i16(k));
      } else if (c.old_format) {
        append_i32_old(image, c.exponent == 150 ? i32(k) % 100 : i32(k));
      } else {
        append_i32(image, i32(k));
      }
    }
    const std::string path = dir.write("kinds.spc", image);
    const ReadResult with_x = read(path);
    const std::vector<double> y_with_x = kept_y(with_x);
    std::fill(yin.begin(), yin.end(), -777.0);
    const ReadResult without_x = READSC(report, path, kLow, kHigh, kCapacity, {}, yin, io);
    EXPECT_EQ(without_x.npts, with_x.npts);
    EXPECT_EQ(without_x.skip_reason == nullptr, with_x.skip_reason == nullptr);
    EXPECT_EQ(with_x.skip_reason == nullptr, c.nan_at < 0);
    ASSERT_EQ(with_x.npts, c.nan_at < 0 ? kCount : 0);
    if (!y_with_x.empty()) {
      EXPECT_EQ(std::memcmp(y_with_x.data(), yin.data(), y_with_x.size() * sizeof(double)), 0);
    }
    // The sum the reader takes on its way, where it offers one, is the sum in index order.
    if (without_x.sum) {
      ++summed;
      double in_order = 0.0;
      for (double v : y_with_x) in_order += v;
      EXPECT_EQ(std::bit_cast<std::uint64_t>(*without_x.sum),
                std::bit_cast<std::uint64_t>(in_order));
    }
  }
  EXPECT_EQ(summed, 7);  // the integer cases whose factor is a normal f32 and keeps 2^31 finite
}

// read_spc: the interferogram as a value, the samples a view of the caller's storage.
TEST_F(ReaderTest, ReadSpcFillsTheInterferogramValue) {
  ByteImage image = five_points();
  image[28] = 1;  // X in cm-1
  const std::string path = dir.write("a.spc", image);
  const SpcRead r = read_spc(path + "   ", kCapacity, yin, io);
  ASSERT_FALSE(r.refused.has_value());
  const values::Interferogram& ig = r.ig;
  EXPECT_EQ(ig.name, path);
  EXPECT_EQ(ig.format, values::SourceFormat::kSpc);
  EXPECT_EQ(ig.samples.data(), yin.data());
  EXPECT_EQ(std::vector<double>(ig.samples.begin(), ig.samples.end()),
            (std::vector<double>{1, -1, 2, 0, 100}));
  EXPECT_EQ(ig.sum, 102.0);
  EXPECT_EQ(ig.declared_points, 5);
  EXPECT_EQ(ig.xinc, 1.0);
  EXPECT_EQ(ig.x.first, 0.0);
  EXPECT_EQ(ig.x.last, 4.0);
  EXPECT_EQ(ig.x.units, 1);
  EXPECT_FALSE(ig.laser.has_value());
  EXPECT_EQ(ig.spare1, 2.5);
  EXPECT_EQ(r.spare2, -7.25);
  EXPECT_EQ(yin[5], -777.0);

  // An old header gives its f32 X facts.
  ByteImage old = old_format_header({.exponent = 32, .pointcount = 3.0f, .firstx = 0.1f,
                                     .lastx = 0.3f, .spare1 = 0.75f});
  for (int k = 1; k <= 3; ++k) append_i32_old(old, k);
  const SpcRead o = read_spc(dir.write("old.spc", old), kCapacity, yin, io);
  ASSERT_FALSE(o.refused.has_value());
  EXPECT_EQ(o.ig.x.first, static_cast<double>(0.1f));
  EXPECT_EQ(o.ig.x.last, static_cast<double>(0.3f));
  EXPECT_EQ(o.ig.declared_points, 3);
  EXPECT_EQ(o.ig.sum, 6.0);
  EXPECT_EQ(o.ig.spare1, 0.75);
}

// The conversion's range is that of the driver: X beyond 9.0e10 (as an f32) is not read.
TEST_F(ReaderTest, ReadSpcReadsTheConversionsRange) {
  ByteImage image = new_format_header({.exponent = 32, .pointcount = 3, .firstx = 0.0,
                                       .lastx = 2.0e11});
  for (int k = 1; k <= 3; ++k) append_i32(image, k);
  const SpcRead r = read_spc(dir.write("far.spc", image), kCapacity, yin, io);
  ASSERT_FALSE(r.refused.has_value());
  EXPECT_EQ(std::vector<double>(r.ig.samples.begin(), r.ig.samples.end()),
            (std::vector<double>{1}));
  EXPECT_EQ(r.ig.declared_points, 3);
}

// Every way a file yields no interferogram comes back as a value, with nothing printed,
// no pause and no stop, whatever the classic run would do with it.
TEST_F(ReaderTest, ReadSpcReturnsEachRefusalAsAValueAndPrintsNothing) {
  ByteImage few = new_format_header({.exponent = 32, .pointcount = 1, .firstx = 0.0});
  append_i32(few, 1);
  std::filesystem::create_directory(dir.path() / "folder.spc");

  struct Case {
    const char* what;
    std::string path;  // of a file, or to be written from `image` when empty
    ByteImage image;
    values::Refusal code;
    std::string detail;  // with <path> for the path
    int capacity = 0;
    int required = 0;
  };
  const std::string missing = dir.file("missing.spc");
  const std::string folder = dir.file("folder.spc");
  const Case cases[] = {
      {"missing", missing, {}, values::Refusal::kCannotOpen,
       "Cannot open " + missing + ": No such file or directory"},
      {"a folder", folder, {}, values::Refusal::kCannotOpen,
       "Cannot read " + folder + ": not a regular file"},
      {"empty", "", {}, values::Refusal::kCannotOpen,
       "Cannot read <path>: the file ends inside its header"},
      {"one byte short", "", cut_short(new_format_header({.pointcount = 2})),
       values::Refusal::kCannotOpen,
       "Cannot read <path>: the file ends inside its header"},
      {"several traces", "", {0x04, 0x4B}, values::Refusal::kUnsupportedLayout,
       "this file format is not supported (several traces: spc-tool split writes each to a file)"},
      {"an X array", "", {0x80, 0x4B}, values::Refusal::kUnsupportedLayout,
       "this file format is not supported (an X array)"},
      {"all three", "", {0x86, 0x4B}, values::Refusal::kUnsupportedLayout,
       "this file format is not supported (several traces: spc-tool split writes each to a file, "
       "an X array, the compatibility flag)"},
      {"MSB first", "", {0x00, 0x4C}, values::Refusal::kMsbFirst, ""},
      {"too many points", "", too_many_points(299999.0), values::Refusal::kTooManyPoints, "",
       kCapacity, 300000},
      {"1 point", "", few, values::Refusal::kFewPoints, ""},
      {"a NaN sample", "", f32_points({1.0f, std::numeric_limits<float>::quiet_NaN()}, 0.0),
       values::Refusal::kNotFinite, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = c.path.empty() ? dir.write("refused.spc", c.image) : c.path;
    console.input.push_back("echo never");
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const SpcRead r = read_spc(path, kCapacity, yin, io);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ASSERT_TRUE(r.refused.has_value());
    EXPECT_EQ(r.refused->code, c.code);
    std::string detail = c.detail;
    if (const auto at = detail.find("<path>"); at != std::string::npos) {
      detail.replace(at, 6, path);
    }
    EXPECT_EQ(r.refused->detail, detail);
    EXPECT_EQ(r.refused->capacity, c.capacity);
    EXPECT_EQ(r.refused->required, c.required);
    EXPECT_EQ(r.ig.name, path);
    EXPECT_TRUE(r.ig.samples.empty());
  }
  EXPECT_EQ(console.output, "");
  EXPECT_EQ(console.reads, 0);

  // The points required are those in the requested range.
  std::vector<double> x12(12);
  const SpcRead part = read_spc(dir.write("ten.spc", ten_points()), 2.5, 6.0, 3, x12, yin, io);
  ASSERT_TRUE(part.refused.has_value());
  EXPECT_EQ(part.refused->code, values::Refusal::kTooManyPoints);
  EXPECT_EQ(part.refused->capacity, 3);
  EXPECT_EQ(part.refused->required, 4);
}

}  // namespace
}  // namespace ftir::spcfile
