#include "cli/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

#include "driver/run_parameters.h"
#include "transform/windows.h"

namespace ftir::cli {
namespace {

constexpr std::string_view kVersion = "ftir-reduce 1.0.0";

// The help text up to the iapod line, which window_legend() writes from the registry.
constexpr std::string_view kFooterStart = R"(
Each FILE is converted on its own, as a red.dat run listing it alone would
convert it: the same report lines and the same output bytes. A file that cannot
be read or converted is skipped with its reason and the run goes on. Outputs go
to <out>/<base name>.spc (with --phase-files also .phz and .shr); no output ever
replaces an input. --no-res without --points only reads and counts each file,
as red.dat's ipow2 0 and ires 0 do.

Exit status: 0 every file converted, 2 some files skipped, 1 bad options (or a
log, summary or red.dat that cannot be written).

With no arguments ftir-reduce runs ./red.dat, one field per line (integer fields
in columns 1-5, decimal fields in columns 1-15 where a number without a point
has five implied decimals, free-form numbers anywhere on their line, names in
columns 1-40):
  nfiles             number of interferogram files (at most 700)
  file names         one per line, nfiles lines
  iphase             1: also write the phase angle (.phz) and phase spectrum (.shr)
  sampr              sampling factor (points per laser wavelength); free form
)";

// The help text after the iapod line.
constexpr std::string_view kFooterEnd =
    R"(  ipow2              1: take (double-sided) or limit (single-sided) the transform to 2^npow
  npow               exponent for ipow2, 1 to 30
  ires               1: single-sided spectra honour the requested resolution res
  idbl               0: single-sided interferograms; any other value: double-sided
  res                requested resolution, cm-1
  wlow               low end of the output range, cm-1; free form
  whigh              high end of the output range, cm-1; free form
  wref               reference (laser) wavenumber, cm-1
  outdir             output directory
  ilog               optional: 1 writes the report and diagnostics to red.out
A red.dat run exits with 0 when every file produced its spectrum, 2 when it
ended with OK but skipped files, 1 when it stopped on a failure.

ftir-reduce --check [FILE] reads FILE (default red.dat) as a run would, converts
nothing, and shows each field's line, columns, text and value, what the run
would do, and warnings for likely slips, each naming its line. Exit status: 0 no
warning, 3 warnings, 1 when it cannot be read (with the line a run would stop on).

A worked example lies in the examples/ folder of the source tree; see README.md
there and at the top of the tree.)";

// The iapod line of the help: each window of the registry as "<code> <name>", neighbours
// whose names differ only in the last word joined ("4/5/6 Norton-Beer weak/medium/strong"),
// continued under the description column.
std::string window_legend() {
  constexpr std::size_t kIndent = 21;  // the description column of the field table
  constexpr std::size_t kWidth = 91;   // no wider than the table's longest line (ipow2)
  std::vector<std::string> items;
  std::string codes;
  std::string_view family;  // the words before the last, shared by the group
  std::string last_words;
  const auto close_group = [&] {
    if (!codes.empty()) {
      items.push_back(codes + " " + (family.empty() ? "" : std::string(family) + " ") + last_words);
    }
  };
  for (const transform::Window& w : transform::window_registry()) {
    const std::size_t space = w.name.rfind(' ');
    const std::string_view head = space == std::string_view::npos ? "" : w.name.substr(0, space);
    const std::string_view tail =
        space == std::string_view::npos ? w.name : w.name.substr(space + 1);
    if (!head.empty() && head == family) {
      codes += "/" + std::to_string(w.code);
      last_words += "/" + std::string(tail);
      continue;
    }
    close_group();
    codes = std::to_string(w.code);
    family = head;
    last_words = tail;
  }
  close_group();
  std::string text;
  std::string line = "  iapod              window:";
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::string item = items[i] + (i + 1 < items.size() ? "," : "");
    if (line.size() > kIndent && line.size() + 1 + item.size() > kWidth) {
      text += line + "\n";
      line = std::string(kIndent, ' ') + item;
    } else {
      line += " " + item;
    }
  }
  return text + line + "\n";
}

[[noreturn]] void refuse(const std::string& option, const std::string& text,
                         const std::string& allowed) {
  throw OptionError(option + ": '" + text + "' " + allowed);
}

