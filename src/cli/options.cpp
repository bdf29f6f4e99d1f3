#include "cli/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

#include "driver/run_parameters.h"
#include "simd/width.h"
#include "transform/windows.h"
#include "values/interferogram.h"

namespace ftir::cli {
namespace {

using driver::whole_number;

constexpr std::string_view kVersion = "ftir-reduce 1.0.0";

// The version line: the version, then the width of the vector forms this process runs.
std::string version_line() {
  return std::string(kVersion) +
         " (vector width: " + std::string(simd::width_name(simd::active_width())) + ")";
}

// The help text up to the iapod line, which window_legend() writes from the registry.
constexpr std::string_view kFooterStart = R"(
Each FILE is converted on its own, as a red.dat run listing it alone would
convert it: the same report lines and the same output bytes. A file that cannot
be read or converted is skipped with its reason and the run goes on. Outputs go
to <out>/<base name>.spc (with --phase-files also .phz and .shr); no output ever
replaces an input. --no-res without --points only reads and counts each file,
as red.dat's ipow2 0 and ires 0 do. A file named twice (by any name) is
converted once, with a note. Log, summary, page and saved red.dat may not name
a file the run reads or writes, red.dat, or each other.

Exit status: 0 every file converted, 2 some files skipped, 1 bad options, a log,
summary, page or red.dat refused or that cannot be written, or a run that
--save-red-dat cannot express.

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

ftir-reduce --explain FILE... [OPTIONS] converts nothing: for each file, the
parameters it states, what each option given replaces, the output names and the
record's limits; exit status as the run's would be.

A worked example lies in the examples/ folder of the source tree; see README.md
there and at the top of the tree.)";

// The iapod line of the help: each window of the registry that red.dat names as "<code> <name>", neighbours
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
    if (transform::red_dat_window(w.code) == nullptr) continue;
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

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The names of a --files-from list: one a line, a CR before the LF dropped, lines of blanks
// and tabs passed over.
std::vector<std::string> list_names(std::string_view text) {
  std::vector<std::string> names;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_not_of(" \t") != std::string_view::npos) names.emplace_back(line);
  }
  return names;
}

// The number of single-character insertions, deletions and substitutions that turn `a`
// into `b` (Levenshtein).
std::size_t edit_distance(std::string_view a, std::string_view b) {
  // One row of the table at a time: row[j] is the distance from a[0, i) to b[0, j).
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The whole text of a --files-from list: standard input for "-".
std::string read_list(const std::string& list) {
  const bool from_stdin = list == "-";
  errno = 0;
  std::FILE* file = from_stdin ? stdin : std::fopen(list.c_str(), "rb");
  if (file == nullptr) {
    refuse("--files-from", list, std::string("cannot be read: ") + std::strerror(errno));
  }
  std::string text;
  char buffer[65536];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  const int error = std::ferror(file) ? (errno != 0 ? errno : EIO) : 0;
  if (!from_stdin) std::fclose(file);
  if (error != 0) {
    refuse("--files-from", list, std::string("cannot be read: ") + std::strerror(error));
  }
  return text;
}

// The first argument that looks like a long option CLI11 does not know, with the known
// option nearest to it when one is close: one slip in a name of three letters or more, two
// in one of six or more. Arguments after "--" are files.
std::optional<std::string> suggestion(const CLI::App& app, int argc, const char* const* argv) {
  std::vector<std::string> known;
  for (const CLI::Option* option : app.get_options()) {
    for (const std::string& name : option->get_lnames()) known.push_back("--" + name);
  }
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") break;
    if (arg.size() <= 2 || arg.substr(0, 2) != "--") continue;
    const std::string_view name = arg.substr(0, arg.find('='));
    if (std::find(known.begin(), known.end(), name) != known.end()) continue;
    const std::string* nearest = nullptr;
    std::size_t best = 0;
    for (const std::string& k : known) {
      const std::size_t d = edit_distance(name, k);
      if (nearest == nullptr || d < best) {
        nearest = &k;
        best = d;
      }
    }
    if (nearest == nullptr || best > 2 || 3 * best > name.size() - 2) return std::nullopt;
    return "unknown option " + std::string(name) + "; did you mean " + *nearest + "?";
  }
  return std::nullopt;
}

