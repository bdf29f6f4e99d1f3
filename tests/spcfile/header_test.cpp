// The header description on hand-made header bytes of every variant, the version-byte test
// for the choice of a reader, and the laser wavenumber an X axis states.
#include "spcfile/header.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <tuple>
#include <vector>

#include "support/spc_images.h"

namespace ftir::spcfile {
namespace {

using ftir::testing::ByteImage;
using ftir::testing::new_format_header;
using ftir::testing::old_format_header;
using values::Refusal;

// The X-unit byte: offset 28 in the new header, 16 in the old one.
ByteImage with_xunits(ByteImage image, std::size_t offset, unsigned char units) {
  image[offset] = units;
  return image;
}

// The refusal's code, if any.
std::optional<Refusal> refusal_of(const HeaderDescription& d) {
  return d.refused ? std::optional(d.refused->code) : std::nullopt;
}

TEST(HeaderDescription, EveryVariantFromItsHeaderBytes) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    const char* what;
    ByteImage image;
    HeaderVariant variant;
    SpcVariant layout;
    SampleKind kind;
    int exponent;
    double factor;
    double pointcount;
    std::int64_t declared;
    double xinc;
    values::XAxisFacts x;
    double spare1;
    double spare2;
    std::size_t data_offset;
    std::optional<Refusal> refused;
  };
  const Case cases[] = {
      {"new, 32-bit",
       with_xunits(new_format_header({.exponent = 26, .pointcount = 5, .firstx = 0.0,
                                      .lastx = 4.0, .spare1 = 2.5f, .spare2 = -7.25f}),
                   28, 1),
       HeaderVariant::kNewLsbFirst, SpcVariant::kNew, SampleKind::kInt32, 26, 1.0 / 64, 5, 5,
       1.0, {0.0, 4.0, 1}, 2.5, -7.25, 544, std::nullopt},
      {"new, 16-bit",
       new_format_header({.flags = 0x01, .exponent = 18, .pointcount = 3, .firstx = 10.0,
                          .lastx = 9.0}),
       HeaderVariant::kNewLsbFirst, SpcVariant::kNew, SampleKind::kInt16, 18, 4.0, 3, 3, -0.5,
       {10.0, 9.0, 0}, 0.0, 0.0, 544, std::nullopt},
      // Exponent -128 means f32 whatever bit 0x01 says; the factor goes unused.
      {"new, f32",
       new_format_header({.flags = 0x01, .exponent = -128, .pointcount = 2, .firstx = 1.0,
                          .lastx = 3.0}),
       HeaderVariant::kNewLsbFirst, SpcVariant::kNew, SampleKind::kFloat32, -128, 0.0, 2, 2, 2.0,
       {1.0, 3.0, 0}, 0.0, 0.0, 544, std::nullopt},
      {"old, 32-bit, high half first",
       with_xunits(old_format_header({.exponent = 32, .pointcount = 10.0f, .firstx = 0.5f,
                                      .lastx = 5.0f, .spare1 = 0.75f, .spare2 = 8.0f}),
                   16, 1),
       HeaderVariant::kOld, SpcVariant::kOld, SampleKind::kInt32HighHalfFirst, 32, 1.0, 10, 10,
       0.5, {0.5, 5.0, 1}, 0.75, 8.0, 256, std::nullopt},
      {"old, 16-bit",
       old_format_header({.flags = 0x01, .exponent = 13, .pointcount = 4.0f, .firstx = 0.0f,
                          .lastx = 3.0f}),
       HeaderVariant::kOld, SpcVariant::kOld, SampleKind::kInt16, 13, 0.125, 4, 4, 1.0,
       {0.0, 3.0, 0}, 0.0, 0.0, 256, std::nullopt},
      // An old count is an f32: its whole part is taken, at most the largest i32; the
      // increment uses the count itself.
      {"old, 2.5 points",
       old_format_header({.exponent = 32, .pointcount = 2.5f, .firstx = 0.0f, .lastx = 3.0f}),
       HeaderVariant::kOld, SpcVariant::kOld, SampleKind::kInt32HighHalfFirst, 32, 1.0, 2.5, 2,
       2.0, {0.0, 3.0, 0}, 0.0, 0.0, 256, std::nullopt},
      {"old, 3e9 points",
       old_format_header({.exponent = 32, .pointcount = 3.0e9f, .firstx = 0.0f, .lastx = 0.0f}),
       HeaderVariant::kOld, SpcVariant::kOld, SampleKind::kInt32HighHalfFirst, 32, 1.0, 3.0e9,
       2147483647, 0.0, {0.0, 0.0, 0}, 0.0, 0.0, 256, std::nullopt},
      {"version 0x00: read as the new format",
       new_format_header({.version = 0x00, .exponent = 32, .pointcount = 2, .firstx = 0.0,
                          .lastx = 1.0}),
       HeaderVariant::kUnknown, SpcVariant::kNew, SampleKind::kInt32, 32, 1.0, 2, 2, 1.0,
       {0.0, 1.0, 0}, 0.0, 0.0, 544, std::nullopt},
      // Only flags and version of an MSB-first header are decoded.
      {"MSB first",
       new_format_header({.version = 0x4C, .exponent = 32, .pointcount = 5, .lastx = 4.0}),
       HeaderVariant::kNewMsbFirst, SpcVariant::kNewMsbFirst, SampleKind::kInt32, 0, 0.0, 0, 0,
       0.0, {0.0, 0.0, 0}, 0.0, 0.0, 2, Refusal::kMsbFirst},
      // Refused flags leave the facts described.
      {"several traces",
       new_format_header({.flags = 0x04, .exponent = 32, .pointcount = 5, .lastx = 4.0}),
       HeaderVariant::kNewLsbFirst, SpcVariant::kNew, SampleKind::kInt32, 32, 1.0, 5, 5, 1.0,
       {0.0, 4.0, 0}, 0.0, 0.0, 544, Refusal::kUnsupportedLayout},
      {"compatibility flag and 1 point: the flags come first",
       new_format_header({.flags = 0x02, .pointcount = 1}), HeaderVariant::kNewLsbFirst,
       SpcVariant::kNew, SampleKind::kInt32, 0, std::ldexp(1.0, -32), 1, 0, 0.0, {0.0, 0.0, 0},
       0.0, 0.0, 544, Refusal::kUnsupportedLayout},
      {"new, 1 point",
       with_xunits(new_format_header({.exponent = 32, .pointcount = 1, .firstx = 5.0,
                                      .lastx = 5.0}),
                   28, 1),
       HeaderVariant::kNewLsbFirst, SpcVariant::kNew, SampleKind::kInt32, 32, 1.0, 1, 0, 0.0,
       {5.0, 5.0, 1}, 0.0, 0.0, 544, Refusal::kFewPoints},
      {"old, 1.5 points",
       old_format_header({.exponent = 32, .pointcount = 1.5f, .firstx = 0.0f, .lastx = 1.0f}),
       HeaderVariant::kOld, SpcVariant::kOld, SampleKind::kInt32HighHalfFirst, 32, 1.0, 1.5, 0,
       0.0, {0.0, 1.0, 0}, 0.0, 0.0, 256, Refusal::kFewPoints},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const HeaderDescription d = describe_header(c.image);
    EXPECT_TRUE(d.complete);
    EXPECT_EQ(d.variant, c.variant);
    EXPECT_EQ(d.layout, c.layout);
    EXPECT_EQ(d.flags, c.image[0]);
    EXPECT_EQ(d.kind, c.kind);
    EXPECT_EQ(d.exponent, c.exponent);
    EXPECT_EQ(d.factor, c.factor);
    EXPECT_EQ(d.pointcount, c.pointcount);
    EXPECT_EQ(d.declared, c.declared);
    EXPECT_EQ(d.xinc, c.xinc);
    EXPECT_EQ(std::tie(d.x.first, d.x.last, d.x.units), std::tie(c.x.first, c.x.last, c.x.units));
    EXPECT_EQ(d.spare1, c.spare1);
    EXPECT_EQ(d.spare2, c.spare2);
    EXPECT_EQ(d.data_offset, c.data_offset);
    EXPECT_EQ(refusal_of(d), c.refused);
    // Only the refused layouts say which flag refused them.
    if (d.refused && d.refused->code != Refusal::kUnsupportedLayout) {
      EXPECT_EQ(d.refused->detail, "");
    }
  }

