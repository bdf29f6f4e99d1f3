// The red.dat checker: the run's own parser reads the file and reports every field it
// read; the checks here look at those fields, the listed files' headers and the names the
// run would write, and say which lines look like slips.
#include "cli/check.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <span>
#include <string_view>

#include "driver/batch.h"
#include "driver/instrument.h"
#include "driver/output_names.h"
#include "driver/workspace.h"
#include "omnicfile/spa_file.h"
#include "opusfile/opus_file.h"
#include "report/stop.h"
#include "spcfile/file_access.h"
#include "spcfile/file_place.h"
#include "spcfile/header.h"
#include "spcfile/layout.h"
#include "transform/windows.h"

namespace ftir::cli {
namespace {

namespace fs = std::filesystem;
using driver::FieldTrace;
using Kind = driver::FieldTrace::Kind;

constexpr std::size_t kNameColumns = driver::kNameLength;
// A file's X range is taken to agree with wref when the laser wavenumber it implies lies
// within this fraction of wref: far above the rounding of an f32 X, well below the 0.8
// cm-1 of a wref cut at its point.
constexpr double kLaserTolerance = 1e-5;

std::string_view trim_right(std::string_view s) {
  const std::size_t end = s.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view() : s.substr(0, end + 1);
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The shortest text that reads back as v; plain decimals where they stay short.
std::string number_text(double v) {
  char buffer[64];
  const double a = std::fabs(v);
  const auto format =
      (a == 0.0 || (a >= 1e-5 && a < 1e15)) ? std::chars_format::fixed : std::chars_format::general;
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, v, format);
  return std::string(buffer, result.ptr);
}

// A derived value (xstep, fmax, X ends) to `digits` significant digits.
std::string derived_text(double v, int digits = 6) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, digits);
  return std::string(buffer, result.ptr);
}

// Text from red.dat or a file, quoted, with control bytes shown as \xNN.
std::string shown(std::string_view s) {
  std::string q = "\"";
  for (char c : s) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      constexpr char kHex[] = "0123456789ABCDEF";
      q += "\\x";
      q += kHex[byte >> 4];
      q += kHex[byte & 0xF];
    } else {
      q += c;
    }
  }
  return q + "\"";
}

// The first item of `line` at or after index `from`, delimited as free-form numbers are.
struct Item {
  std::size_t start = 0;
  std::string_view text;
};

std::optional<Item> item_from(std::string_view line, std::size_t from) {
  const std::size_t start = line.find_first_not_of(" \t,", from);
  if (start == std::string_view::npos) return std::nullopt;
  const std::size_t end = line.find_first_of(" \t,", start);
  return Item{start, line.substr(start, end == std::string_view::npos ? end : end - start)};
}

