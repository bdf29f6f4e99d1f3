// The readers the driver knows and the choice among them by a file's first bytes: the one
// place where an input format joins the converter.
#include <algorithm>
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
                                 const ReadOptions& options, Read read) {
  const std::string_view name = fname.substr(0, fname.find_last_not_of(' ') + 1);
  WholeFile whole = read_whole_file(name, file.get(), lead, ws.io);
  file.reset();
  if (whole.refused) {
    ReadOutcome out;
    out.ig.name = std::string(name);
    out.refused = std::move(whole.refused);
    return out;
  }
  auto got = read(name, whole.bytes, options.channel, ws.yin);
  return {std::move(got.refused), std::move(got.ig)};
}

ReadOutcome read_opus_file(std::string_view fname, FileHandle file,
                           std::span<const unsigned char> lead, Workspace& ws,
                           const ReadOptions& options) {
  return read_instrument_file(fname, std::move(file), lead, ws, options, opusfile::read_opus);
}

ReadOutcome read_spa_file(std::string_view fname, FileHandle file,
                          std::span<const unsigned char> lead, Workspace& ws,
                          const ReadOptions& options) {
  return read_instrument_file(fname, std::move(file), lead, ws, options, omnicfile::read_spa);
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
  FileHandle file(in.file);
  // Unbuffered: the first bytes, then an instrument file whole, go straight to the caller's
  // memory.
  std::setvbuf(file.get(), nullptr, _IONBF, 0);
  std::array<unsigned char, kLeadBytes> lead{};
  const std::size_t got = std::fread(lead.data(), 1, lead.size(), file.get());
  const std::span<const unsigned char> first(lead.data(), got);
  const Reader* chosen = &kFallback;
  for (const Reader& reader : kReaders) {
    if (reader.claims(first)) {
      chosen = &reader;
      break;
    }
  }
  return chosen->read(fname, std::move(file), first, ws, options);
}

}  // namespace ftir::driver
