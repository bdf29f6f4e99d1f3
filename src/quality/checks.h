// Quality checks on a record's physics: a flat top at the record's extreme (clipping), a
// drifting DC level, a centerburst away from where it belongs, two scans that disagree, a
// phase that is not smooth, dead or hot detector elements, signal outside the stated band.
// One table names every check with its default threshold; the checks read plain views of
// what the conversion has at hand and return a flag mask with the values they measured.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ftir::quality {

enum class Check : int {
  kClipping,
  kDcVariation,
  kDcLevel,
  kZpd,
  kZpdTile,
  kDirections,
  kDirectionsZpd,
  kPhase,
  kPixelSpread,
  kPixelLow,
  kBeyondBand,
};
inline constexpr int kCheckCount = 11;

// A row of the table. `name` is what `--qc-limit NAME=VALUE` and the flag lists use;
// `limit` the default threshold in `unit`; `above`: the check fires above the threshold
// (clipping: at it), else below it; `minimum`: the smallest threshold a setting may give.
struct CheckRow {
  Check check;
  const char* name;
  const char* measures;
  double limit;
  const char* unit;
  const char* source;
  bool above;
  double minimum;
};

inline constexpr std::array<CheckRow, kCheckCount> kChecks = {{
    {Check::kClipping, "clipping",
     "longest run of equal samples at the record's largest or smallest value; any sample at "
     "a limit the file declares fires at once",
     3.0, "samples",
     "a saturated converter's flat top; runs of 3 equal samples away from the extremes occur "
     "in clean records",
     true, 2.0},
    {Check::kDcVariation, "dc-variation",
     "(max - min) / mean of the slow trend over each scan, for records that carry DC (a mean "
     "of the centerburst's sign and at least 10 % of its amplitude)",
     0.10, "ratio", "the maximum DC variation of a widely used atmospheric preprocessor", true,
     0.0},
    {Check::kDcLevel, "dc-level",
     "mean of the record as a fraction of the converter range the file states (records that "
     "carry DC only)",
     0.05, "of the range",
     "the minimum DC level of a widely used atmospheric preprocessor, in normalised units", false,
     0.0},
    {Check::kZpd, "zpd",
     "distance of the found centerburst from the one the file stores, as a fraction of the "
     "scan (at least 8 samples)",
     0.01, "of the scan", "instrument files store their peak a few samples from where it is found",
     true, 0.0},
    {Check::kZpdTile, "zpd-tile", "distance of a pixel's centerburst from the tile's median", 2.0,
     "samples", "the pixels of a tile share one mirror", true, 0.0},
    {Check::kDirections, "directions",
     "relative difference of the two scans' spectra, sqrt(sum (f - b)^2 / sum ((f + b)/2)^2)", 0.05,
     "ratio", "the page's rule for records of two scans", true, 0.0},
    {Check::kDirectionsZpd, "directions-zpd",
     "distance between the two scans' centerbursts, each in its own order, as a fraction of "
     "the scan (at least 8 samples)",
     0.01, "of the scan", "the same allowance as zpd", true, 0.0},
    {Check::kPhase, "phase",
     "rms of the phase about the line through each point's neighbours in the band, weighted "
     "by the squared magnitude where it is at least 10 % of its largest",
     0.05, "radians",
     "twice the largest of clean records: the shared files stay below 0.004, synthetic ones "
     "with 0.5 % noise below 0.025",
     true, 0.0},
    {Check::kPixelSpread, "pixel-spread",
     "distance of a pixel's centerburst amplitude from the median of a background tile, in "
     "median absolute deviations",
     8.0, "MAD", "the pixels of the shared background tiles reach 4.4 MAD", true, 0.0},
    {Check::kPixelLow, "pixel-low",
     "a pixel's centerburst amplitude as a fraction of the background tile's median", 0.10,
     "of the median", "a dead element gives a small fraction of its neighbours' signal", false,
     0.0},
    {Check::kBeyondBand, "beyond-band",
     "fraction of the spectrum's energy above the high folding limit or below the low one, "
     "where the file states them",
     0.01, "of the energy", "an alias or a filter leak above 1 % distorts the band", true, 0.0},
}};

constexpr const CheckRow& row(Check c) { return kChecks[static_cast<std::size_t>(c)]; }
constexpr std::uint32_t bit(Check c) { return std::uint32_t{1} << static_cast<int>(c); }