bool starts_like_a_number(std::string_view item) {
  std::size_t i = 0;
  if (i < item.size() && (item[i] == '+' || item[i] == '-')) ++i;
  if (i < item.size() && item[i] == '.') ++i;
  return i < item.size() && is_digit(item[i]);
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string columns_text(int last_column) { return "columns 1-" + std::to_string(last_column); }

class Checker {
 public:
  explicit Checker(CheckResult& result) : r_(result) {}

  void warn(int line_number, std::string text) {
    r_.warnings.push_back({line_number, std::move(text)});
  }

  // A value outside a fixed field's columns: a number cut at the field's last column, or
  // a number standing after the field (read as a comment).
  void check_fixed_columns(const FieldTrace& f) {
    const auto n = static_cast<std::size_t>(f.last_column);
    const std::string_view line = f.line;
    if (line.size() <= n) return;
    const std::string value = number_text(f.number);
    if (line[n - 1] != ' ' && (is_digit(line[n]) || line[n] == '.')) {
      const std::string_view rest = item_from(line, n)->text;
      warn(f.line_number,
           f.field + ": the number runs on past column " + std::to_string(n) + ": " + f.field +
               " reads as " + value + " from " + shown(trim_right(f.raw)) + ", and " + shown(rest) +
               " after it is not read; keep the value within " + columns_text(f.last_column));
      return;
    }
    const std::optional<Item> item = item_from(line, n);
    if (!item || !starts_like_a_number(item->text)) return;
    const std::string where = " in column " + std::to_string(item->start + 1);
    if (trim_right(f.raw).empty()) {
      warn(f.line_number, f.field + ": " + columns_text(f.last_column) + " are blank, so " +
                              f.field + " reads as 0, but " + shown(item->text) + " stands" +
                              where + "; a value belongs in " + columns_text(f.last_column) +
                              " (a comment on a line of its own is read as this field, and "
                              "every later field one line late)");
    } else {
      warn(f.line_number, f.field + " reads as " + value + " from " + columns_text(f.last_column) +
                              "; " + shown(item->text) + where + " is not read");
    }
  }

  // A decimal field without a point: its last five digits are decimals.
  void check_implied_decimals(const FieldTrace& f) {
    if (!f.implied_decimals) return;
    std::string digits;
    for (char c : f.raw) {
      if (c != ' ') digits += c;
    }
    std::string text = f.field + ": " + shown(digits) +
                       " has no decimal point, so its last five digits are decimals: " + f.field +
                       " reads as " + number_text(f.number);
    const bool plain = std::all_of(digits.begin(), digits.end(),
                                   [](char c) { return is_digit(c) || c == '+' || c == '-'; });
    if (plain && f.number != 0.0) text += "; write " + digits + ". for " + digits + " cm-1";
    warn(f.line_number, text);
  }

  void check_codes(const FieldTrace& f) {
    const auto v = static_cast<int>(f.number);
    const std::string code = f.field + " " + std::to_string(v);
    if (f.field == "iapod" && transform::red_dat_window(v) == nullptr) {
      const int windows = transform::kRedDatWindows;
      warn(f.line_number, code + " is no window (0 to " + std::to_string(windows - 1) +
                              "): the run would apodize with a boxcar "
                              "and leave the spectrum's title blank");
    } else if (f.field == "idbl" && v != 0 && v != 1) {
      warn(f.line_number, code + ": 0 is single-sided, 1 double-sided; " + std::to_string(v) +
                              " is taken as double-sided");
    } else if (f.field == "ilog" && v != 0 && v != 1) {
      warn(f.line_number, code + ": only 1 writes red.out; " + std::to_string(v) + " writes none");
    } else if (f.field == "iphase" && v != 0 && v != 1) {
      warn(f.line_number,
           code + ": only 1 writes the phase files; " + std::to_string(v) + " writes none");
    }
  }

  // A name whose text goes on in column 41 is cut there. Text after a blank column 41 is
  // a comment, as the examples write them.
  void check_name_columns(const FieldTrace& f) {
    const std::string_view line = f.line;
    if (line.size() <= kNameColumns || line[kNameColumns] == ' ') return;
    std::string_view rest = line.substr(kNameColumns);
    rest = rest.substr(0, rest.find(' '));
    warn(f.line_number, f.field + ": the text runs on past column 40 and is cut there: " +
                            shown(trim_right(f.text)) + " is read, " + shown(rest) + " is not");
  }

  void check_field(const FieldTrace& f) {
    switch (f.kind) {
      case Kind::kInteger:
        check_fixed_columns(f);
        check_codes(f);
        break;
      case Kind::kDecimal:
        check_fixed_columns(f);
        check_implied_decimals(f);
        break;
      case Kind::kText:
        check_name_columns(f);
        break;
      case Kind::kFreeForm:
      case Kind::kPassedOver:
        break;
    }
  }

  int line_of(std::string_view field) const {
    for (const FieldTrace& f : r_.fields) {
      if (f.field == field) return f.line_number;
    }
    return 0;
  }

  fs::path located(std::string_view name) const {
    const fs::path p{std::string(name)};
    return p.is_relative() && r_.folder != "." ? fs::path(r_.folder) / p : p;
  }

  // What the reader would do with the file, from its header alone; a warning for anything
  // that stops or skips the run on it, or an X range that contradicts wref.
  std::string inspect_file(const driver::RunParameters& p, int line_number, std::string_view name) {
    auto problem = [&](const std::string& text) {
      warn(line_number, shown(name) + " " + text);
      return text;
    };
    if (name.empty()) return problem("is a blank name");
    const fs::path path = located(name);
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) {
      return problem(std::string("does not exist") +
                     (name.front() == ' ' ? " (the leading blank is part of the name)" : ""));
    }
    if (fs::is_directory(status)) return problem("is a folder, not a file");
    // Opened as the run opens it: a FIFO with no writer is refused at once, not waited on.
    const spcfile::OpenedInput opened = spcfile::try_open_input(path.string());
    if (opened.not_regular) {
      return problem("is not a regular file (a FIFO, socket or device); the run would stop there");
    }
    if (opened.file == nullptr) {
      return problem(std::string("cannot be opened: ") + std::strerror(opened.error));
    }
    const std::unique_ptr<std::FILE, FileCloser> file(opened.file);
    std::array<unsigned char, spcfile::kNewDataOffset> bytes{};
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file.get());
    if (std::ferror(file.get())) return problem("cannot be read");
    if (got < 2) return problem("ends inside its header; the run would stop there");
    const std::span<const unsigned char> first(bytes.data(), got);
    if (opusfile::looks_like_opus(first) || omnicfile::looks_like_spa(first)) {
      return inspect_instrument_file(path.string(), problem);
    }
    const spcfile::HeaderDescription d = spcfile::describe_header(first);

    // The reader tests the flags first, then the version.
    auto refused_as = [&d](values::Refusal code) { return d.refused && d.refused->code == code; };
    if (refused_as(values::Refusal::kUnsupportedLayout)) {
      std::string what;
      auto add = [&](std::uint8_t bit, std::string_view text) {
        if ((d.flags & bit) == 0) return;
        what += what.empty() ? "" : ", ";
        what += text;
      };
      add(spcfile::kFlagMulti, "several traces in one file");
      add(spcfile::kFlagXArray, "an X array");
      add(spcfile::kFlagCompat, "the compatibility flag");
      return problem("is refused by the reader (" + what +
                     "); the run would stop there with \"Program terminating\"");
    }
    if (refused_as(values::Refusal::kMsbFirst)) {
      return problem(
          "is refused by the reader (new format, most significant byte first); the "
          "run would stop there with \"Hu-Oh &#&$!#^*\"");
    }
    if (!d.complete) return problem("ends inside its header; the run would stop there");
    const bool old = d.variant == spcfile::HeaderVariant::kOld;
    const double points = d.pointcount;
    const double firstx = d.x.first;
    const double lastx = d.x.last;
    const int xunits = d.x.units;
    std::string facts = old ? "old format, " : "new format, ";
    if (d.kind == spcfile::SampleKind::kFloat32) {
      facts += "32-bit float, ";
    } else {
      facts += d.kind == spcfile::SampleKind::kInt16 ? "16-bit, " : "32-bit, ";
    }
    facts += number_text(points) + " points, X " + derived_text(firstx) + " to " +
             derived_text(lastx) + (xunits == 1 ? " cm-1" : "");
    if (refused_as(values::Refusal::kFewPoints)) {
      problem("declares fewer than 2 points; the run would skip it");
    } else if (points > driver::Workspace::kSamples) {
      problem("declares " + number_text(points) + " points, more than the " +
              std::to_string(driver::Workspace::kSamples) +
              " a run holds; the run would stop there with \"Program Terminated\"");
    }
    // An interferogram stored with its X axis in wavenumbers from 0 ends at the folding
    // wavenumber, wref * sampr / 2.
    if (const std::optional<double> laser = spcfile::laser_from_x(d.x, p.sampr)) {
      const double implied = *laser;
      if (std::fabs(implied - p.wref) > kLaserTolerance * p.wref) {
        problem("has X from 0 to " + derived_text(lastx) +
                " cm-1, which implies a laser wavenumber of " + derived_text(implied, 9) +
                " cm-1 (2 * last X / sampr); wref is " + number_text(p.wref));
      }
    }
    return facts;
  }

  // An OPUS or OMNIC file, read by its own reader and planned by its own parameters, as the
  // run reads and plans it.
  template <class Problem>
  std::string inspect_instrument_file(const std::string& path, Problem& problem) {
    if (!ws_) ws_ = std::make_unique<driver::Workspace>();
    const driver::ReadOutcome read = driver::read_interferogram(path, *ws_);
    const bool opus = read.ig.format == values::SourceFormat::kOpus;
    const std::string format = opus ? "OPUS file" : "OMNIC file";
    std::optional<values::Refused> refused = read.refused;
    std::string facts = format;
    if (!refused && read.ig.instrument) {
      const values::Instrument& i = *read.ig.instrument;
      facts += ", " + i.block + ", " + std::to_string(read.ig.samples.size()) + " points" +
               (i.scans == 2 ? " (two scans)" : "");
      if (read.ig.laser) facts += ", laser " + number_text(*read.ig.laser) + " cm-1";
      const driver::InstrumentPlan plan = driver::plan_instrument(read.ig, nullptr);
      refused = plan.refused;
      if (!refused) facts += ": converted by its own processing";
    }
    if (!refused) return facts;
    const values::RefusalText& text = values::text_of(refused->code);
    return problem("is refused by its reader (" + format + "): " + refused->skip_text() +
                   (text.stop.empty()
                        ? "; the run would skip it"
                        : "; the run would stop there with \"" + std::string(text.stop) + "\""));
  }

  void check_files(const driver::RunParameters& p) {
    const bool writes = p.ipow2 != 0 || p.ires != 0;
    std::map<std::string, int> first_line_of_oname;
    int k = 0;
    for (const FieldTrace& f : r_.fields) {
      if (f.kind != Kind::kText || f.field != "files") continue;
      const std::string& fname = p.files[static_cast<std::size_t>(k++)];
      ListedFile listed;
      listed.line_number = f.line_number;
      listed.name = trim_right(fname);
      listed.facts = inspect_file(p, f.line_number, listed.name);
      listed.oname = trim_right(driver::output_names(fname, driver::naming_request(p)).spectrum);
      if (writes) {
        const auto [it, fresh] = first_line_of_oname.emplace(listed.oname, f.line_number);
        if (!fresh) {
          warn(f.line_number, "writes " + shown(listed.oname) + ", as line " +
                                  std::to_string(it->second) +
                                  " does: the run would skip this file rather than replace that spectrum");
        }
      }
      r_.files.push_back(std::move(listed));
    }
    check_log_over_input(p);
    if (!writes) return;
    // A spectrum that would replace a listed interferogram makes the run skip that file. Paths are compared with
    // links and dot segments resolved, each found once.
    std::map<fs::path, int> input_line;
    for (const ListedFile& in : r_.files) {
      std::error_code ec;
      const fs::path path = fs::weakly_canonical(located(in.name), ec);
      if (!ec && !in.name.empty()) input_line.emplace(path, in.line_number);
    }
    for (const ListedFile& out : r_.files) {
      std::error_code ec;
      const auto it = input_line.find(fs::weakly_canonical(located(out.oname), ec));
      if (!ec && it != input_line.end()) {
        warn(out.line_number, "writes " + shown(out.oname) + ", which is the interferogram " +
                                  "listed on line " + std::to_string(it->second) +
                                  ": the run would skip this file rather than overwrite it");
      }
    }
  }

  // With ilog 1 a listed red.out would be emptied by opening the log: the run stops first.
  void check_log_over_input(const driver::RunParameters& p) {
    if (p.ilog != 1) return;
    const spcfile::FilePlace log = spcfile::file_place(located("red.out").string());
    for (const ListedFile& in : r_.files) {
      if (spcfile::same_place(log, spcfile::file_place(located(in.name).string()))) {
        warn(in.line_number, shown(in.name) +
                                 " is red.out, where ilog 1 writes the log: the run "
                                 "would stop before reading anything rather than replace it");
      }
    }
  }

  void check_outdir(const driver::RunParameters& p) {
    if (r_.files.empty() || (p.ipow2 == 0 && p.ires == 0)) return;
    const fs::path folder = located(r_.files.front().oname).parent_path();
    if (folder.empty()) return;  // the working folder
    std::error_code ec;
    const fs::file_status status = fs::status(folder, ec);
    const std::string dir = shown(trim_right(p.outdir));
    if (!fs::exists(status)) {
      warn(line_of("outdir"), "outdir: the folder " + dir +
                                  " does not exist; the run would stop at the first spectrum");
    } else if (!fs::is_directory(status)) {
      warn(line_of("outdir"), "outdir: " + dir + " is not a folder");
    }
  }

  // The spectrum of every file runs from 0 to fmax.
  void check_range(const driver::RunParameters& p) {
    if (p.nfiles <= 0 || (p.ipow2 == 0 && p.ires == 0)) return;
    const double fmax = 1.0 / (2.0 * (p.wlref / p.sampr));
    const std::string range = number_text(p.wlow) + " to " + number_text(p.whigh) + " cm-1";
    if (!(p.wlow <= p.whigh)) {
      warn(line_of("wlow"), "wlow to whigh, " + range +
                                ", holds no point: wlow lies above whigh; every file would be "
                                "skipped");
    } else if (p.wlow > fmax || p.whigh < 0.0) {
      warn(line_of("wlow"), "wlow to whigh, " + range +
                                ", holds no point of the spectrum, which runs from 0 to fmax = " +
                                derived_text(fmax) + " cm-1; every file would be skipped");
    }
  }

 private:
  CheckResult& r_;
  std::unique_ptr<driver::Workspace> ws_;  // made at the first instrument file
};

