// The imaging header's entries, found by their names in the main stream.
#include "imagingfile/imaging_header.h"

#include <algorithm>
#include <charconv>

#include "imagingfile/compound_file.h"
#include "spcfile/bytes.h"

namespace ftir::imagingfile {

using spcfile::get_f64le;
using spcfile::get_i32le;
using Bytes = std::span<const unsigned char>;

const std::vector<std::string_view> kSettingKeys = {
    "Effective Laser Wavenumber", "Under Sampling Ratio", "Symmetry", "Resolution", "Scans",
    "Speed", "Range Start", "Range End", "FPA Size X", "FPA Size Y", "PixelAggregationSize",
    "Mosaic Tiles X", "Mosaic Tiles Y", "MosaicExtentX", "MosaicExtentY", "Apodization Type",
    "Phase Correction", "Phase Apodization", "Phase Size", "Zero Filling Factor", "Region",
    "Background Filename", "Sample File Name"};

namespace {

// A setting's text follows its key after seven i32 words, then the text's length three
// times over (the last right before the text).
constexpr std::size_t kTextLength = 28;
constexpr std::size_t kTextLengthAgain = 36;
constexpr std::size_t kTextLengthLast = 40;
constexpr std::size_t kText = 44;
constexpr std::int32_t kLongestText = 4096;
// A numbered value follows the text "1.00": an i32 1, an i32 kind, the value's size (8)
// and the f64; an axis then states its first index and its count, each after its size (4).
constexpr std::size_t kValueSize = 12;
constexpr std::size_t kValue = 16;
constexpr std::size_t kFirstSize = 24;
constexpr std::size_t kFirst = 28;
constexpr std::size_t kCountSize = 32;
constexpr std::size_t kCount = 36;
// How far past its key an axis's or a value's "1.00" may lie.
constexpr std::size_t kValueReach = 128;
// A step's name follows "STEPn" after five i32 words and its length twice.
constexpr std::size_t kStepNameLength = 20;
constexpr std::size_t kStepNameLengthAgain = 24;
constexpr std::size_t kStepName = 28;
constexpr int kMostSteps = 64;

std::size_t find(Bytes bytes, std::string_view text, std::size_t from) {
  if (from >= bytes.size()) return bytes.size();
  const auto it = std::search(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(),
                              text.begin(), text.end(), [](unsigned char b, char c) {
                                return b == static_cast<unsigned char>(c);
                              });
  return static_cast<std::size_t>(it - bytes.begin());
}

bool fits(Bytes bytes, std::size_t at, std::size_t n) {
  return at <= bytes.size() && bytes.size() - at >= n;
}

// The end of the next occurrence of `key` stored as a key (its i32 length right before
// it), from `from`; bytes.size() when there is none.
std::size_t find_key(Bytes bytes, std::string_view key, std::size_t from) {
  for (std::size_t at = find(bytes, key, from); at < bytes.size();
       at = find(bytes, key, at + 1)) {
    if (at >= 4 && get_i32le(bytes, at - 4) == static_cast<std::int32_t>(key.size())) {
      return at + key.size();
    }
  }
  return bytes.size();
}

// The axis whose "1.00" follows `from` within reach.
std::optional<Axis> axis_after(Bytes bytes, std::size_t from) {
  const std::size_t v = find(bytes, "1.00", from);
  if (v >= bytes.size() || v - from > kValueReach || !fits(bytes, v, kCount + 4)) return {};
  if (get_i32le(bytes, v + kValueSize) != 8 || get_i32le(bytes, v + kFirstSize) != 4 ||
      get_i32le(bytes, v + kCountSize) != 4) {
    return {};
  }
  return Axis{get_f64le(bytes, v + kValue), get_i32le(bytes, v + kFirst),
              get_i32le(bytes, v + kCount)};
}

std::optional<double> value_after(Bytes bytes, std::size_t from) {
  const std::size_t v = find(bytes, "1.00", from);
  if (v >= bytes.size() || v - from > kValueReach || !fits(bytes, v, kValue + 8)) return {};
  if (get_i32le(bytes, v + kValueSize) != 8) return {};
  return get_f64le(bytes, v + kValue);
}

// The steps named after the key "History", in order.
std::vector<std::string> history_of(Bytes bytes) {
  std::vector<std::string> steps;
  std::size_t at = find_key(bytes, "History", 0);
  for (int k = 0; k < kMostSteps && at < bytes.size(); ++k) {
    at = find_key(bytes, "STEP" + std::to_string(k), at);
    if (!fits(bytes, at, kStepName)) break;
    const std::int32_t n = get_i32le(bytes, at + kStepNameLengthAgain);
    if (n <= 0 || n > kLongestText || get_i32le(bytes, at + kStepNameLength) != n ||
        !fits(bytes, at + kStepName, static_cast<std::size_t>(n))) {
      break;
    }
    const auto* text = bytes.data() + at + kStepName;
    steps.emplace_back(text, text + n);
  }
  return steps;
}

}  // namespace

std::optional<std::string> text_setting(Bytes bytes, std::string_view key) {
  for (std::size_t at = find_key(bytes, key, 0); at < bytes.size();
       at = find_key(bytes, key, at)) {
    if (!fits(bytes, at, kText)) break;
    const std::int32_t n = get_i32le(bytes, at + kTextLengthLast);
    if (n < 0 || n > kLongestText || get_i32le(bytes, at + kTextLength) != n ||
        get_i32le(bytes, at + kTextLengthAgain) != n ||
        !fits(bytes, at + kText, static_cast<std::size_t>(n))) {
      continue;
    }
    const auto* text = bytes.data() + at + kText;
    return std::string(text, text + n);
  }
  return std::nullopt;
}

const std::string* ImagingHeader::setting(std::string_view key) const {
  for (const auto& [k, v] : settings) {
    if (k == key) return &v;
  }
  return nullptr;
}

std::optional<double> ImagingHeader::number(std::string_view key) const {
  const std::string* text = setting(key);
  if (!text) return std::nullopt;
  double v = 0.0;
  const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), v);
  if (ec != std::errc() || end != text->data() + text->size()) return std::nullopt;
  return v;
}

