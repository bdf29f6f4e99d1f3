// The record set: what a reader makes of a file that holds many interferograms of one
// geometry (the pixels of an imaging tile or mosaic, the scans of a series, the traces of a
// multi-trace file). One copy of the facts all records share, a table of what each record
// states of itself, and the samples as one records x points block.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "values/interferogram.h"
#include "values/refusal.h"

namespace ftir::values {

// Where a set comes from. The single-record formats keep their SourceFormat; the
// imaging formats have no single-record form.
enum class SetFormat { kSpc, kOpus, kOmnic, kImagingTile, kImagingMosaic };

const char* set_format_name(SetFormat f);  // "SPC", "OPUS", "OMNIC", "tile", "mosaic"

// The facts every record of the set shares.
struct SharedFacts {
  SetFormat format = SetFormat::kSpc;
  int points = 0;   // samples per record
  int scans = 1;    // 1, or 2 for a forward scan followed by a backward one in each record
  std::optional<double> laser;          // cm-1, as the file states it
  std::optional<int> undersampling;     // laser fringes per sample
  double xinc = 0.0;                    // sample spacing as the file states it (its unit)
  std::string xinc_unit;                // "cm" (optical path difference), "cm-1", ...
  std::optional<int> nominal_zpd;       // 0-based sample of zero path difference
  std::string symmetry;                 // as stored ("ASYM", "SYM", AQM "SN"/"DD" ...)
  // The file's processing parameters as stored, in the file's order, under its own names.
  std::vector<std::pair<std::string, std::string>> parameters;
  // Notes a reader leaves on the set (a missing tile, a fallback it took).
  std::vector<std::string> notes;

  // The stored value of a parameter, or null.
  const std::string* parameter(std::string_view key) const;
};

// What one record states of itself; a field the file does not state is empty.
struct RecordFacts {
  long index = 0;                 // 0-based, in the block's order
  std::optional<int> x;           // pixel column, from the left
  std::optional<int> y;           // pixel row, counted from the top of the image
  std::optional<double> time;     // s, where a series states it
  std::optional<int> zpd;         // 0-based sample the file names as the centerburst
  std::optional<double> scale;    // the factor the stored values were multiplied by
  std::optional<int> good_scans;
  std::optional<int> bad_scans;
  // Why this record yields no spectrum (a non-finite sample, a tile the mosaic lacks),
  // while the others of the set convert; empty for a usable record.
  std::optional<Refused> refused;
};

struct RecordSet {
  std::string name;  // the file the set was read from (a mosaic: its header file)
  SharedFacts facts;
  // (H, W) for an image, (M,) for a series; the product is the record count. Image
  // records lie row by row, rows as the vendor stores them (for the imaging formats:
  // bottom to top), columns left to right.
  std::vector<long> shape;
  std::vector<RecordFacts> table;  // one per record, in block order
  std::vector<double> samples;     // records x points, row-major

  long records() const { return static_cast<long>(table.size()); }
  std::span<const double> record(long r) const {
    return std::span<const double>(samples).subspan(
        static_cast<std::size_t>(r) * static_cast<std::size_t>(facts.points),
        static_cast<std::size_t>(facts.points));
  }
  std::span<double> record(long r) {
    return std::span<double>(samples).subspan(
        static_cast<std::size_t>(r) * static_cast<std::size_t>(facts.points),
        static_cast<std::size_t>(facts.points));
  }
};

// A reader's refusal of a set: the file at fault, the record where one is, and the reason.
struct SetRefusal {
  Refused reason;
  std::string file;
  std::optional<long> record;

  // "FILE: record N: reason" (without the record part where none is at fault).
  std::string text() const;
};

// A set of one from a single-record read: its samples copied, its facts carried over (the
// instrument's parameters under their three-letter names).
RecordSet set_of_one(const Interferogram& ig);

}  // namespace ftir::values