// The line of one field as read.
std::string field_line(const FieldTrace& f, int width) {
  std::string number = std::to_string(f.line_number);
  std::string s =
      "  line " + std::string(static_cast<std::size_t>(width) - number.size(), ' ') + number + "  ";
  if (f.kind == Kind::kPassedOver) {
    return s + "holds nothing: passed over while looking for " + f.field;
  }
  std::string field = f.field;
  field.resize(std::max<std::size_t>(field.size(), 6), ' ');
  const std::string columns = std::to_string(f.first_column) + "-" + std::to_string(f.last_column);
  s += field + "  ";
  switch (f.kind) {
    case Kind::kInteger:
      return s + "integer, columns " + columns + ": " + shown(trim_right(f.raw)) + " -> " +
             number_text(f.number);
    case Kind::kDecimal:
      return s + "decimal, columns " + columns + ": " + shown(trim_right(f.raw)) + " -> " +
             number_text(f.number) +
             (f.implied_decimals ? " (no point: five implied decimals)" : "");
    case Kind::kFreeForm:
      return s + "free form, columns " + columns + ": " + shown(f.raw) + " -> " +
             number_text(f.number);
    case Kind::kText:
    case Kind::kPassedOver:
      break;
  }
  return s + "name, columns " + columns + ": " + shown(trim_right(f.text));
}

