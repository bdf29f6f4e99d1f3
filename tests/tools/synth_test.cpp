// The interferogram generator: header and data bytes of every layout, files the converter's
// reader reads back, the centerburst where asked, symmetry without phase, and a transform
// back to the source spectrum (envelope, line positions, phase).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "driver/prepare.h"
#include "report/fake_console.h"
#include "report/report.h"
#include "spcfile/reader.h"
#include "spcfile/writer.h"
#include "support/spc_images.h"
#include "synth/interferogram.h"
#include "transform/complex.h"
#include "transform/fft.h"

namespace ftir::synth {
namespace {

using ftir::testing::ByteImage;
using ftir::testing::TempDir;

// wref 16384 with sampr 1: xstep = 2^-14 cm and fmax = 8192 cm-1, both exact.
InterferogramSpec small_spec() {
  InterferogramSpec recipe;
  recipe.points = 256;
  recipe.center = 64;
  recipe.sampr = 1.0;
  recipe.wref = 16384.0;
  recipe.source.low = 1000.0;
  recipe.source.high = 4000.0;
  recipe.source.shape = EnvelopeShape::kFlat;
  recipe.peak = 10000.0;
  return recipe;
}

std::string hex(const std::vector<unsigned char>& bytes, std::size_t offset, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", bytes.at(offset + i));
    text += byte;
  }
  return text;
}

// With zero phase the centre sample is the sum of every spectral value, the largest of all,
// so it is exactly `peak` = 10000 < 2^14: the exponent is 15, and the centre sample stores
// 10000 * 2^17 = 0x4E200000 as a 32-bit integer, 10000 * 2 = 0x4E20 as a 16-bit one, and
// 10000.0f = 0x461C4000 as an f32.
TEST(SynthFile, HeaderAndDataBytesOfEveryLayout) {
  const InterferogramSpec recipe = small_spec();
  const std::vector<double> y = make_interferogram(recipe);
  ASSERT_EQ(y[64], 10000.0);

  SpcFileSpec file;
  file.firstx = 0.0;
  file.lastx = 8192.0;
  file.stamp = {2024, 3, 5, 14, 7};
  file.restext = "4cm-1";
  file.source = "synthetic";
  file.comment = "abc";
  file.peakpoint = 65;

  struct Case {
    SpcFormat format;
    SampleType type;
    std::size_t size;
    std::vector<std::pair<std::size_t, std::string>> bytes;  // offset, expected hex
  };
  const Case cases[] = {
      {SpcFormat::kNew,
       SampleType::kInt32,
       544 + 4 * 256,
       {{0, "00 4B 00 0F"},
        {4, "00 01 00 00"},                                      // pointcount 256
        {8, "00 00 00 00 00 00 00 00 00 00 00 00 00 00 C0 40"},  // firstx 0, lastx 8192
        {24, "01 00 00 00 01 01"},                               // one subfile, cm-1, interferogram
        {32, "87 2B 83 7E"},                                     // 2024-03-05 14:07 packed
        {36, "34 63 6D 2D 31 00 00 00 00"},                      // "4cm-1"
        {45, "73 79 6E 74 68 65 74 69 63"},                      // "synthetic"
        {54, "41 00"},                                           // peak point 65
        {88, "61 62 63 00"},                                     // "abc"
        {512, "00 0F 00 00"},                                    // subheader exponent
        {544 + 4 * 64, "00 00 20 4E"}}},
      {SpcFormat::kNew,
       SampleType::kInt16,
       544 + 2 * 256,
       {{0, "01 4B 00 0F"}, {512, "00 0F"}, {544 + 2 * 64, "20 4E"}}},
      {SpcFormat::kNew,
       SampleType::kFloat32,
       544 + 4 * 256,
       {{0, "00 4B 00 80"}, {512, "00 80"}, {544 + 4 * 64, "00 40 1C 46"}}},
      {SpcFormat::kOld,
       SampleType::kInt32,
       256 + 4 * 256,
       {{0, "00 4D 0F 00"},
        {4, "00 00 80 43 00 00 00 00 00 00 00 46"},  // 256.0f, 0.0f, 8192.0f
        {16, "01 01 E8 07 03 05 0E 07"},             // units, 2024, 3, 5, 14, 7
        {24, "34 63 6D 2D 31 00 00 00 41 00"},       // "4cm-1", peak point 65
        {64, "61 62 63 00"},
        {224, "00 0F"},
        {256 + 4 * 64, "20 4E 00 00"}}},  // more significant half first
      {SpcFormat::kOld,
       SampleType::kInt16,
       256 + 2 * 256,
       {{0, "01 4D 0F 00"}, {256 + 2 * 64, "20 4E"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "format " << static_cast<int>(c.format) << ", type "
                                      << static_cast<int>(c.type));
    file.format = c.format;
    file.type = c.type;
    const std::vector<unsigned char> bytes = encode_spc(y, file);
    ASSERT_EQ(bytes.size(), c.size);
    for (const auto& [offset, expected] : c.bytes) {
      SCOPED_TRACE(::testing::Message() << "offset " << offset);
      EXPECT_EQ(hex(bytes, offset, (expected.size() + 1) / 3), expected);
    }
  }
}

// Every layout, written to a file, reads back through the converter's reader to the
// generated samples, to within the integer step and the reader's f32 rounding.
TEST(SynthFile, ReadsBackThroughTheConvertersReader) {
  InterferogramSpec recipe = small_spec();
  recipe.points = 1000;
  recipe.center = 300;
  recipe.source.lines = {{2000.0, 20.0, 0.4, LineShape::kLorentz}};
  recipe.offset = 0.2;
  recipe.dc = -1234.5;
  recipe.noise = 1e-3;
  const std::vector<double> y = make_interferogram(recipe);
  const int exponent = sample_exponent(y);

  struct Case {
    SpcFormat format;
    SampleType type;
    int bits;  // 0: f32
  };
  const Case cases[] = {{SpcFormat::kNew, SampleType::kInt32, 32},
                        {SpcFormat::kNew, SampleType::kInt16, 16},
                        {SpcFormat::kNew, SampleType::kFloat32, 0},
                        {SpcFormat::kOld, SampleType::kInt32, 32},
                        {SpcFormat::kOld, SampleType::kInt16, 16}};
  TempDir dir;
  std::vector<double> xin(2000);
  std::vector<double> yin(2000);
  std::vector<unsigned char> io(spcfile::kIoBufferBytes);
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "format " << static_cast<int>(c.format) << ", bits " << c.bits);
    SpcFileSpec file;
    file.format = c.format;
    file.type = c.type;
    file.lastx = 8192.0;
    const std::string path = dir.file("ig.spc");
    write_file(path, encode_spc(y, file));
    ftir::testing::FakeConsole console;
    report::Report report(console);
    const spcfile::ReadResult read =
        spcfile::READSC(report, path, -9.0e10, 9.0e10, 2000, xin, yin, io);
    ASSERT_EQ(read.npts, 1000);
    EXPECT_EQ(xin[0], 0.0);
    EXPECT_NEAR(xin[999], 8192.0, 1e-3);
    const double step = c.bits == 0 ? 0.0 : std::ldexp(1.0, exponent - c.bits);
    for (std::size_t j = 0; j < 1000; ++j) {
      const double tolerance = step + std::fabs(y[j]) * 0x1p-23;
      ASSERT_NEAR(yin[j], y[j], tolerance) << "sample " << j;
    }
  }
}

// The centerburst the converter finds in `y` (0-based).
int converter_jmax(std::vector<double> y) {
  ftir::testing::FakeConsole console;
  report::Report report(console);
  return driver::remove_mean_and_find_centerburst(report, y, static_cast<int>(y.size())) - 1;
}

TEST(Synth, CenterburstLiesAtTheRequestedSample) {
  struct Case {
    int points;
    int center;
    double offset;
    double dispersion;
    double peak;
    double dc;
    double noise;
  };
  const Case cases[] = {
      {16384, 1024, 0.3, 1e-7, 10000.0, 0.0, 1e-4},    // single-sided, the usual case
      {16384, 512, -0.45, 0.0, 10000.0, 0.0, 0.0},     // ZPD nearly half-way to the sample before
      {8192, 2048, 0.45, 2e-7, -8000.0, 3000.0, 0.0},  // negative-going burst on a DC level
      {4096, 2047, 0.0, 0.0, 1.0, 0.0, 1e-3},          // double-sided, centred
      {4096, 4000, 0.1, 1e-7, 500.0, -20.0, 0.0},      // burst near the end
      {16384, 1024, -0.49, 1e-6, 10000.0, 0.0, 0.0},   // dispersion moves the burst's peak
      {8192, 2048, -0.45, 2e-7, 10000.0, 0.0, 0.0},    // ... by one sample: shifted back
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "center " << c.center << ", offset " << c.offset);
    InterferogramSpec recipe;
    recipe.points = c.points;
    recipe.center = c.center;
    recipe.source.lines = {{1600.0, 4.0, 0.5, LineShape::kLorentz},
                         {2900.0, 8.0, 0.3, LineShape::kGauss}};
    recipe.offset = c.offset;
    recipe.dispersion = c.dispersion;
    recipe.peak = c.peak;
    recipe.dc = c.dc;
    recipe.noise = c.noise;
    const std::vector<double> y = make_interferogram(recipe);
    ASSERT_EQ(static_cast<int>(y.size()), c.points);
    EXPECT_EQ(converter_jmax(y), c.center);
    // Its sign follows the peak's.
    EXPECT_GT((y[static_cast<std::size_t>(c.center)] - c.dc) * c.peak, 0.0);
  }
}