double positive_number(const std::string& option, const std::string& text) {
  const std::optional<double> value = parse_number(text);
  if (!value || !(*value > 0.0) || !std::isfinite(*value)) {
    refuse(option, text, "is not a number above 0");
  }
  return *value;
}

// A whole number from `low` to `high`.
std::optional<long long> whole_number(std::string_view text, long long low, long long high) {
  long long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

std::optional<double> parse_number(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0.0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() ||
      !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

Command parse_options(int argc, const char* const* argv, int cores) {
  Settings s;
  s.jobs = std::max(1, cores);
  std::string sides = "auto";
  std::string window(transform::window_by_code(s.iapod)->option);
  std::string res = "4";
  std::string range = "400:4000";
  std::string laser;
  std::string sampr = "1";
  std::string points;
  std::string jobs;
  std::string shard;

  CLI::App app("Turns FTIR interferograms stored as SPC files into spectra.", "ftir-reduce");
  app.footer(std::string(kFooterStart) + window_legend() + std::string(kFooterEnd));
  app.set_version_flag("--version", std::string(kVersion));
  app.add_option("FILE", s.files, "interferograms to convert (SPC files)")->type_name("");
  app.add_option("-o,--out", s.outdir, "output folder, created when missing")
      ->default_str("spectra")
      ->type_name("DIR");
  std::vector<std::string> window_names;
  for (const transform::Window& w : transform::window_registry()) {
    window_names.emplace_back(w.option);
  }
  app.add_option("--sides", sides,
                 "path: auto takes double-sided when the centerburst lies in the middle third "
                 "of the record")
      ->check(CLI::IsMember({"auto", "single", "double"}))
      ->default_str("auto")
      ->type_name("");
  app.add_option("--window", window, "apodization window")
      ->check(CLI::IsMember(window_names))
      ->default_str(window)
      ->type_name("");
  app.add_option("--res", res, "requested resolution, cm-1")->default_str("4")->type_name("CM-1");
  app.add_option("--range", range, "output range, cm-1 (a negative LOW: --range=-10:4000)")
      ->default_str("400:4000")
      ->type_name("LOW:HIGH");
  app.add_option("--laser", laser,
                 "reference wavenumber wref, cm-1 (default: from each file's X range, first X "
                 "0 cm-1 (within 1e-9 of last X) and last X wref*sampr/2, where it states one)")
      ->type_name("CM-1");
  app.add_option("--sampr", sampr, "sampling factor")->default_str("1")->type_name("F");
  app.add_option("--points", points,
                 "take (double-sided) or limit (single-sided) the transform to N points, a "
                 "power of two (red.dat's ipow2 1, npow log2 N)")
      ->type_name("N");
  app.add_flag("--no-res", s.no_res, "single-sided spectra do not honour --res (ires 0)");
  app.add_flag("--phase-files", s.phase_files, "also write the phase files .phz and .shr");
  app.add_flag("--allow-truncated", s.allow_truncated,
               "convert a file that holds fewer points than its header declares (skipped "
               "otherwise)");
  app.add_flag("--allow-no-centerburst", s.allow_no_centerburst,
               "convert a file whose samples show no centerburst, as a spectrum's do (skipped "
               "otherwise; see README)");
  app.add_flag("--carry-resolution", s.carry_resolution,
               "each file starts from the resolution the previous file left, as in a red.dat run");
  app.add_option("--log", s.log_path, "write the full report, as red.out holds it")
      ->type_name("FILE");
  app.add_option("--summary", s.summary_path, "one row per file, CSV or JSON by the extension")
      ->type_name("FILE");
  app.add_option("--save-red-dat", s.red_dat_path,
                 "write the equivalent red.dat, where one can express the run")
      ->type_name("FILE");
  app.add_option("--report", s.report_path,
                 "write the page of the run: one HTML file with the settings, a table of the "
                 "files, flags for unusual files and plots of every spectrum; alone, with no "
                 "FILE, it runs ./red.dat as with no arguments and writes its page")
      ->type_name("FILE.html");
  app.add_flag("-q,--quiet", s.quiet, "only errors and the closing summary line");
  app.add_option("-j,--jobs", jobs,
                 "files converted at once (default: the number of cores); output is the same "
                 "for every N")
      ->type_name("N");
  app.add_option("--shard", shard,
                 "convert every N-th file from the K-th (1-based), so that N runs cover the list")
      ->type_name("K/N");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    return PrintAndLeave{app.help()};
  } catch (const CLI::CallForVersion&) {
    return PrintAndLeave{std::string(kVersion) + "\n"};
  } catch (const CLI::ParseError& e) {
    throw OptionError(e.what());
  }

  s.sides = sides == "single" ? Sides::kSingle : sides == "double" ? Sides::kDouble : Sides::kAuto;
  s.iapod = transform::window_by_option(window)->code;  // IsMember let only these through
  s.res = positive_number("--res", res);
  const std::size_t colon = range.find(':');
  const std::optional<double> low =
      colon == std::string::npos ? std::nullopt : parse_number(range.substr(0, colon));
  const std::optional<double> high =
      colon == std::string::npos ? std::nullopt : parse_number(range.substr(colon + 1));
  if (!low || !high || *low > *high) {
    refuse("--range", range, "is not LOW:HIGH, two numbers in cm-1 with LOW not above HIGH");
  }
  s.wlow = *low;
  s.whigh = *high;
  if (!laser.empty()) s.laser = positive_number("--laser", laser);
  s.sampr = positive_number("--sampr", sampr);
  if (s.laser && !driver::usable_sample_spacing(*s.laser, s.sampr)) {
    refuse("--laser", laser, "with this --sampr gives no usable sample spacing");
  }
  if (!points.empty()) {
    const std::optional<long long> n = whole_number(points, 2, 1LL << 30);
    if (!n || (*n & (*n - 1)) != 0)
      refuse("--points", points, "is not a power of two from 2 to 2^30");
    while ((1LL << s.npow) < *n) ++s.npow;
  }
  if (!jobs.empty()) {
    const std::optional<long long> n = whole_number(jobs, 1, 1024);
    if (!n) refuse("--jobs", jobs, "is not a whole number from 1 to 1024");
    s.jobs = static_cast<int>(*n);
  }
  if (!shard.empty()) {
    const std::size_t slash = shard.find('/');
    const std::optional<long long> count =
        slash == std::string::npos
            ? std::nullopt
            : whole_number(std::string_view(shard).substr(slash + 1), 1, 1000000);
    const std::optional<long long> k =
        count ? whole_number(std::string_view(shard).substr(0, slash), 1, *count) : std::nullopt;
    if (!k) refuse("--shard", shard, "is not K/N with 1 <= K <= N");
    s.shard = static_cast<int>(*k);
    s.shard_count = static_cast<int>(*count);
  }
  if (!s.summary_path.empty()) {
    const std::string ext = lower(std::filesystem::path(s.summary_path).extension().string());
    if (ext != ".csv" && ext != ".json") {
      refuse("--summary", s.summary_path, "does not end in .csv or .json");
    }
  }
  if (s.outdir.empty()) refuse("--out", s.outdir, "is not a folder name");
  // Output names are made as a red.dat run makes them (OUTNAM), which takes a folder holding
  // a backslash for a DOS one and joins with "\": the spectra would land beside the folder
  // created, under names holding the backslash.
  if (s.outdir.find('\\') != std::string::npos) {
    refuse("--out", s.outdir,
           "holds a backslash, which output names take for a DOS folder separator (the "
           "spectra would land beside the folder); name the folder with /");
  }
  if (s.report_path.empty() && app.count("--report") > 0) {
    refuse("--report", s.report_path, "is not a file name");
  }
  s.keep_curves = !s.report_path.empty();  // the page draws them; nothing else needs them
  if (s.files.empty() && !s.report_path.empty()) {
    std::size_t others = 0;
    for (const CLI::Option* option : app.get_options()) {
      if (option->get_name() != "--report") others += option->count();
    }
    if (others == 0) return RedDatRun{s.report_path};
  }
  if (s.files.empty()) {
    throw OptionError("no FILE given (with no arguments at all, ftir-reduce runs ./red.dat)");
  }
  return s;
}

}  // namespace ftir::cli