// What the run would do with these parameters, a line each.
std::vector<std::string> plan(const driver::RunParameters& p) {
  std::vector<std::string> out;
  const std::string n = std::to_string(p.nfiles);
  out.push_back(p.nfiles <= 0 ? "files: none (nfiles " + n + "): the run only says OK"
                              : "files: " + n + ", converted one after another");
  const bool count_only = p.ipow2 == 0 && p.ires == 0;
  if (count_only) {
    out.push_back(
        "count only: ipow2 and ires are both 0, so each file is read and its points "
        "counted; nothing is transformed or written");
  }
  const bool single = p.idbl == 0;
  out.push_back(std::string("path: ") +
                (single ? "single-sided, Mertz phase correction (idbl 0)"
                        : "double-sided magnitude (idbl " + std::to_string(p.idbl) + ")"));
  const std::string iapod = "iapod " + std::to_string(p.iapod);
  if (const transform::Window* window = transform::red_dat_window(p.iapod)) {
    out.push_back("window: " + std::string(window->name) + " (" + iapod + "), titled " +
                  shown(window->title));
  } else {
    out.push_back("window: none (" + iapod + "): weight 1 everywhere, as a boxcar, no title");
  }
  const std::string points = "2^" + std::to_string(p.npow);
  if (!single && p.ipow2 != 0) {
    out.push_back("transform: " + points + " points around the centerburst (ipow2 " +
                  std::to_string(p.ipow2) + "); the resolution follows from them");
  } else if (!single) {
    out.push_back(
        "transform: the segment around the centerburst that res asks for, or the "
        "longest the record allows");
  } else {
    std::string t = "transform: the record zero-filled or cut to a power of two";
    if (p.ipow2 == 1) t += ", at most " + points + " points (ipow2 1)";
    t += p.ires == 1 ? ", shortened to res (ires 1)"
                     : ", res not honoured (ires " + std::to_string(p.ires) + ")";
    out.push_back(t);
  }
  out.push_back("resolution: " + number_text(p.res) +
                " cm-1 requested (res); each later file starts from the resolution the "
                "file before it used");
  const double xstep = p.wlref / p.sampr;
  out.push_back("sampling: laser wavenumber " + number_text(p.wref) + " cm-1 (wref), sampr " +
                number_text(p.sampr) + ": sample spacing xstep = " + derived_text(xstep) +
                " cm, fmax = " + derived_text(1.0 / (2.0 * xstep)) + " cm-1");
  out.push_back("range: " + number_text(p.wlow) + " to " + number_text(p.whigh) +
                " cm-1 (wlow, whigh)");
  const std::string outdir(trim_right(p.outdir));
  out.push_back("output folder: " +
                (outdir.empty() ? std::string("the working folder") : shown(outdir)) + " (outdir)");
  if (single && p.iphase == 1) {
    out.push_back("phase files: .phz (phase angle) and .shr (phase spectrum) too (iphase 1)");
  }
  out.push_back(p.ilog == 1 ? "report: console and red.out (ilog 1)"
                            : "report: console only (ilog " + std::to_string(p.ilog) + ")");
  return out;
}

}  // namespace

