// red.dat: the fixed line layout of the run parameter file and its field rules.
#include "driver/run_parameters.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <optional>

#include "report/escape.h"
#include "report/format_text.h"
#include "report/stop.h"

namespace ftir::driver {
namespace {

constexpr int kIntegerColumns = 5;
constexpr int kDecimalColumns = 15;
constexpr int kImpliedDecimals = 5;

[[noreturn]] void refuse(int line_number, std::string_view field, std::string_view reason) {
  report::stop("red.dat line " + std::to_string(line_number) + ": " + std::string(field) + ": " +
                   std::string(reason),
               report::kExitFailure);
}

[[noreturn]] void refuse_size(int line_number) {
  report::stop("red.dat line " + std::to_string(line_number) + ": the file is longer than " +
                   std::to_string(kMaxFileBytes) + " bytes",
               report::kExitFailure);
}

// The lines of the file, each without its line end (LF, or CR LF from other systems). `cut`
// says the text is only the file's first kMaxFileBytes: a line that reaches its end is
// refused.
class LineReader {
 public:
  LineReader(std::string_view text, bool cut, std::vector<FieldTrace>* trace)
      : text_(text), cut_(cut), trace_(trace) {}

  // The next line of `field`, or nullopt at the end of the file.
  std::optional<std::string_view> next(std::string_view field) {
    if (pos_ >= text_.size()) {
      if (cut_) refuse_size(line_number_ + 1);
      return std::nullopt;
    }
    std::size_t end = text_.find('\n', pos_);
    std::string_view line;
    if (end == std::string_view::npos) {
      line = text_.substr(pos_);
      pos_ = text_.size();
    } else {
      line = text_.substr(pos_, end - pos_);
      pos_ = end + 1;
    }
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++line_number_;
    if (line.size() > kMaxLineBytes) {
      refuse(line_number_, field,
             "the line is longer than " + std::to_string(kMaxLineBytes) + " bytes");
    }
    if (cut_ && end == std::string_view::npos) refuse_size(line_number_);
    return line;
  }

  // Refuses a file that goes on past kMaxFileBytes, naming the line where that bound falls.
  void refuse_if_cut() const {
    if (!cut_) return;
    int line = line_number_ + 1;
    for (std::size_t i = pos_; i < text_.size(); ++i) line += text_[i] == '\n' ? 1 : 0;
    refuse_size(line);
  }

  // The next line of a field that must be there.
  std::string_view required(std::string_view field) {
    std::optional<std::string_view> line = next(field);
    if (!line) refuse(line_number_ + 1, field, "the file ends before this line");
    return *line;
  }

  int line_number() const { return line_number_; }

  // Appends the field just read from `line` (the current line) to the trace, if any.
  void note(FieldTrace::Kind kind, std::string_view field, std::string_view line, int first_column,
            int last_column, double number = 0.0, bool implied_decimals = false,
            std::string_view text = {}) {
    if (trace_ == nullptr) return;
    FieldTrace t;
    t.kind = kind;
    t.line_number = line_number_;
    t.field = field;
    if (first_column > 0) {
      t.raw = line.substr(0, static_cast<std::size_t>(last_column))
                  .substr(std::min(line.size(), static_cast<std::size_t>(first_column - 1)));
    }
    t.first_column = first_column;
    t.last_column = last_column;
    t.line = line;
    t.implied_decimals = implied_decimals;
    t.number = number;
    t.text = text;
    trace_->push_back(std::move(t));
  }

