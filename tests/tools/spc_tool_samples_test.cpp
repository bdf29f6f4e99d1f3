// spc-tool on real and on generated interferograms, with the converter in between: the
// absorbance of a polystyrene film from the public samples (skipped when they are absent),
// the ten traces of a multi-trace file split, converted and co-added, and the noise of a
// 100 % line falling with the number of co-added scans.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "run/run_support.h"
#include "spcfile/bytes.h"
#include "tools/tool_run.h"

namespace ftir::testing {
namespace {

const std::filesystem::path kSamples =
    std::filesystem::path(FTIR_SOURCE_DIR) / "../shared/data/spc-samples";

std::string sample(const std::string& name) {
  return std::filesystem::canonical(kSamples / name).string();
}

// The measurement's own settings, from the log block of IG_SAMP.SPC: single-sided,
// triangle window, 4 cm-1, laser 15800.823 cm-1.
RedDat single_sided_triangle(std::vector<std::string> files) {
  RedDat red;
  red.files = std::move(files);
  red.iapod = 1;
  red.idbl = 0;
  red.npow = 14;
  red.res = "4.0";
  red.wlow = "0.0";
  red.whigh = "7900.0";
  red.wref = "15800.823";
  red.ilog = "";
  return red;
}

// IG_BKGND.SPC is not an interferogram but a single-beam spectrum (Y units 0, 4096 points
// from 0 to 7900.41 cm-1), so it is the background as it is; the sample's spectrum has
// 4095 points from 0 to 7898.48 and the background is interpolated onto them.
TEST(SpcToolSamples, PolystyreneAbsorbanceFromTheSampleInterferogram) {
  if (!std::filesystem::exists(kSamples / "IG_SAMP.SPC")) GTEST_SKIP() << "no sample files";
  RunDir dir;
  std::filesystem::create_directory("out");
  std::filesystem::create_symlink(sample("IG_SAMP.SPC"), "IG_SAMP.SPC");
  ASSERT_EQ(dir.run(single_sided_triangle({"IG_SAMP.SPC"})), 0) << dir.console.output;
  const ToolRun run =
      spc_tool(dir, "ratio out/IG_SAMP.spc '" + sample("IG_BKGND.SPC") + "' --absorbance -o a.spc");
  ASSERT_EQ(run.status, 0) << run.err;
  const SpectrumFile a = read_spectrum(dir.file("a.spc"));
  ASSERT_EQ(a.x.size(), 4095u);
  const ByteImage header = read_file_bytes(dir.file("a.spc"));
  EXPECT_EQ(header[17], 2);  // absorbance
  EXPECT_EQ(std::string(header.begin() + 64, header.begin() + 108),
            "Absorbance -log10 IG_SAMP.spc / IG_BKGND.SPC");

  // Each band: the highest point within 8 cm-1 of where polystyrene has it is a maximum
  // (not at the edge of that window) and lies within 2 cm-1 of it.
  for (const double band : {3060.0, 2850.0, 1601.0, 1583.0, 1155.0, 1069.0, 1028.0, 906.0}) {
    SCOPED_TRACE(band);
    std::size_t best = 0;
    std::size_t first = a.x.size();
    std::size_t last = 0;
    for (std::size_t i = 0; i < a.x.size(); ++i) {
      if (std::fabs(a.x[i] - band) > 8.0) continue;
      first = std::min(first, i);
      last = i;
      if (a.y[i] > a.y[best] || std::fabs(a.x[best] - band) > 8.0) best = i;
    }
    ASSERT_LT(first, last);
    EXPECT_GT(best, first);
    EXPECT_LT(best, last);
    EXPECT_NEAR(a.x[best], band, 2.0);
  }
}

TEST(SpcToolSamples, MultiTraceFileSplitConvertedAndCoadded) {
  if (!std::filesystem::exists(kSamples / "IG_MULTI.SPC")) GTEST_SKIP() << "no sample files";
  RunDir dir;
  const std::string multi = sample("IG_MULTI.SPC");
  const ToolRun split = spc_tool(dir, "split '" + multi + "' -o split");
  ASSERT_EQ(split.status, 0) << split.err;
  std::vector<std::string> names;  // IG_MULTI_01.spc .. IG_MULTI_10.spc
  for (int k = 1; k <= 10; ++k) {
    names.push_back("IG_MULTI_" + std::string(k < 10 ? "0" : "") + std::to_string(k) + ".spc");
  }

  // Each trace read back by the converter's reader: X exactly firstx + (i - 1) * xinc of
  // the multi-trace header, Y exactly the trace's integers times 2^(28 - 32), decoded here
  // from the raw bytes (traces of 32 + 4 * 4096 bytes after the 512-byte header).
  const ByteImage raw = read_file_bytes(multi);
  const double firstx = spcfile::get_f64le(raw, 8);
  const double xinc = (spcfile::get_f64le(raw, 16) - firstx) / 4095.0;
  for (std::size_t k = 0; k < names.size(); ++k) {
    SCOPED_TRACE(names[k]);
    const SpectrumFile t = read_spectrum(dir.file("split/" + names[k]));
    ASSERT_EQ(t.x.size(), 4096u);
    const std::size_t data = 512 + k * (32 + 4 * 4096) + 32;
    for (std::size_t i = 0; i < 4096; ++i) {
      ASSERT_EQ(t.x[i], firstx + static_cast<double>(i) * xinc) << i;
      ASSERT_EQ(t.y[i], spcfile::get_i32le(raw, data + 4 * i) / 16.0) << i;
    }
  }

  // Co-added from the ten files, and from the multi-trace file itself: the same points.
  ASSERT_EQ(spc_tool(dir, "coadd split/*.spc -o avg.spc").status, 0);
  const ToolRun traces = spc_tool(dir, "coadd --traces '" + multi + "' -o avg_traces.spc");
  ASSERT_EQ(traces.status, 0) << traces.err;
  const ByteImage avg = read_file_bytes(dir.file("avg.spc"));
  const ByteImage avg_traces = read_file_bytes(dir.file("avg_traces.spc"));
  EXPECT_EQ(ByteImage(avg.begin() + 544, avg.end()),
            ByteImage(avg_traces.begin() + 544, avg_traces.end()));

  // Every trace converts double-sided (the log block: 8 cm-1), and so does the average.
  std::filesystem::create_directory("out");
  RedDat red;
  for (const std::string& name : names) red.files.push_back("split/" + name);
  red.files.push_back("avg.spc");
  red.iapod = 2;
  red.idbl = 1;
  red.res = "8.0";
  red.wref = "15800.823";
  red.ilog = "";
  ASSERT_EQ(dir.run(red), 0) << dir.console.output;
  std::vector<SpectrumFile> spectra;
  for (const std::string& name : names) {
    spectra.push_back(read_spectrum(dir.file("out/" + name)));
    ASSERT_FALSE(spectra.back().y.empty()) << name;
  }
  const SpectrumFile coadded = read_spectrum(dir.file("out/avg.spc"));
  ASSERT_EQ(coadded.y.size(), spectra.front().y.size());
  // The co-added spectrum lies within the spread of the ten.
  for (std::size_t i = 0; i < coadded.y.size(); ++i) {
    double lo = spectra.front().y[i];
    double hi = lo;
    for (const SpectrumFile& s : spectra) {
      lo = std::min(lo, s.y[i]);
      hi = std::max(hi, s.y[i]);
    }
    EXPECT_GE(coadded.y[i], lo) << coadded.x[i];
    EXPECT_LE(coadded.y[i], hi) << coadded.x[i];
  }
}

// 32 interferograms of one source with noise seeds 1..32, co-added in two groups of 1, 4
// and 16; each pair converted and ratioed gives a 100 % line whose noise between 1800 and
// 3400 cm-1 (no line there) falls as the square root of the scans: by 2 from 1 to 4, by 4
// from 1 to 16.
TEST(SpcToolSamples, CoaddingLowersTheNoiseOfThe100PercentLine) {
  RunDir dir;
  for (int seed = 1; seed <= 32; ++seed) {
    const std::string command = std::string("'") + MAKE_INTERFEROGRAM_EXE +
                                "' --double --points 16384 --envelope 400:4000 "
                                "--line 1600:8:0.5 --noise 2e-3 --date 2026-01-01T00:00 --seed " +
                                std::to_string(seed) + " -o ig" + std::to_string(seed) +
                                ".spc > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  auto group = [](int from, int count) {
    std::string files;
    for (int s = from; s < from + count; ++s) files += " ig" + std::to_string(s) + ".spc";
    return files;
  };
  for (const int n : {1, 4, 16}) {
    const std::string a = "a" + std::to_string(n) + ".spc";
    const std::string b = "b" + std::to_string(n) + ".spc";
    ASSERT_EQ(spc_tool(dir, "coadd" + group(1, n) + " -o " + a).status, 0);
    ASSERT_EQ(spc_tool(dir, "coadd" + group(17, n) + " -o " + b).status, 0);
  }
  std::filesystem::create_directory("out");
  RedDat red;
  red.files = {"a1.spc", "b1.spc", "a4.spc", "b4.spc", "a16.spc", "b16.spc"};
  red.iapod = 2;
  red.idbl = 1;
  red.res = "2.0";
  red.wref = "15800.823";
  red.ilog = "";
  ASSERT_EQ(dir.run(red), 0) << dir.console.output;

  std::vector<double> noise;
  for (const int n : {1, 4, 16}) {
    const std::string t = "t" + std::to_string(n) + ".spc";
    const std::string n_text = std::to_string(n);
    ASSERT_EQ(spc_tool(dir, "ratio out/a" + n_text + ".spc out/b" + n_text + ".spc -o " + t).status,
              0);
    const SpectrumFile line = read_spectrum(dir.file(t));
    double sum = 0.0;
    double squares = 0.0;
    int count = 0;
    for (std::size_t i = 0; i < line.x.size(); ++i) {
      if (line.x[i] < 1800.0 || line.x[i] > 3400.0) continue;
      sum += line.y[i];
      squares += line.y[i] * line.y[i];
      ++count;
    }
    ASSERT_GT(count, 500);
    const double mean = sum / count;
    EXPECT_NEAR(mean, 1.0, 0.01);
    noise.push_back(std::sqrt(squares / count - mean * mean));
  }
  const double factor4 = noise[0] / noise[1];
  const double factor16 = noise[0] / noise[2];
  RecordProperty("noise_factor_1_to_4", std::to_string(factor4));
  RecordProperty("noise_factor_1_to_16", std::to_string(factor16));
  EXPECT_NEAR(factor4, 2.0, 0.3);
  EXPECT_NEAR(factor16, 4.0, 0.6);
}

}  // namespace
}  // namespace ftir::testing