TEST(Synth, ZeroPhaseDoubleSidedRecordIsSymmetric) {
  InterferogramSpec recipe;
  recipe.points = 4096;
  recipe.center = 2047;
  recipe.source.lines = {{1600.0, 4.0, 0.5, LineShape::kLorentz},
                       {2900.0, 8.0, 0.3, LineShape::kGauss}};
  const std::vector<double> y = make_interferogram(recipe);
  for (std::size_t d = 1; d <= 2047; ++d) {
    ASSERT_NEAR(y[2047 - d], y[2047 + d], 1e-9 * recipe.peak) << "distance " << d;
  }
  // A sampling offset breaks the symmetry: the phase is really applied.
  recipe.offset = 0.25;
  const std::vector<double> shifted = make_interferogram(recipe);
  double largest = 0.0;
  for (std::size_t d = 1; d <= 2047; ++d) {
    largest = std::max(largest, std::fabs(shifted[2047 - d] - shifted[2047 + d]));
  }
  EXPECT_GT(largest, 0.1 * recipe.peak);
}

// A double-sided record transformed with the project's CFFT (centerburst first, forward)
// gives back B(nu) * exp(i * phase(nu)) up to one scale factor: the envelope's shape away
// from the lines, each line's minimum within one grid step, and the phase as documented,
// -2*pi*nu*offset*xstep + dispersion*(nu - band middle)^2.
TEST(Synth, TransformBackRecoversTheSource) {
  InterferogramSpec recipe;
  recipe.points = 8192;
  recipe.center = 4095;
  recipe.sampr = 1.0;
  recipe.wref = 15800.823;
  recipe.source.low = 400.0;
  recipe.source.high = 4000.0;
  recipe.source.lines = {{1600.0, 4.0, 0.5, LineShape::kLorentz},
                       {2900.0, 8.0, 0.3, LineShape::kGauss}};
  recipe.offset = 0.3;
  recipe.dispersion = 1e-7;
  const std::vector<double> y = make_interferogram(recipe);

  constexpr int kExp = 13;
  constexpr int kNb = 1 << kExp;
  std::vector<transform::Complex> c(kNb);
  for (int m = 0; m < kNb; ++m) {
    const int j = recipe.center + (m < kNb / 2 ? m : m - kNb);
    c[static_cast<std::size_t>(m)] = {
        j >= 0 && j < recipe.points ? y[static_cast<std::size_t>(j)] : 0.0, 0.0};
  }
  transform::Fft fft;
  fft.CFFT(c, kExp, kNb, 1);

  const double xstep = 1.0 / (recipe.sampr * recipe.wref);
  const double grid = 1.0 / (kNb * xstep);
  auto index_of = [&](double nu) { return static_cast<int>(std::lround(nu / grid)); };
  auto at = [&](int k) { return c[static_cast<std::size_t>(k)]; };
  auto magnitude = [&](int k) { return std::hypot(at(k).re, at(k).im); };

  // Envelope shape: |F| relative to its value at 2200 cm-1 against B relative to B(2200).
  const int ref = index_of(2200.0);
  for (double nu : {700.0, 1000.0, 1300.0, 2000.0, 2500.0, 3300.0, 3600.0}) {
    SCOPED_TRACE(::testing::Message() << nu << " cm-1");
    const int k = index_of(nu);
    const double expected =
        source_value(recipe.source, k * grid) / source_value(recipe.source, ref * grid);
    EXPECT_NEAR(magnitude(k) / magnitude(ref), expected, 0.02 * expected);
  }
  // Line positions: the smallest |F| within 15 cm-1 of each line.
  for (const Line& line : recipe.source.lines) {
    SCOPED_TRACE(::testing::Message() << "line at " << line.wavenumber);
    int best = index_of(line.wavenumber - 15.0);
    for (int k = best; k <= index_of(line.wavenumber + 15.0); ++k) {
      if (magnitude(k) < magnitude(best)) best = k;
    }
    EXPECT_LE(std::fabs(best * grid - line.wavenumber), grid);
  }
  // Phase, wrapped to -pi..pi.
  for (double nu : {600.0, 1000.0, 2200.0, 3000.0, 3800.0}) {
    SCOPED_TRACE(::testing::Message() << "phase at " << nu << " cm-1");
    const int k = index_of(nu);
    const double v = k * grid;
    const double expected =
        -2.0 * std::numbers::pi * v * 0.3 * xstep + 1e-7 * (v - 2200.0) * (v - 2200.0);
    const double diff =
        std::remainder(std::atan2(at(k).im, at(k).re) - expected, 2.0 * std::numbers::pi);
    EXPECT_NEAR(diff, 0.0, 0.01);
  }
}

