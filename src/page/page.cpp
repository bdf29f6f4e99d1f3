// The HTML of a run's page: settings, summary, flags, table, overlay and per-file plots.
#include "page/page.h"

#include <algorithm>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "page/assets.h"
#include "page/curves.h"
#include "page/flags.h"
#include "page/text.h"

namespace ftir::page {

namespace {

using driver::FileRecord;
using driver::FileStatus;

std::string html(std::string_view text) { return escape_html(valid_utf8(text)); }
std::string json(std::string_view text) { return json_string(valid_utf8(text)); }

std::string side_text(driver::Side side) {
  switch (side) {
    case driver::Side::kSingle: return "single";
    case driver::Side::kDouble: return "double";
    case driver::Side::kNone: break;
  }
  return "";
}

std::string status_text(const FileRecord& r) {
  switch (r.status) {
    case FileStatus::kConverted: return "converted";
    case FileStatus::kCounted: return "counted";
    case FileStatus::kSkipped: return "skipped: " + r.reason;
    case FileStatus::kStopped: return "stopped: " + r.reason;
  }
  return "";
}

std::string status_class(const FileRecord& r) {
  switch (r.status) {
    case FileStatus::kSkipped: return "skipped";
    case FileStatus::kStopped: return "stopped";
    case FileStatus::kConverted:
    case FileStatus::kCounted: break;
  }
  return "";
}

// The name without its folders, as a card or the output column shows it (the full name
// is in the cell's or card's title).
std::string base_name(const std::string& name) {
  const std::size_t slash = name.find_last_of("/\\");
  return slash == std::string::npos || slash + 1 == name.size() ? name : name.substr(slash + 1);
}

bool has_spectrum(const FileRecord& r) { return !r.spectrum.y.empty(); }
bool has_phase(const FileRecord& r) { return !r.phase.y.empty(); }

// A numeric table cell: the shown text and the value the table sorts by.
std::string number_cell(bool known, double value, const std::string& text) {
  if (!known) return "<td data-v=\"\"></td>";
  return "<td data-v=\"" + format_number(value) + "\">" + text + "</td>";
}

std::string int_cell(bool known, int value) {
  return number_cell(known, value, std::to_string(value));
}

std::string encoded_json(std::span<const double> y) {
  const EncodedValues e = encode_values(y);
  return "\"lo\":" + format_number(e.lo, 9) + ",\"hi\":" + format_number(e.hi, 9) + ",\"d\":\"" +
         e.digits + "\"";
}

std::string curve_json(const driver::Curve& curve) {
  if (curve.y.empty()) return "null";
  const DrawnCurve d = thin_for_drawing(curve, kFileColumns);
  return "{\"x0\":" + format_number(d.x0, 10) + ",\"dx\":" + format_number(d.dx, 10) +
         ",\"k\":" + std::to_string(d.per_x) + "," + encoded_json(d.y) + "}";
}

std::string band_json(std::span<const FileRecord> records) {
  std::vector<const driver::Curve*> curves;
  for (const FileRecord& r : records) {
    if (has_spectrum(r)) curves.push_back(&r.spectrum);
  }
  const SpectrumBand b = spectrum_band(curves, kOverlayColumns);
  const auto part = [](std::span<const double> y) { return "{" + encoded_json(y) + "}"; };
  return "{\"x0\":" + format_number(b.x0, 10) + ",\"dx\":" + format_number(b.dx, 10) +
         ",\"n\":" + std::to_string(b.files) + ",\"p5\":" + part(b.p5) +
         ",\"ml\":" + part(b.median_low) + ",\"mh\":" + part(b.median_high) +
         ",\"p95\":" + part(b.p95) + "}";
}

// What an instrument file says of its measurement and how its spectrum meets the one the
// instrument stored: "sample MCT: sample channel, measured 2020-02-06 13:09:58; against
// the instrument's ScSm: median 0.0002 %, 95th percentile 0.0021 %".
std::string measurement_text(const driver::InstrumentUsed& u) {
  std::string t = u.sample_name.empty() ? "" : "sample " + u.sample_name + ": ";
  t += u.contents;
  if (!u.measured.empty()) t += ", measured " + u.measured;
  if (!u.check_block.empty()) {
    t += "; against the instrument's " + u.check_block + ": median " +
         format_number(u.check_median, 2) + " %, 95th percentile " +
         format_number(u.check_p95, 2) + " %";
  } else {
    t += "; no spectrum of the instrument's to compare with";
  }
  return t;
}

// What the large view says about a file, in one line.
std::string facts(const FileRecord& r) {
  std::string f = std::to_string(r.npts) + " points";
  if (r.jmax > 0) f += ", centerburst at " + std::to_string(r.jmax);
  if (r.side != driver::Side::kNone) f += ", " + side_text(r.side) + "-sided";
  if (r.status == FileStatus::kConverted) {
    f += ", " + format_number(r.res, 6) + " cm-1, " + std::to_string(r.points_written) +
         " points written from " + format_number(r.first_x, 6) + " to " +
         format_number(r.last_x, 6) + " cm-1";
  }
  for (const std::string& out : r.outputs) f += "; " + out;
  if (r.status != FileStatus::kConverted) f += "; " + status_text(r);
  return f;
}

std::string summary_text(const RunPage& run, std::span<const FileRecord> records,
                         const BatchFlags& flags) {
  int converted = 0;
  int counted = 0;
  int skipped = 0;
  int stopped = 0;
  for (const FileRecord& r : records) {
    converted += r.status == FileStatus::kConverted ? 1 : 0;
    counted += r.status == FileStatus::kCounted ? 1 : 0;
    skipped += r.status == FileStatus::kSkipped ? 1 : 0;
    stopped += r.status == FileStatus::kStopped ? 1 : 0;
  }
  std::string s = std::to_string(records.size()) + (records.size() == 1 ? " file: " : " files: ") +
                  std::to_string(converted) + " converted";
  if (counted > 0) s += ", " + std::to_string(counted) + " counted";
  s += skipped > 0 ? ", <span class=\"bad\">" + std::to_string(skipped) + " skipped</span>"
                   : std::string(", 0 skipped");
  if (stopped > 0) s += ", <span class=\"bad\">the run stopped on a file</span>";
  s += ", " + std::to_string(flags.flagged) + " flagged.";
  if (!run.ending.empty()) s += " The run ended with <q>" + html(run.ending) + "</q>.";
  return s;
}

void add_settings(std::string& out, const RunPage& run) {
  out += "<section><h2>Settings</h2><table class=\"settings\">";
  for (const Setting& s : run.settings) {
    out += "<tr><th>" + html(s.label) + "</th><td>" + html(s.value) + "</td></tr>";
  }
  out += "</table></section>\n";
}

void add_overlay(std::string& out, std::span<const FileRecord> records) {
  int spectra = 0;
  for (const FileRecord& r : records) spectra += has_spectrum(r) ? 1 : 0;
  out += "<section><h2>Spectra</h2>";
  if (spectra == 0) {
    out += "<p class=\"note\">No spectrum to show: the run kept none.</p></section>\n";
    return;
  }
  out += spectra <= kOverlayLinesMax
             ? "<p class=\"note\">All " + std::to_string(spectra) +
                   " spectra, one colour each; click a name to see the file.</p>"
             : "<p class=\"note\">" + std::to_string(spectra) +
                   " spectra: at each pixel column the median of the files (its lowest and "
                   "highest point in the column) and the band from 5 % of the files' lowest "
                   "points to 95 % of their highest.</p>";
  out += "<div id=\"overlay\" class=\"plot-wide\"></div><div id=\"legend\"></div></section>\n";
}

void add_table(std::string& out, std::span<const FileRecord> records, const BatchFlags& flags) {
  // Instrument files state their resolution apart from the grid their spectrum lies on.
  const bool grid_steps = std::any_of(records.begin(), records.end(),
                                      [](const FileRecord& r) { return r.instrument.has_value(); });
  const bool two_scans = std::any_of(records.begin(), records.end(),
                                     [](const FileRecord& r) { return r.scans == 2; });
  out += "<section><h2>Files</h2><p class=\"rule\"><b>Flags.</b> " + html(flag_rule()) +
         (two_scans ? " " + html(scan_flag_rule()) : std::string()) + " Click a column heading to sort, a name to see the file.</p>";
  out += "<div class=\"table-wrap\"><table id=\"file-table\"><thead><tr>"
         "<th data-type=\"num\" tabindex=\"0\">#</th>"
         "<th data-type=\"text\" tabindex=\"0\">Name</th>"
         "<th data-type=\"num\" tabindex=\"0\">Points</th>"
         "<th data-type=\"num\" tabindex=\"0\">Centerburst</th>"
         "<th data-type=\"text\" tabindex=\"0\">Side</th>"
         "<th data-type=\"num\" tabindex=\"0\">Resolution<br>cm<sup>-1</sup></th>" +
         std::string(grid_steps ? "<th data-type=\"num\" tabindex=\"0\">Grid step<br>"
                                  "cm<sup>-1</sup></th>"
                                : "") +
         "<th data-type=\"num\" tabindex=\"0\">Points written</th>"
         "<th data-type=\"num\" tabindex=\"0\">Energy</th>"
         "<th data-type=\"num\" tabindex=\"0\">Peak</th>"
         "<th data-type=\"text\" tabindex=\"0\">Output</th>"
         "<th data-type=\"text\" tabindex=\"0\">Status</th>"
         "<th data-type=\"num\" tabindex=\"0\">Flags</th>"
         "</tr></thead><tbody>\n";
  for (std::size_t i = 0; i < records.size(); ++i) {
    const FileRecord& r = records[i];
    const std::vector<Flag>& f = flags.files[i];
    std::string cls = status_class(r);
    if (!f.empty()) cls += cls.empty() ? "flagged" : " flagged";
    const bool converted = r.status == FileStatus::kConverted;
    const std::string index = std::to_string(i);
    out += "<tr" + (cls.empty() ? std::string() : " class=\"" + cls + "\"") + " data-i=\"" +
           index + "\">";
    out += int_cell(true, static_cast<int>(i) + 1);
    out += "<td class=\"name\"><a href=\"#f" + index + "\">" + html(r.input) + "</a>";
    if (r.instrument) {
      std::string processing = driver::processing_text(*r.instrument, r.scans);
      if (r.scan_difference) {
        processing += "; the two scans differ by " +
                      format_number(100.0 * *r.scan_difference, 3) + " %";
      }
      processing += "; " + measurement_text(*r.instrument);
      out += "<br><small class=\"processing\">" + html(processing) + "</small>";
    }
    out += "</td>";
    out += int_cell(r.npts > 0, r.npts);
    out += int_cell(r.jmax > 0, r.jmax);
    out += "<td>" + side_text(r.side) + "</td>";
    out += number_cell(converted && r.res > 0.0, r.res, format_number(r.res, 6));
    if (grid_steps) out += number_cell(converted, r.grid_step, format_number(r.grid_step, 6));
    out += int_cell(converted, r.points_written);
    out += number_cell(r.energy != 0.0, r.energy, format_number(r.energy, 4));
    out += number_cell(converted, r.peak, format_number(r.peak, 4));
    out += "<td class=\"out\">";
    for (std::size_t k = 0; k < r.outputs.size(); ++k) {
      out += (k > 0 ? "<br><span title=\"" : "<span title=\"") + html(r.outputs[k]) + "\">" +
             html(base_name(r.outputs[k])) + "</span>";
    }
    out += "</td><td class=\"status\">" + html(status_text(r)) + "</td>";
    out += "<td class=\"flags\" data-v=\"" + std::to_string(f.size()) + "\">";
    for (const Flag& flag : f) {
      out += "<span class=\"flag\" title=\"" + html(flag.detail) + "\">" + html(flag.what) +
             "</span> ";
    }
    out += "</td></tr>\n";
  }
  out += "</tbody></table></div></section>\n";
}

void add_cards(std::string& out, std::span<const FileRecord> records, const BatchFlags& flags) {
  out += "<section><h2>Each file</h2><p class=\"note\">Spectrum";
  bool any_phase = false;
  for (const FileRecord& r : records) any_phase = any_phase || has_phase(r);
  if (any_phase) out += " (blue) and phase angle (orange)";
  out += ", wavenumber high to low; click a plot to see it large (Esc closes, arrow keys step).</p>"
         "<div id=\"cards\">\n";
  for (std::size_t i = 0; i < records.size(); ++i) {
    const FileRecord& r = records[i];
    std::string cls = "card";
    if (!status_class(r).empty()) cls += " " + status_class(r);
    if (!flags.files[i].empty()) cls += " flagged";
    const std::string index = std::to_string(i);
    out += "<figure class=\"" + cls + "\" id=\"f" + index + "\" data-i=\"" + index +
           "\"><figcaption title=\"" + html(r.input) + "\">" + html(base_name(r.input)) +
           "</figcaption>";
    if (has_spectrum(r)) {
      out += "<div class=\"thumb\"></div>";
      if (has_phase(r)) out += "<div class=\"thumb phase\"></div>";
    } else {
      out += "<div class=\"nothumb\">" +
             html(r.status == FileStatus::kConverted ? "no curve kept" : status_text(r)) +
             "</div>";
    }
    out += "</figure>\n";
  }
  out += "</div></section>\n";
}

void add_data(std::string& out, std::span<const FileRecord> records) {
  int spectra = 0;
  for (const FileRecord& r : records) spectra += has_spectrum(r) ? 1 : 0;
  out += "<script type=\"application/json\" id=\"page-data\">{\"files\":[\n";
  for (std::size_t i = 0; i < records.size(); ++i) {
    const FileRecord& r = records[i];
    out += (i > 0 ? ",\n{" : "{") + std::string("\"name\":") + json(r.input) +
           ",\"facts\":" + json(facts(r)) + ",\"s\":" + curve_json(r.spectrum) +
           ",\"p\":" + curve_json(r.phase) + "}";
  }
  out += "],\n\"band\":";
  out += spectra > kOverlayLinesMax ? band_json(records) : std::string("null");
  out += "}</script>\n";
}

}  // namespace

std::string render_page(const RunPage& run, std::span<const FileRecord> records) {
  const BatchFlags flags = flag_unusual_files(records);
  std::string out;
  out.reserve(4096 + records.size() * 4096);
  out += "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
         "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
         "style-src 'unsafe-inline'; script-src 'unsafe-inline'; img-src data:\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
         html(run.title) + "</title>\n<style>";
  out += kPageStyle;
  out += "</style></head>\n<body>\n<header><h1>" + html(run.title) + "</h1><p class=\"summary\">" +
         summary_text(run, records, flags) + "</p></header>\n";
  add_settings(out, run);
  add_overlay(out, records);
  add_table(out, records, flags);
  add_cards(out, records, flags);
  out += "<div id=\"viewer\" hidden><div class=\"panel\" role=\"dialog\" aria-modal=\"true\">"
         "<div class=\"bar\"><button id=\"prev\" title=\"previous file\">&larr;</button>"
         "<button id=\"next\" title=\"next file\">&rarr;</button><h3 id=\"viewer-name\"></h3>"
         "<button id=\"close\" title=\"close (Esc)\">&times;</button></div>"
         "<p id=\"viewer-facts\"></p><div id=\"viewer-spectrum\"></div>"
         "<div id=\"viewer-phase\"></div></div></div>\n";
  add_data(out, records);
  out += "<script>";
  out += kPageScript;
  out += "</script>\n</body></html>\n";
  return out;
}

void shrink_for_page(FileRecord& record) {
  shrink_kept_curve(record.spectrum, kKeptColumns);
  shrink_kept_curve(record.phase, kKeptColumns);
}

std::string write_page(const std::string& path, std::string_view text) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return "Cannot write " + path + ": " + std::strerror(errno);
  const std::size_t written = std::fwrite(text.data(), 1, text.size(), file);
  const int write_errno = errno;
  const bool closed = std::fclose(file) == 0;
  if (written != text.size()) return "Cannot write " + path + ": " + std::strerror(write_errno);
  if (!closed) return "Cannot write " + path + ": " + std::strerror(errno);
  return "";
}

}  // namespace ftir::page
