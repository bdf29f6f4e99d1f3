// The record of one file's journey through a run: what was read, found, chosen and
// written, or why the file was skipped. The conversion fills it; the classic report, the
// command line's summary and the page of a run read it. Nobody parses printed lines.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "values/refusal.h"

namespace ftir::driver {

enum class FileStatus {
  kConverted,  // the spectrum file was written
  kCounted,    // count-only mode (ipow2 and ires both 0): read and counted, nothing written
  kSkipped,    // skipped with `reason`; the run went on
  kStopped,    // the run stopped on this file (the stop text is in `reason`)
};

enum class Side { kNone, kSingle, kDouble };  // kNone: the file never reached a path

// A spectrum or phase curve kept for showing: point i (0-based) lies at
// x_first + i * x_step cm-1; values as written to the file (before the f32 rounding).
struct Curve {
  double x_first = 0.0;
  double x_step = 0.0;
  std::vector<double> y;
};

// The transform controls a file was converted with, as their options write them ("2",
// "exact", "stored:a.phz"); empty where not asked (the classic rule).
struct ControlsAsked {
  std::string zero_fill;
  std::string phase_resolution;  // cm-1
  std::string zpd;
  std::string phase;
  std::string grid;
  std::string direction;
  bool two_scans = false;
  bool any() const {
    return !zero_fill.empty() || !phase_resolution.empty() || !zpd.empty() || !phase.empty() ||
           !grid.empty() || !direction.empty() || two_scans;
  }
};

// What an instrument file's conversion followed: the file's format and block, and each
// processing parameter as used (the file's own, or the setting given for it).
struct InstrumentUsed {
  std::string format;   // "OPUS", "OMNIC"
  std::string block;    // the interferogram's block ("IgSm", "IgRf", ...)
  std::string output;   // "single channel", "absorbance" or "transmittance"
  int y_units = 0;      // the SPC Y-unit code its spectrum is written with
  std::string window;   // the --window choice
  std::string phase;    // "mertz", "power" or "stored"
  double phase_resolution = 0.0;  // cm-1; 0: the phase piece is the record's short side
  double resolution = 0.0;        // cm-1; 0: the long side is every sample after the centerburst
  int zero_fill = 1;
  int transform_points = 0;  // N
  int phase_points = 0;      // Nph (0 without a phase of its own)
  double laser = 0.0;        // cm-1
  double nyquist = 0.0;      // cm-1: the grid is k * nyquist / (N/2)
  bool nonlinearity = false;  // the detector's correction was applied
  // The range of the spectrum as the file or the settings state it, cm-1.
  double low = 0.0;
  double high = 0.0;
  // The parts the file does not state, which took the instrument's default: the part
  // ("window", "phase", "zero filling", "range", "scans") and the default's text.
  struct NotStated {
    std::string part;
    std::string value;
  };
  std::vector<NotStated> not_stated;
  // The parts above as the console and the summary give them: "window (not stated:
  // happ-genzel), ..."; empty when the file states every one.
  std::string not_stated_text() const;
  // What the file says of the measurement (UTF-8): the sample's name (empty when it names
  // none) and when the channel was measured, "2020-02-06 13:09:58 GMT+1" (empty: not
  // stated); and what the spectrum holds: "sample channel", "reference channel",
  // "absorbance" or "transmittance".
  std::string sample_name;
  std::string measured;
  std::string contents;
  // The options given in place of the file's own parameters, each with what it replaced:
  // "--res 8 for RES 4", "--window boxcar for APF B3".
  std::vector<std::string> replaced;
  // The spectrum the instrument stored of the same contents ("ScSm", "ScRf", "AB", "TR";
  // empty when it stored none on this grid) and the conversion's deviation from it, in %:
  // the median and 95th percentile over the points where the stored spectrum is at least
  // 5 % of its largest, after `check_scale` (one free factor for a single channel, 1 for a
  // ratio).
  std::string check_block;
  double check_median = 0.0;
  double check_p95 = 0.0;
  double check_scale = 1.0;
};

// The processing in words: "OPUS IgSm, blackman-harris, phase mertz at 32 cm-1, ...", for
// the report line, the page and the Python record.
std::string processing_text(const InstrumentUsed& used, int scans);

struct FileRecord {
  std::string input;  // the name as listed, trailing blanks removed
  int npts = 0;       // points read (0 when the reader refused the file)
  int jmax = 0;       // 1-based centerburst index; 0 when not located
  Side side = Side::kNone;
  int iapod = 0;               // window code used
  double res_requested = 0.0;  // the resolution request when the file began, cm-1
  double res = 0.0;            // the resolution written in the spectrum's header, cm-1
                               // (an instrument file: the one its processing states, 0
                               // for none)
  int lnum = 0;                // spectrum points before the range cut
  int points_written = 0;      // points of the spectrum file
  double first_x = 0.0;        // cm-1 of the first and last points written
  double last_x = 0.0;
  double energy = 0.0;               // interferogram energy E of the path (0 when not reached)
  double peak = 0.0;                 // largest magnitude of the spectrum written
  std::vector<std::string> outputs;  // every file written for this input, in writing order
  FileStatus status = FileStatus::kSkipped;
  std::string reason;             // the skip reason or stop text; empty when converted
  std::optional<values::Refusal> refusal;  // the refusal a skip came from
  double milliseconds = 0.0;      // wall time of the whole file, filled by the caller
  // A record of two scans (forward, then backward reversed): each scan's centerburst
  // (1-based in its own order; 0 when not converted) and energy, and the relative
  // difference of their spectra, sqrt(sum (f - b)^2 / sum ((f + b) / 2)^2) over the points
  // written; flagged above kScanDifferenceLimit (driver/settings.h). scans 1: none of these.
  ControlsAsked asked;
  int scans = 1;
  int jmax_forward = 0;
  int jmax_backward = 0;
  double energy_forward = 0.0;
  double energy_backward = 0.0;
  std::optional<double> scan_difference;  // only when both scans were averaged
  bool scans_differ = false;
  std::optional<InstrumentUsed> instrument;  // an instrument file's processing
  // Filled only when the run asks for curves (the page): the spectrum as written and,
  // single-sided, the phase angle on its coarse grid.
  Curve spectrum;
  Curve phase;
  // cm-1 between successive points written (0 when nothing was written): kept apart from
  // `res`, which an instrument file states on its own terms.
  double grid_step = 0.0;
};

}  // namespace ftir::driver
