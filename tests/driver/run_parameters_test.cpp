#include "driver/run_parameters.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

#include "report/stop.h"

namespace ftir::driver {
namespace {

// A red.dat with one line per field; `lines` replace the default lines by index.
std::string red_dat(std::vector<std::pair<int, std::string>> replace = {}) {
  std::vector<std::string> lines = {
      "    2            nfiles",
      "scan01.spc",
      "data/scan02.spc",
      "    1            iphase",
      "  1.0            sampr",
      "    3            iapod",
      "    0            ipow2",
      "   13            npow",
      "    1            ires",
      "    0            idbl",
      "          4.0  res",
      " 400  wlow",
      "4000, whigh",
      "   15800.823   wref",
      "out",
      "    1            ilog",
  };
  for (auto& [index, text] : replace) lines[static_cast<std::size_t>(index)] = text;
  std::string text;
  for (auto& line : lines) text += line + "\n";
  return text;
}

std::string stop_text(const std::string& text) {
  try {
    parse_run_parameters(text);
  } catch (const report::RunStop& s) {
    EXPECT_EQ(s.exit_status(), report::kExitFailure);
    return s.text();
  }
  return "no stop";
}

TEST(RunParameters, ReadsEveryFieldByItsRule) {
  RunParameters p = parse_run_parameters(red_dat());
  EXPECT_EQ(p.nfiles, 2);
  ASSERT_EQ(p.files.size(), 2u);
  EXPECT_EQ(p.files[0], "scan01.spc");
  EXPECT_EQ(p.files[1], "data/scan02.spc");
  EXPECT_EQ(p.iphase, 1);
  EXPECT_EQ(p.sampr, 1.0);
  EXPECT_EQ(p.iapod, 3);
  EXPECT_EQ(p.ipow2, 0);
  EXPECT_EQ(p.npow, 13);
  EXPECT_EQ(p.ires, 1);
  EXPECT_EQ(p.idbl, 0);
  EXPECT_EQ(p.res, 4.0);
  EXPECT_EQ(p.wlow, 400.0);
  EXPECT_EQ(p.whigh, 4000.0);
  EXPECT_EQ(p.wref, 15800.823);
  EXPECT_EQ(p.wlref, 1.0 / 15800.823);
  EXPECT_EQ(p.outdir, "out");
  EXPECT_EQ(p.ilog, 1);
}

TEST(RunParameters, DecimalFieldsImplyFiveDecimalsWithoutAPoint) {
  const std::pair<std::string, double> cases[] = {
      {"2", 0.00002},        {"2.", 2.0},       {"2.0", 2.0},     {"400000", 4.0},
      {"  4 0 0 0 0 0", 4.0}, {"1.5E2", 150.0},  {"15D-1", 0.000015}, {"-3.25", -3.25},
      {"1.0+3", 1000.0},     {"", 0.0},         {"          8.0   comment", 8.0},
  };
  for (const auto& [field, value] : cases) {
    SCOPED_TRACE(field);
    EXPECT_EQ(parse_run_parameters(red_dat({{10, field}})).res, value);
  }
}

TEST(RunParameters, IntegerFieldsUseColumnsOneToFive) {
  const std::pair<std::string, int> cases[] = {
      {"    7", 7}, {"7", 7}, {" 1 2 ", 12}, {"  -3  comment 99", -3}, {"", 0}, {"    4123456", 4},
  };
  for (const auto& [field, value] : cases) {
    SCOPED_TRACE(field);
    EXPECT_EQ(parse_run_parameters(red_dat({{5, field}})).iapod, value);
  }
}

TEST(RunParameters, TextFieldsAreFortyCharactersAndKeepLeadingBlanks) {
  const std::string long_name(41, 'n');
  RunParameters p = parse_run_parameters(red_dat({{1, long_name}, {14, "  D:\\out"}}));
  EXPECT_EQ(p.files[0], std::string(40, 'n'));
  EXPECT_EQ(p.outdir, "  D:\\out");
}

TEST(RunParameters, TheIlogLineIsOptional) {
  std::string text = red_dat();
  std::string without = text.substr(0, text.rfind("    1            ilog"));
  EXPECT_EQ(parse_run_parameters(without).ilog, 0);
  EXPECT_EQ(parse_run_parameters(red_dat({{15, "     "}})).ilog, 0);
  // Lines ending in CR LF read the same.
  std::string crlf;
  for (char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  RunParameters p = parse_run_parameters(crlf);
  EXPECT_EQ(p.ilog, 1);
  EXPECT_EQ(p.outdir, "out");
  EXPECT_EQ(p.files[1], "data/scan02.spc");
}

TEST(RunParameters, FreeFormNumbersPassOverEmptyLines) {
  // An empty wlow line: wlow comes from the whigh line, and every later field one line late,
  // so that wref meets the output directory's line.
  EXPECT_EQ(stop_text(red_dat({{11, "   "}})), "red.dat line 15: wref: 'out' is not a number");
  RunParameters p = parse_run_parameters(red_dat({{11, ""}, {14, "   2.5"}, {15, "outdir"}}) +
                                         "    1\n");
  EXPECT_EQ(p.wlow, 4000.0);
  EXPECT_EQ(p.whigh, 15800.823);
  EXPECT_EQ(p.wref, 2.5);
  EXPECT_EQ(p.outdir, "outdir");
  EXPECT_EQ(p.ilog, 1);
}

TEST(RunParameters, ABlankFirstLineListsNoFile) {
  std::string text = "\n    1\n1.0\n    3\n    0\n   13\n    1\n    0\n4.0\n400\n4000\n15800.0\nout\n";
  RunParameters p = parse_run_parameters(text);
  EXPECT_EQ(p.nfiles, 0);
  EXPECT_TRUE(p.files.empty());
  EXPECT_EQ(p.whigh, 4000.0);
}

TEST(RunParameters, EachErrorNamesItsLineAndField) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "red.dat line 1: nfiles: the file ends before this line"},
      {red_dat({{0, "  701"}}), "red.dat line 1: nfiles: 701 files listed, at most 700"},
      {red_dat({{0, "  x"}}), "red.dat line 1: nfiles: 'x' is not a whole number"},
      {red_dat({{4, "abc"}}), "red.dat line 5: sampr: no number found"},
      {red_dat({{4, "0.0"}}), "red.dat line 5: sampr: must be greater than 0"},
      {red_dat({{10, "4.0.1"}}), "red.dat line 11: res: '4.0.1' is not a number"},
      {red_dat({{10, "1E999"}}), "red.dat line 11: res: '1E999' is out of range"},
      {red_dat({{13, "-1."}}), "red.dat line 14: wref: must be greater than 0"},
      {red_dat({{6, "    1"}, {7, "   31"}}),
       "red.dat line 8: npow: must lie between 1 and 30 when ipow2 asks for it"},
      {red_dat({{6, "    1"}, {7, "    0"}}),
       "red.dat line 8: npow: must lie between 1 and 30 when ipow2 asks for it"},
      {red_dat({{15, "  yes"}}), "red.dat line 16: ilog: 'yes' is not a whole number"},
      {red_dat().substr(0, red_dat().find("out")), "red.dat line 15: outdir: the file ends before this line"},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(expected);
    EXPECT_EQ(stop_text(text), expected);
  }
  // npow is only checked where the run uses it: ipow2 = 2 means nothing to a single-sided run.
  EXPECT_EQ(parse_run_parameters(red_dat({{6, "    2"}, {7, "   99"}})).npow, 99);
}

