// The imaging readers: data files checked against their size and their header file, read
// band by band into the records of one block.
#include "imagingfile/reader.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>

#include "spcfile/bytes.h"
#include "spcfile/file_access.h"
#include "values/interferogram.h"

namespace ftir::imagingfile {

using values::Refusal;
using values::Refused;
using values::SetRefusal;
namespace fs = std::filesystem;

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

SetRefusal refusal(const std::string& file, Refusal code, std::string detail,
                   std::optional<long> record = std::nullopt) {
  return SetRefusal{Refused{code, std::move(detail)}, file, record};
}

std::optional<SetRefusal> open(const std::string& path, File& out) {
  spcfile::OpenedInput in = spcfile::try_open_input(path);
  if (!in.file) return refusal(path, Refusal::kCannotOpen, in.problem);
  out.reset(in.file);
  return std::nullopt;
}

// A whole (header) file's bytes, up to `most` of them.
std::optional<SetRefusal> read_whole(const std::string& path, std::size_t most,
                                     std::vector<unsigned char>& out) {
  File f;
  if (auto r = open(path, f)) return r;
  out.clear();
  unsigned char buf[65536];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f.get())) > 0;) {
    if (out.size() + n > most) {
      return refusal(path, Refusal::kBadBlockSize,
                     "the header file is larger than " + std::to_string(most) + " bytes");
    }
    out.insert(out.end(), buf, buf + n);
  }
  if (std::ferror(f.get())) return refusal(path, Refusal::kCannotOpen, "Cannot read " + path);
  return std::nullopt;
}

// Header files are a few tens of kilobytes; one of more than this is not one.
constexpr std::size_t kLargestHeaderFile = std::size_t{64} << 20;

std::string shape_text(const DataShape& s) {
  return std::to_string(s.width) + " x " + std::to_string(s.height) + " pixels x " +
         std::to_string(s.points) + " points";
}

// The bytes a data file of this shape holds, or nothing when the count overflows.
std::optional<std::uint64_t> data_bytes(const DataShape& s) {
  const std::uint64_t pixels = static_cast<std::uint64_t>(s.width) * static_cast<std::uint64_t>(s.height);
  const std::uint64_t limit = (std::numeric_limits<std::uint64_t>::max() - kDataHeaderBytes) / 4;
  if (pixels != 0 && s.points > limit / pixels) return std::nullopt;
  return kDataHeaderBytes + 4 * pixels * s.points;
}

// The shortest text that reads back as the same double.
std::string number_text(double v) {
  char buf[32];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return ec == std::errc() ? std::string(buf, end) : std::string();
}

std::string file_name(const std::string& path) { return fs::path(path).filename().string(); }

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The facts the header gives every record of the set; its refusal when one it needs is
// missing or unusable.
std::optional<SetRefusal> shared_facts(const std::string& path, const ImagingHeader& h,
                                       values::SharedFacts& f) {
  const auto laser = h.number("Effective Laser Wavenumber");
  const auto ratio = h.number("Under Sampling Ratio");
  if (!laser || !(*laser > 0.0)) {
    return refusal(path, Refusal::kBadParameters, "header: no usable \"Effective Laser Wavenumber\"");
  }
  if (!ratio || !(*ratio >= 1.0 && *ratio <= 1024.0) || *ratio != std::floor(*ratio)) {
    return refusal(path, Refusal::kBadParameters, "header: no usable \"Under Sampling Ratio\"");
  }
  if (!h.interferogram || !(h.interferogram->spacing > 0.0) || h.interferogram->count < 2) {
    return refusal(path, Refusal::kBadParameters, "header: no usable interferogram axis");
  }
  f.laser = laser;
  f.undersampling = static_cast<int>(*ratio);
  f.xinc = h.interferogram->spacing;
  f.xinc_unit = "cm";
  if (h.interferogram->first <= 0 && -h.interferogram->first < h.interferogram->count) {
    f.nominal_zpd = -h.interferogram->first;
  }
  if (const std::string* s = h.setting("Symmetry")) f.symmetry = *s;
  for (std::size_t i = 0; i < h.settings.size(); ++i) {
    f.parameters.push_back(h.settings[i]);
    if (h.settings_lookup[i] == Lookup::kFixedPlace) {
      f.notes.push_back("\"" + h.settings[i].first + "\" was found outside the header's stream");
    }
  }
  std::string steps;
  for (const std::string& s : h.history) steps += (steps.empty() ? "" : "; ") + s;
  if (!steps.empty()) f.parameters.emplace_back("History", steps);
  const auto axis_text = [](const Axis& a) {
    return number_text(a.spacing) + " " + std::to_string(a.first) + " " + std::to_string(a.count);
  };
  f.parameters.emplace_back("Interferogram axis", axis_text(*h.interferogram));
  if (h.interferogram_lookup == Lookup::kFixedPlace) {
    f.notes.push_back("the interferogram axis was read at its fixed place");
  }
  if (h.spectrum) {
    f.parameters.emplace_back("Spectrum axis", axis_text(*h.spectrum));
    if (h.spectrum_lookup == Lookup::kFixedPlace) {
      f.notes.push_back("the spectrum axis was read at its fixed place");
    }
  }
  if (h.pixel_size) f.parameters.emplace_back("FPA Pixel Size", number_text(*h.pixel_size));
  return std::nullopt;
}

