// Why a file yields no spectrum: one vocabulary for readers, paths and the driver, one table
// of texts. Readers and paths return a refusal; each road decides once what follows (the
// classic run: its message, pause and stop, or a skip line; the command line and Python: a
// skip or an exception carrying the skip text).
#pragma once

#include <string>
#include <string_view>

namespace ftir::values {

enum class Refusal {
  kCannotOpen,           // the file cannot be opened or read (the detail names it and why)
  kUnsupportedLayout,    // several traces, an X array or the compatibility flag
  kMsbFirst,             // new format with the most significant byte first
  kTooManyPoints,        // more points than the working storage holds
  kFewPoints,            // the header declares fewer than 2 points
  kNotFinite,            // a sample is NaN or infinite
  kNoPoints,             // nothing was read
  kNoLaser,              // no laser wavenumber stated or given
  kUnusableSpacing,      // the laser and sampling factor give no usable sample spacing
  kCenterburstLast,      // double-sided: nothing after the centerburst
  kFewSegmentSamples,    // double-sided: the resolution leaves fewer than 2 samples a side
  kCenterburstFirst3,    // single-sided: no phase piece of 4 points
  kFewTransformPoints,   // single-sided: fewer than 2 transform points
  kNoSignal,             // the spectrum's energy is zero
  kTooLarge,             // the energies overflow
  kEmptyRange,           // no spectrum point between wlow and whigh
  kPhaseGrid,            // a spectrum point lies outside the phase grid
  kScaleFactor,          // the writer's exponent cannot represent the values
  kOutputClaimed,        // the output name is taken (the detail says by whom)
  // Refused by the command line alone (the classic run converts what it reads):
  kTruncated,            // the file ends before the points its header declares
  kNoCenterburst,        // the samples show no centerburst: a spectrum, not an interferogram
  // Refused on settings that a red.dat run cannot state:
  kZpdOutside,           // the centerburst index asked for lies beyond the record
  kOddScans,             // two scans asked for in an odd number of samples
  kStoredPhase,          // the stored phase does not fit this record (the detail says why)
  kScansApart,           // the two scans' spectra lie on different grids
  // Refused by the instrument file readers (OPUS, OMNIC SPA):
  kShortHeader,          // the file ends inside its header
  kBlockOutside,         // the directory or a block it lists lies outside the file
  kBadBlockSize,         // a directory entry states a negative or impossible size
  kBadParameters,        // a parameter block runs past its end or holds an unreadable value
  kNoParameterBlock,     // a data block lacks the parameter block stating its points
  kPointsBeyondBlock,    // a data block's point count exceeds the block
  kNoInterferogram,      // no interferogram of the chosen channel
  // Refused by the instrument's transform:
  kUnusableRecipe,       // a transform parameter is unusable (the detail names it)
  kInstrumentGeometry,   // the centerburst, phase piece or long side lies beyond the scan
  kStoredPhaseRange,     // the stored phase does not cover the spectrum's points
  kInstrumentParameter,  // a parameter of an instrument file the converter cannot honour
  kChannelsApart,        // the two channels of a ratio give spectra on different grids
  // Refused on a setting given that cannot apply to this file:
  kSettingRefused,       // the detail names the setting and why
};

// The texts of a refusal. `skip`: the reason of a skip line (empty where only the detail
// says it). `console`: the classic run's message (a format text, empty for none), `stop`:
// its stop text (empty: the classic run skips the file and goes on), `pauses`: whether the
// classic run pauses between message and stop.
struct RefusalText {
  std::string_view skip;
  std::string_view console;
  std::string_view stop;
  bool pauses = false;
};

const RefusalText& text_of(Refusal r);

// A refusal as returned: the code, and the facts its texts name.
struct Refused {
  Refusal code = Refusal::kCannotOpen;
  std::string detail;  // replaces the table's skip text where set (names, errors, owners)
  // kTooManyPoints: the storage's capacity and the points required; kTruncated: the points
  // the file holds and the points its header declares.
  int capacity = 0;
  int required = 0;

  // The reason a skip line, a summary or an exception gives.
  std::string skip_text() const;
};

}  // namespace ftir::values
