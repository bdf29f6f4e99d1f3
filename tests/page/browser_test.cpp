// The page of a run in a real browser: headless Chromium loads it with no console
// message and no script error, the table has one row per file, the plots have their
// paths, and a screenshot shows coloured curves. Skipped where no Chromium is installed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "cli/cli_support.h"
#include "cli/command_line.h"
#include "page/page.h"
#include "page/png_pixels.h"
#include "page/synthetic_records.h"
#include "support/spc_images.h"

namespace ftir::page {
namespace {

using testing::TextSink;

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++n;
  }
  return n;
}

std::string between(const std::string& text, const std::string& from, const std::string& to) {
  const std::size_t begin = text.find(from);
  if (begin == std::string::npos) return "";
  const std::size_t end = text.find(to, begin);
  return text.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

// Chromium's command, or "" when none is installed.
std::string chromium() {
  for (const char* name : {"chromium", "chromium-browser"}) {
    if (std::system(("command -v " + std::string(name) + " > /dev/null 2>&1").c_str()) == 0) {
      return name;
    }
  }
  return "";
}

// Opens `page` in headless Chromium: no console message, no script error, `rows` table
// rows, `curves` lines and `bands` filled bands in the overlay, `thumbs` small plots drawn
// at once, and a screenshot with coloured curves in it.
void expect_page_works(const std::string& browser, const testing::TempDir& dir,
                       const std::string& page, std::size_t rows, std::size_t curves,
                       std::size_t bands, std::size_t thumbs) {
  const std::string base = "timeout 120 " + browser +
                           " --headless --disable-gpu --no-sandbox --user-data-dir=" +
                           dir.file("profile") + " --enable-logging=stderr --v=0 ";
  ASSERT_EQ(std::system((base + "--dump-dom file://" + page + " > " + dir.file("dom") + " 2> " +
                         dir.file("log"))
                            .c_str()),
            0);
  const std::string dom = read_all(dir.file("dom"));
  const std::string log = read_all(dir.file("log"));
  EXPECT_EQ(log.find(":CONSOLE"), std::string::npos) << log;
  EXPECT_NE(dom.find("data-ready=\"yes\""), std::string::npos);
  EXPECT_EQ(dom.find("id=\"page-error\""), std::string::npos)
      << between(dom, "id=\"page-error\"", "</div>");

  const std::string table = between(dom, "id=\"file-table\"", "</table>");
  EXPECT_EQ(count(between(table, "<tbody>", "</tbody>"), "<tr"), rows);
  const std::string overlay = between(dom, "id=\"overlay\"", "id=\"legend\"");
  EXPECT_EQ(count(overlay, "class=\"curve\" d=\"M"), curves);
  EXPECT_EQ(count(overlay, "class=\"band\" d=\"M"), bands);
  EXPECT_EQ(count(dom, "class=\"thumb-svg\""), thumbs);
  EXPECT_EQ(count(dom, "d=\"\""), 0u);  // no path left empty

  ASSERT_EQ(std::system((base + "--window-size=1280,1400 --screenshot=" + dir.file("shot.png") +
                         " file://" + page + " > /dev/null 2>&1")
                            .c_str()),
            0);
  const testing::RgbImage shot = testing::decode_png(read_all(dir.file("shot.png")));
  ASSERT_EQ(shot.width, 1280);
  ASSERT_EQ(shot.height, 1400);
  // The curves are the page's colour; its text and frames are grey on white.
  int coloured = 0;
  for (std::size_t p = 0; p < shot.rgb.size(); p += 3) {
    const int hi = std::max({shot.rgb[p], shot.rgb[p + 1], shot.rgb[p + 2]});
    const int lo = std::min({shot.rgb[p], shot.rgb[p + 1], shot.rgb[p + 2]});
    coloured += hi - lo > 40 ? 1 : 0;
  }
  EXPECT_GT(coloured, 3000);
}

// The bundled example's four interferograms converted from the command line: every
// spectrum drawn in the overlay, and the two phase curves of the single-sided files.
TEST(PageInBrowser, TheBundledExample) {
  const std::string browser = chromium();
  if (browser.empty()) GTEST_SKIP() << "no chromium installed";
  testing::TempDir dir;
  const std::string examples = std::string(FTIR_SOURCE_DIR) + "/examples/";
  const std::string page = dir.file("example.html");
  const std::string out = dir.file("out");
  const std::vector<std::string> args = {
      "ftir-reduce", "-q", "-o", out, "--phase-files", "--laser", "15800.823", "--report", page,
      examples + "single/ss-1300K-new32.spc", examples + "single/ss-1000K-old16.spc",
      examples + "double/ds-1300K-old32.spc", examples + "double/ds-1000K-new16.spc"};
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  TextSink sink;
  cli::Streams streams{sink, sink, false};
  report::SystemClock clock;
  ASSERT_EQ(cli::run_command_line(static_cast<int>(argv.size()), argv.data(), clock, streams, 1),
            0)
      << sink.text;
  expect_page_works(browser, dir, page, 4, 4, 0, 6);
}

// A large run with a skipped file and a name full of markup: the median and band.
TEST(PageInBrowser, MedianAndBandOfManySpectra) {
  const std::string browser = chromium();
  if (browser.empty()) GTEST_SKIP() << "no chromium installed";
  testing::TempDir dir;
  std::vector<driver::FileRecord> records = testing::synthetic_batch(30, false);
  records[0].input = "odd </script> & \"name\" \xff.spc";
  RunPage run;
  run.settings = {{"Path", "double-sided"}, {"Window", "Happ-Genzel"}};
  run.ending = "OK";
  const std::string page = dir.file("run.html");
  ASSERT_EQ(write_page(page, render_page(run, records)), "");
  // The median is one line over one band; the first 24 cards are drawn at once, one of
  // them skipped.
  expect_page_works(browser, dir, page, 30, 1, 1, 23);
}

}  // namespace
}  // namespace ftir::page
