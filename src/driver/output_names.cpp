// Output names: OUTNAM for SPC inputs, the file's own name and what the spectrum holds for
// instrument files.
#include "driver/output_names.h"

#include "driver/batch.h"
#include "spcfile/output_name.h"

namespace ftir::driver {
namespace {

std::string_view without_trailing_blanks(std::string_view text) {
  const std::size_t end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

// An instrument file's name without its folder, a numbered extension kept and any other
// dropped: numbered series ("sample.0000", "sample.0001") are one instrument's habit.
std::string_view instrument_stem(std::string_view fname) {
  const std::size_t slash = fname.find_last_of("\\:/");
  const std::string_view name = slash == std::string_view::npos ? fname : fname.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return name;
  const std::string_view ext = name.substr(dot + 1);
  const bool numbered = !ext.empty() && ext.find_first_not_of("0123456789") == std::string_view::npos;
  return numbered ? name : name.substr(0, dot);
}

std::string_view content_suffix(const InputContent& content, const NamingRequest& request) {
  switch (request.ratio) {
    case Ratio::kAbsorbance:
      return ".absorbance";
    case Ratio::kTransmittance:
      return ".transmittance";
    case Ratio::kNone:
      break;
  }
  return content.channel == values::Channel::kReference ? ".reference" : "";
}

}  // namespace

std::vector<std::string> OutputNames::all() const {
  std::vector<std::string> names;
  for (const std::string* name : {&phase_angle, &phase_magnitude, &spectrum}) {
    if (!name->empty()) names.push_back(*name);
  }
  return names;
}

OutputNames output_names(std::string_view fname, const InputContent& content,
                         const NamingRequest& request) {
  OutputNames names;
  if (content.format == values::SourceFormat::kSpc) {
    if (request.phase_files) {
      names.phase_angle = spcfile::OUTNAM(fname, request.outdir, "phz");
      names.phase_magnitude = spcfile::OUTNAM(fname, request.outdir, "shr");
    }
    names.spectrum = spcfile::OUTNAM(fname, request.outdir, "spc");
    return names;
  }
  // The stem holds no separator, so OUTNAM only joins it to the folder its way.
  const std::string base = std::string(instrument_stem(without_trailing_blanks(fname))) +
                           std::string(content_suffix(content, request)) + ".spc";
  names.spectrum = spcfile::OUTNAM(base, request.outdir, "spc");
  return names;
}

OutputNames output_names(std::string_view fname, const NamingRequest& request) {
  // A ratio's name does not depend on the channel: no need to look further than the format.
  const InputContent content = request.ratio == Ratio::kNone
                                   ? content_by_probe(fname, request.channel)
                                   : InputContent{format_by_content(fname)};
  return output_names(fname, content, request);
}

InputContent content_of(const values::Interferogram& ig) {
  InputContent content{ig.format};
  if (ig.instrument) content.channel = ig.instrument->channel;
  return content;
}

NamingRequest naming_request(const RunParameters& params) {
  return {params.outdir, params.iphase == 1, std::nullopt, Ratio::kNone};
}

NamingRequest naming_request(const ConversionSettings& settings, std::string_view outdir) {
  return {outdir, settings.phase_files, settings.channel, settings.ratio};
}

}  // namespace ftir::driver