 private:
  std::string_view text_;
  bool cut_;
  std::size_t pos_ = 0;
  int line_number_ = 0;
  std::vector<FieldTrace>* trace_;
};

// The field's columns with every blank removed (blanks in a numeric field are ignored).
std::string squeeze_columns(std::string_view line, int columns) {
  std::string kept;
  for (char c : line.substr(0, static_cast<std::size_t>(columns))) {
    if (c != ' ') kept += c;
  }
  return kept;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// red.dat text in a message: in quotes, control bytes escaped.
std::string quoted(std::string_view text) { return "'" + report::escape_controls(text) + "'"; }

// Integer field: columns 1 to 5, blanks ignored, an optional sign; a blank field is 0.
int integer_field(std::string_view line, int line_number, std::string_view field) {
  std::string text = squeeze_columns(line, kIntegerColumns);
  if (text.empty()) return 0;
  std::size_t start = (text[0] == '+' || text[0] == '-') ? 1 : 0;
  // A sign with no digit after it is no number either.
  bool whole = start < text.size();
  for (std::size_t i = start; i < text.size(); ++i) whole = whole && is_digit(text[i]);
  if (!whole) refuse(line_number, field, quoted(text) + " is not a whole number");
  int value = 0;
  std::from_chars(text.data() + start, text.data() + text.size(), value);
  return text[0] == '-' ? -value : value;
}

// A decimal number in the field grammar: sign, digits with at most one point, then an
// optional exponent (E or D with an optional sign, or a sign alone) and digits. Returns
// the mantissa digits, whether a point was present, the power of ten that the point
// position gives, and the exponent; nullopt when the text does not fit the grammar.
struct DecimalText {
  bool negative = false;
  std::string digits;
  bool has_point = false;
  int point_shift = 0;  // minus the number of digits after the point
  long exponent = 0;
};

std::optional<DecimalText> scan_decimal(std::string_view text) {
  DecimalText d;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) d.negative = text[i++] == '-';
  bool any_digit = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (is_digit(c)) {
      d.digits += c;
      any_digit = true;
      if (d.has_point) --d.point_shift;
    } else if (c == '.' && !d.has_point) {
      d.has_point = true;
    } else {
      break;
    }
  }
  if (!any_digit) return std::nullopt;
  if (i < text.size()) {
    char c = text[i];
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd')
      ++i;
    else if (c != '+' && c != '-')
      return std::nullopt;
    bool exponent_negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) exponent_negative = text[i++] == '-';
    if (i == text.size()) return std::nullopt;
    for (; i < text.size(); ++i) {
      if (!is_digit(text[i])) return std::nullopt;
      if (d.exponent < 100000) d.exponent = d.exponent * 10 + (text[i] - '0');
    }
    if (exponent_negative) d.exponent = -d.exponent;
  }
  return d;
}