  // A NaN count is fewer than 2 points.
  const HeaderDescription d = describe_header(old_format_header({.pointcount = nan}));
  EXPECT_EQ(refusal_of(d), Refusal::kFewPoints);
  EXPECT_EQ(d.declared, 0);
}

// A header cut short is described as far as its bytes go; only the flags and the version
// can refuse it then.
TEST(HeaderDescription, BytesThatEndInsideTheHeader) {
  ByteImage new_short = new_format_header({.pointcount = 2});
  new_short.resize(543);
  ByteImage old_short = old_format_header({.pointcount = 2.0f});
  old_short.resize(255);
  struct Case {
    const char* what;
    ByteImage image;
    HeaderVariant variant;
    bool complete;
    std::size_t data_offset;
    std::optional<Refusal> refused;
  };
  const Case cases[] = {
      {"none", {}, HeaderVariant::kUnknown, false, 0, std::nullopt},
      {"one byte", {0x04}, HeaderVariant::kUnknown, false, 0, std::nullopt},
      {"flags and version", {0x00, 0x4B}, HeaderVariant::kNewLsbFirst, false, 544, std::nullopt},
      {"new, one byte short", new_short, HeaderVariant::kNewLsbFirst, false, 544, std::nullopt},
      {"old, one byte short", old_short, HeaderVariant::kOld, false, 256, std::nullopt},
      {"refused flags", {0x02, 0x4D}, HeaderVariant::kOld, false, 256,
       Refusal::kUnsupportedLayout},
      {"MSB first: 2 bytes are its whole header", {0x00, 0x4C}, HeaderVariant::kNewMsbFirst, true,
       2, Refusal::kMsbFirst},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const HeaderDescription d = describe_header(c.image);
    EXPECT_EQ(d.variant, c.variant);
    EXPECT_EQ(d.complete, c.complete);
    EXPECT_EQ(d.data_offset, c.data_offset);
    EXPECT_EQ(d.declared, 0);
    EXPECT_EQ(refusal_of(d), c.refused);
  }
}

