// The page of a command-line run and of a red.dat run.
#include "cli/run_page.h"

#include <cmath>
#include <filesystem>
#include <optional>
#include <utility>

#include "cli/side_outputs.h"
#include "driver/batch.h"
#include "driver/output_names.h"
#include "page/page.h"
#include "page/text.h"
#include "report/stop.h"

namespace ftir::cli {
namespace {

using page::format_number;

std::string two_digits(int v) { return (v < 10 ? "0" : "") + std::to_string(v); }

std::string stamp(const report::Clock& clock) {
  const report::LocalDateTime t = clock.now();
  return std::to_string(t.year) + "-" + two_digits(t.month) + "-" + two_digits(t.day) + " " +
         two_digits(t.hour) + ":" + two_digits(t.minute);
}

constexpr std::string_view kFromEachFile = "from each file";

// Which share of the files converted or tried were instrument files.
InstrumentShare instrument_share(std::span<const driver::FileRecord> records) {
  std::size_t instruments = 0;
  for (const driver::FileRecord& r : records) instruments += r.instrument ? 1 : 0;
  if (instruments == 0) return InstrumentShare::kNone;
  return instruments == records.size() ? InstrumentShare::kAll : InstrumentShare::kSome;
}

}  // namespace

std::vector<page::Setting> describe_settings(const Settings& s, InstrumentShare instruments) {
  std::vector<page::Setting> words;
  // A setting that instrument files take from their own processing unless `given`.
  const auto decided = [instruments](std::string value, bool given) {
    if (given || instruments == InstrumentShare::kNone) return value;
    if (instruments == InstrumentShare::kAll) return std::string(kFromEachFile);
    return value + "; instrument files: " + std::string(kFromEachFile);
  };
  words.push_back({"Settings from", "the command line"});
  switch (s.sides) {
    case Sides::kAuto:
      words.push_back({"Path", "chosen per file (--sides auto): double-sided, magnitude, when "
                               "the centerburst lies in the middle third of the record; "
                               "single-sided, Mertz phase correction, otherwise"});
      break;
    case Sides::kSingle:
      words.push_back({"Path", "single-sided, Mertz phase correction"});
      break;
    case Sides::kDouble:
      words.push_back({"Path", "double-sided, magnitude"});
      break;
  }
  if (instruments != InstrumentShare::kNone)
    words.back().value = decided(words.back().value, false);
  words.push_back({"Window", decided(page::window_name(s.iapod), s.window_given)});
  std::string res = format_number(s.res) + " cm-1 requested";
  if (s.npow > 0) {
    res += "; the transform taken (double-sided) or limited (single-sided) to 2^" +
           std::to_string(s.npow) + " points";
  } else if (s.no_res) {
    res = "count only (--no-res without --points): files are read and counted, nothing is "
          "written";
  }
  if (s.npow > 0 && s.no_res) res += "; single-sided spectra do not honour it (--no-res)";
  if (s.npow > 0 || !s.no_res) {
    res += s.carry_resolution ? "; each file starts from the resolution the file before it left"
                              : "; every file starts from it";
  }
  words.push_back({"Resolution", decided(res, s.res_given)});
  words.push_back(
      {"Range",
       decided(format_number(s.wlow) + " to " + format_number(s.whigh) + " cm-1", s.range_given)});
  words.push_back(
      {"Laser", s.laser ? format_number(*s.laser) + " cm-1 reference wavenumber"
                : instruments == InstrumentShare::kNone
                    ? std::string("from each file's X range")
                    : std::string(kFromEachFile) + " (its X range, or the laser it states)"});
  std::string sampling = "sampr " + format_number(s.sampr);
  if (s.laser) {
    const double xstep = 1.0 / *s.laser / s.sampr;
    sampling += ": one sample per " + format_number(xstep * 1e4, 5) +
                " µm of path difference, spectra from 0 to " +
                format_number(1.0 / (2.0 * xstep), 6) + " cm-1";
  }
  words.push_back({"Sampling", decided(sampling, false)});
  words.push_back({"Output folder", s.outdir});
  words.push_back({"Phase files", s.phase_files ? "written for single-sided files (.phz and .shr)"
                                                : "not written"});
  // The transform controls, each only when asked (unasked: the classic rules above).
  const driver::ControlsAsked a = driver::controls_asked(s);
  // Instrument files take these from their own processing unless given.
  if (instruments == InstrumentShare::kAll) {
    for (const auto& [label, given] :
         {std::pair{"Zero filling", a.zero_fill}, std::pair{"Phase resolution", a.phase_resolution},
          std::pair{"Centerburst", a.zpd}, std::pair{"Phase correction", a.phase}}) {
      if (given.empty()) words.push_back({label, std::string(kFromEachFile)});
    }
  }
  if (!a.zero_fill.empty()) {
    words.push_back({"Zero filling", "the transform " + a.zero_fill +
                                         " times the classic length (--zero-fill)"});
  }
  if (!a.phase_resolution.empty()) {
    words.push_back({"Phase resolution", a.phase_resolution + " cm-1 (--phase-resolution)"});
  }
  if (!a.zpd.empty()) words.push_back({"Centerburst", a.zpd + " (--zpd)"});
  if (!a.phase.empty()) words.push_back({"Phase correction", a.phase + " (--phase)"});
  if (!a.grid.empty()) words.push_back({"Grid", a.grid + " (--grid)"});
  if (!a.direction.empty() || a.two_scans) {
    words.push_back({"Scans", std::string(a.two_scans ? "every file holds two (--two-scans); "
                                                      : "") +
                                  "direction " + (a.direction.empty() ? "both" : a.direction)});
  }
  return words;
}

std::string run_page(const Settings& settings, const report::Clock& clock,
                     std::span<const driver::FileRecord> records) {
  page::RunPage run;
  run.title = "ftir-reduce run of " + std::to_string(records.size()) +
              (records.size() == 1 ? " file" : " files");
  run.settings = describe_settings(settings, instrument_share(records));
  run.settings.push_back({"Run at", stamp(clock)});
  return page::render_page(run, records);
}

int run_red_dat_with_page(const std::string& report_path, const report::Clock& clock,
                          Streams& streams) {
  auto error = [&](const std::string& text) {
    streams.err.write("ftir-reduce: " + text + "\n");
    return 1;
  };
  if (streams.console == nullptr) return error("--report: no console for a red.dat run");
  // The page is decided before the run, from red.dat as the run will read it: it may not
  // replace red.dat, red.out, a listed file or an output. A red.dat that cannot be read
  // stops the run, which then says why; only red.dat and red.out are checked then.
  std::optional<driver::RunParameters> planned;
  try {
    planned = driver::load_run_parameters("red.dat");
  } catch (const report::RunStop&) {  // the run stops on it with the same line
  }
  const SideOutput side[] = {{"--report", report_path}};
  const TakenName taken[] = {{"red.dat", "the red.dat of the run", {}},
                             {"red.out", "the log of the run", {}}};
  const std::vector<std::string> none;
  const std::string clash = side_output_clash(
      side, planned ? planned->files : none,
      [&](const std::string& fname) {
        const driver::RunParameters& p = *planned;
        if (p.ipow2 == 0 && p.ires == 0) return std::vector<std::string>{};  // count only
        return driver::output_names(fname, driver::naming_request(p)).all();
      },
      taken);
  if (!clash.empty()) return error(clash);
  SideFile page_file;
  const std::string problem = page_file.open(report_path);
  if (!problem.empty()) return error(problem);

  driver::RunKept kept;
  driver::FileOptions options;
  options.keep_curves = true;
  options.file_ended = page::shrink_for_page;
  const int status = driver::run_program(*streams.console, clock, kept, options);

  page::RunPage run;
  run.title = "ftir-reduce run of red.dat";
  const std::string source = "red.dat";
  run.settings = kept.params ? page::describe_run(*kept.params, source)
                             : std::vector<page::Setting>{{"Settings from", source}};
  // A red.dat run converts instrument files by their own processing alone.
  const InstrumentShare share = instrument_share(kept.records);
  for (page::Setting& setting : run.settings) {
    if (share == InstrumentShare::kNone || setting.label == "Settings from" ||
        setting.label == "Output folder" || setting.label == "Phase files") {
      continue;
    }
    setting.value = share == InstrumentShare::kAll
                        ? std::string(kFromEachFile)
                        : setting.value + "; instrument files: " + std::string(kFromEachFile);
  }
  run.settings.push_back({"Run at", stamp(clock)});
  run.ending = kept.stop_text;
  page_file.write(page::render_page(run, kept.records));
  const std::string unwritten = page_file.commit();
  return unwritten.empty() ? status : error(unwritten);
}

}  // namespace ftir::cli
