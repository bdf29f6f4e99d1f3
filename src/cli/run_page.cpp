// The page of a command-line run and of a red.dat run.
#include "cli/run_page.h"

#include <cmath>
#include <filesystem>
#include <optional>
#include <utility>

#include "driver/batch.h"
#include "page/page.h"
#include "page/text.h"
#include "spcfile/file_access.h"

namespace ftir::cli {
namespace {

using page::format_number;
using spcfile::file_id;

std::string two_digits(int v) { return (v < 10 ? "0" : "") + std::to_string(v); }

std::string stamp(const report::Clock& clock) {
  const report::LocalDateTime t = clock.now();
  return std::to_string(t.year) + "-" + two_digits(t.month) + "-" + two_digits(t.day) + " " +
         two_digits(t.hour) + ":" + two_digits(t.minute);
}

std::string working_folder() {
  std::error_code ec;
  const std::filesystem::path here = std::filesystem::current_path(ec);
  return ec ? std::string(".") : here.string();
}

// Refuses a page that would replace a file the run read or wrote; otherwise writes it.
std::string write_checked(const std::string& path, const page::RunPage& run,
                          std::span<const driver::FileRecord> records,
                          const std::vector<std::string>& also_read) {
  if (const auto id = file_id(path)) {
    std::vector<std::string> names = also_read;
    for (const driver::FileRecord& r : records) {
      names.push_back(r.input);
      names.insert(names.end(), r.outputs.begin(), r.outputs.end());
    }
    for (const std::string& name : names) {
      if (file_id(name) == id) {
        return "--report: '" + path + "' is " + name +
               ", a file of the run; the page was not written";
      }
    }
  }
  return page::write_page(path, page::render_page(run, records));
}

}  // namespace

std::vector<page::Setting> describe_settings(const Settings& s) {
  std::vector<page::Setting> words;
  words.push_back({"Settings from", "the command line, in " + working_folder()});
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
  words.push_back({"Window", page::window_name(s.iapod)});
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
  words.push_back({"Resolution", res});
  words.push_back({"Range", format_number(s.wlow) + " to " + format_number(s.whigh) + " cm-1"});
  words.push_back({"Laser", s.laser ? format_number(*s.laser) + " cm-1 reference wavenumber"
                                    : std::string("from each file's X range")});
  std::string sampling = "sampr " + format_number(s.sampr);
  if (s.laser) {
    const double xstep = 1.0 / *s.laser / s.sampr;
    sampling += ": one sample per " + format_number(xstep * 1e4, 5) +
                " µm of path difference, spectra from 0 to " +
                format_number(1.0 / (2.0 * xstep), 6) + " cm-1";
  }
  words.push_back({"Sampling", sampling});
  words.push_back({"Output folder", s.outdir});
  words.push_back({"Phase files", s.phase_files ? "written for single-sided files (.phz and .shr)"
                                                : "not written"});
  return words;
}

std::string write_run_page(const Settings& settings, const report::Clock& clock,
                           std::span<const driver::FileRecord> records) {
  page::RunPage run;
  run.title = "ftir-reduce run of " + std::to_string(records.size()) +
              (records.size() == 1 ? " file" : " files");
  run.settings = describe_settings(settings);
  run.settings.push_back({"Run at", stamp(clock)});
  return write_checked(settings.report_path, run, records, {});
}

int run_red_dat_with_page(const std::string& report_path, const report::Clock& clock,
                          Streams& streams) {
  if (streams.console == nullptr) {
    streams.err.write("ftir-reduce: --report: no console for a red.dat run\n");
    return 1;
  }
  driver::RunKept kept;
  driver::FileOptions options;
  options.keep_curves = true;
  options.file_ended = page::shrink_for_page;
  const int status = driver::run_program(*streams.console, clock, kept, options);

  page::RunPage run;
  run.title = "ftir-reduce run of red.dat";
  const std::string source = "red.dat in " + working_folder();
  run.settings = kept.params ? page::describe_run(*kept.params, source)
                             : std::vector<page::Setting>{{"Settings from", source}};
  run.settings.push_back({"Run at", stamp(clock)});
  run.ending = kept.stop_text;
  std::vector<std::string> read{"red.dat", "red.out"};
  if (kept.params) {
    for (const std::string& name : kept.params->files) read.push_back(name);
  }
  const std::string error = write_checked(report_path, run, kept.records, read);
  if (!error.empty()) {
    streams.err.write("ftir-reduce: " + error + "\n");
    return 1;
  }
  return status;
}

}  // namespace ftir::cli