// The checks' own constants, stated with the rows that use them.
inline constexpr double kDcShare = 0.10;     // DC at least this fraction of the burst
inline constexpr int kTrendBlocks = 16;      // the slow trend: block means of a scan
inline constexpr int kZpdFloor = 8;          // zpd, directions-zpd: at least this many samples
inline constexpr double kPhaseFloor = 0.10;  // phase: magnitude at least this of the largest
inline constexpr int kPhaseMinPoints = 8;    // phase: fewer triples in the band, not judged

// What a run asks of the checks: the policy and every threshold.
enum class Policy { kFlag, kSkip, kOff };
struct Settings {
  Policy policy = Policy::kFlag;
  std::array<double, kCheckCount> limit = [] {
    std::array<double, kCheckCount> l{};
    for (const CheckRow& r : kChecks) l[static_cast<std::size_t>(r.check)] = r.limit;
    return l;
  }();
  double operator[](Check c) const { return limit[static_cast<std::size_t>(c)]; }
};

// A setting's value from its text, or what the text is not (the road turns it into its own
// refusal).
template <class T>
struct FromText {
  std::optional<T> value;
  std::string refusal;
};
FromText<Policy> policy_from_text(std::string_view text);  // flag, skip or off
// "NAME=VALUE": `settings` with that check's threshold changed; refused when NAME is no
// check, VALUE no finite number, or below the row's minimum (the text names the check).
FromText<Settings> limit_from_text(const Settings& settings, std::string_view text);

// The check called `name`, if any.
std::optional<Check> check_named(std::string_view name);

// The names of the checks set in `mask`, in table order, joined by ", ".
std::string flag_names(std::uint32_t mask);

// A curve on an evenly spaced grid: value i at first + i * step cm-1.
struct GridView {
  std::span<const double> values;
  double first = 0.0;
  double step = 0.0;
};

// A converter range the file declares, in the samples' units.
struct SampleRange {
  double low = 0.0;
  double high = 0.0;
};

// What the conversion knows of one record. Empty views and unset values leave their checks
// unjudged.
struct RecordInput {
  // The samples as read, DC included; two scans lie one after the other, each half of the
  // samples (the second in reverse order).
  std::span<const double> samples;
  int scans = 1;
  // Per scan, 0-based in its own order: the centerburst the conversion found (-1: none)
  // and the one the file stores.
  std::array<int, 2> found_zpd = {-1, -1};
  std::array<std::optional<int>, 2> stored_zpd;
  std::optional<double> scan_difference;  // the two scans' spectra, relative difference
  // The phase the single-sided path found (radians) and its magnitude, on one grid.
  GridView phase;
  GridView magnitude;
  double band_low = 0.0;  // the phase is judged on band_low..band_high cm-1 (high 0: all)
  double band_high = 0.0;
  // The band the file states (folding limits), cm-1, and its converter range.
  std::optional<double> low_cut;
  std::optional<double> high_cut;
  std::optional<SampleRange> adc;
};

// A tile of an imaging detector: `points` samples of each of width * height pixels, band
// by band (sample k of pixel p at k * width * height + p). The pixels' amplitudes are
// judged only on a background tile.
struct TileInput {
  int width = 0;
  int height = 0;
  int points = 0;
  std::span<const double> values;
  bool background = false;
};

// The outcome for one record (or pixel): a bit per check fired (bit(check)), and the value
// each judged check measured, in its row's unit.
struct Result {
  std::uint32_t mask = 0;
  std::array<std::optional<double>, kCheckCount> measured;
  std::optional<double> value(Check c) const { return measured[static_cast<std::size_t>(c)]; }
  bool fired(Check c) const { return (mask & bit(c)) != 0; }
};

// Judges a record with every record check; nothing with Policy::kOff.
Result check_record(const RecordInput& record, const Settings& settings);

// Judges every pixel of a tile (zpd-tile; pixel-spread and pixel-low on a background
// tile): one result per pixel, in the tile's order; none with Policy::kOff.
std::vector<Result> check_tile(const TileInput& tile, const Settings& settings);

// The centerburst of a scan: the first sample of largest |y - mean| (0-based), with the
// signed y - mean there and the mean. index -1 for an empty scan.
struct Centerburst {
  int index = -1;
  double amplitude = 0.0;
  double mean = 0.0;
};
Centerburst find_centerburst(std::span<const double> scan);

}  // namespace ftir::quality
