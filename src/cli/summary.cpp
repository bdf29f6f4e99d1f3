#include "cli/summary.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "cli/convert.h"
#include "driver/run_parameters.h"
#include "report/format_text.h"
#include "transform/windows.h"

namespace ftir::cli {
namespace {

// The columns a run with transform controls or two-scan records adds at the end of its rows.
constexpr const char* kControlColumns =
    "zero_fill,phase_resolution,zpd,phase,grid,direction,scans,centerburst_backward,"
    "energy_forward,energy_backward,scan_difference,scans_differ";

// The columns a run with instrument files adds after those: the processing each followed.
constexpr const char* kInstrumentColumns =
    "format,block,spectrum,used_window,used_phase,used_phase_resolution,used_resolution,"
    "used_zero_fill,transform_points,laser,nonlinearity_corrected,not_stated,grid_step,sample,"
    "measured,contents,given,check_block,check_median,check_p95,check_scale";

using driver::FileRecord;
using driver::FileStatus;
using driver::Side;

std::string_view side_name(Side side) {
  switch (side) {
    case Side::kSingle:
      return "single";
    case Side::kDouble:
      return "double";
    case Side::kNone:
      break;
  }
  return "";
}

std::string_view status_name(FileStatus status) {
  switch (status) {
    case FileStatus::kConverted:
      return "converted";
    case FileStatus::kCounted:
      return "counted";
    case FileStatus::kSkipped:
      return "skipped";
    case FileStatus::kStopped:
      break;
  }
  return "stopped";
}

// The summary's window column: the --window choice, empty for a code that is no window.
std::string_view window_name(int iapod) {
  const transform::Window* window = transform::window_by_code(iapod);
  return window == nullptr ? std::string_view{} : window->option;
}

std::string fixed(double value, int decimals) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  return {buffer, result.ptr};
}

std::string joined_outputs(const FileRecord& r) {
  std::string text;
  for (const std::string& o : r.outputs) text += (text.empty() ? "" : ";") + o;
  return text;
}

// The facts a row shows only once the file got that far.
bool read_ok(const FileRecord& r) { return r.npts > 0; }
bool located(const FileRecord& r) { return r.jmax > 0; }
bool converted(const FileRecord& r) { return r.status == FileStatus::kConverted; }

// A resolution to show: an instrument file whose processing states none has none.
bool has_resolution(const FileRecord& r) {
  return r.status == FileStatus::kConverted && !(r.instrument && r.res == 0.0);
}

std::string joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : "; ") + item;
  return text;
}

std::string csv_field(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

// Whether any record was converted with a transform control or from two scans: only then
// do the summary's rows carry their columns, so a run without them writes the rows it always
// wrote.
bool controls_used(std::span<const FileRecord> records) {
  return std::any_of(records.begin(), records.end(),
                     [](const FileRecord& r) { return r.asked.any() || r.scans == 2; });
}

// Whether any record is of an instrument file: only then do the rows carry its columns.
bool instruments_used(std::span<const FileRecord> records) {
  return std::any_of(records.begin(), records.end(),
                     [](const FileRecord& r) { return r.instrument.has_value(); });
}

}  // namespace

std::string scans_note(const FileRecord& r) {
  return "scans differ by " + fixed(100.0 * r.scan_difference.value_or(0.0), 1) + " %, above " +
         fixed(100.0 * driver::kScanDifferenceLimit, 0) + " %";
}

std::string summary_table(std::span<const FileRecord> records) {
  using Row = std::array<std::string, 7>;
  std::vector<Row> rows = {
      {"file", "side", "points", "centerburst", "resolution", "written", "output"}};
  for (const FileRecord& r : records) {
    std::string last;
    if (r.status == FileStatus::kConverted) {
      last = r.outputs.empty() ? "" : r.outputs.back();
      if (r.scans_differ) last += " (" + scans_note(r) + ")";
    } else if (r.status == FileStatus::kCounted) {
      last = "read and counted";
    } else {
      last = "skipped: " + r.reason;
    }
    rows.push_back({r.input, std::string(r.side == Side::kNone ? "-" : side_name(r.side)),
                    read_ok(r) ? std::to_string(r.npts) : "-",
                    located(r) ? std::to_string(r.jmax) : "-",
                    has_resolution(r) ? fixed(r.res, 4) : "-",
                    converted(r) ? std::to_string(r.points_written) : "-", last});
  }
  std::array<std::size_t, 7> width{};
  for (const Row& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], row[c].size());
  }
  std::string text;
  for (const Row& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      const std::string pad(width[c] - row[c].size(), ' ');
      const bool numeric = c >= 2 && c <= 5;  // numbers stand right-aligned
      if (c > 0) line += "  ";
      line += numeric ? pad + row[c] : (c + 1 < row.size() ? row[c] + pad : row[c]);
    }
    text += line + "\n";
  }
  return text;
}