TEST(HeaderDescription, LooksLikeSpcByTheVersionByte) {
  struct Case {
    std::vector<unsigned char> bytes;
    bool spc;
  };
  const Case cases[] = {{{}, false},           {{0x4B}, false},       {{0x00, 0x4B}, true},
                        {{0x00, 0x4C}, true},  {{0x87, 0x4D}, true},  {{0x00, 0x4A}, false},
                        {{0x00, 0x4E}, false}, {{0x4B, 0x00}, false}, {{0x00, 0x00, 0x4B}, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    EXPECT_EQ(looks_like_spc(c.bytes), c.spc);
  }
}

// First X counts as 0 within 1e-9 of the last X, rounding left by instruments included.
TEST(LaserFromX, TwiceTheLastXOverSamprForAnAxisInWavenumbersFromZero) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* what;
    values::XAxisFacts x;
    double sampr;
    std::optional<double> wref;
  };
  const Case cases[] = {
      {"cm-1 from 0", {0.0, 7898.5, 1}, 1.0, 15797.0},
      {"sampr 2", {0.0, 7898.5, 1}, 2.0, 7898.5},
      {"first X -0", {-0.0, 4096.0, 1}, 4.0, 2048.0},
      {"first X as IG_MULTI's traces hold it", {-7.99e-14, 7900.41175, 1}, 1.0, 15800.8235},
      {"first X half the tolerance", {4.096e-6, 8192.0, 1}, 1.0, 16384.0},
      {"first X -half the tolerance", {-4.096e-6, 8192.0, 1}, 2.0, 8192.0},
      {"first X twice the tolerance", {1.6384e-5, 8192.0, 1}, 1.0, std::nullopt},
      {"first X -twice the tolerance", {-1.6384e-5, 8192.0, 1}, 1.0, std::nullopt},
      {"first X NaN", {nan, 8192.0, 1}, 1.0, std::nullopt},
      {"another unit", {0.0, 7898.5, 0}, 1.0, std::nullopt},
      {"last X 0", {0.0, 0.0, 1}, 1.0, std::nullopt},
      {"last X below 0", {0.0, -7898.5, 1}, 1.0, std::nullopt},
      {"last X NaN", {0.0, nan, 1}, 1.0, std::nullopt},
      {"last X infinite", {0.0, inf, 1}, 1.0, std::nullopt},
      {"a quotient beyond the doubles", {0.0, 7898.5, 1}, 1.0e-310, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(laser_from_x(c.x, c.sampr), c.wref);
  }
}

}  // namespace
}  // namespace ftir::spcfile
