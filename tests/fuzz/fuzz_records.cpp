// libFuzzer target for the readers of many records: each input is read as an imaging
// header, as an OPUS file holding a series and as a multi-trace SPC file, with a small
// sample limit and a large one. A refusal is a normal outcome; a sanitizer report, a
// crash or a broken postcondition is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "imagingfile/imaging_header.h"
#include "opusfile/series.h"
#include "spcfile/multi_trace.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// A set read whole: one table row per record, the block records x points.
void check_set(const ftir::values::RecordSet& s, std::size_t input) {
  check(s.facts.points >= 2);
  check(s.samples.size() == static_cast<std::size_t>(s.records()) *
                                static_cast<std::size_t>(s.facts.points));
  // Every sample came from a value of the input: no more samples than its bytes / 2.
  check(s.samples.size() <= input / 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const unsigned char> bytes(data, size);
  const auto header = ftir::imagingfile::parse_imaging_header(bytes);
  if (header.refused) check(!header.refused->skip_text().empty());
  for (const std::uint64_t limit : {std::uint64_t{64}, std::uint64_t{1} << 24}) {
    const auto series = ftir::opusfile::read_opus_series("fuzz.0", bytes, std::nullopt, limit);
    if (series.refused) {
      check(!series.refused->text().empty());
    } else {
      check_set(series.set, size);
      check(series.set.samples.size() <= limit);
    }
    const auto traces = ftir::spcfile::read_spc_traces("fuzz.spc", bytes, limit);
    if (traces.refused) {
      check(!traces.refused->text().empty());
    } else {
      check_set(traces.set, size);
      check(traces.set.samples.size() <= limit);
    }
  }
  return 0;
}