std::string closing_line(std::span<const FileRecord> records) {
  int converted_count = 0;
  int skipped = 0;
  int counted = 0;
  for (const FileRecord& r : records) {
    if (r.status == FileStatus::kConverted)
      ++converted_count;
    else if (r.status == FileStatus::kCounted)
      ++counted;
    else
      ++skipped;
  }
  std::string line =
      std::to_string(records.size()) + (records.size() == 1 ? " file: " : " files: ") +
      std::to_string(converted_count) + " converted, " + std::to_string(skipped) + " skipped";
  if (counted > 0) line += ", " + std::to_string(counted) + " read and counted";
  return line + "\n";
}

std::string summary_csv(std::span<const FileRecord> records) {
  const bool controls = controls_used(records);
  std::string text =
      "input,outputs,points_read,centerburst,side,window,resolution,points_written,status,"
      "reason,milliseconds";
  const bool instruments = instruments_used(records);
  if (controls || instruments) text += std::string(",") + kControlColumns;
  if (instruments) text += std::string(",") + kInstrumentColumns;
  text += "\n";
  for (const FileRecord& r : records) {
    text += csv_field(r.input) + "," + csv_field(joined_outputs(r)) + "," +
            (read_ok(r) ? std::to_string(r.npts) : "") + "," +
            (located(r) ? std::to_string(r.jmax) : "") + "," + std::string(side_name(r.side)) +
            "," + std::string(window_name(r.iapod)) + "," +
            (has_resolution(r) ? report::shortest_text(r.res) : "") + "," +
            (converted(r) ? std::to_string(r.points_written) : "") + "," +
            std::string(status_name(r.status)) + "," + csv_field(r.reason) + "," +
            fixed(r.milliseconds, 3);
    if (controls || instruments) {
      const driver::ControlsAsked& a = r.asked;
      const bool two = r.scans == 2;
      text += "," + a.zero_fill + "," + a.phase_resolution + "," + csv_field(a.zpd) + "," +
              csv_field(a.phase) + "," + a.grid + "," + a.direction + "," + (two ? "2" : "1") +
              "," + (two && r.jmax_backward > 0 ? std::to_string(r.jmax_backward) : "") + "," +
              (two && r.jmax_forward > 0 ? report::shortest_text(r.energy_forward) : "") + "," +
              (two && r.jmax_backward > 0 ? report::shortest_text(r.energy_backward) : "") + "," +
              (r.scan_difference ? report::shortest_text(*r.scan_difference) : "") + "," +
              (r.scans_differ ? "yes" : "");
    }
    if (instruments && r.instrument) {
      const driver::InstrumentUsed& u = *r.instrument;
      text += "," + u.format + "," + csv_field(u.block) + "," + csv_field(u.output) + "," +
              u.window + "," + u.phase + "," +
              (u.phase_resolution > 0.0 ? report::shortest_text(u.phase_resolution) : "") + "," +
              (u.resolution > 0.0 ? report::shortest_text(u.resolution) : "") + "," +
              std::to_string(u.zero_fill) + "," + std::to_string(u.transform_points) + "," +
              report::shortest_text(u.laser) + "," + (u.nonlinearity ? "yes" : "") + "," +
              csv_field(u.not_stated_text()) + "," + report::shortest_text(r.grid_step) + "," +
              csv_field(u.sample_name) + "," + csv_field(u.measured) + "," +
              csv_field(u.contents) + "," + csv_field(joined(u.replaced)) + "," + u.check_block +
              ",";
      if (!u.check_block.empty()) {
        text += report::shortest_text(u.check_median) + "," + report::shortest_text(u.check_p95) +
                "," + report::shortest_text(u.check_scale);
      } else {
        text += ",,";
      }
    } else if (instruments) {
      text += ",,,,,,,,,,,,,,,,,,,,,";
    }
    text += "\n";
  }
  return text;
}