// The data shape the header implies: the axis's count; the FPA's size over the
// aggregation, where both are stated.
std::optional<SetRefusal> check_against_header(const std::string& path, const ImagingHeader& h,
                                               const DataShape& s) {
  if (static_cast<std::int64_t>(s.points) != h.interferogram->count) {
    return refusal(path, Refusal::kBadBlockSize,
                   "the data file holds " + std::to_string(s.points) +
                       " points a pixel, its header file's interferogram axis " +
                       std::to_string(h.interferogram->count));
  }
  const auto fx = h.number("FPA Size X");
  const auto fy = h.number("FPA Size Y");
  const auto agg = h.number("PixelAggregationSize");
  if (fx && fy && agg && *agg >= 1.0) {
    const double w = std::floor(*fx / *agg);
    const double ht = std::floor(*fy / *agg);
    if (w != s.width || ht != s.height) {
      return refusal(path, Refusal::kBadBlockSize,
                     "the data file holds " + std::to_string(s.width) + " x " +
                         std::to_string(s.height) + " pixels, its header file states " +
                         std::to_string(static_cast<long>(w)) + " x " +
                         std::to_string(static_cast<long>(ht)));
    }
  }
  return std::nullopt;
}

std::optional<SetRefusal> check_limits(const std::string& path, std::uint64_t records,
                                       std::uint32_t points, const ReadLimits& limits) {
  if (points > static_cast<std::uint32_t>(values::kCapacity)) {
    return refusal(path, Refusal::kTooManyPoints,
                   std::to_string(points) + " points a record, more than the " +
                       std::to_string(values::kCapacity) + " a record may hold");
  }
  if (points != 0 && records > limits.max_samples / points) {
    return refusal(path, Refusal::kTooManyPoints,
                   std::to_string(records) + " records of " + std::to_string(points) +
                       " points, more than the " + std::to_string(limits.max_samples) +
                       " samples a read may hold");
  }
  return std::nullopt;
}

void mark_nonfinite(const std::string& file, values::RecordSet& set, long first, long count,
                    long stride, long rows) {
  for (long r = 0; r < rows; ++r) {
    for (long c = 0; c < count; ++c) {
      const long rec = first + r * stride + c;
      const auto x = set.record(rec);
      if (std::any_of(x.begin(), x.end(), [](double v) { return !std::isfinite(v); })) {
        set.table[static_cast<std::size_t>(rec)].refused =
            Refused{Refusal::kNotFinite, file_name(file) + ": a sample is not a finite number"};
      }
    }
  }
}

void fill_table(values::RecordSet& set, long width, long height) {
  set.table.resize(static_cast<std::size_t>(width * height));
  for (long i = 0; i < width * height; ++i) {
    values::RecordFacts& row = set.table[static_cast<std::size_t>(i)];
    row.index = i;
    row.x = static_cast<int>(i % width);
    row.y = static_cast<int>(height - 1 - i / width);  // from the top
    row.zpd = set.facts.nominal_zpd;
  }
}

