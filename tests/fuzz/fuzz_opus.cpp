// libFuzzer target for the OPUS reader: each input is parsed as a file image and read for
// each channel choice, with the run's capacity and again with a small one; an interferogram
// read is then planned and converted as its parameters say, so that the values they state
// (a ZFF of 1e9, a RES of 1e-9, a laser of 6.5e-10) reach the arithmetic they fix. A refusal
// is a normal outcome; a sanitizer report, a crash or a broken postcondition is a finding.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <vector>

#include "fuzz/instrument_conversion.h"
#include "opusfile/opus_file.h"
#include "opusfile/reader.h"
#include "values/interferogram.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// The parse's postconditions: every block inside the image; every data block that counts
// has a status block and NPT values inside itself.
void check_parse(std::span<const unsigned char> bytes) {
  const ftir::opusfile::OpusParse parse = ftir::opusfile::parse_opus(bytes);
  for (const ftir::opusfile::Block& b : parse.file.blocks) {
    check(b.offset + b.bytes <= bytes.size());
    if (parse.refused || b.superseded || !b.is_data()) continue;
    check(b.status >= 0 && static_cast<std::size_t>(b.status) < parse.file.blocks.size());
    check(b.npt >= 0 && static_cast<std::size_t>(b.npt) * 4 <= b.bytes);
  }
  for (const ftir::opusfile::Block& b : parse.file.blocks) {
    check(!ftir::opusfile::block_name(b.type).empty());
  }
}

void read_once(std::span<const unsigned char> bytes, std::optional<ftir::values::Channel> channel,
               std::span<double> yin) {
  const ftir::opusfile::OpusRead r = ftir::opusfile::read_opus("fuzz.0", bytes, channel, yin);
  if (r.refused) {
    check(r.ig.samples.empty());
    check(!r.refused->skip_text().empty());
    return;
  }
  check(r.ig.samples.data() == yin.data() && r.ig.samples.size() <= yin.size());
  for (const double y : r.ig.samples) check(std::isfinite(y));
  check(r.ig.instrument != nullptr);
  if (yin.size() > 16) convert_as_stated(r.ig);
  const ftir::values::Instrument& in = *r.ig.instrument;
  for (const auto* curve : {&in.sample_spectrum, &in.reference_spectrum, &in.absorbance,
                            &in.transmittance, &in.sample_phase}) {
    if (*curve) check((*curve)->values.size() <= bytes.size() / 4);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::vector<double> yin(ftir::values::kCapacity);
  static std::vector<double> small(16);
  const std::span<const unsigned char> bytes(data, size);
  check_parse(bytes);
  read_once(bytes, std::nullopt, yin);
  read_once(bytes, ftir::values::Channel::kSample, yin);
  read_once(bytes, ftir::values::Channel::kReference, yin);
  read_once(bytes, std::nullopt, small);
  return 0;
}
