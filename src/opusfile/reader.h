// Reading the interferogram of one channel from an OPUS file image into the caller's
// array, with the instrument's parameters and stored curves beside it.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "opusfile/opus_file.h"
#include "values/instrument.h"
#include "values/interferogram.h"
#include "values/refusal.h"

namespace ftir::opusfile {

struct OpusRead {
  // Any refusal of parse_opus, kNoInterferogram (no interferogram of the chosen channel),
  // kTooManyPoints (more points than yin holds), kNotFinite (a sample is NaN or infinite).
  std::optional<values::Refused> refused;
  // Without a refusal: samples view yin[0..NPT-1], the instrument facts are set.
  values::Interferogram ig;
};

// The instrument facts of `channel` from a parsed file (the parameters of that channel and
// every stored curve; the interferogram's own facts from `interferogram`).
values::Instrument instrument_facts(std::span<const unsigned char> bytes, const OpusFile& file,
                                    const Block& interferogram, values::Channel channel);

// The channel whose interferogram read_opus takes from `file` when asked for `channel`
// (see there), or nullopt when the file holds none it would take.
std::optional<values::Channel> channel_taken(const OpusFile& file,
                                             std::optional<values::Channel> channel);

// Reads the interferogram of `channel` (none: the sample channel's IgSm when the file holds
// one, else the reference channel's IgRf) from the file image `bytes` into yin. `name` names
// the interferogram. Prints nothing; never reads outside `bytes`.
OpusRead read_opus(std::string_view name, std::span<const unsigned char> bytes,
                   std::optional<values::Channel> channel, std::span<double> yin);

}  // namespace ftir::opusfile
