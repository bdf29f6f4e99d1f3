// What a cube holds, described in memory: its shape, wavenumber axis, the quantity of its
// spectra, the per-record table and the run's provenance. The writer lays it out as a
// NetCDF-4 file following the CF conventions; the reader gives it back from one.
#pragma once

#include <string>
#include <variant>
#include <vector>

namespace ftir::cube {

// What the spectra are; it gives `spectrum` its long_name.
enum class Quantity { kSingleBeam, kAbsorbance, kTransmittance };
const char* long_name_of(Quantity quantity);

// The netCDF type a per-record column is stored as; its values travel as doubles, which
// hold every value of each of these types exactly.
enum class ColumnType { kInt8, kInt32, kFloat32, kFloat64 };

// One per-record quantity (ZPD index used, centerburst amplitude, status code, input file
// index, ...): a variable over the record dimensions. A code column names its codes with
// the CF flag attributes: flag_values and the blank-separated flag_meanings.
struct Column {
  std::string name;
  ColumnType type = ColumnType::kFloat64;
  std::string long_name;
  std::string units;  // "" for none
  std::vector<int> flag_values;
  std::string flag_meanings;
  bool operator==(const Column&) const = default;
};

// A global attribute beyond the fixed ones: a processing parameter (window, zero filling,
// laser, ...), written in the order given.
struct Attribute {
  std::string name;
  std::variant<std::string, int, double, std::vector<double>> value;
  bool operator==(const Attribute&) const = default;
};

// An input of the run and the SHA-256 of its bytes (64 hex digits; "" when this cube did not
// read it, as in a shard that converted other files).
struct InputFile {
  std::string name;
  std::string sha256;
  bool operator==(const InputFile&) const = default;
};

// A shard: one of `count` cubes that together hold the records of one run, each the run's
// whole shape with only its own records written.
struct Shard {
  int index = 0;  // from 0
  int count = 1;
  bool operator==(const Shard&) const = default;
};

// The whole description. An image has height and width (dimensions y, x, wavenumber; its
// records counted by rows from the top, then columns: record = row * width + column); a
// series or collected run has `records` (dimensions record, wavenumber).
struct CubeDescription {
  int height = 0;  // an image when height and width are both above 0
  int width = 0;
  int records = 0;                 // a series when no image
  double pixel_pitch_um = 0;       // image: the x and y of pixel i are (i + 0.5) * pitch
  std::vector<double> wavenumber;  // cm-1, one per spectrum point
  std::vector<double> time;        // series: one per record, or empty
  std::string time_units;          // as CF takes them, "s" or "seconds since ..."
  Quantity quantity = Quantity::kAbsorbance;
  std::string spectrum_units = "1";
  std::vector<Column> columns;
  std::string title;
  std::string history;  // "<ISO time> <command line>" (history_line())
  std::vector<Attribute> parameters;
  std::vector<InputFile> inputs;
  bool is_shard = false;
  Shard shard;

  bool is_image() const { return height > 0 && width > 0; }
  // Records of the cube: height * width for an image.
  int record_count() const { return is_image() ? height * width : records; }
  int points() const { return static_cast<int>(wavenumber.size()); }
  bool operator==(const CubeDescription&) const = default;
};

// The `source` attribute of every cube: "ftir-reduce <version>".
std::string source_text();

// The `history` line: the UTC time as ISO 8601 ("2026-12-08T03:17:06Z"), a blank, and the
// arguments joined by blanks, each that holds a blank, a quote or a shell character in
// single quotes.
std::string history_line(long long unix_seconds, const std::vector<std::string>& arguments);

}  // namespace ftir::cube
