// What one file's conversion is asked for, in the command line's terms and with its
// defaults: the one description of a conversion's settings that the command line, the
// Python module and the in-memory conversion share. A red.dat run states the same in
// RunParameters; file_parameters() maps these settings onto them.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>

#include "driver/file_record.h"
#include "driver/run_parameters.h"
#include "quality/checks.h"
#include "transform/path.h"
#include "values/instrument.h"
#include "values/stored_phase.h"

namespace ftir::driver {

enum class Sides { kAuto, kSingle, kDouble };

// Where the centerburst is taken (--zpd): the largest sample, the smallest, the largest
// magnitude (the classic rule), or a given 1-based index.
enum class ZpdMode { kMax, kMin, kAbs, kIndex };

// The 0-based index of the largest sample (kMax), the smallest (kMin) or the largest
// magnitude (kAbs, kIndex) of `samples`, the first of equals (as the classic rule takes the
// first); 0 for no sample.
int extreme_index(std::span<const double> samples, ZpdMode rule);

struct Zpd {
  ZpdMode mode = ZpdMode::kAbs;
  int index = 0;  // kIndex: 1-based
};

// The phase correction (--phase); `file` and `stored` for stored:FILE (or a phase a caller
// hands over: then `file` may be empty).
struct PhaseChoice {
  transform::PhaseMode mode = transform::PhaseMode::kClassic;
  std::string file;
  std::shared_ptr<const values::StoredPhase> stored;
};

enum class Grid { kClassic, kExact };

// What an instrument file's conversion writes: the single-channel spectrum of the channel
// read, or the ratio of the sample channel to the reference channel.
enum class Ratio { kNone, kAbsorbance, kTransmittance };

// Which scans of a two-scan record are converted; kBoth averages their spectra.
enum class Direction { kForward, kBackward, kBoth };

struct ConversionSettings {
  std::string outdir = "spectra";
  Sides sides = Sides::kAuto;
  int iapod = 2;                // happ-genzel
  double res = 4.0;             // cm-1
  double wlow = 400.0;          // cm-1
  double whigh = 4000.0;        // cm-1
  std::optional<double> laser;  // wref, cm-1; from each file's header when not given
  double sampr = 1.0;
  int npow = 0;              // a transform of 2^npow points (ipow2 1); 0: not asked
  bool no_res = false;       // ires 0
  bool phase_files = false;  // iphase 1
  // The transform controls. Each is unset unless asked for, and unset means the classic
  // rule; a value given, even the default one, is kept apart from none given.
  std::optional<int> zero_fill;            // 1, 2, 4, 8 or 16
  std::optional<double> phase_resolution;  // cm-1
  std::optional<Zpd> zpd;
  std::optional<PhaseChoice> phase;
  std::optional<Grid> grid;
  std::optional<Direction> direction;  // records of two scans; both when unset
  std::optional<bool> two_scans;       // the record holds two scans (SPC files)
  // Which of the window, the resolution and the range the caller gave: an instrument
  // file's own parameters stand for the others (and for the controls left unset).
  bool window_given = false;
  bool res_given = false;
  bool range_given = false;
  // Instrument files: the channel read (unset: the sample's, or the reference's in a file
  // holding no other), and the ratio written instead of a single channel.
  std::optional<values::Channel> channel;
  Ratio ratio = Ratio::kNone;
};

// A relative difference of the two scans' spectra above this is flagged (not refused): the
// default of the quality checks' "directions" row.
inline constexpr double kScanDifferenceLimit = quality::row(quality::Check::kDirections).limit;

// The controls `settings` asks for, as their options write them (for the record).
ControlsAsked controls_asked(const ConversionSettings& settings);

// The option texts of the controls' values.
std::string_view phase_mode_name(transform::PhaseMode mode);  // "mertz", ...; "" for kClassic
std::string_view zpd_mode_name(ZpdMode mode);                 // "max", "min", "abs"; "" kIndex
std::string_view direction_name(Direction direction);         // "forward", "backward", "both"

// A control's value from the text of its option, as the command line and the Python module
// take it: the value, or what the text is not ("is not classic or exact"), which each of
// them turns into its own refusal.
template <class T>
struct FromText {
  std::optional<T> value;
  std::string refusal;
};
FromText<int> zero_fill_from_text(std::string_view text);  // 1, 2, 4, 8 or 16
FromText<Zpd> zpd_from_text(std::string_view text);        // max, min, abs or a 1-based index
// mertz, mertz-signed, power, magnitude, or stored:FILE, whose phase is read here.
FromText<PhaseChoice> phase_from_text(std::string_view text);
FromText<Grid> grid_from_text(std::string_view text);            // classic or exact
FromText<Direction> direction_from_text(std::string_view text);  // forward, backward or both

// The whole number `text` states, when it lies within low..high.
std::optional<long long> whole_number(std::string_view text, long long low, long long high);

// What a file's conversion takes of `settings` beyond the run parameters.
struct FileControls {
  transform::Controls transform;
  Zpd zpd;
  Direction direction = Direction::kBoth;
  bool two_scans = false;  // declared by the settings; a reader may declare it too
  // Settings whose phase is a stored one keep it alive here.
  std::shared_ptr<const values::StoredPhase> stored;
};
FileControls file_controls(const ConversionSettings& settings);

// The phase of a .phz file this program wrote (the angle on 0..fmax), read through the SPC
// reader; its laser is not stated. The reason why not in `refused` (a skip text).
struct StoredPhaseRead {
  std::shared_ptr<const values::StoredPhase> phase;
  std::string refused;
};
StoredPhaseRead read_stored_phase(const std::string& path);

// The run parameters of one file: `settings` in red.dat's terms with the laser wavenumber
// `wref` and the resolution request `res`. idbl follows the sides (auto: 1; the conversion
// then chooses per file).
RunParameters file_parameters(const ConversionSettings& settings, double wref, double res);

// The display name of window code `iapod` ("Happ-Genzel"); empty when the code names none
// (`red_dat`: none that red.dat names). For the page, which knows the windows only through
// the driver.
std::string_view window_display_name(int iapod, bool red_dat = false);

}  // namespace ftir::driver
