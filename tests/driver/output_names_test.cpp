// Output names: OUTNAM's for SPC inputs, kept to the byte; an instrument file's own name
// and what its spectrum holds; the content a reader will take, probed before reading.
#include "driver/output_names.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "driver/batch.h"

namespace ftir::driver {
namespace {

using values::Channel;
using values::SourceFormat;

const std::filesystem::path kFiles = FTIR_SOURCE_DIR "/tests/data";

TEST(OutputNames, SpcInputsKeepTheClassicNamesInstrumentFilesSayWhatTheyHold) {
  const InputContent spc{SourceFormat::kSpc, Channel::kSample};
  const InputContent opus{SourceFormat::kOpus, Channel::kSample};
  const InputContent background{SourceFormat::kOpus, Channel::kReference};
  const InputContent omnic{SourceFormat::kOmnic, Channel::kSample};
  const struct {
    const char* fname;
    const char* outdir;
    InputContent content;
    Ratio ratio;
    const char* spectrum;
  } cases[] = {
      // SPC: OUTNAM's names, its quirks included.
      {"E:\\data\\scan01.dat", "D:\\out", spc, Ratio::kNone, "D:\\out\\scan01.spc"},
      {"E:\\data.old\\scan01", "D:\\out", spc, Ratio::kNone, "D:\\out\\data.spc"},
      {"scan.01.dat", "out", spc, Ratio::kNone, "out/scan.01.spc"},
      {"test.0000", "out", spc, Ratio::kNone, "out/test.spc"},
      {"scan01.spc   ", "out   ", spc, Ratio::kAbsorbance, "out/scan01.spc"},
      // Instrument files: a numbered extension stays, any other goes; no folder of the input.
      {"test.0000", "out", opus, Ratio::kNone, "out/test.0000.spc"},
      {"dir/scan.1", "out", opus, Ratio::kNone, "out/scan.1.spc"},
      {"a.0/b", "out", opus, Ratio::kNone, "out/b.spc"},
      {"x.", "out", opus, Ratio::kNone, "out/x.spc"},
      {"interfero.SPA", "D:\\out", omnic, Ratio::kNone, "D:\\out\\interfero.spc"},
      {"run.v2.SPA", "out/", omnic, Ratio::kNone, "out/run.v2.spc"},
      // What the spectrum holds.
      {"test.0000", "out", background, Ratio::kNone, "out/test.0000.reference.spc"},
      {"test.0000", "out", opus, Ratio::kAbsorbance, "out/test.0000.absorbance.spc"},
      {"test.0000", "out", opus, Ratio::kTransmittance, "out/test.0000.transmittance.spc"},
      {"interfero.SPA", "", omnic, Ratio::kAbsorbance, "interfero.absorbance.spc"},
  };
  for (const auto& [fname, outdir, content, ratio, spectrum] : cases) {
    SCOPED_TRACE(fname);
    const OutputNames names = output_names(fname, content, {outdir, true, std::nullopt, ratio});
    EXPECT_EQ(names.spectrum, spectrum);
    // Only single-sided SPC records write phase files.
    const bool spc_input = content.format == SourceFormat::kSpc;
    EXPECT_EQ(names.all().size(), spc_input ? 3u : 1u);
  }
  const OutputNames phase =
      output_names("scan01.dat", spc, {"out", true, std::nullopt, Ratio::kNone});
  EXPECT_EQ(phase.all(),
            (std::vector<std::string>{"out/scan01.phz", "out/scan01.shr", "out/scan01.spc"}));
}

// The probe takes what the reader will: the format by content whatever the extension, and an
// OPUS file's reference channel when it holds no sample channel.
TEST(OutputNames, TheProbeTakesWhatTheReaderWill) {
  const struct {
    std::filesystem::path file;
    std::optional<Channel> asked;
    SourceFormat format;
    Channel channel;
    const char* spectrum;
  } cases[] = {
      {kFiles / "opus/test.0000", std::nullopt, SourceFormat::kOpus, Channel::kSample,
       "o/test.0000.spc"},
      {kFiles / "opus/test.0000", Channel::kReference, SourceFormat::kOpus, Channel::kReference,
       "o/test.0000.reference.spc"},
      {kFiles / "opus/background.0", std::nullopt, SourceFormat::kOpus, Channel::kReference,
       "o/background.0.reference.spc"},
      {kFiles / "omnic/interfero.SPA", std::nullopt, SourceFormat::kOmnic, Channel::kSample,
       "o/interfero.spc"},
      {kFiles / "missing.0000", std::nullopt, SourceFormat::kSpc, Channel::kSample,
       "o/missing.spc"},
  };
  for (const auto& [file, asked, format, channel, spectrum] : cases) {
    SCOPED_TRACE(file.string());
    const InputContent content = content_by_probe(file.string(), asked);
    EXPECT_EQ(content.format, format);
    EXPECT_EQ(content.channel, channel);
    EXPECT_EQ(output_names(file.string(), {"o", false, asked, Ratio::kNone}).spectrum, spectrum);
  }
}

}  // namespace
}  // namespace ftir::driver
