// The imaging header files (a tile's .bsp, a mosaic's .dmt): a compound file whose main
// stream holds typed, length-prefixed entries: text settings (a key, then its text), the
// axes of the stored data (a spacing and a first index and count on it) and the
// processing history (named steps in order). Looked up by name, with the layout's fixed
// places as the fallback where a name is not found.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "values/refusal.h"

namespace ftir::imagingfile {

// Where the vendor's spectra axis lies in the file when it cannot be found by name.
inline constexpr std::size_t kSpectrumAxisSpacing = 2216;  // f64
inline constexpr std::size_t kSpectrumAxisFirst = 2228;    // i32
inline constexpr std::size_t kSpectrumAxisCount = 2236;    // i32

// An evenly spaced axis: value i is spacing * (first + i), i = 0 .. count - 1.
struct Axis {
  double spacing = 0.0;
  int first = 0;
  int count = 0;
};

// How a field was found: in the main stream by its name, or at the layout's fixed place
// in the file's bytes.
enum class Lookup { kByName, kFixedPlace };

struct ImagingHeader {
  std::string stream;  // the main stream's name
  // The text settings found, in the order of kSettingKeys, with how each was found.
  std::vector<std::pair<std::string, std::string>> settings;
  std::vector<Lookup> settings_lookup;
  std::optional<Axis> interferogram;  // cm of optical path difference
  Lookup interferogram_lookup = Lookup::kByName;
  std::optional<Axis> spectrum;       // cm-1
  Lookup spectrum_lookup = Lookup::kByName;
  std::vector<std::string> history;  // the processing steps' names, in order
  std::optional<double> pixel_size;  // "FPA Pixel Size", micrometres

  const std::string* setting(std::string_view key) const;
  std::optional<double> number(std::string_view key) const;  // a setting read as a number
};

// The text settings a header is searched for.
extern const std::vector<std::string_view> kSettingKeys;

struct HeaderRead {
  // kShortHeader (the file ends inside the compound file's tables or a stream),
  // kBadParameters (no compound file, or a damaged one: the detail says why).
  std::optional<values::Refused> refused;
  ImagingHeader header;
};

// Parses a header file's bytes. Never reads outside `bytes`.
HeaderRead parse_imaging_header(std::span<const unsigned char> bytes);

// The text of a length-prefixed setting `key` in `bytes`, or nothing.
std::optional<std::string> text_setting(std::span<const unsigned char> bytes, std::string_view key);

}  // namespace ftir::imagingfile
