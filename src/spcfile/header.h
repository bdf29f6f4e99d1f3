// The SPC header described once: which variant a file is, how its samples are stored and
// scaled, what it declares of its points and X axis, and whether the reader refuses it.
// The reader, the laser inference, the red.dat checker and spc-tool all read these facts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "simd/kernels.h"
#include "spcfile/layout.h"
#include "values/interferogram.h"
#include "values/refusal.h"

namespace ftir::spcfile {

// What the version byte names. kUnknown: any other byte (or none), which the reader
// nevertheless reads as the new least-significant-byte-first format.
enum class HeaderVariant { kOld, kNewLsbFirst, kNewMsbFirst, kUnknown };

// How a sample sits in the data block (kInt16: flags bit 0x01, either format; kInt32: new
// format, least significant byte first; kInt32HighHalfFirst: old format, the more
// significant 16-bit half first; kFloat32: new format with exponent -128, whatever bit 0x01
// says). The decoding kernels share the enum.
using SampleKind = simd::SampleKind;

struct HeaderDescription {
  HeaderVariant variant = HeaderVariant::kUnknown;
  SpcVariant layout = SpcVariant::kNew;  // the layout the reader reads (kUnknown: kNew)
  // The bytes held the whole header of `layout` (and its first subheader); the fields
  // below `flags` are filled only then. A file that ends before it ends inside its header.
  bool complete = false;
  std::uint8_t flags = 0;
  SampleKind kind = SampleKind::kInt32;
  int exponent = 0;
  double factor = 0.0;      // the scale of integer samples (see sample_factor)
  double pointcount = 0.0;  // the count field as stored (an old-format f32, widened)
  // The points the reader takes the header to declare: the count as a whole number, at
  // most the largest i32; 0 when the count is below 2 or not a number.
  std::int64_t declared = 0;
  // (last X - first X) / (pointcount - 1) in f64 (from the f32 fields for the old format);
  // 0 when fewer than 2 points are declared.
  double xinc = 0.0;
  values::XAxisFacts x;  // first and last X (old format: f32 widened) and xunits
  double spare1 = 0.0;   // spare values 1 and 2, widened from f32
  double spare2 = 0.0;
  std::size_t data_offset = 0;  // where the data block starts (header_bytes(layout))
  // What the reader makes of this header, when it refuses the file: kUnsupportedLayout
  // (refused flags: tested first, on the first 2 bytes alone), kMsbFirst, kFewPoints. A
  // header cut short is no refusal here: only the caller knows the file ended there.
  std::optional<values::Refused> refused;
};

// Describes the header at the start of `start` (as much of the file's start as was read:
// 544 bytes hold any header). Any number of bytes may be given, none included.
HeaderDescription describe_header(std::span<const unsigned char> start);

// Whether a file starting with these bytes is an SPC file by its version byte (old, new
// least or most significant byte first), for the choice of a reader by content.
bool looks_like_spc(std::span<const unsigned char> first_bytes);

// The scale of a stored integer: 2^(exponent - 32) for 32-bit samples, 2^(exponent - 16)
// for 16-bit ones, held as an f32 (an exponent far out of range gives 0 or infinity). f32
// samples are not scaled; theirs comes out 0 and goes unused.
double sample_factor(SampleKind kind, int exponent);

// How close to 0 a first X must lie, as a fraction of the last X, for the axis to start at
// 0 cm-1: far above the rounding left by an instrument that computes first X (IG_MULTI's
// traces hold -7.99e-14 before 7900.4, a fraction of 1e-17), far below one sample step (a
// fraction 1 / (npts - 1), above 3.7e-6 for any record the run holds).
inline constexpr double kZeroFirstX = 1e-9;

// The laser wavenumber (cm-1) an interferogram's X axis states: stored in wavenumbers (X
// unit code 1) from first X 0 (|first X| <= kZeroFirstX * last X), the last X is the folding
// wavenumber wref * sampr / 2, so wref is 2 * last / sampr. Nothing when the axis says
// nothing of the laser (another first X or unit, a last X not above 0) or the quotient is
// not finite.
std::optional<double> laser_from_x(const values::XAxisFacts& x, double sampr);

}  // namespace ftir::spcfile