TEST(Synth, NoiseIsSeededAndOfTheRequestedSize) {
  InterferogramSpec recipe;
  recipe.points = 16384;
  recipe.peak = -2000.0;
  const std::vector<double> clean = make_interferogram(recipe);
  recipe.noise = 1e-3;
  recipe.seed = 7;
  const std::vector<double> a = make_interferogram(recipe);
  const std::vector<double> b = make_interferogram(recipe);
  recipe.seed = 8;
  const std::vector<double> other = make_interferogram(recipe);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, other);

  double sum = 0.0;
  double squares = 0.0;
  for (std::size_t j = 0; j < a.size(); ++j) {
    const double e = a[j] - clean[j];
    sum += e;
    squares += e * e;
  }
  const double n = static_cast<double>(a.size());
  const double sigma = 1e-3 * 2000.0;
  EXPECT_NEAR(std::sqrt(squares / n), sigma, 0.05 * sigma);
  EXPECT_NEAR(sum / n, 0.0, 4.0 * sigma / std::sqrt(n));
}

TEST(Synth, RefusesWhatItCannotMake) {
  struct Case {
    const char* what;
    void (*change)(InterferogramSpec&);
  };
  const Case cases[] = {
      {"band beyond fmax", [](InterferogramSpec& s) { s.source.high = 8000.0; }},
      {"band upside down",
       [](InterferogramSpec& s) {
         s.source.low = 3000.0;
         s.source.high = 2000.0;
       }},
      {"centre past the end", [](InterferogramSpec& s) { s.center = s.points; }},
      {"centre before the start", [](InterferogramSpec& s) { s.center = -1; }},
      {"one point",
       [](InterferogramSpec& s) {
         s.points = 1;
         s.center = 0;
       }},
      {"more points than the reader holds", [](InterferogramSpec& s) { s.points = 270001; }},
      {"sides too long for one transform",
       [](InterferogramSpec& s) {
         s.points = 270000;
         s.center = 0;
       }},
      {"line of no width",
       [](InterferogramSpec& s) {
         s.source.lines = {{1000.0, 0.0, 0.5, LineShape::kLorentz}};
       }},
      {"line deeper than the light",
       [](InterferogramSpec& s) {
         s.source.lines = {{1000.0, 2.0, 1.5, LineShape::kGauss}};
       }},
      {"zero peak", [](InterferogramSpec& s) { s.peak = 0.0; }},
      {"negative noise", [](InterferogramSpec& s) { s.noise = -1.0; }},
      {"no reference wavenumber", [](InterferogramSpec& s) { s.wref = 0.0; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    InterferogramSpec recipe;
    c.change(recipe);
    EXPECT_THROW(make_interferogram(recipe), SynthError);
  }
  SpcFileSpec old_float;
  old_float.format = SpcFormat::kOld;
  old_float.type = SampleType::kFloat32;
  EXPECT_THROW(encode_spc(std::vector<double>{1.0, 2.0}, old_float), SynthError);
  EXPECT_THROW(encode_spc(std::vector<double>{1.0, NAN}, SpcFileSpec{}), SynthError);
}

// The command line: the documented example writes a file the converter can read; a bad
// description gives one line and exit status 1 and writes nothing.
TEST(MakeInterferogram, ExampleRunsAndBadInputIsRefused) {
  TempDir dir;
  const std::string out = dir.file("sample.spc");
  const std::string example = std::string(MAKE_INTERFEROGRAM_EXE) +
                              " --points 16384 --center 1024 --sampr 1 --wref 15800.823"
                              " --envelope 400:4000 --line 1600:4:0.5 --line 2900:8:0.3"
                              " --offset 0.3 --dispersion 1e-7 --noise 1e-4 --seed 7"
                              " --format old --bits 32 -o " +
                              out + " > " + dir.file("log") + " 2>&1";
  ASSERT_EQ(std::system(example.c_str()), 0);
  const ByteImage bytes = ftir::testing::read_file_bytes(out);
  ASSERT_EQ(bytes.size(), 256u + 4u * 16384u);
  EXPECT_EQ(bytes[1], 0x4D);

  struct Case {
    const char* args;
    const char* message;
  };
  const Case cases[] = {
      {"--envelope 400:9000",
       "make-interferogram: the band reaches 9000 cm-1, beyond fmax = 7900.41 cm-1"},
      {"--points 1000 --center 1000",
       "make-interferogram: the centerburst sample must lie inside the record (0..999)"},
      {"--bits 24", "make-interferogram: --bits must be 16 or 32"},
      {"--format old --float", "make-interferogram: --float needs --format new"},
      {"--line 1600:4", "make-interferogram: --line needs NU:FWHM:DEPTH[:SHAPE]"},
      {"--peak ten", "make-interferogram: --peak needs a number, not 'ten'"},
      {"--colour red", "make-interferogram: unknown argument '--colour' (see --help)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const std::string bad = dir.file("bad.spc");
    const std::string err = dir.file("err");
    const std::string command = std::string(MAKE_INTERFEROGRAM_EXE) + " " + c.args + " -o " + bad +
                                " > /dev/null 2> " + err;
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const ByteImage text = ftir::testing::read_file_bytes(err);
    EXPECT_EQ(std::string(text.begin(), text.end()), std::string(c.message) + "\n");
    EXPECT_FALSE(std::filesystem::exists(bad));
  }
}

}  // namespace
}  // namespace ftir::synth
