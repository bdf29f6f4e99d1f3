// The readers the driver knows and the choice among them by a file's first bytes: the one
// place where an input format joins the converter.
#include <array>
#include <cstdio>

#include "driver/batch.h"
#include "spcfile/file_access.h"
#include "spcfile/header.h"
#include "spcfile/reader.h"

namespace ftir::driver {
namespace {

// The bytes a reader's test of a file's content looks at.
constexpr std::size_t kLeadBytes = 16;

struct Reader {
  values::SourceFormat format;
  bool (*claims)(std::span<const unsigned char> first_bytes);
  ReadOutcome (*read)(std::string_view fname, Workspace& ws);
};

ReadOutcome read_spc_file(std::string_view fname, Workspace& ws) {
  spcfile::SpcRead read = spcfile::read_spc(fname, Workspace::kSamples, ws.yin, ws.io);
  return {std::move(read.refused), std::move(read.ig)};
}

constexpr std::array<Reader, 1> kReaders = {{
    {values::SourceFormat::kSpc, spcfile::looks_like_spc, read_spc_file},
}};

// A file that no reader claims goes to the SPC reader, which has always read a header with
// an unknown version byte as its new format.
constexpr const Reader& kFallback = kReaders[0];

}  // namespace

ReadOutcome read_interferogram(std::string_view fname, Workspace& ws) {
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
    if (reader.claims(first)) return reader.read(fname, ws);
  }
  return kFallback.read(fname, ws);
}

}  // namespace ftir::driver
