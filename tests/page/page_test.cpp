// The page of a run: escaping, thinning, the spread of many spectra, the value text the
// script decodes, the batch flags, the settings in words and the page's structure.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "page/curves.h"
#include "page/flags.h"
#include "page/page.h"
#include "page/settings.h"
#include "page/text.h"
#include "page/synthetic_records.h"

namespace ftir::page {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++n;
  }
  return n;
}

TEST(PageText, EscapesAndNumbers) {
  EXPECT_EQ(escape_html("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&#39;");
  EXPECT_EQ(json_string("</script>\"\\\n\x01"), R"("\u003c/script\u003e\"\\\u000a\u0001")");
  // Invalid bytes become U+FFFD; valid multi-byte characters stay.
  EXPECT_EQ(valid_utf8("a\xff" "b\xC3\xA9\xE2\x82"), "a\xEF\xBF\xBD" "b\xC3\xA9\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(valid_utf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // a surrogate
  EXPECT_EQ(format_number(4.0), "4");
  EXPECT_EQ(format_number(15800.823), "15800.823");
  EXPECT_EQ(format_number(12345678.0, 4), "1.235e+07");
  EXPECT_EQ(format_number(0.6328785, 5), "0.63288");
  EXPECT_EQ(format_number(kNaN), "NaN");
}

TEST(PageCurves, ThinningKeepsEachColumnsExtremesInOrder) {
  const driver::Curve curve{100.0, 1.0, {0, 5, 1, 2, 3, 9, 4, -1, 6, 7}};
  const DrawnCurve two = thin_for_drawing(curve, 2);
  EXPECT_EQ(two.per_x, 2);
  EXPECT_DOUBLE_EQ(two.x0, 102.0);  // the centre of points 100..104
  EXPECT_DOUBLE_EQ(two.dx, 5.0);
  EXPECT_EQ(two.y, (std::vector<double>{0, 5, 9, -1}));
  // Kept by a run: the same extremes on an even grid of half columns.
  driver::Curve kept_by_run = curve;
  shrink_kept_curve(kept_by_run, 2);
  EXPECT_DOUBLE_EQ(kept_by_run.x_first, 100.75);
  EXPECT_DOUBLE_EQ(kept_by_run.x_step, 2.5);
  EXPECT_EQ(kept_by_run.y, two.y);

  // Few enough points: every one kept; values that are not finite become gaps.
  const driver::Curve short_curve{4000.0, -2.0, {1, kNaN, 3}};
  const DrawnCurve kept = thin_for_drawing(short_curve, 2);
  EXPECT_EQ(kept.per_x, 1);
  EXPECT_DOUBLE_EQ(kept.x0, 4000.0);
  EXPECT_DOUBLE_EQ(kept.dx, -2.0);
  ASSERT_EQ(kept.y.size(), 3u);
  EXPECT_TRUE(std::isnan(kept.y[1]));

  const driver::Curve holes{0.0, 1.0, {kNaN, kNaN, kNaN, 2, 8, kNaN}};
  const DrawnCurve thinned = thin_for_drawing(holes, 2);
  ASSERT_EQ(thinned.y.size(), 4u);
  EXPECT_TRUE(std::isnan(thinned.y[0]) && std::isnan(thinned.y[1]));
  EXPECT_EQ(thinned.y[2], 2);
  EXPECT_EQ(thinned.y[3], 8);
}

TEST(PageCurves, QuantilesAndTheBandOfManySpectra) {
  std::vector<double> four{4, 1, 3, 2};
  EXPECT_DOUBLE_EQ(quantile(four, 0.5), 2.5);
  std::vector<double> many;
  for (int i = 1; i <= 21; ++i) many.push_back(22 - i);
  EXPECT_DOUBLE_EQ(quantile(many, 0.05), 2.0);
  EXPECT_DOUBLE_EQ(quantile(many, 0.95), 20.0);
  std::vector<double> none;
  EXPECT_TRUE(std::isnan(quantile(none, 0.5)));

  // Three flat spectra at 1, 2 and 3 on one grid.
  const driver::Curve a{0.0, 1.0, std::vector<double>(11, 1.0)};
  const driver::Curve b{0.0, 1.0, std::vector<double>(11, 2.0)};
  const driver::Curve c{0.0, 1.0, std::vector<double>(11, 3.0)};
  const std::vector<const driver::Curve*> flat{&a, &b, &c};
  const SpectrumBand band = spectrum_band(flat, 5);
  EXPECT_EQ(band.files, 3);
  EXPECT_DOUBLE_EQ(band.x0, 1.0);
  EXPECT_DOUBLE_EQ(band.dx, 2.0);
  for (int col = 0; col < 5; ++col) {
    SCOPED_TRACE(col);
    EXPECT_DOUBLE_EQ(band.p5[col], 1.1);
    EXPECT_DOUBLE_EQ(band.median_low[col], 2.0);
    EXPECT_DOUBLE_EQ(band.median_high[col], 2.0);
    EXPECT_DOUBLE_EQ(band.p95[col], 2.9);
  }

  // A two-point line from (0, 0) to (10, 10) over ten columns: its ends where its points
  // fall, the columns between interpolated at their centres.
  const driver::Curve sparse{0.0, 10.0, {0.0, 10.0}};
  const std::vector<const driver::Curve*> one{&sparse};
  const SpectrumBand line = spectrum_band(one, 10);
  const std::vector<double> expected{0, 1.5, 2.5, 3.5, 4.5, 5.5, 6.5, 7.5, 8.5, 10};
  ASSERT_EQ(line.median_low.size(), expected.size());
  for (std::size_t col = 0; col < expected.size(); ++col) {
    SCOPED_TRACE(col);
    EXPECT_NEAR(line.median_low[col], expected[col], 1e-12);
    EXPECT_NEAR(line.p95[col], expected[col], 1e-12);
  }
}

TEST(PageCurves, ValueTextIsTwoCharactersPerLevel) {
  const std::vector<double> y{0.0, 1.0, kNaN, 0.5, 0.25};
  const EncodedValues e = encode_values(y);
  EXPECT_EQ(e.lo, 0.0);
  EXPECT_EQ(e.hi, 1.0);
  // Levels 0, 4094, gap 4095, 2047 and 1023.5 -> 1024 (63 = '_', 62 = '-', 31 = 'V', 16 = 'G').
  EXPECT_EQ(e.digits, "00_-__V_G0");
  EXPECT_EQ(encode_values(std::vector<double>{7.0, 7.0}).digits, "0000");
}

TEST(PageFlags, FilesUnlikeTheBatch) {
  using driver::FileRecord;
  std::vector<FileRecord> records;
  for (int i = 0; i < 8; ++i) {
    FileRecord r = testing::synthetic_record(i, false);
    r.jmax = 1024 + i % 3;  // 1024..1026: a MAD of 1 point
    r.energy = 1.0e8 * (1.0 + 0.001 * i);
    r.peak = 5000.0;
    records.push_back(r);
  }
  records[3].jmax = 1031;  // median 1025.5, MAD 1: 5.5 points off is beyond 5 MADs
  records[4].jmax = 1030;  // 4.5 points off is not
  records[5].energy = 1.2e8;  // 20 % off: beyond 5 times 2 % of the median
  records[6].peak = 5400.0;   // 8 % off: within 5 times 2 % of the median
  records[7].res = 8.0;       // one file of eight at another resolution
  records.push_back(testing::skipped_record("x.spc", "no signal"));
  records.back().jmax = 9999;  // a skipped file is never flagged
  const BatchFlags flags = flag_unusual_files(records);
  ASSERT_EQ(flags.files.size(), records.size());
  const std::vector<std::vector<std::string>> expected{
      {}, {}, {}, {"centerburst"}, {}, {"energy"}, {}, {"resolution"}, {}};
  for (std::size_t i = 0; i < records.size(); ++i) {
    SCOPED_TRACE(i);
    std::vector<std::string> what;
    for (const Flag& f : flags.files[i]) what.push_back(f.what);
    EXPECT_EQ(what, expected[i]);
  }
  EXPECT_EQ(flags.flagged, 3);
  EXPECT_EQ(flags.files[7][0].detail, "resolution 8 cm-1, most files 4 cm-1");

  // Two files: no median rule, and a tie of resolutions flags neither.
  records.resize(2);
  records[1].jmax = 3000;
  records[1].res = 2.0;
  EXPECT_EQ(flag_unusual_files(records).flagged, 0);
}

// Two scans that disagree beyond 5 % are flagged "scans", in the page's words; 5 % itself
// is not beyond.
TEST(PageFlags, ScansThatDisagree) {
  std::vector<driver::FileRecord> records;
  for (double difference : {0.05, 0.0625}) {
    driver::FileRecord r = testing::synthetic_record(0, false);
    r.scans = 2;
    r.scan_difference = difference;
    records.push_back(r);
  }
  const BatchFlags flags = flag_unusual_files(records);
  EXPECT_TRUE(flags.files[0].empty());
  ASSERT_EQ(flags.files[1].size(), 1u);
  EXPECT_EQ(flags.files[1][0].what, "scans");
  EXPECT_EQ(flags.files[1][0].detail, "forward and backward scans differ by 6.25 %");
  EXPECT_EQ(scan_flag_rule(),
            "A file of two scans is flagged when the relative difference of their spectra, "
            "sqrt(sum (f - b)^2 / sum ((f + b)/2)^2), exceeds 5 %; it is averaged all the same.");
}

TEST(PageSettings, RedDatRunInWords) {
  driver::RunParameters p;
  p.idbl = 0;
  p.iapod = 2;
  p.ires = 1;
  p.res = 4.0;
  p.wlow = 400.0;
  p.whigh = 4000.0;
  p.wref = 15800.823;
  p.wlref = 1.0 / p.wref;
  p.sampr = 1.0;
  p.iphase = 1;
  p.outdir = "out";
  const std::vector<Setting> s = describe_run(p, "./red.dat");
  std::vector<std::string> lines;
  for (const Setting& x : s) lines.push_back(x.label + ": " + x.value);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "Settings from: ./red.dat",
                       "Path: single-sided, Mertz phase correction (idbl 0)",
                       "Window: Happ-Genzel (iapod 2)",
                       "Resolution: 4 cm-1 requested; each file starts from the resolution "
                       "the file before it used",
                       "Range: 400 to 4000 cm-1",
                       "Laser: 15800.823 cm-1 reference wavenumber",
                       "Sampling: sampr 1: one sample per 0.63288 µm of path difference, "
                       "spectra from 0 to 7900.41 cm-1",
                       "Output folder: out",
                       "Phase files: written (.phz and .shr)"}));
  // red.dat names codes 0..6 only; the command line reaches the later windows.
  EXPECT_EQ(window_name(9, true), "code 9, no window (boxcar)");
  EXPECT_EQ(window_name(9), "trapezoid");
}