// The first argument before "--" that starts with - and names no option, and that is a
// file's name most likely: one dash (an option has two), or a file that exists.
std::optional<std::string> dashed_name(const CLI::App& app, int argc, const char* const* argv) {
  const std::vector<const CLI::Option*> options = app.get_options();
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") break;
    if (arg.size() < 2 || arg[0] != '-') continue;
    const std::string name(arg.substr(0, arg.find('=')));
    const bool known = std::any_of(options.begin(), options.end(), [&name](const CLI::Option* o) {
      return o->check_name(name);
    });
    if (!known && (arg[1] != '-' || std::filesystem::exists(std::string(arg)))) {
      return std::string(arg);
    }
  }
  return std::nullopt;
}

// The transform controls' option texts, each empty when not given.
struct ControlTexts {
  const std::string& zero_fill;
  const std::string& phase_resolution;
  const std::string& zpd;
  const std::string& phase;
  const std::string& grid;
  const std::string& direction;
};

// The value of a control given, or its refusal in one line naming what it allows.
template <class T>
T taken(const std::string& option, const std::string& text, driver::FromText<T>&& parsed) {
  if (!parsed.value) refuse(option, text, parsed.refusal);
  return std::move(*parsed.value);
}

// Sets the controls that were given; a stored phase is read here, once for the run.
void parse_controls(const CLI::App& app, Settings& s, const ControlTexts& t) {
  const auto given = [&](const char* option) { return app.count(option) > 0; };
  if (given("--zero-fill")) {
    s.zero_fill = taken("--zero-fill", t.zero_fill, driver::zero_fill_from_text(t.zero_fill));
  }
  if (given("--phase-resolution")) {
    s.phase_resolution = positive_number("--phase-resolution", t.phase_resolution);
  }
  if (given("--zpd")) s.zpd = taken("--zpd", t.zpd, driver::zpd_from_text(t.zpd));
  if (given("--phase")) s.phase = taken("--phase", t.phase, driver::phase_from_text(t.phase));
  if (given("--grid")) s.grid = taken("--grid", t.grid, driver::grid_from_text(t.grid));
  if (given("--direction")) {
    s.direction = taken("--direction", t.direction, driver::direction_from_text(t.direction));
  }
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
  std::string zero_fill;
  std::string phase_resolution;
  std::string zpd;
  std::string phase;
  std::string grid;
  std::string direction;
  bool two_scans = false;
  std::string channel;
  bool absorbance = false;
  bool transmittance = false;

  CLI::App app(
      "Turns FTIR interferograms stored as SPC, OPUS or OMNIC (.SPA) files into spectra; the "
      "content decides the format, not the name.",
      "ftir-reduce");
  app.footer(std::string(kFooterStart) + window_legend() + std::string(kFooterEnd));
  app.set_version_flag("--version", version_line());
  app.add_option("FILE", s.files, "interferograms to convert (SPC, OPUS or OMNIC files)")
      ->type_name("");
  std::string files_from;
  app.add_option("--files-from", files_from,
                 "also convert the files named in LIST, one a line (blank lines passed over; - "
                 "reads standard input), after the FILE arguments")
      ->type_name("LIST");
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
  app.add_option("--zero-fill", zero_fill,
                 "transform F times the points the classic rule takes (1, 2, 4, 8 or 16), "
                 "the rest zero; the spectrum keeps its scale (default: the classic rule)")
      ->type_name("F");
  app.add_option("--phase-resolution", phase_resolution,
                 "phase piece of 2N points, N the smallest power of two (4 to 8192) with "
                 "1/(N*dx) <= CM-1, dx = 1/(sampr*wref) cm (default: the classic piece, N "
                 "the largest power of two up to the centerburst index and 4096)")
      ->type_name("CM-1");
  app.add_option("--zpd", zpd,
                 "centerburst: max (largest sample), min (smallest), abs (largest magnitude, "
                 "the default) or a 1-based INDEX")
      ->type_name("max|min|abs|INDEX");
  app.add_option("--phase", phase,
                 "phase correction: mertz (single-sided default), mertz-signed (the phase "
                 "folded into -pi/2..pi/2), power or magnitude (|X|; magnitude is the "
                 "double-sided default), stored:FILE (the angles of a .phz file written by "
                 "--phase-files, interpolated)")
      ->type_name("MODE");
  app.add_option("--grid", grid,
                 "classic: N/2 points from 0 to exactly fmax (the default); exact: point k at "
                 "k/(N*dx), k = 0..N/2, N the transform's points")
      ->type_name("classic|exact");
  app.add_option("--direction", direction,
                 "records of two scans: forward, backward, or both (the default: each "
                 "transformed on its own, the spectra averaged)")
      ->type_name("forward|backward|both");
  app.add_flag("--two-scans", two_scans,
               "each file holds a forward scan then a backward one, stored reversed, each "
               "half of the samples");
  app.add_option("--channel", channel,
                 "instrument files: the interferogram converted (default: the sample's, or "
                 "the reference's in a file holding no other)")
      ->check(CLI::IsMember({"sample", "reference"}))
      ->type_name("sample|reference");
  app.add_flag("--absorbance", absorbance,
               "instrument files: convert both channels and write the absorbance "
               "-log10(sample/reference)");
  app.add_flag("--transmittance", transmittance,
               "instrument files: convert both channels and write the transmittance "
               "sample/reference");
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
  app.add_option("--summary", s.summary_path,
                 "one row per file, CSV or JSON by the extension; - writes the CSV to standard "
                 "output (and the closing line to standard error)")
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
  app.add_flag("--explain", s.explain,
               "convert nothing: for each FILE, the parameters it states, what each option "
               "given replaces, the output names and the record's limits");
  std::string check;
  app.add_option("--check", check,
                 "check a red.dat (default ./red.dat) as a run would read it, convert nothing; "
                 "only as the first argument: ftir-reduce --check [FILE]")
      ->expected(0, 1)
      ->type_name("[FILE]");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    return PrintAndLeave{app.help()};
  } catch (const CLI::CallForVersion&) {
    return PrintAndLeave{version_line() + "\n"};
  } catch (const CLI::ExtrasError& e) {
    if (const std::optional<std::string> text = suggestion(app, argc, argv)) {
      throw OptionError(*text, false);
    }
    if (const std::optional<std::string> name = dashed_name(app, argc, argv)) {
      throw OptionError(std::string(e.what()) + "; a FILE whose name starts with - is given " +
                            "after --: ftir-reduce [OPTIONS] -- " + *name,
                        false);
    }
    throw OptionError(e.what());
  } catch (const CLI::ParseError& e) {
    throw OptionError(e.what());
  }
  if (app.count("--check") > 0) {
    throw OptionError("--check comes first and alone: ftir-reduce --check [FILE]");
  }
  if (app.count("--files-from") > 0) {
    for (std::string& name : list_names(read_list(files_from))) s.files.push_back(std::move(name));
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
  parse_controls(app, s, {zero_fill, phase_resolution, zpd, phase, grid, direction});
  for (const char* option : {"--sides", "--points", "--sampr"}) {
    if (app.count(option) > 0) s.spc_only_given.emplace_back(option);
  }
  if (two_scans) s.two_scans = true;
  s.window_given = app.count("--window") > 0;
  s.res_given = app.count("--res") > 0;
  s.range_given = app.count("--range") > 0;
  if (!channel.empty()) {
    s.channel = channel == "reference" ? values::Channel::kReference : values::Channel::kSample;
  }
  if (absorbance && transmittance) {
    throw OptionError("--absorbance and --transmittance: a run writes one of the two");
  }
  if ((absorbance || transmittance) && s.channel == values::Channel::kReference) {
    throw OptionError(std::string(absorbance ? "--absorbance" : "--transmittance") +
                      " takes both channels; --channel reference asks for one");
  }
  s.ratio = absorbance      ? driver::Ratio::kAbsorbance
            : transmittance ? driver::Ratio::kTransmittance
                            : driver::Ratio::kNone;
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
  if (!s.summary_path.empty() && s.summary_path != "-") {
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
  // The output names drop trailing blanks as every name of a run does: the folder created
  // would keep them and the spectra would be written under a folder that does not exist.
  if (s.outdir.back() == ' ') {
    refuse("--out", s.outdir,
           "ends in a blank, which output names drop (the spectra would be written to a "
           "folder without it)");
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