std::string summary_json(std::span<const FileRecord> records) {
  const bool controls = controls_used(records) || instruments_used(records);
  const bool instruments = instruments_used(records);
  nlohmann::ordered_json rows = nlohmann::ordered_json::array();
  for (const FileRecord& r : records) {
    nlohmann::ordered_json row;
    row["input"] = r.input;
    row["outputs"] = r.outputs;
    row["points_read"] = read_ok(r) ? nlohmann::ordered_json(r.npts) : nullptr;
    row["centerburst"] = located(r) ? nlohmann::ordered_json(r.jmax) : nullptr;
    row["side"] = r.side == Side::kNone ? nlohmann::ordered_json(nullptr) : side_name(r.side);
    row["window"] = window_name(r.iapod);
    row["resolution"] = has_resolution(r) ? nlohmann::ordered_json(r.res) : nullptr;
    row["points_written"] = converted(r) ? nlohmann::ordered_json(r.points_written) : nullptr;
    row["status"] = status_name(r.status);
    row["reason"] = r.reason;
    row["milliseconds"] = r.milliseconds;
    if (controls) {
      const driver::ControlsAsked& a = r.asked;
      const auto text_or_null = [](const std::string& t) {
        return t.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(t);
      };
      const bool two = r.scans == 2;
      row["zero_fill"] = text_or_null(a.zero_fill);
      row["phase_resolution"] = text_or_null(a.phase_resolution);
      row["zpd"] = text_or_null(a.zpd);
      row["phase"] = text_or_null(a.phase);
      row["grid"] = text_or_null(a.grid);
      row["direction"] = text_or_null(a.direction);
      row["scans"] = r.scans;
      row["centerburst_backward"] =
          two && r.jmax_backward > 0 ? nlohmann::ordered_json(r.jmax_backward) : nullptr;
      row["energy_forward"] =
          two && r.jmax_forward > 0 ? nlohmann::ordered_json(r.energy_forward) : nullptr;
      row["energy_backward"] =
          two && r.jmax_backward > 0 ? nlohmann::ordered_json(r.energy_backward) : nullptr;
      row["scan_difference"] =
          r.scan_difference ? nlohmann::ordered_json(*r.scan_difference) : nullptr;
      row["scans_differ"] = r.scans_differ;
    }
    if (instruments) {
      nlohmann::ordered_json used = nullptr;
      if (r.instrument) {
        const driver::InstrumentUsed& u = *r.instrument;
        used = {{"format", u.format},
                {"block", u.block},
                {"spectrum", u.output},
                {"window", u.window},
                {"phase", u.phase},
                {"phase_resolution",
                 u.phase_resolution > 0.0 ? nlohmann::ordered_json(u.phase_resolution) : nullptr},
                {"resolution", u.resolution > 0.0 ? nlohmann::ordered_json(u.resolution) : nullptr},
                {"zero_fill", u.zero_fill},
                {"transform_points", u.transform_points},
                {"laser", u.laser},
                {"nonlinearity_corrected", u.nonlinearity},
                {"not_stated", u.not_stated_text()},
                {"grid_step", r.grid_step},
                {"sample", u.sample_name},
                {"measured", u.measured.empty() ? nlohmann::ordered_json(nullptr)
                                                : nlohmann::ordered_json(u.measured)},
                {"contents", u.contents},
                {"given", u.replaced}};
        if (u.check_block.empty()) {
          used["check"] = nullptr;
        } else {
          used["check"] = {{"block", u.check_block},
                           {"median", u.check_median},
                           {"p95", u.check_p95},
                           {"scale", u.check_scale}};
        }
      }
      row["instrument"] = std::move(used);
    }
    rows.push_back(std::move(row));
  }
  // A file name is bytes, not always UTF-8: a byte that is not is written as U+FFFD, where
  // the JSON writer would otherwise end the run with an exception.
  return rows.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::optional<std::string> decimal_text(double value) { return driver::decimal_field_text(value); }

namespace {

namespace fs = std::filesystem;

// A folder with its links resolved, as the system reaches it.
fs::path resolved(const fs::path& folder) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(folder, ec);
  if (ec) return folder.lexically_normal();
  const fs::path path = fs::weakly_canonical(absolute, ec);
  return (ec ? absolute : path).lexically_normal();
}

// Names as a red.dat run in another folder finds them: a relative name is made relative to
// that folder, through the name's own folder with its links resolved (the name itself is
// kept: its base name names the outputs). Absolute names, and every name when the folder
// is the working folder, stay as they are.
class NamesFrom {
 public:
  explicit NamesFrom(const std::string& red_dat_path) {
    const fs::path folder = fs::path(red_dat_path).parent_path();
    there_ = resolved(folder.empty() ? fs::path(".") : folder);
    moved_ = there_ != resolved(".");
  }
  std::string file(const std::string& name) const {
    if (!moved_ || fs::path(name).is_absolute()) return name;
    const fs::path path(name);
    return relative(resolved(path.parent_path().empty() ? fs::path(".") : path.parent_path()) /
                    path.filename());
  }
  std::string folder(const std::string& name) const {
    if (!moved_ || fs::path(name).is_absolute()) return name;
    return relative(resolved(name));
  }

 private:
  std::string relative(const fs::path& path) const {
    const fs::path rel = path.lexically_relative(there_);
    return (rel.empty() ? path : rel).string();
  }
  fs::path there_;
  bool moved_ = false;
};

// The first transform control `settings` asks for, as its option; empty for none.
std::string control_option(const Settings& s) {
  if (s.zero_fill) return "--zero-fill";
  if (s.phase_resolution) return "--phase-resolution";
  if (s.zpd) return "--zpd";
  if (s.phase) return "--phase";
  if (s.grid) return "--grid";
  if (s.direction) return "--direction";
  if (s.two_scans) return "--two-scans";
  return "";
}

}  // namespace