std::optional<SetRefusal> read_header_file(const std::string& path, ImagingHeader& out) {
  std::vector<unsigned char> bytes;
  if (auto r = read_whole(path, kLargestHeaderFile, bytes)) return r;
  HeaderRead h = parse_imaging_header(bytes);
  if (h.refused) return SetRefusal{*h.refused, path, std::nullopt};
  out = std::move(h.header);
  return std::nullopt;
}

}  // namespace

std::optional<SetRefusal> read_data_shape(const std::string& path, DataShape& out) {
  File f;
  if (auto r = open(path, f)) return r;
  unsigned char head[kDataHeaderBytes];
  if (std::fread(head, 1, sizeof head, f.get()) != sizeof head) {
    return refusal(path, Refusal::kShortHeader, "the file ends inside its 1020-byte header");
  }
  const std::span<const unsigned char> h(head);
  out.points = spcfile::get_u32le(h, kDataPointsOffset);
  out.width = spcfile::get_u16le(h, kDataWidthOffset);
  out.height = spcfile::get_u16le(h, kDataHeightOffset);
  if (out.points < 2 || out.width < 1 || out.height < 1) {
    return refusal(path, Refusal::kBadBlockSize, "its header states " + shape_text(out));
  }
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(path, ec);
  const auto want = data_bytes(out);
  if (ec || !want || size != *want) {
    return refusal(path, Refusal::kBadBlockSize,
                   "its header states " + shape_text(out) + ", which " +
                       (want ? std::to_string(*want) + " bytes hold" : std::string("overflows")) +
                       ", but the file has " + std::to_string(size) + " bytes");
  }
  return std::nullopt;
}

std::optional<SetRefusal> read_data_file(const std::string& path, const DataShape& expected,
                                         Placement where, values::RecordSet& set) {
  DataShape s;
  if (auto r = read_data_shape(path, s)) return r;
  if (s.points != expected.points || s.width != expected.width || s.height != expected.height) {
    return refusal(path, Refusal::kBadBlockSize,
                   "it holds " + shape_text(s) + ", not " + shape_text(expected));
  }
  File f;
  if (auto r = open(path, f)) return r;
  const std::size_t band = static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.height);
  std::vector<unsigned char> buf(band * 4);
  const std::span<const unsigned char> b(buf);
  const std::size_t points = static_cast<std::size_t>(set.facts.points);
  if (std::fseek(f.get(), static_cast<long>(kDataHeaderBytes), SEEK_SET) != 0) {
    return refusal(path, Refusal::kCannotOpen, "Cannot read " + path);
  }
  for (std::uint32_t k = 0; k < s.points; ++k) {
    if (std::fread(buf.data(), 1, buf.size(), f.get()) != buf.size()) {
      return refusal(path, Refusal::kTruncated, "the file ends inside point " + std::to_string(k));
    }
    for (std::size_t i = 0; i < band; ++i) {
      const long r = static_cast<long>(i) / s.width;
      const long c = static_cast<long>(i) % s.width;
      const auto rec = static_cast<std::size_t>((where.row + r) * where.stride + where.column + c);
      set.samples[rec * points + k] = static_cast<double>(spcfile::get_f32le(b, i * 4));
    }
  }
  mark_nonfinite(path, set, where.row * where.stride + where.column, s.width, where.stride,
                 s.height);
  return std::nullopt;
}

SetRead read_tile(const std::string& path, ReadLimits limits) {
  SetRead out;
  const std::string header_path = fs::path(path).replace_extension(".bsp").string();
  ImagingHeader h;
  if (auto r = read_header_file(header_path, h)) {
    out.refused = r;
    return out;
  }
  values::RecordSet& set = out.set;
  set.name = path;
  set.facts.format = values::SetFormat::kImagingTile;
  if (auto r = shared_facts(header_path, h, set.facts)) {
    out.refused = r;
    return out;
  }
  DataShape s;
  if (auto r = read_data_shape(path, s)) {
    out.refused = r;
    return out;
  }
  if (auto r = check_against_header(path, h, s)) {
    out.refused = r;
    return out;
  }
  const auto records = static_cast<std::uint64_t>(s.width) * static_cast<std::uint64_t>(s.height);
  if (auto r = check_limits(path, records, s.points, limits)) {
    out.refused = r;
    return out;
  }
  set.facts.points = static_cast<int>(s.points);
  set.shape = {s.height, s.width};
  fill_table(set, s.width, s.height);
  set.samples.assign(records * s.points, 0.0);
  if (auto r = read_data_file(path, s, Placement{0, 0, s.width}, set)) out.refused = r;
  return out;
}

