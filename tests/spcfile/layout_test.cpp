// Header records: every field decoded from, and encoded to, its own offset.
#include "spcfile/layout.h"

#include <gtest/gtest.h>

#include <string>

#include "support/spc_images.h"

namespace ftir::spcfile {
namespace {

using ftir::testing::ByteImage;
using ftir::testing::set_f32;
using ftir::testing::set_f64;
using ftir::testing::set_le;

TEST(Layout, DecodesEveryNewFormatField) {
  ByteImage image(544, 0);
  image[0] = 0x01;
  image[1] = 0x4B;
  image[2] = 0x0F;
  image[3] = 0xE6;  // -26
  set_le(image, 4, 4645, 4);
  set_f64(image, 8, 0.25);
  set_f64(image, 16, 7900.5);
  set_le(image, 24, 3, 4);
  image[28] = 1;
  image[29] = 2;
  image[30] = 3;
  image[31] = 4;
  set_le(image, 32, 0xA1B2C3D4u, 4);
  const std::string restext = "4.0 cm-1X";
  const std::string source = "Source123";
  std::copy(restext.begin(), restext.end(), image.begin() + 36);
  std::copy(source.begin(), source.end(), image.begin() + 45);
  set_le(image, 54, static_cast<std::uint16_t>(-550), 2);
  for (int i = 0; i < 8; ++i) set_f32(image, 56 + 4 * static_cast<std::size_t>(i), 0.5f * static_cast<float>(i + 1));
  image[88] = 'C';
  image[217] = 'c';
  image[218] = 'A';
  image[247] = 'a';
  set_le(image, 248, 19124, 4);
  set_le(image, 252, 0x11223344u, 4);
  image[256] = 5;
  image[257] = 6;
  set_le(image, 258, 7, 2);
  set_f32(image, 260, 2.5f);
  image[264] = 'M';
  image[311] = 'm';
  image[312] = 0x77;
  image[511] = 0x99;
  image[512] = 0x81;  // subheader
  image[513] = 0xFE;
  set_le(image, 514, 9, 2);
  set_f32(image, 516, 1.0f);
  set_f32(image, 520, 2.0f);
  set_f32(image, 524, 3.0f);
  set_le(image, 528, 4096, 4);
  set_le(image, 532, 16, 4);
  set_f32(image, 536, 4.0f);
  image[540] = 0xEE;

  DecodedHeader d;
  ASSERT_TRUE(decode_header(image, d));
  EXPECT_EQ(d.variant, SpcVariant::kNew);
  EXPECT_EQ(d.data_offset, 544u);
  const SpcHeader& h = d.header;
  EXPECT_EQ(h.flags, 0x01);
  EXPECT_EQ(h.version, 0x4B);
  EXPECT_EQ(h.exptype, 0x0F);
  EXPECT_EQ(h.exponent, -26);
  EXPECT_EQ(h.pointcount, 4645);
  EXPECT_EQ(h.firstx, 0.25);
  EXPECT_EQ(h.lastx, 7900.5);
  EXPECT_EQ(h.subfiles, 3);
  EXPECT_EQ(h.xunits, 1);
  EXPECT_EQ(h.yunits, 2);
  EXPECT_EQ(h.zunits, 3);
  EXPECT_EQ(h.postflags, 4);
  EXPECT_EQ(h.stamp, 0xA1B2C3D4u);
  EXPECT_EQ(std::string(h.restext.begin(), h.restext.end()), restext);
  EXPECT_EQ(std::string(h.source.begin(), h.source.end()), source);
  EXPECT_EQ(h.peakpoint, -550);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(h.spare[static_cast<std::size_t>(i)], 0.5f * static_cast<float>(i + 1));
  EXPECT_EQ(h.comment.front(), 'C');
  EXPECT_EQ(h.comment.back(), 'c');
  EXPECT_EQ(h.axislabels.front(), 'A');
  EXPECT_EQ(h.axislabels.back(), 'a');
  EXPECT_EQ(h.logoffset, 19124u);
  EXPECT_EQ(h.modflags, 0x11223344u);
  EXPECT_EQ(h.proccode, 5);
  EXPECT_EQ(h.callevel, 6);
  EXPECT_EQ(h.injection, 7);
  EXPECT_EQ(h.datafactor, 2.5f);
  EXPECT_EQ(h.method.front(), 'M');
  EXPECT_EQ(h.method.back(), 'm');
  EXPECT_EQ(h.zwblock.front(), 0x77);
  EXPECT_EQ(h.zwblock.back(), 0x99);
  const SpcSubheader& s = d.subheader;
  EXPECT_EQ(s.subflags, 0x81);
  EXPECT_EQ(s.subexp, -2);
  EXPECT_EQ(s.subindex, 9);
  EXPECT_EQ(s.start_z, 1.0f);
  EXPECT_EQ(s.end_z, 2.0f);
  EXPECT_EQ(s.noise, 3.0f);
  EXPECT_EQ(s.npoints, 4096);
  EXPECT_EQ(s.scans, 16);
  EXPECT_EQ(s.w_level, 4.0f);
  EXPECT_EQ(s.reserved[0], 0xEE);

  image.resize(543);
  EXPECT_FALSE(decode_header(image, d));
}

TEST(Layout, DecodesEveryOldFormatFieldAndEncodesThemBackAtTheSameOffsets) {
  ByteImage image(256, 0);
  image[0] = 0x00;
  image[1] = 0x4D;
  set_le(image, 2, static_cast<std::uint16_t>(-5), 2);
  set_f32(image, 4, 1602.0f);
  set_f32(image, 8, 100.0f);
  set_f32(image, 12, 1800.0f);
  image[16] = 13;
  image[17] = 1;
  set_le(image, 18, 2024, 2);
  image[20] = 12;
  image[21] = 31;
  image[22] = 23;
  image[23] = 59;
  const std::string restext = "  4.000";
  std::copy(restext.begin(), restext.end(), image.begin() + 24);
  set_le(image, 32, 17, 2);
  set_le(image, 34, 64, 2);
  for (int i = 0; i < 7; ++i) set_f32(image, 36 + 4 * static_cast<std::size_t>(i), -1.0f * static_cast<float>(i + 1));
  image[64] = 'C';
  image[193] = 'c';
  image[194] = 'A';
  image[223] = 'a';
  image[224] = 0x81;
  image[225] = 0xFE;
  set_le(image, 240, 1149, 4);
  image[255] = 0x5A;

  DecodedHeader d;
  ASSERT_TRUE(decode_header(image, d));
  EXPECT_EQ(d.variant, SpcVariant::kOld);
  EXPECT_EQ(d.data_offset, 256u);
  const SpcOldHeader& h = d.old_header;
  EXPECT_EQ(h.exponent, -5);
  EXPECT_EQ(h.pointcount, 1602.0f);
  EXPECT_EQ(h.firstx, 100.0f);
  EXPECT_EQ(h.lastx, 1800.0f);
  EXPECT_EQ(h.xunits, 13);
  EXPECT_EQ(h.yunits, 1);
  EXPECT_EQ(h.year, 2024);
  EXPECT_EQ(h.month, 12);
  EXPECT_EQ(h.day, 31);
  EXPECT_EQ(h.hour, 23);
  EXPECT_EQ(h.minute, 59);
  EXPECT_EQ(std::string(h.restext.data(), 7), restext);
  EXPECT_EQ(h.restext[7], '\0');
  EXPECT_EQ(h.peakpoint, 17);
  EXPECT_EQ(h.scans, 64);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(h.spare[static_cast<std::size_t>(i)], -1.0f * static_cast<float>(i + 1));
  EXPECT_EQ(h.comment.front(), 'C');
  EXPECT_EQ(h.comment.back(), 'c');
  EXPECT_EQ(h.axislabels.front(), 'A');
  EXPECT_EQ(h.axislabels.back(), 'a');
  EXPECT_EQ(d.subheader.subflags, 0x81);
  EXPECT_EQ(d.subheader.subexp, -2);
  EXPECT_EQ(d.subheader.npoints, 1149);
  EXPECT_EQ(d.subheader.reserved[3], 0x5A);

  ByteImage encoded(256, 0xCC);
  encode_old_header(h, std::span<unsigned char, 256>(encoded));
  EXPECT_EQ(encoded, image);
}

TEST(Layout, VersionByteSelectsTheVariant) {
  EXPECT_EQ(variant_of(0x4D), SpcVariant::kOld);
  EXPECT_EQ(variant_of(0x4C), SpcVariant::kNewMsbFirst);
  for (int v : {0x4B, 0x00, 0x41, 0x4E, 0xFF}) {
    EXPECT_EQ(variant_of(static_cast<std::uint8_t>(v)), SpcVariant::kNew);
  }
  DecodedHeader d;
  EXPECT_TRUE(decode_header(ByteImage{0x00, 0x4C}, d));
  EXPECT_EQ(d.variant, SpcVariant::kNewMsbFirst);
  EXPECT_FALSE(decode_header(ByteImage{0x00}, d));
}

}  // namespace
}  // namespace ftir::spcfile