CheckResult check_red_dat(const std::string& path) {
  CheckResult r;
  const fs::path folder = fs::path(path).parent_path();
  r.folder = folder.empty() ? "." : folder.string();
  try {
    r.params = driver::load_run_parameters(path, &r.fields);
  } catch (const report::RunStop& s) {  // red.dat cannot be read: the run's own line
    r.stop_text = s.text();
  }
  Checker checker(r);
  for (const FieldTrace& f : r.fields) checker.check_field(f);
  if (r.params) {
    checker.check_files(*r.params);
    checker.check_outdir(*r.params);
    checker.check_range(*r.params);
  }
  std::stable_sort(
      r.warnings.begin(), r.warnings.end(),
      [](const CheckWarning& a, const CheckWarning& b) { return a.line_number < b.line_number; });
  return r;
}

int run_check(report::Sink& out, const std::string& path) {
  const CheckResult r = check_red_dat(path);
  auto say = [&out](const std::string& line) { out.write(line + "\n"); };
  say("Checking " + path + " as a run reads it (nothing is converted)");
  if (r.folder != ".") {
    say("File names and outdir are taken from " + r.folder +
        ", the folder a run of this red.dat starts in");
  }
  int width = 1;
  for (const FieldTrace& f : r.fields) {
    width = std::max(width, static_cast<int>(std::to_string(f.line_number).size()));
  }
  if (!r.fields.empty()) {
    say("");
    say("Fields:");
    for (const FieldTrace& f : r.fields) say(field_line(f, width));
  }
  if (r.params) {
    say("");
    say("The run would:");
    for (const std::string& line : plan(*r.params)) say("  " + line);
    if (!r.files.empty()) {
      say("");
      say("Listed files:");
      for (const ListedFile& f : r.files) {
        say("  line " + std::to_string(f.line_number) + "  " + shown(f.name) + ": " + f.facts);
        say("      writes " + shown(f.oname));
      }
    }
  }
  if (!r.warnings.empty()) {
    say("");
    say("Warnings:");
    for (const CheckWarning& w : r.warnings) {
      say("  line " + std::to_string(w.line_number) + ": " + w.text);
    }
  }
  say("");
  if (!r.params) {
    say(r.stop_text);
    return report::kExitFailure;
  }
  const std::size_t n = r.warnings.size();
  if (n == 0) {
    say("No warning: a run would read this red.dat as shown.");
    return report::kExitOk;
  }
  say(std::to_string(n) + (n == 1 ? " warning" : " warnings") + " (exit status " +
      std::to_string(kExitCheckWarnings) + ").");
  return kExitCheckWarnings;
}

}  // namespace ftir::cli