HeaderRead parse_imaging_header(Bytes bytes) {
  HeaderRead r;
  CompoundFile file;
  if (auto why = parse_compound(bytes, file)) {
    const bool short_file = why->find("end") != std::string::npos ||
                            why->find("beyond") != std::string::npos;
    r.refused = values::Refused{
        short_file ? values::Refusal::kShortHeader : values::Refusal::kBadParameters,
        "header: " + *why};
    return r;
  }
  // The main stream is the largest one: the others hold view and display settings.
  const CompoundEntry* main = nullptr;
  for (const CompoundEntry& e : file.entries) {
    if (e.type == 2 && (!main || e.size > main->size)) main = &e;
  }
  if (!main) {
    r.refused = values::Refused{values::Refusal::kBadParameters, "header: no stream"};
    return r;
  }
  std::vector<unsigned char> stream;
  if (auto why = read_stream(bytes, file, *main, stream)) {
    r.refused = values::Refused{values::Refusal::kShortHeader, "header: " + *why};
    return r;
  }
  ImagingHeader& h = r.header;
  h.stream = main->name;
  const Bytes s(stream);
  // Each setting by name in the stream; where the stream's entries are damaged, the same
  // entry searched in the file's bytes as they lie.
  for (const std::string_view key : kSettingKeys) {
    if (auto v = text_setting(s, key)) {
      h.settings.emplace_back(key, *v);
      h.settings_lookup.push_back(Lookup::kByName);
    } else if (auto raw = text_setting(bytes, key)) {
      h.settings.emplace_back(key, *raw);
      h.settings_lookup.push_back(Lookup::kFixedPlace);
    }
  }
  // The interferogram axis: the data entry after the key "Interferogram"; else after the
  // text in the file's bytes.
  const std::size_t interferogram = find_key(s, "Interferogram", 0);
  if (interferogram < s.size()) h.interferogram = axis_after(s, find_key(s, "Data", interferogram));
  if (!h.interferogram) {
    h.interferogram_lookup = Lookup::kFixedPlace;
    h.interferogram = axis_after(bytes, find(bytes, "Interferogram", 0));
  }
  // The vendor's spectra axis: the stream's first data entry, ahead of the interferogram's;
  // else its fixed place.
  if (const std::size_t at = find_key(s, "Data", 0); at < find(s, "Interferogram", 0)) {
    h.spectrum = axis_after(s, at);
  }
  if (!h.spectrum) {
    h.spectrum_lookup = Lookup::kFixedPlace;
    if (fits(bytes, kSpectrumAxisCount, 4)) {
      h.spectrum = Axis{get_f64le(bytes, kSpectrumAxisSpacing),
                        get_i32le(bytes, kSpectrumAxisFirst), get_i32le(bytes, kSpectrumAxisCount)};
    }
  }
  if (const std::size_t at = find_key(s, "FPA Pixel Size", 0); at < s.size()) {
    h.pixel_size = value_after(s, at);
  }
  h.history = history_of(s);
  return r;
}

}  // namespace ftir::imagingfile