namespace {

// A tile file's grid place from its name "<stem>_XXXX_YYYY.drd" (the stem compared without
// regard to case, as the vendor writes it with another case than the header's name).
std::optional<std::pair<int, int>> tile_place(const std::string& name, const std::string& stem) {
  const std::string n = lower(name);
  const std::string want = lower(stem) + "_";
  constexpr std::size_t kDigits = 4;
  if (n.size() != want.size() + 2 * kDigits + 1 + 4 || n.compare(0, want.size(), want) != 0 ||
      n.compare(n.size() - 4, 4, ".drd") != 0 || n[want.size() + kDigits] != '_') {
    return std::nullopt;
  }
  int xy[2] = {0, 0};
  for (int part = 0; part < 2; ++part) {
    for (std::size_t d = 0; d < kDigits; ++d) {
      const char c = n[want.size() + static_cast<std::size_t>(part) * (kDigits + 1) + d];
      if (c < '0' || c > '9') return std::nullopt;
      xy[part] = xy[part] * 10 + (c - '0');
    }
  }
  return std::pair{xy[0], xy[1]};
}

// The grid from the header's extent; else from the grid file the vendor writes beside it.
std::optional<std::pair<int, int>> grid_of(const std::string& path, const ImagingHeader& h,
                                           std::vector<std::string>& notes) {
  const auto ex = h.number("MosaicExtentX");
  const auto ey = h.number("MosaicExtentY");
  const auto usable = [](std::optional<double> v) { return v && *v >= 1.0 && *v <= 10000.0; };
  if (usable(ex) && usable(ey)) return std::pair{static_cast<int>(*ex), static_cast<int>(*ey)};
  const fs::path cfg = fs::path(path).parent_path() / "IrMosaicInfo.cfg";
  std::vector<unsigned char> text;
  if (read_whole(cfg.string(), 1 << 20, text)) return std::nullopt;
  const std::string t(text.begin(), text.end());
  const auto value = [&t](const std::string& key) -> std::optional<double> {
    const std::size_t at = t.find(key + "=");
    if (at == std::string::npos) return std::nullopt;
    return std::strtod(t.c_str() + at + key.size() + 1, nullptr);
  };
  const auto cx = value("IrCollectFilesX");
  const auto cy = value("IrCollectFilesY");
  if (!usable(cx) || !usable(cy)) return std::nullopt;
  notes.push_back("the grid was read from IrMosaicInfo.cfg");
  return std::pair{static_cast<int>(*cx), static_cast<int>(*cy)};
}

}  // namespace