TEST(RunParameters, OddTextIsRefusedOnTheFirstLineThatHoldsIt) {
  // 298 bytes of fields, an empty line, then lines of 1000 bytes: byte 1048577 lies on line
  // 17 + (1048577 - 298 - 1) / 1001 + 1 = 1065.
  const std::string huge_comment = "\n" + std::string(1000, '#');
  std::string long_file = red_dat();
  while (long_file.size() <= kMaxFileBytes) long_file += huge_comment;
  const std::pair<std::string, std::string> cases[] = {
      {red_dat({{0, "    +"}}), "red.dat line 1: nfiles: '+' is not a whole number"},
      {red_dat({{15, "   - "}}), "red.dat line 16: ilog: '-' is not a whole number"},
      {red_dat({{5, "  \a\x1b[2J"}}),
       "red.dat line 6: iapod: '\\x07\\x1b[' is not a whole number"},
      {red_dat({{10, "4.\x7f"}}), "red.dat line 11: res: '4.\\x7f' is not a number"},
      {red_dat({{2, std::string(1025, 'n')}}),
       "red.dat line 3: files: the line is longer than 1024 bytes"},
      {red_dat({{12, std::string(1020, ' ') + "4000\r"}}), "no stop"},  // 1024 bytes and CR LF
      {long_file, "red.dat line 1065: the file is longer than 1048576 bytes"},
      // Byte 200 lies on line 10, idbl's.
      {long_file.substr(0, 200) + std::string(kMaxFileBytes, ' '),
       "red.dat line 10: idbl: the line is longer than 1024 bytes"},
      // Of several faults the one on the lowest line is named, value checks included.
      {red_dat({{4, "0.0"}, {15, "  yes"}}), "red.dat line 5: sampr: must be greater than 0"},
      {red_dat({{13, "-1."}, {15, "  yes"}}), "red.dat line 14: wref: must be greater than 0"},
      {red_dat({{6, "    1"}, {7, "   31"}, {10, "x"}}),
       "red.dat line 8: npow: must lie between 1 and 30 when ipow2 asks for it"},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(expected);
    EXPECT_EQ(stop_text(text), expected);
  }
}

