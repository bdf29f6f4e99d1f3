#include "report/format_text.h"

#include <gtest/gtest.h>

#include <limits>

namespace ftir::report {
namespace {

struct EditCase {
  const char* format;
  double value;
  const char* expected;  // the record, carriage control included
};

std::string one_record(std::string_view format, FormatValues values) {
  std::vector<std::string> records = format_records(format, values);
  EXPECT_EQ(records.size(), 1u);
  return records.empty() ? "" : records[0];
}

TEST(FormatText, RealEditsFollowTheClassicRules) {
  const double kNan = std::numeric_limits<double>::quiet_NaN();
  const EditCase cases[] = {
      // No digit before the point below 1; the sign stays.
      {"(F10.4)", 0.5, "     .5000"},
      {"(F10.4)", -0.25, "    -.2500"},
      {"(F10.4)", 0.99996, "    1.0000"},
      {"(F10.4)", -0.00001, "    -.0000"},
      {"(F10.4)", -0.0, "    -.0000"},
      {"(F10.4)", 0.0, "     .0000"},
      {"(F10.5)", 3.2774554, "   3.27746"},
      {"(F10.4)", 1234567.0, "**********"},
      {"(F7.3)", 4.0, "  4.000"},
      {"(F7.3)", 999.9994, "999.999"},
      {"(F7.3)", 999.9996, "*******"},
      {"(F7.3)", -99.9994, "-99.999"},
      {"(F7.3)", -100.0, "*******"},
      {"(F15.6)", 8192.0, "    8192.000000"},
      // Ties are rounded to even from the exact binary value; 0.15 lies below its tie.
      {"(F5.2)", 0.125, "  .12"},
      {"(F5.2)", 0.375, "  .38"},
      {"(F5.1)", 0.15, "   .1"},
      {"(F4.0)", 2.5, "  2."},
      // E and D: a point, d significant digits, the letter, sign and two digits.
      {"(E12.5)", 12.345, "  .12345E+02"},
      {"(E12.5)", -0.0031416, " -.31416E-02"},
      {"(E12.5)", 0.0, "  .00000E+00"},
      {"(E12.5)", 1.0, "  .10000E+01"},
      {"(E12.5)", 0.999999, "  .10000E+01"},
      {"(D15.8)", 1234.5, "  .12345000D+04"},
      {"(D15.8)", 6.103515625e-05, "  .61035156D-04"},
      {"(D15.8)", -2.5e-7, " -.25000000D-06"},
      // Outside -99..+99 the letter gives way to a third exponent digit.
      {"(E12.5)", 1.0e100, "  .10000+101"},
      {"(E12.5)", 1.0e-100, "  .10000E-99"},
      {"(E12.5)", 1.0e-101, "  .10000-100"},
      {"(D15.8)", 5e-324, "  .49406565-323"},
      {"(E8.5)", 12.345, "********"},
      {"(F10.4)", kNan, "       NaN"},
      {"(F10.4)", -std::numeric_limits<double>::infinity(), " -Infinity"},
  };
  for (const EditCase& c : cases) {
    SCOPED_TRACE(std::string(c.format) + " " + std::to_string(c.value));
    EXPECT_EQ(one_record(c.format, {c.value}), c.expected);
  }
}

TEST(FormatText, IntegerAndTextEdits) {
  EXPECT_EQ(one_record("(1X,I10,' points read')", {1024}), "       1024 points read");
  EXPECT_EQ(one_record("(1X,I3)", {12345}), " ***");
  EXPECT_EQ(one_record("(I3)", {-99}), "-99");
  EXPECT_EQ(one_record("(I3)", {-100}), "***");
  EXPECT_EQ(one_record("(I8)", {270000}), "  270000");
  EXPECT_EQ(one_record("(' Centerburst located at ',I10)", {417}),
            " Centerburst located at        417");
  // A keeps the full declared length, trailing blanks included.
  std::string name40 = "scan01.spc";
  name40.resize(40, ' ');
  EXPECT_EQ(one_record("(' Output: ',A)", {name40}), " Output: " + name40);
  EXPECT_EQ(one_record("(A3)", {"abcdef"}), "abc");
  EXPECT_EQ(one_record("(A5)", {"ab"}), "   ab");
  EXPECT_EQ(one_record("('It''s',2X,'x')", {}), "It's  x");
}

TEST(FormatText, SlashesMakeRecordsAndRepeatCountsRepeat) {
  using V = std::vector<std::string>;
  EXPECT_EQ(format_records("(/,/,' Interferogram File:  ',A)", {"a.spc"}),
            (V{"", "", " Interferogram File:  a.spc"}));
  EXPECT_EQ(format_records("(' ********   Zero filling  *******',/,'  number of points used',I10,/,"
                           "' number of points avaliable:',I10,/)",
                           {2048, 2001}),
            (V{" ********   Zero filling  *******", "  number of points used      2048",
               " number of points avaliable:      2001", ""}));
  EXPECT_EQ(format_records("(' lnum, xin(1), xin(lnum)=',I10,2F15.6)", {4096, 0.0, 8192.0}),
            (V{" lnum, xin(1), xin(lnum)=      4096        .000000    8192.000000"}));
  EXPECT_EQ(format_records("(' istart, lnun, iend=',3I10)", {488, 2048, 3047}),
            (V{" istart, lnun, iend=       488      2048      3047"}));
  EXPECT_EQ(format_records("(' wlow,whigh=',2F10.4)", {400.0, 4000.0}),
            (V{" wlow,whigh=  400.0000 4000.0000"}));
  EXPECT_EQ(format_records("(' Reqested resolution (',F7.4,') exceeds what is ',/,'  possible "
                           "with this interferogram.  Resolution will be adjusted',/,' to best "
                           "possible resolution (',F7.4,')')",
                           {2.0, 3.2774554910982196}),
            (V{" Reqested resolution ( 2.0000) exceeds what is ",
               "  possible with this interferogram.  Resolution will be adjusted",
               " to best possible resolution ( 3.2775)"}));
  // Values run out: the records end at the first edit with nothing to edit.
  EXPECT_EQ(format_records("(' a=',I3,' b=',I3)", {7}), (V{" a=  7 b="}));
}

}  // namespace
}  // namespace ftir::report
