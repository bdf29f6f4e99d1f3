// The run parameters: everything red.dat holds, read once at the start of a run.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ftir::driver {

inline constexpr int kMaxFiles = 700;   // capacity of the file list
inline constexpr int kNameLength = 40;  // interferogram names and the output directory
// A red.dat is a few hundred short lines; anything far beyond is no run parameter file.
inline constexpr std::size_t kMaxLineBytes = 1024;
inline constexpr std::size_t kMaxFileBytes = 1 << 20;

struct RunParameters {
  int nfiles = 0;
  // nfiles names (none when nfiles <= 0), read from 40 columns, trailing blanks removed
  std::vector<std::string> files;
  int iphase = 0;
  double sampr = 0.0;
  int iapod = 0;
  int ipow2 = 0;
  int npow = 0;
  int ires = 0;
  int idbl = 0;
  double res = 0.0;
  double wlow = 0.0;
  double whigh = 0.0;
  double wref = 0.0;
  std::string outdir;  // read from 40 columns, trailing blanks removed
  int ilog = 0;
  double wlref = 0.0;  // 1 / wref, derived once
};

// One field as the parser read it, so that the red.dat checker can show where each value
// came from without a reader of its own. A run asks for no trace.
struct FieldTrace {
  enum class Kind {
    kInteger,     // columns 1-5
    kDecimal,     // columns 1-15
    kFreeForm,    // the first item on the line; the columns are the item's own
    kText,        // columns 1-40
    kPassedOver,  // a line holding nothing, passed over while looking for a free-form number
  };
  Kind kind = Kind::kInteger;
  int line_number = 0;   // 1-based
  std::string field;     // "nfiles", "files", "iphase", ...
  int first_column = 0;  // 1-based columns the value was read from (0 when passed over)
  int last_column = 0;
  std::string raw;                // the text of those columns, as far as the line reaches
  std::string line;               // the whole line without its line end
  bool implied_decimals = false;  // a decimal field without a point: five implied decimals
  double number = 0.0;            // the value of a numeric field
  std::string text;               // the value of a text field, 40 characters
};

// Reads the text of red.dat line by line with the field rules of each line (integer
// fields in columns 1-5, decimal fields in columns 1-15 with five implied decimals,
// free-form numbers that pass over empty lines, 40-character texts, an optional ilog
// line). Lines may end in LF or CR LF. Stops the run (exit 1) with
// "red.dat line N: <field>: <reason>" on anything it cannot use, naming the first such line
// (texts quoted with control bytes escaped), a line over kMaxLineBytes included, and with
// "red.dat line N: the file is longer than 1048576 bytes" when `text` goes on past
// kMaxFileBytes (N: the line where that bound falls). With `trace`, every field read (and
// every line passed over) is appended to it as it is read, so a stop leaves the fields
// before the faulty line there.
RunParameters parse_run_parameters(std::string_view text, std::vector<FieldTrace>* trace = nullptr);

// The text of a red.dat that parse_run_parameters() reads back as `p`: one field a line
// in its order and layout, LF line ends. Integers stand right-aligned in columns 1-5;
// res and wref right-aligned in columns 1-15 as decimal_field_text() gives them; sampr,
// wlow and whigh from column 1, padded to 15 columns; each of these lines then carries its
// field's name after a blank. The names and outdir stand alone on their lines without
// their trailing blanks; the ilog line is always written; wlref is not (the parser derives
// it). It reads back exactly only what red.dat can hold, which the caller checks: nfiles
// equal to the number of names, integers of at most 5 characters, res and wref with a
// decimal_field_text(), names and outdir of at most 40 characters and no line end.
std::string write_run_parameters(const RunParameters& p);

// A value as a decimal field (columns 1-15) holds it so that it reads back exactly: the
// shortest such digits, the point always written ("4.", "15800.823", "1.e-07"); nullopt
// when that takes more than 15 characters.
std::optional<std::string> decimal_field_text(double value);

// Whether `wref` and `sampr` give a sample spacing xstep = (1 / wref) / sampr and a folding
// wavenumber fmax = 1 / (2 xstep) that are normal doubles, as both paths need: values so
// extreme that these leave the range of a double would only give meaningless arithmetic.
bool usable_sample_spacing(double wref, double sampr);

// Reads the file at `path` and parses it; a missing or unreadable file stops the run
// with "red.dat: <reason>".
RunParameters load_run_parameters(const std::string& path,
                                  std::vector<FieldTrace>* trace = nullptr);

}  // namespace ftir::driver