// The layout --save-red-dat has always written: integers right-aligned in columns 1-5,
// res and wref right-aligned in columns 1-15 with their point, free-form numbers from
// column 1 padded to 15 columns, names and outdir alone on their lines without padding.
TEST(RunParameters, WriterLaysOutEachFieldByItsRule) {
  RunParameters p;
  p.nfiles = 2;
  p.files = {std::string("a.spc"), "data/b c.spc"};
  p.iphase = 1;
  p.sampr = 0.5;
  p.iapod = -1;
  p.ipow2 = 1;
  p.npow = 12;
  p.ires = 0;
  p.idbl = 1;
  p.res = 4.0;
  p.wlow = -10.5;
  p.whigh = 7000.0;
  p.wref = 15800.823;
  p.outdir = std::string("out");
  p.ilog = 1;
  EXPECT_EQ(write_run_parameters(p),
            "    2 nfiles\n"
            "a.spc\n"
            "data/b c.spc\n"
            "    1 iphase\n"
            "0.5             sampr\n"
            "   -1 iapod\n"
            "    1 ipow2\n"
            "   12 npow\n"
            "    0 ires\n"
            "    1 idbl\n"
            "             4. res\n"
            "-10.5           wlow\n"
            "7000            whigh\n"
            "      15800.823 wref\n"
            "out\n"
            "    1 ilog\n");
}

// Whatever red.dat can hold reads back bit for bit: integers up to five characters, decimal
// texts up to 15, free-form texts of any length, names of 40 characters with blanks inside
// and in front.
TEST(RunParameters, WrittenParametersReadBackFieldByField) {
  const std::string widest = "  lead/" + std::string(29, 'x') + " end";
  // nfiles, files, iphase, sampr, iapod, ipow2, npow, ires, idbl, res, wlow, whigh, wref,
  // outdir, ilog, wlref
  const RunParameters sets[] = {
      {2, {std::string("a.spc"), std::string("data/b c.spc")}, 1, 1.0, 3, 0, 14, 1, 0, 4.0, 400.0, 4000.0,
       15800.823, std::string("out"), 1, 1.0 / 15800.823},
      {0, {}, 0, 1e-5, 0, 0, 14, 1, 0, 1e-7, 1e-8, 5e22, 0.001, std::string(""), 0, 1.0 / 0.001},
      {1, {widest}, 12345, 2.25, -9999, 1, 30, -1, 7, 2.5e-300, -0.0, 1.7976931348623157e308,
       2.5e-300, std::string(40, 'o'), 99999, 1.0 / 2.5e-300},
      {1, {std::string("x.spc")}, 0, 0.1 + 0.2, 99999, 1, 1, 0, 0, 0.1, 0.1 + 0.2, -1e-300,
       123456789.01234, std::string(" spaced out"), -3, 1.0 / 123456789.01234},
  };
  const auto bits = [](double v) { return std::bit_cast<std::uint64_t>(v); };
  for (const RunParameters& p : sets) {
    const std::string text = write_run_parameters(p);
    SCOPED_TRACE(text);
    const RunParameters q = parse_run_parameters(text);
    EXPECT_EQ(q.nfiles, p.nfiles);
    EXPECT_EQ(q.files, p.files);
    EXPECT_EQ(q.iphase, p.iphase);
    EXPECT_EQ(bits(q.sampr), bits(p.sampr));
    EXPECT_EQ(q.iapod, p.iapod);
    EXPECT_EQ(q.ipow2, p.ipow2);
    EXPECT_EQ(q.npow, p.npow);
    EXPECT_EQ(q.ires, p.ires);
    EXPECT_EQ(q.idbl, p.idbl);
    EXPECT_EQ(bits(q.res), bits(p.res));
    EXPECT_EQ(bits(q.wlow), bits(p.wlow));
    EXPECT_EQ(bits(q.whigh), bits(p.whigh));
    EXPECT_EQ(bits(q.wref), bits(p.wref));
    EXPECT_EQ(q.outdir, p.outdir);
    EXPECT_EQ(q.ilog, p.ilog);
    EXPECT_EQ(bits(q.wlref), bits(p.wlref));
  }
}

}  // namespace
}  // namespace ftir::driver
