// The interferogram value: what a reader makes of a file, and all that the engine and the
// roads need to know about it. Readers fill it; nothing below the driver opens a file.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>

#include "values/instrument.h"

namespace ftir::values {

// The largest number of samples (and of spectrum points) a run works on; the working
// storage, the readers and the writers all hold this many.
inline constexpr int kCapacity = 270000;

enum class SourceFormat { kSpc, kOpus, kOmnic };

// What a file states of its X axis: first and last X and the SPC X-unit code (fxtype),
// from which the laser wavenumber of an interferogram stored in cm-1 can be inferred.
struct XAxisFacts {
  double first = 0.0;
  double last = 0.0;
  int units = 0;
};

struct Interferogram {
  std::string name;  // as listed or named, trailing blanks removed
  SourceFormat format = SourceFormat::kSpc;
  std::span<double> samples;  // in file order; a view of the caller's storage
  // The sum of the samples, when the reader could take it exactly on its way (then any
  // order of the adds gives these bits, the order of the index included).
  std::optional<double> sum;
  int declared_points = 0;         // what the header declares
  // The declared points whose data the file holds: declared_points unless the file ends
  // before the last point the reader keeps (then the points up to where it ends).
  int points_held = 0;
  double xinc = 0.0;               // X increment between successive samples of the file
  XAxisFacts x;
  std::optional<double> laser;  // cm-1, where the format stores the laser itself
  // Header fields a written spectrum carries over from its interferogram.
  double spare1 = 0.0;
  // Scans in the samples: 1, or 2 for a forward scan followed by a backward one, each half
  // of the samples, the second stored in reverse order (its last sample taken first).
  int scans = 1;
  // What an instrument file states beside the samples; null for an SPC file.
  std::shared_ptr<const Instrument> instrument;
};

}  // namespace ftir::values