// The value of the scanned text, with `implied` decimals when it has no point, rounded
// once from the exact decimal value.
std::optional<double> decimal_value(const DecimalText& d, int implied) {
  long power = d.exponent + d.point_shift - (d.has_point ? 0 : implied);
  std::string exact = d.digits + "e" + std::to_string(power);
  double value = 0.0;
  auto [end, ec] = std::from_chars(exact.data(), exact.data() + exact.size(), value);
  if (ec != std::errc() || end != exact.data() + exact.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return d.negative ? -value : value;
}

// Decimal field: columns 1 to 15, blanks ignored; without a decimal point the last five
// digits are decimals ("4" is 0.00004, "400000" is 4.0). A blank field is 0.
// `implied` is set when the field holds a number without a point.
double decimal_field(std::string_view line, int line_number, std::string_view field,
                     bool* implied = nullptr) {
  std::string text = squeeze_columns(line, kDecimalColumns);
  if (text.empty()) return 0.0;
  std::optional<DecimalText> scanned = scan_decimal(text);
  if (!scanned) refuse(line_number, field, quoted(text) + " is not a number");
  if (implied != nullptr) *implied = !scanned->has_point;
  std::optional<double> value = decimal_value(*scanned, kImpliedDecimals);
  if (!value) refuse(line_number, field, quoted(text) + " is out of range");
  return *value;
}

// Free-form number: the first item on the line, delimited by blanks or a comma; lines
// that hold nothing are passed over.
double free_form_number(LineReader& lines, std::string_view field) {
  for (;;) {
    std::string_view line = lines.required(field);
    std::size_t start = line.find_first_not_of(" \t,");
    if (start == std::string_view::npos) {
      lines.note(FieldTrace::Kind::kPassedOver, field, line, 0, 0);
      continue;
    }
    std::size_t end = line.find_first_of(" \t,", start);
    std::string_view item = line.substr(start, end == std::string_view::npos ? end : end - start);
    std::optional<DecimalText> scanned = scan_decimal(item);
    if (!scanned) refuse(lines.line_number(), field, "no number found");
    std::optional<double> value = decimal_value(*scanned, 0);
    if (!value) refuse(lines.line_number(), field, quoted(item) + " is out of range");
    lines.note(FieldTrace::Kind::kFreeForm, field, line, static_cast<int>(start) + 1,
               static_cast<int>(start + item.size()), *value);
    return *value;
  }
}

// Text field: the first 40 characters, blank padded; leading blanks stay.
// A name without its trailing blanks, as a run keeps it.
std::string trimmed(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

std::string text_field(std::string_view line) {
  std::string text(line.substr(0, kNameLength));
  text.resize(kNameLength, ' ');
  return text;
}

int read_integer(LineReader& lines, std::string_view field) {
  std::string_view line = lines.required(field);
  const int value = integer_field(line, lines.line_number(), field);
  lines.note(FieldTrace::Kind::kInteger, field, line, 1, kIntegerColumns, value);
  return value;
}

double read_decimal(LineReader& lines, std::string_view field) {
  std::string_view line = lines.required(field);
  bool implied = false;
  const double value = decimal_field(line, lines.line_number(), field, &implied);
  lines.note(FieldTrace::Kind::kDecimal, field, line, 1, kDecimalColumns, value, implied);
  return value;
}

std::string read_text(LineReader& lines, std::string_view field) {
  std::string_view line = lines.required(field);
  std::string text = text_field(line);
  lines.note(FieldTrace::Kind::kText, field, line, 1, kNameLength, 0.0, false, text);
  return text;
}

// The shortest text with a point: without one, a decimal field would take the last five
// digits as decimals.
std::string decimal_digits(double value) {
  std::string text = report::shortest_text(value);
  const std::size_t e = text.find('e');
  if (text.find('.') == std::string::npos) {
    text.insert(e == std::string::npos ? text.size() : e, ".");
  }
  return text;
}

std::string right_aligned(std::string text, std::size_t columns) {
  if (text.size() < columns) text.insert(0, columns - text.size(), ' ');
  return text;
}

std::string integer_line(int value, std::string_view field) {
  return right_aligned(std::to_string(value), kIntegerColumns) + " " + std::string(field) + "\n";
}

// A decimal or free-form field, padded to the decimal field's columns.
std::string number_line(std::string text, std::string_view field) {
  if (text.size() < kDecimalColumns) text.resize(kDecimalColumns, ' ');
  return text + " " + std::string(field) + "\n";
}

// A name or outdir: the padding the parser adds back is left out.
std::string text_line(std::string_view text) {
  const std::size_t end = text.find_last_not_of(' ');
  return std::string(text.substr(0, end == std::string_view::npos ? 0 : end + 1)) + "\n";
}

}  // namespace

std::optional<std::string> decimal_field_text(double value) {
  std::string text = decimal_digits(value);
  if (text.size() > static_cast<std::size_t>(kDecimalColumns)) return std::nullopt;
  return text;
}

std::string write_run_parameters(const RunParameters& p) {
  std::string t = integer_line(p.nfiles, "nfiles");
  for (const std::string& name : p.files) t += text_line(name);
  t += integer_line(p.iphase, "iphase");
  t += number_line(report::shortest_text(p.sampr), "sampr");
  t += integer_line(p.iapod, "iapod");
  t += integer_line(p.ipow2, "ipow2");
  t += integer_line(p.npow, "npow");
  t += integer_line(p.ires, "ires");
  t += integer_line(p.idbl, "idbl");
  t += number_line(right_aligned(decimal_digits(p.res), kDecimalColumns), "res");
  t += number_line(report::shortest_text(p.wlow), "wlow");
  t += number_line(report::shortest_text(p.whigh), "whigh");
  t += number_line(right_aligned(decimal_digits(p.wref), kDecimalColumns), "wref");
  t += text_line(p.outdir);
  t += integer_line(p.ilog, "ilog");
  return t;
}

RunParameters parse_run_parameters(std::string_view text, std::vector<FieldTrace>* trace) {
  RunParameters p;
  const bool cut = text.size() > kMaxFileBytes;
  LineReader lines(text.substr(0, kMaxFileBytes), cut, trace);
  p.nfiles = read_integer(lines, "nfiles");
  if (p.nfiles > kMaxFiles) {
    refuse(lines.line_number(), "nfiles",
           std::to_string(p.nfiles) + " files listed, at most " + std::to_string(kMaxFiles));
  }
  for (int i = 0; i < p.nfiles; ++i) {
    p.files.push_back(trimmed(read_text(lines, "files")));
  }
  p.iphase = read_integer(lines, "iphase");
  // Each value is checked on its own line, so that of several faults the first is named.
  p.sampr = free_form_number(lines, "sampr");
  if (!(p.sampr > 0.0)) refuse(lines.line_number(), "sampr", "must be greater than 0");
  p.iapod = read_integer(lines, "iapod");
  p.ipow2 = read_integer(lines, "ipow2");
  p.npow = read_integer(lines, "npow");
  const int npow_line = lines.line_number();
  p.ires = read_integer(lines, "ires");
  p.idbl = read_integer(lines, "idbl");
  // Whether npow is used depends on idbl, two lines further down.
  const bool npow_used = p.idbl != 0 ? p.ipow2 != 0 : p.ipow2 == 1;
  if (npow_used && (p.npow < 1 || p.npow > 30)) {
    refuse(npow_line, "npow", "must lie between 1 and 30 when ipow2 asks for it");
  }
  p.res = read_decimal(lines, "res");
  p.wlow = free_form_number(lines, "wlow");
  p.whigh = free_form_number(lines, "whigh");
  p.wref = read_decimal(lines, "wref");
  const int wref_line = lines.line_number();
  if (!(p.wref > 0.0)) refuse(wref_line, "wref", "must be greater than 0");
  p.wlref = 1.0 / p.wref;
  if (!usable_sample_spacing(p.wref, p.sampr)) {
    refuse(wref_line, "wref", "with this sampr gives no usable sample spacing");
  }
  p.outdir = trimmed(read_text(lines, "outdir"));
  if (std::optional<std::string_view> line = lines.next("ilog")) {
    p.ilog = integer_field(*line, lines.line_number(), "ilog");
    lines.note(FieldTrace::Kind::kInteger, "ilog", *line, 1, kIntegerColumns, p.ilog);
  }
  lines.refuse_if_cut();
  return p;
}

bool usable_sample_spacing(double wref, double sampr) {
  const double wlref = 1.0 / wref;
  const double xstep = wlref / sampr;
  return std::isnormal(wlref) && std::isnormal(xstep) && std::isnormal(1.0 / (2.0 * xstep));
}

RunParameters load_run_parameters(const std::string& path, std::vector<FieldTrace>* trace) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    report::stop(path + ": cannot be opened: " + std::strerror(errno) +
                     " (run ftir-reduce --help for what it must hold)",
                 report::kExitFailure);
  }
  // At most one byte past the bound is read: a name linked to an endless device costs no
  // more memory than a red.dat at its largest.
  std::string text(kMaxFileBytes + 1, '\0');
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (file.bad()) report::stop(path + ": cannot be read", report::kExitFailure);
  text.resize(static_cast<std::size_t>(file.gcount()));
  return parse_run_parameters(text, trace);
}

}  // namespace ftir::driver
