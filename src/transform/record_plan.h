// One plan per geometry: the tables a record set's transform needs (windows, the place of
// each sample in the transform, the kept range and its wavenumbers), made once and used
// for every record of that geometry; each record is then one complex transform that
// carries its spectrum and its phase piece together. Numbers in, numbers out.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

#include "transform/complex.h"
#include "transform/fft.h"
#include "values/record_set.h"
#include "values/refusal.h"

namespace ftir::transform {

// What a record set's header states of its processing, as the plan takes it.
struct RecordRecipe {
  int points = 0;        // samples per record
  int zpd = 0;           // 0-based sample of zero path difference, the same for every record
  double xinc = 0.0;     // cm of path difference between samples
  int fft_points = 0;    // the zero-filled transform length (a power of 2 >= points)
  int phase_half = 0;    // the phase piece: samples zpd - phase_half .. zpd + phase_half - 1
  bool asymmetric = true;  // a short side shorter than the long one: the ramp weights it
  double (*window)(double x, double xmax) = nullptr;  // on the long side's length
  double low = 0.0;      // the kept range, cm-1: the points inside it and one beyond each end
  double high = 0.0;

  auto key() const {
    return std::tuple(points, zpd, xinc, fft_points, phase_half, asymmetric, window, low, high);
  }
};

// The recipe an imaging header's settings give: mean subtracted, its apodization on the
// long side, the phase from the symmetric piece around the nominal ZPD (triangle weighted)
// with the short side ramped, zero filling to the next power of 2 (times a stated factor),
// the stated truncation range. kInstrumentParameter (the detail names the setting) for a
// setting it cannot honour.
std::variant<RecordRecipe, values::Refused> imaging_recipe(const values::SharedFacts& facts);

// A worker's own working storage for plans of up to `fft_points`.
struct RecordWork {
  explicit RecordWork(int fft_points) : buffer(static_cast<std::size_t>(fft_points)) {}
  Fft fft;
  std::vector<Complex> buffer;
};

class RecordPlan {
 public:
  explicit RecordPlan(const RecordRecipe& recipe);

  const RecordRecipe& recipe() const { return recipe_; }
  // The kept spectrum points' wavenumbers, cm-1, ascending.
  std::span<const double> wavenumbers() const { return wavenumbers_; }
  // The phase-corrected single beam of `record` (recipe().points samples) at the kept
  // points, into `out` (wavenumbers().size() of them). False when the phase is undefined
  // at a kept point (a zero phase piece there).
  bool single_beam(std::span<const double> record, RecordWork& work, std::span<double> out) const;

 private:
  RecordRecipe recipe_;
  int log2n_ = 0;
  int first_kept_ = 0;
  std::vector<double> main_weight_;   // per sample: window x ramp
  std::vector<double> phase_weight_;  // per sample: the phase piece's triangle, 0 outside
  std::vector<int> place_;            // per sample: its index in the transform
  std::vector<double> wavenumbers_;
};

// Plans by geometry, made on first use. Not shared between threads.
class PlanCache {
 public:
  const RecordPlan& plan(const RecordRecipe& recipe);
  std::size_t size() const { return plans_.size(); }

 private:
  std::map<decltype(RecordRecipe{}.key()), std::unique_ptr<RecordPlan>> plans_;
};

// What converting a set gives: one spectrum per record on the shared wavenumbers.
struct SetSpectra {
  std::vector<double> wavenumbers;
  std::vector<double> values;  // records x wavenumbers, row-major
  std::vector<std::optional<values::Refused>> refused;  // per record
};

enum class RatioKind { kSingleBeam, kTransmittance, kAbsorbance };

// Where each record's zero path difference lies: the header's nominal index (one for the
// set), the index the file stores for the record (the nominal one where it stores none),
// or the record's own largest excursion from its mean. On the shared tile the nominal
// index agrees with the vendor's spectra by far the best.
enum class ZpdRule { kNominal, kStored, kOwnExtreme };

// Converts every record of `sample` by its header's processing; against `background`
// (a set of the same records, or one tile whose pixels serve every tile of an image),
// each record as the ratio `kind` of its own pixel's single beams. The background's
// single beams use the sample's processing on the background's own geometry. Records
// whose ZPD leaves no phase piece are refused (kInstrumentGeometry). The plans are made
// first, from `plans`; then `threads` workers take chunks of records, each with its own
// working storage.
std::variant<SetSpectra, values::Refused> convert_set(const values::RecordSet& sample,
                                                      const values::RecordSet* background,
                                                      RatioKind kind, PlanCache& plans,
                                                      ZpdRule zpd = ZpdRule::kNominal,
                                                      int threads = 1);

}  // namespace ftir::transform
