// The readers the driver knows and the choice among them by a file's first bytes: the one
// place where an input format joins the converter.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "driver/batch.h"
#include "driver/output_names.h"
#include "driver/prepare.h"
#include "omnicfile/reader.h"
#include "omnicfile/spa_file.h"
#include "opusfile/opus_file.h"
#include "opusfile/reader.h"
#include "report/console.h"
#include "report/escape.h"
#include "spcfile/file_access.h"
#include "spcfile/file_error.h"
#include "spcfile/header.h"
#include "spcfile/reader.h"

namespace ftir::driver {
namespace {

// The bytes a reader's test of a file's content looks at (the SPA signature is the longest).
constexpr std::size_t kLeadBytes = 18;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// A reader: whether it claims a file by its first bytes, and its read of the file, which the
// choice has opened and read those bytes of (`lead`; a reader may close the file and open it
// its own way).
struct Reader {
  values::SourceFormat format;
  bool (*claims)(std::span<const unsigned char> first_bytes);
  ReadOutcome (*read)(std::string_view fname, FileHandle file, std::span<const unsigned char> lead,
                      Workspace& ws, const ReadOptions& options);
};

ReadOutcome read_spc_file(std::string_view fname, FileHandle file, std::span<const unsigned char>,
                          Workspace& ws, const ReadOptions&) {
  file.reset();
  spcfile::SpcRead read = spcfile::read_spc(fname, Workspace::kSamples, ws.yin, ws.io);
  return {std::move(read.refused), std::move(read.ig)};
}

// The whole of an instrument file in memory: in the run's I/O buffer when it fits (the
// buffer is free until the path loads the work array), else in storage of its own. A file
// larger than kInstrumentFileLimit is refused rather than read.
struct WholeFile {
  std::optional<values::Refused> refused;
  std::span<const unsigned char> bytes;
  std::vector<unsigned char> own;  // the bytes of a file larger than the I/O buffer
};

WholeFile read_whole_file(std::string_view name, std::FILE* file,
                          std::span<const unsigned char> lead, std::span<unsigned char> io) {
  WholeFile whole;
  auto cannot_read = [&whole, name]() {
    whole.refused = values::Refused{values::Refusal::kCannotOpen,
                                    spcfile::file_error_text("Cannot read", name, errno), 0, 0};
    return std::move(whole);
  };
  std::copy(lead.begin(), lead.end(), io.begin());
  std::size_t got =
      lead.size() + std::fread(io.data() + lead.size(), 1, io.size() - lead.size(), file);
  if (std::ferror(file)) return cannot_read();
  if (got < io.size()) {
    whole.bytes = io.first(got);
    return whole;
  }
  // Larger than the buffer: the rest in chunks, up to one chunk past the limit.
  whole.own.assign(io.begin(), io.end());
  constexpr std::size_t kChunk = std::size_t{1} << 20;
  for (;;) {
    const std::size_t have = whole.own.size();
    if (have > kInstrumentFileLimit) {
      whole.refused =
          values::Refused{values::Refusal::kTooManyPoints,
                          "the file is larger than the " + std::to_string(kInstrumentFileLimit) +
                              " bytes an instrument file is read up to",
                          0, 0};
      return whole;
    }
    whole.own.resize(have + kChunk);
    got = std::fread(whole.own.data() + have, 1, kChunk, file);
    whole.own.resize(have + got);
    if (std::ferror(file)) return cannot_read();
    if (got < kChunk) break;
  }
  whole.bytes = whole.own;
  return whole;
}

template <class Read>
ReadOutcome read_instrument_file(std::string_view fname, FileHandle file,
                                 std::span<const unsigned char> lead, Workspace& ws,
                                 const ReadOptions& options, values::SourceFormat format,
                                 Read read) {
  const std::string_view name = fname.substr(0, fname.find_last_not_of(' ') + 1);
  WholeFile whole = read_whole_file(name, file.get(), lead, ws.io);
  file.reset();
  if (whole.refused) {
    ReadOutcome out;
    out.ig.name = std::string(name);
    out.ig.format = format;
    out.refused = std::move(whole.refused);
    return out;
  }
  auto got = read(name, whole.bytes, options.channel, ws.yin);
  return {std::move(got.refused), std::move(got.ig)};
}

ReadOutcome read_opus_file(std::string_view fname, FileHandle file,
                           std::span<const unsigned char> lead, Workspace& ws,
                           const ReadOptions& options) {
  return read_instrument_file(fname, std::move(file), lead, ws, options,
                              values::SourceFormat::kOpus, opusfile::read_opus);
}

ReadOutcome read_spa_file(std::string_view fname, FileHandle file,
                          std::span<const unsigned char> lead, Workspace& ws,
                          const ReadOptions& options) {
  return read_instrument_file(fname, std::move(file), lead, ws, options,
                              values::SourceFormat::kOmnic, omnicfile::read_spa);
}

constexpr std::array<Reader, 3> kReaders = {{
    {values::SourceFormat::kSpc, spcfile::looks_like_spc, read_spc_file},
    {values::SourceFormat::kOpus, opusfile::looks_like_opus, read_opus_file},
    {values::SourceFormat::kOmnic, omnicfile::looks_like_spa, read_spa_file},
}};

// A file that no reader claims goes to the SPC reader, which has always read a header with
// an unknown version byte as its new format.
constexpr const Reader& kFallback = kReaders[0];

// The first reader that claims a file by its first bytes, else the fallback.
const Reader& choose_reader(std::span<const unsigned char> first_bytes) {
  for (const Reader& reader : kReaders) {
    if (reader.claims(first_bytes)) return reader;
  }
  return kFallback;
}

}  // namespace

values::SourceFormat format_by_content(std::string_view fname) {
  // With a channel named, the probe looks no further than the first bytes.
  return content_by_probe(fname, values::Channel::kSample).format;
}

InputContent content_by_probe(std::string_view fname, std::optional<values::Channel> channel) {
  InputContent content;
  content.channel = channel.value_or(values::Channel::kSample);
  const std::string_view name = fname.substr(0, fname.find_last_not_of(' ') + 1);
  spcfile::OpenedInput in = spcfile::try_open_input(name);
  if (in.file == nullptr) return content;
  const FileHandle file(in.file);
  std::array<unsigned char, kLeadBytes> lead{};
  const std::size_t got = std::fread(lead.data(), 1, lead.size(), file.get());
  const std::span<const unsigned char> first(lead.data(), got);
  content.format = choose_reader(first).format;
  // Only an OPUS file asked for no channel may hold another than the sample's.
  if (content.format != values::SourceFormat::kOpus || channel) return content;
  std::vector<unsigned char> io(spcfile::kIoBufferBytes);
  const WholeFile whole = read_whole_file(name, file.get(), first, io);
  if (whole.refused) return content;
  const opusfile::OpusParse parse = opusfile::parse_opus(whole.bytes);
  if (parse.refused) return content;
  content.channel = opusfile::channel_taken(parse.file, channel).value_or(content.channel);
  return content;
}

std::optional<std::string> not_a_spectrum(std::string_view path, bool samples_decide) {
  const std::string shown = report::escape_controls(path);
  switch (format_by_content(path)) {
    case values::SourceFormat::kOpus:
    case values::SourceFormat::kOmnic:
      return shown + " is an instrument file, not a spectrum: it is left as it is";
    case values::SourceFormat::kSpc:
      break;
  }
  if (!samples_decide || !spcfile::file_id(std::string(path))) return std::nullopt;
  // An SPC file of either kind: its samples decide, as they decide whether an input is an
  // interferogram, unless its X axis lies above 0 cm-1 as no interferogram's does.
  std::vector<double> yin(Workspace::kSamples);
  std::vector<unsigned char> io(spcfile::kIoBufferBytes);
  const spcfile::SpcRead read = spcfile::read_spc(path, Workspace::kSamples, yin, io);
  const int npts = static_cast<int>(read.ig.samples.size());
  if (read.refused || npts < 2) return std::nullopt;
  constexpr int kWavenumbers = 1;  // the SPC X-unit code of cm-1
  if (read.ig.x.units == kWavenumbers && std::min(read.ig.x.first, read.ig.x.last) > 0.0) {
    return std::nullopt;
  }
  report::QuietConsole quiet;
  report::Report report(quiet);
  const int jmax = remove_mean_and_find_centerburst(report, yin, npts);
  const CenterburstShape shape =
      centerburst_shape(std::span<const double>(yin).first(static_cast<std::size_t>(npts)), jmax);
  if (!(shape.opposite > shape.residue)) return std::nullopt;
  return shown + " is an interferogram, not a spectrum: it is left as it is";
}

ReadOutcome read_interferogram(std::string_view fname, Workspace& ws) {
  return read_interferogram(fname, ws, ReadOptions{});
}

ReadOutcome read_interferogram(std::string_view fname, Workspace& ws, const ReadOptions& options) {
  spcfile::OpenedInput in = spcfile::try_open_input(fname);
  if (in.file == nullptr) {
    ReadOutcome out;
    out.ig.name = std::string(fname);
    out.refused = values::Refused{values::Refusal::kCannotOpen, std::move(in.problem), 0, 0};
    return out;
  }
  FileHandle file(in.file);
  // Unbuffered: the first bytes, then an instrument file whole, go straight to the caller's
  // memory.
  std::setvbuf(file.get(), nullptr, _IONBF, 0);
  std::array<unsigned char, kLeadBytes> lead{};
  const std::size_t got = std::fread(lead.data(), 1, lead.size(), file.get());
  const std::span<const unsigned char> first(lead.data(), got);
  return choose_reader(first).read(fname, std::move(file), first, ws, options);
}

}  // namespace ftir::driver