RedDatText equivalent_red_dat(const Settings& settings, std::span<const FileJob> jobs,
                              std::span<const FileOutcome> outcomes) {
  const auto none = [](std::string reason) { return RedDatText{"", std::move(reason)}; };
  constexpr std::size_t kColumns = driver::kNameLength;
  if (jobs.size() > static_cast<std::size_t>(driver::kMaxFiles)) {
    return none("red.dat lists at most 700 files");
  }
  if (transform::red_dat_window(settings.iapod) == nullptr) {
    return none("red.dat names no " + std::string(window_name(settings.iapod)) +
                " window (--window)");
  }
  if (const std::string option = control_option(settings); !option.empty()) {
    return none("red.dat cannot state " + option);
  }
  const NamesFrom seen(settings.red_dat_path);
  const std::string outdir = seen.folder(settings.outdir);
  if (outdir.size() > kColumns || outdir.front() == ' ' || outdir.back() == ' ') {
    return none("the output folder does not fit red.dat's 40 columns");
  }
  std::optional<double> wref = settings.laser;
  std::optional<Side> side;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    const FileJob& job = jobs[i];
    const FileOutcome& out = outcomes[i];
    const std::string name = seen.file(job.name);
    if (name.size() > kColumns || name.empty() || name.back() == ' ' ||
        name.find_first_of("\r\n") != std::string::npos) {
      return none(job.name + ": the name does not fit red.dat's 40 columns");
    }
    if (!job.refusal.empty() || (out.wref == 0.0 && !settings.laser)) {
      return none(job.name + ": a red.dat run would not skip it for the same reason");
    }
    using values::Refusal;
    if (out.record.refusal == Refusal::kTruncated ||
        out.record.refusal == Refusal::kNoCenterburst) {
      return none(job.name + ": a red.dat run would convert it (see --allow-truncated and " +
                  "--allow-no-centerburst)");
    }
    if (out.wref != 0.0) {
      if (wref && *wref != out.wref) return none("the files state different laser wavenumbers");
      wref = out.wref;
    }
    const Side taken = out.record.side;
    if (taken != Side::kNone) {
      if (side && *side != taken) return none("the files took different paths (--sides auto)");
      side = taken;
    }
    // A red.dat run starts each file from the resolution the previous one left.
    if (!settings.carry_resolution && i + 1 < jobs.size() && out.res_left != settings.res) {
      return none(job.name + ": it leaves another resolution for the next file (see " +
                  "--carry-resolution)");
    }
  }
  if (!wref) wref = 15800.823;  // no file to take it from: any laser reads the same
  if (!decimal_text(settings.res) || !decimal_text(*wref)) {
    return none("a value does not fit red.dat's 15-column decimal field");
  }

  driver::RunParameters p = file_parameters(settings, *wref, settings.res);
  p.nfiles = static_cast<int>(jobs.size());
  for (const FileJob& job : jobs) p.files.push_back(seen.file(job.name));
  if (settings.sides == Sides::kAuto) p.idbl = side == Side::kSingle ? 0 : 1;
  p.outdir = outdir;
  return {driver::write_run_parameters(p), ""};
}

}  // namespace ftir::cli
