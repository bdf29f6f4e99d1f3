// Reading the interferogram of one channel from an OMNIC SPA file image into the caller's
// array, with the sampling facts and the spectrum the file holds beside it.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "values/instrument.h"
#include "values/interferogram.h"
#include "values/refusal.h"

namespace ftir::omnicfile {

struct SpaRead {
  // Any refusal of parse_spa, kNoInterferogram, kTooManyPoints (more points than yin holds),
  // kNotFinite (a sample is NaN or infinite).
  std::optional<values::Refused> refused;
  // Without a refusal: samples view yin[0..n-1], the instrument facts are set.
  values::Interferogram ig;
};

// Reads an interferogram from the SPA image `bytes` into yin: the data section itself when
// its X axis counts data points (a file saved as an interferogram, the sample channel),
// else the interferogram section of the channel (none: the sample's) stored beside a
// spectrum, which is then kept as the instrument's sample spectrum. Prints nothing.
SpaRead read_spa(std::string_view name, std::span<const unsigned char> bytes,
                 std::optional<values::Channel> channel, std::span<double> yin);

}  // namespace ftir::omnicfile
