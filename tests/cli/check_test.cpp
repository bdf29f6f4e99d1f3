#include "cli/check.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include "support/spc_images.h"

namespace ftir::cli {
namespace {

using testing::ByteImage;
using testing::TempDir;

// README's red.dat example as first published: the second line of the iapod comment is
// read as ipow2, and every later field one line late.
constexpr std::string_view kReadmeExample =
    R"(    2            nfiles: number of interferogram files (at most 700)
scan01.spc                               <- file names, columns 1-40, one per line
scan02.spc
    1            iphase: 1 also writes the phase angle (.phz) and phase spectrum (.shr)
1.0              sampr: sampling factor (free form): sample spacing is 1/(sampr*wref) cm
    3            iapod: window 0 boxcar, 1 triangle, 2 Happ-Genzel, 3 Blackman-Harris,
                        4 Norton-Beer weak, 5 medium, 6 strong
    0            ipow2: 1 takes (double-sided) or limits (single-sided) the transform to 2^npow
   14            npow:  exponent for ipow2 (1 to 30 where it is used)
    1            ires:  1 makes single-sided spectra honour res
    0            idbl:  0 single-sided interferograms, anything else double-sided
          4.0  res:   requested resolution in cm-1 (decimal field: keep the point!)
400.0            wlow:  low end of the output range, cm-1 (free form)
4000.0           whigh: high end of the output range, cm-1 (free form)
  15800.823    wref:  reference (laser) wavenumber, cm-1 (decimal field)
out                                      <- outdir: output directory, columns 1-40
    1            ilog: optional; 1 writes the report and diagnostics to red.out
)";

// A clean red.dat, one field a line; cases replace lines by their 1-based number.
const std::vector<std::string> kBase = {
    "    2 nfiles",       "a.spc",       "b.spc",       "    0 iphase",        "1.0   sampr",
    "    3 iapod",        "    0 ipow2", "   14 npow",  "    1 ires",          "    0 idbl",
    "          4.0  res", "400.0 wlow",  "4000. whigh", "  15800.823    wref", "out",
    "    1 ilog",
};

struct Sink : report::Sink {
  void write(std::string_view bytes) override { text.append(bytes); }
  std::string text;
};

// A header-only interferogram with X in cm-1 from 0 to 7900.4115, the folding wavenumber
// of a 15800.823 cm-1 laser; flags and version as given.
ByteImage interferogram(std::uint8_t flags = 0, std::uint8_t version = 0x4B) {
  testing::NewHeaderFields h;
  h.flags = flags;
  h.version = version;
  h.pointcount = 4096;
  h.lastx = 15800.823 / 2;
  ByteImage image = testing::new_format_header(h);
  image[28] = 1;  // X units: wavenumber
  return image;
}

TEST(Check, WarnsOnTheLineOfEachSlip) {
  TempDir dir;
  dir.write("a.spc", interferogram());
  testing::OldHeaderFields old;
  old.pointcount = 8192;
  old.lastx = 7900.4115f;
  ByteImage b = testing::old_format_header(old);
  b[16] = 1;
  dir.write("b.spc", b);
  dir.write("multi.spc", interferogram(0x04));
  dir.write("msb.spc", interferogram(0, 0x4C));
  std::filesystem::create_directory(dir.path() / "out");

  struct Case {
    std::string what;
    std::vector<std::pair<int, std::string>> lines;  // replaced lines of kBase
    int status;
    std::vector<std::pair<int, std::string>> warnings;  // every warning: line, part of the text
  };
  const std::string long_name(40, 'x');
  const Case cases[] = {
      {"clean", {}, 0, {}},
      {"iapod in column 7",
       {{6, "      3 iapod"}},
       3,
       {{6, "iapod: columns 1-5 are blank, so iapod reads as 0, but \"3\" stands in column 7"}}},
      {"iapod 9", {{6, "    9 iapod"}}, 3, {{6, "iapod 9 is no window (0 to 6)"}}},
      {"res without a point",
       {{11, "          4    res"}},
       3,
       {{11, "res reads as 0.00004; write 4. for 4 cm-1"}}},
      {"wref moved to column 10",
       {{14, "         15800.823"}},
       3,
       {{2, "implies a laser wavenumber of 15800.8"},
        {3, "implies a laser wavenumber of 15800.8"},
        {14, "wref reads as 15800 from \"         15800.\", and \"823\" after it is not read"}}},
      {"wref without its point",
       {{14, "  15800823"}},
       3,
       {{2, "wref is 158.00823"},
        {3, "wref is 158.00823"},
        {12, "holds no point of the spectrum, which runs from 0 to fmax = 79.0041 cm-1"},
        {14, "wref reads as 158.00823; write 15800823. for 15800823 cm-1"}}},
      {"name over 40 columns",
       {{3, long_name + "b.spc"}},
       3,
       {{3, "is cut there: \"" + long_name + "\" is read, \"b.spc\" is not"},
        {3, "does not exist"}}},
      {"codes other than 0 and 1",
       {{4, "    2"}, {10, "    2"}, {16, "    2"}},
       3,
       {{4, "iphase 2"}, {10, "idbl 2"}, {16, "ilog 2"}}},
      {"missing file, same output name",
       {{3, "sub/a.spc"}},
       3,
       {{3, "\"sub/a.spc\" does not exist"}, {3, "writes \"out/a.spc\", as line 2 does"}}},
      {"refused by the reader",
       {{2, "multi.spc"}, {3, "msb.spc"}},
       3,
       {{2, "several traces in one file"}, {3, "most significant byte first"}}},
      {"missing output folder", {{15, "spectra"}}, 3, {{15, "\"spectra\" does not exist"}}},
      {"outputs over the inputs",
       {{15, "."}},
       3,
       {{2, "the run would skip this file rather than overwrite it"}, {3, "the run would skip this file rather than overwrite it"}}},
      {"empty range", {{12, "5000 wlow"}}, 3, {{12, "wlow lies above whigh"}}},
      {"count only: nothing written", {{9, "    0"}, {15, "spectra"}}, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> lines = kBase;
    for (const auto& [number, text] : c.lines) lines[static_cast<std::size_t>(number - 1)] = text;
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    std::ofstream(dir.file("red.dat"), std::ios::binary) << text;

    const CheckResult r = check_red_dat(dir.file("red.dat"));
    ASSERT_TRUE(r.params.has_value()) << r.stop_text;
    ASSERT_EQ(r.warnings.size(), c.warnings.size());
    for (std::size_t i = 0; i < c.warnings.size(); ++i) {
      EXPECT_EQ(r.warnings[i].line_number, c.warnings[i].first) << r.warnings[i].text;
      EXPECT_NE(r.warnings[i].text.find(c.warnings[i].second), std::string::npos)
          << r.warnings[i].text;
    }
    Sink out;
    EXPECT_EQ(run_check(out, dir.file("red.dat")), c.status);
  }
}

// The example stops the run on line 16; the check shows the fields read up to there,
// warns where the shift starts, and ends with the run's own line.
TEST(Check, ReadmeExampleStopsWithTheRunsLine) {
  TempDir dir;
  std::ofstream(dir.file("red.dat"), std::ios::binary) << kReadmeExample;
  const CheckResult r = check_red_dat(dir.file("red.dat"));
  EXPECT_FALSE(r.params.has_value());
  ASSERT_EQ(r.fields.size(), 15u);
  // The res line read as wlow: the free-form item's own columns.
  const driver::FieldTrace& wlow = r.fields[11];
  EXPECT_EQ(wlow.field, "wlow");
  EXPECT_EQ(wlow.line_number, 12);
  EXPECT_EQ(wlow.first_column, 11);
  EXPECT_EQ(wlow.last_column, 13);
  EXPECT_EQ(wlow.raw, "4.0");
  EXPECT_EQ(wlow.number, 4.0);
  ASSERT_FALSE(r.warnings.empty());
  EXPECT_EQ(r.warnings[0].line_number, 7);
  EXPECT_NE(r.warnings[0].text.find("ipow2: columns 1-5 are blank"), std::string::npos);

  const std::string stop = "red.dat line 16: ilog: 'out' is not a whole number";
  const std::string command = "cd '" + dir.path().string() + "' && '" FTIR_REDUCE_EXE "'";
  const std::string checked = dir.file("check.txt");
  const std::string ran = dir.file("run.txt");
  const int check_status = std::system((command + " --check > '" + checked + "'").c_str());
  const int run_status = std::system((command + " > '" + ran + "'").c_str());
  ASSERT_TRUE(WIFEXITED(check_status) && WIFEXITED(run_status));
  EXPECT_EQ(WEXITSTATUS(check_status), 1);
  EXPECT_EQ(WEXITSTATUS(run_status), 1);
  const ByteImage c = testing::read_file_bytes(checked);
  const ByteImage run = testing::read_file_bytes(ran);
  const std::string check_text(c.begin(), c.end());
  EXPECT_EQ(std::string(run.begin(), run.end()), stop + "\r\n");
  EXPECT_TRUE(check_text.ends_with("\n\n" + stop + "\n")) << check_text;
}

}  // namespace
}  // namespace ftir::cli