TEST(PagePage, OneRowPerFileAndNamesKeptAsText) {
  std::vector<driver::FileRecord> records = testing::synthetic_batch(4, true);
  records[0].input = "a</script><b>&\"x\xff.spc";
  RunPage run;
  run.settings = {{"Path", "double-sided"}};
  run.ending = "OK";
  const std::string page = render_page(run, records);
  const std::string body = page.substr(page.find("<tbody>"), page.find("</tbody>") - page.find("<tbody>"));
  EXPECT_EQ(count(body, "<tr"), 4u);
  EXPECT_EQ(count(body, "<tr class=\"skipped\""), 1u);
  EXPECT_EQ(count(page, "</script>"), 2u);  // the data and the script, nothing from a name
  EXPECT_EQ(count(page, "<b>&"), 0u);
  EXPECT_NE(page.find("a&lt;/script&gt;&lt;b&gt;&amp;&quot;x\xEF\xBF\xBD.spc"), std::string::npos);
  EXPECT_NE(page.find("\"band\":null"), std::string::npos);
  EXPECT_EQ(page.find("://"), std::string::npos);  // nothing fetched, no external font

  // More spectra than the overlay draws one by one: the median and band instead.
  const std::string large = render_page(run, testing::synthetic_batch(kOverlayLinesMax + 2, false));
  EXPECT_NE(large.find("\"band\":{"), std::string::npos);
}

TEST(PagePage, WriteFailureNamesTheFile) {
  EXPECT_EQ(write_page("/nonexistent-folder/run.html", "x"),
            "Cannot write /nonexistent-folder/run.html: No such file or directory");
}

}  // namespace
}  // namespace ftir::page
