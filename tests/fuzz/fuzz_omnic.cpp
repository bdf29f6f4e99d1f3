// libFuzzer target for the OMNIC SPA reader: each input is parsed as a file image and read
// for each channel choice, with the run's capacity and again with a small one; an
// interferogram read is then planned and converted as its header says (its laser, sample
// spacing and transform length). A refusal is a normal outcome; a sanitizer report, a
// crash or a broken postcondition is a finding.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <vector>

#include "fuzz/instrument_conversion.h"
#include "omnicfile/reader.h"
#include "omnicfile/spa_file.h"
#include "values/interferogram.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

void read_once(std::span<const unsigned char> bytes, std::optional<ftir::values::Channel> channel,
               std::span<double> yin) {
  const ftir::omnicfile::SpaRead r = ftir::omnicfile::read_spa("fuzz.SPA", bytes, channel, yin);
  if (r.refused) {
    check(!r.refused->skip_text().empty());
    return;
  }
  check(r.ig.samples.data() == yin.data() && r.ig.samples.size() <= yin.size());
  for (const double y : r.ig.samples) check(std::isfinite(y));
  check(r.ig.instrument != nullptr);
  if (yin.size() > 16) convert_as_stated(r.ig);
  if (r.ig.instrument->sample_spectrum) {
    check(r.ig.instrument->sample_spectrum->values.size() <=
          static_cast<std::size_t>(ftir::values::kCapacity));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::vector<double> yin(ftir::values::kCapacity);
  static std::vector<double> small(16);
  const std::span<const unsigned char> bytes(data, size);
  const ftir::omnicfile::SpaParse parse = ftir::omnicfile::parse_spa(bytes);
  for (const ftir::omnicfile::Section& s : parse.file.sections) {
    check(s.offset + s.bytes <= bytes.size());
  }
  read_once(bytes, std::nullopt, yin);
  read_once(bytes, ftir::values::Channel::kReference, yin);
  read_once(bytes, std::nullopt, small);
  return 0;
}
