// The readers the driver knows and the choice among them by a file's first bytes: the one
// place where an input format joins the converter.
#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "driver/batch.h"
#include "omnicfile/reader.h"
#include "omnicfile/spa_file.h"
#include "opusfile/opus_file.h"
#include "opusfile/reader.h"
#include "spcfile/file_access.h"
#include "spcfile/file_error.h"
#include "spcfile/header.h"
#include "spcfile/reader.h"

namespace ftir::driver {
namespace {

// The bytes a reader's test of a file's content looks at (the SPA signature is the longest).
constexpr std::size_t kLeadBytes = 18;

// An instrument file is read whole into memory; one larger than this is refused rather than
// read (it would hold far more than the working storage takes).
constexpr std::size_t kInstrumentFileLimit = std::size_t{64} << 20;

struct Reader {
  values::SourceFormat format;
  bool (*claims)(std::span<const unsigned char> first_bytes);
  ReadOutcome (*read)(std::string_view fname, Workspace& ws, const ReadOptions& options);
};

ReadOutcome read_spc_file(std::string_view fname, Workspace& ws, const ReadOptions&) {
  spcfile::SpcRead read = spcfile::read_spc(fname, Workspace::kSamples, ws.yin, ws.io);
  return {std::move(read.refused), std::move(read.ig)};
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// The whole file `name` (trailing blanks removed) in memory, or the refusal of it.
struct WholeFile {
  std::optional<values::Refused> refused;
  std::vector<unsigned char> bytes;
};

WholeFile read_whole_file(std::string_view name) {
  WholeFile whole;
  spcfile::OpenedInput in = spcfile::try_open_input(name);
  if (in.file == nullptr) {
    whole.refused = values::Refused{values::Refusal::kCannotOpen, std::move(in.problem), 0, 0};
    return whole;
  }
  const std::unique_ptr<std::FILE, FileCloser> file(in.file);
  // Read in chunks up to the limit: the size is what the read finds, not what a stat said.
  constexpr std::size_t kChunk = std::size_t{1} << 16;
  for (;;) {
    const std::size_t have = whole.bytes.size();
    if (have > kInstrumentFileLimit) {
      whole.refused = values::Refused{
          values::Refusal::kTooManyPoints,
          "the file is larger than the " + std::to_string(kInstrumentFileLimit) +
              " bytes an instrument file is read up to",
          0, 0};
      return whole;
    }
    whole.bytes.resize(have + kChunk);
    const std::size_t got = std::fread(whole.bytes.data() + have, 1, kChunk, file.get());
    whole.bytes.resize(have + got);
    if (got < kChunk) {
      if (std::ferror(file.get())) {
        whole.refused = values::Refused{values::Refusal::kCannotOpen,
                                        spcfile::file_error_text("Cannot read", name, errno), 0, 0};
      }
      return whole;
    }
  }
}

template <class Read>
ReadOutcome read_instrument_file(std::string_view fname, Workspace& ws,
                                 const ReadOptions& options, Read read) {
  const std::string_view name = fname.substr(0, fname.find_last_not_of(' ') + 1);
  WholeFile whole = read_whole_file(name);
  if (whole.refused) {
    ReadOutcome out;
    out.ig.name = std::string(name);
    out.refused = std::move(whole.refused);
    return out;
  }
  auto got = read(name, whole.bytes, options.channel, ws.yin);
  return {std::move(got.refused), std::move(got.ig)};
}

ReadOutcome read_opus_file(std::string_view fname, Workspace& ws, const ReadOptions& options) {
  return read_instrument_file(fname, ws, options, opusfile::read_opus);
}

ReadOutcome read_spa_file(std::string_view fname, Workspace& ws, const ReadOptions& options) {
  return read_instrument_file(fname, ws, options, omnicfile::read_spa);
}

constexpr std::array<Reader, 3> kReaders = {{
    {values::SourceFormat::kSpc, spcfile::looks_like_spc, read_spc_file},
    {values::SourceFormat::kOpus, opusfile::looks_like_opus, read_opus_file},
    {values::SourceFormat::kOmnic, omnicfile::looks_like_spa, read_spa_file},
}};

// A file that no reader claims goes to the SPC reader, which has always read a header with
// an unknown version byte as its new format.
constexpr const Reader& kFallback = kReaders[0];

}  // namespace

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
  std::array<unsigned char, kLeadBytes> lead{};
  const std::size_t got = std::fread(lead.data(), 1, lead.size(), in.file);
  std::fclose(in.file);
  const std::span<const unsigned char> first(lead.data(), got);
  for (const Reader& reader : kReaders) {
    if (reader.claims(first)) return reader.read(fname, ws, options);
  }
  return kFallback.read(fname, ws, options);
}

}  // namespace ftir::driver
