// Output names: OUTNAM's for SPC inputs, kept to the byte; an instrument file's own name and
// what its spectrum holds, with the content probed as the reader will take it.
#include "driver/output_names.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "driver/batch.h"

namespace ftir::driver {
namespace {

using values::Channel;
using values::SourceFormat;

TEST(OutputNames, SpcKeepsTheClassicNamesInstrumentFilesSayWhatTheyHold) {
  const InputContent spc{SourceFormat::kSpc, Channel::kSample};
  const InputContent opus{SourceFormat::kOpus, Channel::kSample};
  const InputContent reference{SourceFormat::kOpus, Channel::kReference};
  const InputContent omnic{SourceFormat::kOmnic, Channel::kSample};
  const std::tuple<const char*, const char*, InputContent, Ratio, const char*> cases[] = {
      {"E:\\data.old\\scan01", "D:\\out", spc, Ratio::kNone, "D:\\out\\data.spc"},
      {"test.0000   ", "out   ", spc, Ratio::kAbsorbance, "out/test.spc"},
      {"dir/test.0000", "out", opus, Ratio::kNone, "out/test.0000.spc"},
      {"a.0/b", "out", opus, Ratio::kNone, "out/b.spc"},
      {"run.v2.SPA", "D:\\out", omnic, Ratio::kNone, "D:\\out\\run.v2.spc"},
      {"test.0000", "out", reference, Ratio::kNone, "out/test.0000.reference.spc"},
      {"test.0000", "out/", opus, Ratio::kAbsorbance, "out/test.0000.absorbance.spc"},
      {"interfero.SPA", "", omnic, Ratio::kTransmittance, "interfero.transmittance.spc"},
  };
  for (const auto& [fname, outdir, content, ratio, spectrum] : cases) {
    SCOPED_TRACE(fname);
    const OutputNames names = output_names(fname, content, {outdir, true, std::nullopt, ratio});
    EXPECT_EQ(names.spectrum, spectrum);
    EXPECT_EQ(names.all().size(), content.format == SourceFormat::kSpc ? 3u : 1u);
  }
  EXPECT_EQ(output_names("a.dat", spc, {"o", true, std::nullopt, Ratio::kNone}).all(),
            (std::vector<std::string>{"o/a.phz", "o/a.shr", "o/a.spc"}));
  // Unread files: by content, whatever the extension; a background holds only the reference.
  const std::string files = FTIR_SOURCE_DIR "/tests/data/";
  const std::tuple<std::string, std::optional<Channel>, const char*> unread[] = {
      {"opus/test.0000", std::nullopt, "o/test.0000.spc"},
      {"opus/test.0000", Channel::kReference, "o/test.0000.reference.spc"},
      {"opus/background.0", std::nullopt, "o/background.0.reference.spc"},
      {"omnic/interfero.SPA", std::nullopt, "o/interfero.spc"},
      {"missing.0000", std::nullopt, "o/missing.spc"}};
  for (const auto& [file, asked, spectrum] : unread) {
    SCOPED_TRACE(file);
    EXPECT_EQ(output_names(files + file, {"o", false, asked, Ratio::kNone}).spectrum, spectrum);
  }
}

}  // namespace
}  // namespace ftir::driver
