// The one table of refusal texts; the classic texts verbatim.
#include "values/refusal.h"

#include <array>
#include <cassert>

namespace ftir::values {
namespace {

constexpr std::array<RefusalText, 38> kTexts = {{
    {"", "", "", false},  // kCannotOpen: the detail; a classic run stops with it
    {"this file format is not supported (several traces, an X array or the compatibility flag)",
     "(' This file format is not supported')", "Program terminating", true},
    {"new format with the most significant byte first is not supported",
     "(' new format(GRAMS) with MSB first',/,' this format is not presently supported in this "
     "program',/,' execution is terminating')",
     "Hu-Oh &#&$!#^*", false},
    {"more points than the arrays hold",
     "(/,/,' Error in READSC --- Data requested exceeds array size',/,' Array size = ',I8,/,"
     "' Required size = ',I8)",
     "Program Terminated", false},
    {"the header declares fewer than 2 points", "", "", false},
    {"a sample is not a finite number", "", "", false},
    {"no points were read", "", "", false},
    {"its header states no laser wavenumber (its X range does not run from 0 cm-1); give --laser",
     "", "", false},
    {"its laser wavenumber with this --sampr gives no usable sample spacing", "", "", false},
    {"the centerburst is the last sample", "", "", false},
    {"the resolution leaves fewer than 2 samples on each side", "", "", false},
    {"the centerburst lies in the first 3 samples", "", "", false},
    {"fewer than 2 transform points", "", "", false},
    {"no signal remains after the mean is removed", "", "", false},
    {"the signal is too large for 64-bit arithmetic", "", "", false},
    {"no spectrum point lies between wlow and whigh", "", "", false},
    {"Crash", "", "Crash", false},
    {"its values are too small or too large for the SPC file's scale factor", "", "", false},
    {"", "", "", false},  // kOutputClaimed: the detail
    // kTruncated: the reason is both counts, then this (see skip_text).
    {"--allow-truncated converts the points it holds", "", "", false},
    {"its samples show no centerburst (a spectrum, not an interferogram?); "
     "--allow-no-centerburst converts it",
     "", "", false},
    {"the centerburst index given (--zpd) lies beyond the record", "", "", false},
    {"two scans need an even number of samples", "", "", false},
    {"", "", "", false},  // kStoredPhase: the detail
    {"its two scans give spectra on different grids; --direction forward or backward "
     "converts one",
     "", "", false},
    {"the file ends inside its header", "", "", false},
    {"its block directory or a block it lists lies outside the file", "", "", false},
    {"its block directory states a negative or impossible block size", "", "", false},
    {"a parameter block is damaged (an entry runs past the block or cannot be read)", "", "",
     false},
    {"a data block has no parameter block stating its points", "", "", false},
    {"a data block's point count (NPT) exceeds the block", "", "", false},
    {"it holds no interferogram of the chosen channel", "", "", false},
    {"the instrument's transform parameters are unusable", "", "", false},
    {"the centerburst, phase piece or long side lies beyond the scan's samples", "", "", false},
    {"the stored phase does not cover the spectrum's range", "", "", false},
    {"", "", "", false},  // kInstrumentParameter: the detail
    {"its sample and reference channels give spectra on different grids, so no ratio",
     "", "", false},
    {"", "", "", false},  // kSettingRefused: the detail
}};
static_assert(kTexts.size() == static_cast<std::size_t>(Refusal::kSettingRefused) + 1);

}  // namespace

const RefusalText& text_of(Refusal r) {
  const auto i = static_cast<std::size_t>(r);
  assert(i < kTexts.size());
  return kTexts[i];
}

std::string Refused::skip_text() const {
  if (!detail.empty()) return detail;
  if (code == Refusal::kTruncated) {
    return "the header declares " + std::to_string(required) + " points, the file holds " +
           std::to_string(capacity) + "; " + std::string(text_of(code).skip);
  }
  return std::string(text_of(code).skip);
}

}  // namespace ftir::values