LayoutRead read_mosaic_layout(const std::string& path) {
  LayoutRead out;
  MosaicLayout& m = out.layout;
  if (auto r = read_header_file(path, m.header)) {
    out.refused = r;
    return out;
  }
  values::SharedFacts probe;
  if (auto r = shared_facts(path, m.header, probe)) {
    out.refused = r;
    return out;
  }
  const auto grid = grid_of(path, m.header, m.notes);
  if (!grid) {
    out.refused = refusal(path, Refusal::kBadParameters, "header: no usable mosaic extent");
    return out;
  }
  m.tiles_x = grid->first;
  m.tiles_y = grid->second;
  m.files.assign(static_cast<std::size_t>(m.tiles_x) * static_cast<std::size_t>(m.tiles_y), "");
  const fs::path dir = fs::path(path).parent_path();
  const std::string stem = fs::path(path).stem().string();
  std::error_code ec;
  std::vector<std::string> found;
  for (fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec), end; !ec && it != end;
       it.increment(ec)) {
    found.push_back(it->path().filename().string());
  }
  if (ec) {
    out.refused = refusal(path, Refusal::kCannotOpen, "cannot list its folder: " + ec.message());
    return out;
  }
  std::sort(found.begin(), found.end());
  for (const std::string& name : found) {
    const auto place = tile_place(name, stem);
    if (!place) continue;
    const std::string tile = (dir / name).string();
    if (place->first >= m.tiles_x || place->second >= m.tiles_y) {
      out.refused = refusal(tile, Refusal::kBlockOutside,
                            "a tile outside the mosaic's " + std::to_string(m.tiles_x) + " x " +
                                std::to_string(m.tiles_y) + " grid");
      return out;
    }
    std::string& slot = m.files[static_cast<std::size_t>(place->second * m.tiles_x + place->first)];
    if (!slot.empty()) {
      out.refused = refusal(tile, Refusal::kBlockOutside, "a second tile at the place of " + slot);
      return out;
    }
    slot = tile;
  }
  bool first = true;
  for (std::size_t i = 0; i < m.files.size(); ++i) {
    if (m.files[i].empty()) {
      m.notes.push_back("tile x " + std::to_string(i % static_cast<std::size_t>(m.tiles_x)) +
                        ", y " + std::to_string(i / static_cast<std::size_t>(m.tiles_x)) +
                        " is missing: its pixels are NaN");
      continue;
    }
    DataShape s;
    if (auto r = read_data_shape(m.files[i], s)) {
      out.refused = r;
      return out;
    }
    if (first) {
      if (auto r = check_against_header(m.files[i], m.header, s)) {
        out.refused = r;
        return out;
      }
      m.tile = s;
      first = false;
    } else if (s.points != m.tile.points || s.width != m.tile.width || s.height != m.tile.height) {
      out.refused = refusal(m.files[i], Refusal::kBadBlockSize,
                            "it holds " + shape_text(s) + ", the mosaic's other tiles " +
                                shape_text(m.tile));
      return out;
    }
  }
  if (first) {
    out.refused = refusal(path, Refusal::kCannotOpen, "no tile of the mosaic was found");
  }
  return out;
}

SetRead read_mosaic(const std::string& path, ReadLimits limits) {
  SetRead out;
  LayoutRead lr = read_mosaic_layout(path);
  if (lr.refused) {
    out.refused = lr.refused;
    return out;
  }
  const MosaicLayout& m = lr.layout;
  values::RecordSet& set = out.set;
  set.name = path;
  set.facts.format = values::SetFormat::kImagingMosaic;
  if (auto r = shared_facts(path, m.header, set.facts)) {
    out.refused = r;
    return out;
  }
  const long w = static_cast<long>(m.tiles_x) * m.tile.width;
  const long h = static_cast<long>(m.tiles_y) * m.tile.height;
  if (auto r = check_limits(path, static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h),
                            m.tile.points, limits)) {
    out.refused = r;
    return out;
  }
  set.facts.points = static_cast<int>(m.tile.points);
  set.facts.notes.insert(set.facts.notes.end(), m.notes.begin(), m.notes.end());
  set.shape = {h, w};
  fill_table(set, w, h);
  set.samples.assign(static_cast<std::size_t>(w * h) * m.tile.points,
                     std::numeric_limits<double>::quiet_NaN());
  for (int ty = 0; ty < m.tiles_y; ++ty) {
    for (int tx = 0; tx < m.tiles_x; ++tx) {
      const std::string& file = m.files[static_cast<std::size_t>(ty * m.tiles_x + tx)];
      // Rows count from the bottom: the last row of tiles comes first.
      const Placement where{static_cast<long>(m.tiles_y - 1 - ty) * m.tile.height,
                            static_cast<long>(tx) * m.tile.width, w};
      if (file.empty()) {
        for (long r = 0; r < m.tile.height; ++r) {
          for (long c = 0; c < m.tile.width; ++c) {
            set.table[static_cast<std::size_t>((where.row + r) * w + where.column + c)].refused =
                Refused{Refusal::kCannotOpen, "its tile (x " + std::to_string(tx) + ", y " +
                                                  std::to_string(ty) + ") is missing"};
          }
        }
        continue;
      }
      if (auto r = read_data_file(file, m.tile, where, set)) {
        out.refused = r;
        return out;
      }
    }
  }
  return out;
}

}  // namespace ftir::imagingfile
