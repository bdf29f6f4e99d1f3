// One SPC file as spc-tool sees it: every header field, and the points decoded with the
// converter's reader rules (scale factors, X of each point, f32 samples).
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "spcfile/header.h"
#include "spcfile/layout.h"
#include "values/interferogram.h"

namespace ftir::spctool {

// A file the viewer cannot show; what() is one line naming the file and the reason.
class ToolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using SampleKind = spcfile::SampleKind;

// The largest file spc-tool reads, in bytes: the largest a file can be that holds no more
// points than the converter's capacity (values::kCapacity), however they are split into
// traces. The new format's 512-byte header, then as many traces as the points allow (2
// points at least each, the fewest split and coadd take), each a 32-byte subheader, then
// every point in 4 bytes: 512 + 135000 * 32 + 270000 * 4. A larger file is refused unread.
inline constexpr std::size_t kMaxFileBytes =
    spcfile::kNewHeaderBytes +
    static_cast<std::size_t>(values::kCapacity / 2) * spcfile::kSubheaderBytes +
    static_cast<std::size_t>(values::kCapacity) * 4;
static_assert(kMaxFileBytes == 5400512);  // the number spc-tool --help states

struct Trace {
  std::string path;                  // as given
  std::string name;                  // file name without folders
  spcfile::DecodedHeader header;     // header.variant says which record is filled
  spcfile::HeaderDescription facts;  // the header as the converter's reader takes it
  std::vector<unsigned char> bytes;  // the whole file
  std::size_t file_bytes = 0;
  int exponent = 0;
  SampleKind kind = SampleKind::kInt32;
  std::int64_t declared = 0;  // points the header declares (0 when fewer than 2 or none)
  std::int64_t present = 0;   // declared points whose data the file holds
  // Filled by load_points: X and Y of points 1..present, 0-based. Y is what the converter's
  // reader stores: the integer times the factor (held as f32) rounded to f32 once, or the
  // f32 value itself. Old-format X is rounded to f32 like the reader's; new-format X is f64.
  std::vector<double> x;
  std::vector<double> y;
  bool x_is_f32 = false;

  bool old_format() const { return header.variant == spcfile::SpcVariant::kOld; }
  // firstx, lastx and the raw `restext` and `comment` of whichever header was read.
  double firstx() const;
  double lastx() const;
  int xunits() const;
  int yunits() const;
  std::string restext() const;  // up to the first zero byte
  std::string comment() const;  // up to the first zero byte
};

// "OPUS" or "OMNIC SPA" for the bytes of an instrument file (told by their signatures, as
// the converter tells them); empty for any other.
std::string_view instrument_format(std::span<const unsigned char> bytes);

// Reads the header of `path`. Throws ToolError when the file cannot be read or ends inside
// its header, is not a regular file (a FIFO or device is refused at once, never waited on
// or read), is larger than kMaxFileBytes or is an instrument file (which the commands that
// take SPC files send to ftir-reduce). Refused variants (several traces, X arrays,
// most significant byte first) are read as far as their header goes, for `info`.
Trace read_trace(const std::string& path);

// The whole file `path`, read as read_trace reads it (the same refusals, the same limit for
// an SPC file; an instrument file up to the converter's limit, driver::kInstrumentFileLimit).
std::vector<unsigned char> read_file_bytes(const std::string& path);

// As read_trace, for a file whose bytes are already in memory; `path` names it in messages.
Trace parse_trace(const std::string& path, std::vector<unsigned char> file_bytes);

// Decodes the points of a trace read by read_trace. Throws ToolError for a variant the
// converter refuses, a header that declares fewer than 2 points, a file holding none of
// its points, or a sample that is not a finite number.
void load_points(Trace& trace);

// `text` with leading and trailing blanks removed.
std::string trim(const std::string& text);

// `text` with every byte outside printable ASCII shown as \xNN, for a terminal.
std::string printable(const std::string& text);

}  // namespace ftir::spctool
