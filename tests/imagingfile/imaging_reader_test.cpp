// The imaging tile and mosaic read as record sets: the facts of the shared files (from the
// folder's README, the vendor's ENVI header and the data bytes at fixed places), the
// placement of pixels and tiles, and one refusal per kind of damage.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <tuple>

#include "imagingfile/reader.h"
#include "support/spc_images.h"

namespace ftir {
namespace {

namespace fs = std::filesystem;
using testing::ByteImage;
using testing::TempDir;
using values::Refusal;

const fs::path kAgilent = FTIR_SOURCE_DIR "/tests/data/agilent";

// The f32 a data file stores for pixel `pixel` (stored order) at point `k`.
double stored(const ByteImage& file, int pixels, int pixel, int k) {
  const std::size_t at = 1020 + 4 * (static_cast<std::size_t>(k) * pixels + pixel);
  float v;
  std::memcpy(&v, file.data() + at, 4);
  return v;
}

TEST(ImagingTile, SharedTileFacts) {
  const auto r = imagingfile::read_tile((kAgilent / "4_noimage_agg256.seq").string());
  ASSERT_FALSE(r.refused) << r.refused->text();
  const values::RecordSet& s = r.set;
  EXPECT_EQ(s.facts.format, values::SetFormat::kImagingTile);
  EXPECT_EQ(s.shape, (std::vector<long>{8, 8}));
  EXPECT_EQ(s.records(), 64);
  EXPECT_EQ(s.facts.points, 311);
  EXPECT_EQ(s.samples.size(), 64u * 311u);
  EXPECT_DOUBLE_EQ(*s.facts.laser, 15798.0039);
  EXPECT_EQ(s.facts.undersampling, 4);
  EXPECT_EQ(s.facts.nominal_zpd, 68);
  EXPECT_NEAR(s.facts.xinc, 4.0 / (2.0 * 15798.0039), 1e-13);  // the laser as printed
  EXPECT_EQ(s.facts.symmetry, "ASYM");
  EXPECT_TRUE(s.facts.notes.empty());
  const std::tuple<const char*, const char*> kSettings[] = {
      {"Resolution", "32"},
      {"PixelAggregationSize", "16"},
      {"Apodization Type", "Blackman Harris 4 Term"},
      {"Zero Filling Factor", "Auto"},
      {"Region", "2100, 2000 Wavenumber"},
      {"History", "Average Subtract; Compute; Truncate; Ratio"},
      {"Interferogram axis", "0.00012659827227975054 -68 311"},
  };
  for (const auto& [key, value] : kSettings) {
    SCOPED_TRACE(key);
    ASSERT_NE(s.facts.parameter(key), nullptr);
    EXPECT_EQ(*s.facts.parameter(key), value);
  }
  EXPECT_NE(s.facts.parameter("Background Filename")->find("background_agg256.dat"),
            std::string::npos);
  // The vendor's spectra axis against the wavelengths its ENVI header lists.
  const std::string axis = *s.facts.parameter("Spectrum axis");
  const double spacing = std::stod(axis);
  EXPECT_EQ(axis.substr(axis.find(' ')), " 129 9");
  EXPECT_NEAR(spacing * 129, 1990.17823, 5e-6);
  EXPECT_NEAR(spacing * 137, 2113.60013, 5e-6);
}

TEST(ImagingTile, PixelsKeepTheStoredOrderAndCentreOnTheNominalZpd) {
  const auto r = imagingfile::read_tile((kAgilent / "4_noimage_agg256.seq").string());
  ASSERT_FALSE(r.refused);
  const ByteImage raw = testing::read_file_bytes(kAgilent / "4_noimage_agg256.seq");
  const std::tuple<int, int, int, int> kPixels[] = {  // record, x, y from the top, point
      {0, 0, 7, 0}, {7, 7, 7, 310}, {8, 0, 6, 68}, {63, 7, 0, 100}, {36, 4, 3, 5}};
  for (const auto& [rec, x, y, k] : kPixels) {
    SCOPED_TRACE(rec);
    EXPECT_EQ(r.set.table[rec].x, x);
    EXPECT_EQ(r.set.table[rec].y, y);
    EXPECT_EQ(r.set.record(rec)[k], stored(raw, 64, rec, k));
  }
  // Every pixel's centerburst (its largest excursion from the mean) lies at the header's
  // nominal ZPD or within two samples of it.
  for (long rec = 0; rec < r.set.records(); ++rec) {
    const auto x = r.set.record(rec);
    double mean = 0.0;
    for (double v : x) mean += v;
    mean /= static_cast<double>(x.size());
    std::size_t at = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
      if (std::abs(x[i] - mean) > std::abs(x[at] - mean)) at = i;
    }
    EXPECT_LE(std::abs(static_cast<int>(at) - 68), 2) << "record " << rec;
    EXPECT_EQ(r.set.table[static_cast<std::size_t>(rec)].zpd, 68);
  }
}

TEST(ImagingMosaic, TilesGoWhereTheGridPutsThem) {
  const auto r = imagingfile::read_mosaic((kAgilent / "5_mosaic_agg1024.dmt").string());
  ASSERT_FALSE(r.refused) << r.refused->text();
  const values::RecordSet& s = r.set;
  EXPECT_EQ(s.facts.format, values::SetFormat::kImagingMosaic);
  EXPECT_EQ(s.shape, (std::vector<long>{8, 4}));
  EXPECT_EQ(s.facts.points, 311);
  EXPECT_EQ(s.facts.nominal_zpd, 68);
  EXPECT_EQ(*s.facts.parameter("PixelAggregationSize"), "32");
  EXPECT_TRUE(s.facts.notes.empty());
  const ByteImage top = testing::read_file_bytes(kAgilent / "5_Mosaic_agg1024_0000_0000.drd");
  const ByteImage bottom = testing::read_file_bytes(kAgilent / "5_Mosaic_agg1024_0000_0001.drd");
  // Rows count from the bottom: tile y 1 fills records 0..15, tile y 0 records 16..31.
  const std::tuple<int, const ByteImage*, int, int> kPixels[] = {
      {0, &bottom, 0, 7}, {15, &bottom, 15, 4}, {16, &top, 0, 3}, {31, &top, 15, 0}};
  for (const auto& [rec, file, pixel, y] : kPixels) {
    SCOPED_TRACE(rec);
    EXPECT_EQ(s.table[rec].y, y);
    for (int k : {0, 68, 310}) EXPECT_EQ(s.record(rec)[k], stored(*file, 16, pixel, k));
  }
}

// A copy of the shared files in a fresh folder, for damage.
struct Copy {
  TempDir dir;
  Copy() {
    for (const auto& e : fs::directory_iterator(kAgilent)) {
      fs::copy_file(e.path(), dir.path() / e.path().filename());
    }
  }
  std::string path(const char* name) const { return dir.file(name); }
  ByteImage bytes(const char* name) const { return testing::read_file_bytes(path(name)); }
  void write(const char* name, const ByteImage& b) const { dir.write(name, b); }
  void patch_u32(const char* name, std::size_t at, std::uint32_t v) const {
    ByteImage b = bytes(name);
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(v >> (8 * i));
    write(name, b);
  }
};

TEST(ImagingTile, DamageIsRefusedNamingTheFileAndReason) {
  using Damage = void (*)(const Copy&);
  const std::tuple<const char*, Damage, const char*, Refusal, const char*> kCases[] = {
      {"seq one byte short", [](const Copy& c) { ByteImage b = c.bytes("t.seq"); b.pop_back(); c.write("t.seq", b); },
       "t.seq", Refusal::kBadBlockSize, "80635 bytes"},
      {"seq header short", [](const Copy& c) { c.write("t.seq", ByteImage(1000, 0)); },
       "t.seq", Refusal::kShortHeader, "1020-byte header"},
      {"points disagree with size", [](const Copy& c) { c.patch_u32("t.seq", 9, 312); },
       "t.seq", Refusal::kBadBlockSize, "80636 bytes"},
      {"counts overflow", [](const Copy& c) { c.patch_u32("t.seq", 9, 0xFFFFFFFFu); c.patch_u32("t.seq", 24, 0xFFFFFFFFu); },
       "t.seq", Refusal::kBadBlockSize, "65535 x 65535 pixels x 4294967295 points, which overflows"},
      {"pixels disagree with header", [](const Copy& c) { c.patch_u32("t.seq", 24, 4 | (16 << 16)); },
       "t.seq", Refusal::kBadBlockSize, "4 x 16 pixels, its header file states 8 x 8"},
      {"header missing", [](const Copy& c) { fs::remove(c.path("t.bsp")); },
       "t.bsp", Refusal::kCannotOpen, "t.bsp"},
      {"header not a compound file", [](const Copy& c) { c.patch_u32("t.bsp", 0, 0); },
       "t.bsp", Refusal::kBadParameters, "not a compound file"},
      {"header chain loops", [](const Copy& c) { c.patch_u32("t.bsp", 512 + 4 * 13, 13); },
       "t.bsp", Refusal::kShortHeader, "loops"},
      {"header table beyond the file", [](const Copy& c) { c.patch_u32("t.bsp", 76, 5000); },
       "t.bsp", Refusal::kShortHeader, "beyond the end"},
  };
  for (const auto& [what, damage, file, code, reason] : kCases) {
    SCOPED_TRACE(what);
    Copy c;
    fs::rename(c.path("4_noimage_agg256.seq"), c.path("t.seq"));
    fs::rename(c.path("4_noimage_agg256.bsp"), c.path("t.bsp"));
    damage(c);
    const auto r = imagingfile::read_tile(c.path("t.seq"));
    ASSERT_TRUE(r.refused);
    EXPECT_EQ(r.refused->file, c.path(file));
    EXPECT_EQ(r.refused->reason.code, code);
    EXPECT_NE(r.refused->text().find(reason), std::string::npos) << r.refused->text();
  }
}

TEST(ImagingTile, AxesFoundAtTheirFixedPlacesWhenTheirNamesAreDamaged) {
  Copy c;
  const auto good = imagingfile::read_tile(c.path("4_noimage_agg256.seq"));
  ByteImage b = c.bytes("4_noimage_agg256.bsp");
  // The length before the key "Interferogram" (file offset 13021) and before the stream's
  // first "Data" (its sector starts at file offset 7168, the key 8 bytes in).
  b[13021 - 4] = 0;
  b[7168 + 8 - 4] = 0;
  c.write("4_noimage_agg256.bsp", b);
  const auto r = imagingfile::read_tile(c.path("4_noimage_agg256.seq"));
  ASSERT_FALSE(r.refused);
  EXPECT_EQ(r.set.facts.notes, (std::vector<std::string>{
                                   "the interferogram axis was read at its fixed place",
                                   "the spectrum axis was read at its fixed place"}));
  EXPECT_EQ(r.set.facts.parameters, good.set.facts.parameters);
}

TEST(ImagingTile, HeaderCutShortAnywhereIsRefusedOrReadsTheSameFacts) {
  Copy c;
  const ByteImage whole = c.bytes("4_noimage_agg256.bsp");
  const auto good = imagingfile::read_tile(c.path("4_noimage_agg256.seq"));
  ASSERT_FALSE(good.refused);
  for (std::size_t n = 0; n < whole.size(); n += 61) {
    SCOPED_TRACE(n);
    c.write("4_noimage_agg256.bsp", ByteImage(whole.begin(), whole.begin() + static_cast<long>(n)));
    const auto r = imagingfile::read_tile(c.path("4_noimage_agg256.seq"));
    if (r.refused) {
      EXPECT_EQ(r.refused->file, c.path("4_noimage_agg256.bsp"));
    } else {
      EXPECT_EQ(r.set.facts.parameters, good.set.facts.parameters);
    }
  }
}

TEST(ImagingTile, NonFiniteSamplesRefuseTheirRecordOnly) {
  Copy c;
  ByteImage b = c.bytes("4_noimage_agg256.seq");
  const std::size_t at = 1020 + 4 * (100 * 64 + 5);  // record 5, point 100
  b[at] = 0; b[at + 1] = 0; b[at + 2] = 0xC0; b[at + 3] = 0x7F;
  c.write("4_noimage_agg256.seq", b);
  const auto r = imagingfile::read_tile(c.path("4_noimage_agg256.seq"));
  ASSERT_FALSE(r.refused);
  for (long rec = 0; rec < 64; ++rec) {
    EXPECT_EQ(r.set.table[static_cast<std::size_t>(rec)].refused.has_value(), rec == 5) << rec;
  }
  EXPECT_EQ(r.set.table[5].refused->code, Refusal::kNotFinite);
}

TEST(ImagingTile, ConsistentButHugeFileIsRefusedBeforeAllocating) {
  Copy c;
  ByteImage head(1020, 0);
  head[9] = 0x37; head[10] = 0x01;  // 311 points
  head[24] = 0; head[25] = 0x40;    // 16384 x 64 pixels: 1.3 GB of data
  head[26] = 64;
  c.write("4_noimage_agg256.seq", head);
  fs::resize_file(c.path("4_noimage_agg256.seq"), 1020 + 4ull * 311 * 16384 * 64);
  const auto r = imagingfile::read_tile(c.path("4_noimage_agg256.seq"), {std::uint64_t{1} << 24});
  ASSERT_TRUE(r.refused);
  EXPECT_TRUE(r.set.samples.empty());
}

TEST(ImagingMosaic, MissingExtraAndWrongTiles) {
  {
    SCOPED_TRACE("missing tile: its pixels NaN, refused, noted");
    Copy c;
    fs::remove(c.path("5_Mosaic_agg1024_0000_0000.drd"));
    const auto r = imagingfile::read_mosaic(c.path("5_mosaic_agg1024.dmt"));
    ASSERT_FALSE(r.refused);
    ASSERT_EQ(r.set.facts.notes.size(), 1u);
    EXPECT_EQ(r.set.facts.notes[0], "tile x 0, y 0 is missing: its pixels are NaN");
    for (long rec = 0; rec < 32; ++rec) {
      EXPECT_EQ(r.set.table[static_cast<std::size_t>(rec)].refused.has_value(), rec >= 16);
      EXPECT_EQ(std::isnan(r.set.record(rec)[0]), rec >= 16);
    }
  }
  const std::tuple<const char*, const char*, const char*, Refusal> kCases[] = {
      {"extra tile beyond the grid", "5_Mosaic_agg1024_0001_0000.drd", "outside the mosaic's 1 x 2 grid",
       Refusal::kBlockOutside},
      {"tile of another size", "5_Mosaic_agg1024_0000_0001.drd", "20924 bytes hold, but the file has 20920",
       Refusal::kBadBlockSize},
  };
  for (const auto& [what, file, reason, code] : kCases) {
    SCOPED_TRACE(what);
    Copy c;
    ByteImage b = c.bytes("5_Mosaic_agg1024_0000_0001.drd");
    if (code == Refusal::kBadBlockSize) b.resize(b.size() - 4);
    c.write(file, b);
    const auto r = imagingfile::read_mosaic(c.path("5_mosaic_agg1024.dmt"));
    ASSERT_TRUE(r.refused);
    EXPECT_EQ(r.refused->file, c.path(file));
    EXPECT_EQ(r.refused->reason.code, code);
    EXPECT_NE(r.refused->text().find(reason), std::string::npos) << r.refused->text();
  }
}

}  // namespace
}  // namespace ftir
