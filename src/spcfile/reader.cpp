// The interferogram reader: refuses the variants it cannot read, keeps the file's own
// points whose X lies in the requested range, and scales the samples; READSC on top of it
// turns a refusal into the classic run's message, pause and stop.
#include "spcfile/reader.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <type_traits>

#include "report/stop.h"
#include "simd/kernels.h"
#include "spcfile/bytes.h"
#include "spcfile/file_access.h"
#include "spcfile/file_error.h"
#include "spcfile/header.h"
#include "spcfile/layout.h"

namespace ftir::spcfile {
namespace {

using values::Refusal;
using values::Refused;

Refused refusal(Refusal code) { return {code, {}, 0, 0}; }
Refused cannot_open(std::string detail) { return {Refusal::kCannotOpen, std::move(detail), 0, 0}; }

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Reads up to dest.size() bytes; a read error (as opposed to the end of the file) leaves
// its errno in `error` (which stays 0 otherwise).
std::size_t read_bytes(std::FILE* file, Bytes dest, int& error) {
  const std::size_t got = std::fread(dest.data(), 1, dest.size(), file);
  if (got < dest.size() && std::ferror(file)) error = errno;
  return got;
}

// The X axis of a file: old-format X is (i - 1) * qs + firstx computed in f64 and rounded
// to f32 once; new-format X is firstx + (i - 1) * xinc in f64. i counts from 1.
struct XAxis {
  bool old_format = false;
  double firstx = 0.0;
  double step = 0.0;

  double at(std::int64_t i) const {
    const auto steps = static_cast<double>(i - 1);
    if (old_format) return static_cast<double>(static_cast<float>(steps * step + firstx));
    return firstx + steps * step;
  }
};

struct IndexRange {
  std::int64_t first = 1;  // 1-based; empty when first > last
  std::int64_t last = 0;
  std::int64_t count() const { return last >= first ? last - first + 1 : 0; }
};

// Smallest i in [1, n] for which `pred` holds, n + 1 if none; `pred` must be false up to
// some index and true from there on.
template <class Pred>
std::int64_t first_index_where(std::int64_t n, Pred pred) {
  std::int64_t lo = 1;
  std::int64_t hi = n + 1;
  while (lo < hi) {
    const std::int64_t mid = lo + (hi - lo) / 2;
    if (pred(mid)) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

// The points 1..n whose X lies in [lo, hi]. X is monotonic in i whenever firstx and the
// step are finite (rounding preserves order), so the points form one run of indices that a
// binary search finds without visiting a header's worth of declared points. With a
// non-finite firstx or step every point after the first has the same X (an infinity or a
// NaN), so the run is again contiguous.
IndexRange points_in_range(const XAxis& axis, std::int64_t n, double lo, double hi) {
  auto inside = [&](std::int64_t i) {
    const double x = axis.at(i);
    return lo <= x && x <= hi;
  };
  IndexRange range;
  if (!std::isfinite(axis.firstx) || !std::isfinite(axis.step)) {
    const bool first_in = inside(1);
    const bool rest_in = n >= 2 && inside(2);
    range.first = first_in ? 1 : 2;
    range.last = rest_in ? n : (first_in ? 1 : 0);
    return range;
  }
  if (axis.step >= 0.0) {
    range.first = first_index_where(n, [&](std::int64_t i) { return axis.at(i) >= lo; });
    range.last = first_index_where(n, [&](std::int64_t i) { return axis.at(i) > hi; }) - 1;
  } else {
    range.first = first_index_where(n, [&](std::int64_t i) { return axis.at(i) <= hi; });
    range.last = first_index_where(n, [&](std::int64_t i) { return axis.at(i) < lo; }) - 1;
  }
  return range;
}

// Stores the samples of one chunk of the data block, the file's points first..first +
// count - 1, as yin values (and, unless xin is empty, xin values) from index `to`: X from
// the axis; Y scaled and rounded to f32 (f32 samples as they are). False, with the points
// before it stored, at the first Y that is not a finite number. Without X, integer samples
// are scaled values k * factor with whole k of at most 2^31 in magnitude; the sum of fewer
// than 2^22 of them is then exact at every step, in whatever order it is taken, and it is
// added to `sum` on the way. `sum` is set to NaN when that does not hold.
template <SampleKind kKind>
bool store_samples(ConstBytes chunk, std::int64_t first, std::size_t count, double factor,
                   const XAxis& axis, std::span<double> xin, std::span<double> yin, std::size_t to,
                   double& sum) {
  constexpr std::size_t kWidth = kKind == SampleKind::kInt16 ? 2 : 4;
  assert(count * kWidth <= chunk.size() && to + count <= yin.size());
  assert(xin.empty() || to + count <= xin.size());
  std::size_t k = 0;
  bool exact_sum = false;
  if (xin.empty()) {
    // The largest integer magnitude, 2^31 or 2^15, scaled: when it stays finite in f32,
    // so does every sample (rounding keeps order), and the samples need no test. The
    // smallest, 1, scaled must stay a normal f32 (see simd::decode_samples).
    constexpr double kLargest = kKind == SampleKind::kInt16 ? 32768.0 : 2147483648.0;
    if (kKind == SampleKind::kFloat32 ||
        (std::isfinite(static_cast<float>(kLargest * factor)) &&
         factor >= static_cast<double>(std::numeric_limits<float>::min()))) {
      exact_sum = kKind != SampleKind::kFloat32 && to + count < (std::size_t{1} << 22);
      double* const add_to = exact_sum ? &sum : nullptr;
      k = simd::decode_samples(kKind, chunk.data(), count, factor, yin.data() + to, add_to);
    }
  }
  if (!exact_sum) sum = std::numeric_limits<double>::quiet_NaN();
  for (; k < count; ++k) {
    double y = simd::sample_value<kKind>(chunk.data() + k * kWidth);
    if constexpr (kKind != SampleKind::kFloat32) {
      y = static_cast<double>(static_cast<float>(y * factor));
    }
    if (!std::isfinite(y)) return false;
    if (!xin.empty()) xin[to + k] = axis.at(first + static_cast<std::int64_t>(k));
    yin[to + k] = y;
    sum += y;
  }
  return true;
}

bool store_samples(SampleKind kind, ConstBytes chunk, std::int64_t first, std::size_t count,
                   double factor, const XAxis& axis, std::span<double> xin, std::span<double> yin,
                   std::size_t to, double& sum) {
  switch (kind) {
    case SampleKind::kInt16:
      return store_samples<SampleKind::kInt16>(chunk, first, count, factor, axis, xin, yin, to,
                                               sum);
    case SampleKind::kInt32:
      return store_samples<SampleKind::kInt32>(chunk, first, count, factor, axis, xin, yin, to,
                                               sum);
    case SampleKind::kInt32HighHalfFirst:
      return store_samples<SampleKind::kInt32HighHalfFirst>(chunk, first, count, factor, axis, xin,
                                                            yin, to, sum);
    case SampleKind::kFloat32:
      break;
  }
  return store_samples<SampleKind::kFloat32>(chunk, first, count, factor, axis, xin, yin, to, sum);
}

}  // namespace

SpcRead read_spc(std::string_view fname, double xlo, double xhi, int nmax, std::span<double> xin,
                 std::span<double> yin, std::span<unsigned char> scratch) {
  assert(nmax <= 0 || ((xin.empty() || static_cast<std::size_t>(nmax) <= xin.size()) &&
                       static_cast<std::size_t>(nmax) <= yin.size()));
  assert(scratch.size() >= kNewDataOffset);
  const std::string_view name = fname.substr(0, fname.find_last_not_of(' ') + 1);
  SpcRead read;
  read.ig.name = name;
  read.ig.format = values::SourceFormat::kSpc;
  auto refuse = [&read](Refused refused) {
    read.refused = std::move(refused);
    return read;
  };
  auto cannot_read = [&](int error) {
    return refuse(cannot_open(file_error_text("Cannot read", name, error)));
  };

  OpenedInput opened = try_open_input(name);
  if (opened.file == nullptr) return refuse(cannot_open(std::move(opened.problem)));
  const FileHandle file(opened.file);
  // Every read below goes straight to the caller's buffer: the header in two small reads,
  // the data block in chunks, with no copy through a stream buffer.
  std::setvbuf(file.get(), nullptr, _IONBF, 0);

  // flags and version decide how the rest is read; the flag test comes first.
  int error = 0;
  std::size_t got = read_bytes(file.get(), scratch.first(2), error);
  if (error != 0) return cannot_read(error);
  if (got < 2) return refuse(cannot_open(short_header_text(name)));
  HeaderDescription d = describe_header(scratch.first(2));
  if (d.refused) return refuse(*d.refused);

  const std::size_t header_size = d.data_offset;
  got = read_bytes(file.get(), scratch.subspan(2, header_size - 2), error);
  if (error != 0) return cannot_read(error);
  if (got < header_size - 2) return refuse(cannot_open(short_header_text(name)));
  d = describe_header(scratch.first(header_size));
  assert(d.complete);
  read.ig.spare1 = d.spare1;
  read.spare2 = d.spare2;
  read.ig.declared_points = static_cast<int>(d.declared);
  read.ig.points_held = read.ig.declared_points;
  read.ig.xinc = d.xinc;
  read.ig.x = d.x;
  if (d.refused) return refuse(*d.refused);

  // Old-format X are computed with the increment rounded to f32 (see XAxis).
  const bool old_format = d.layout == SpcVariant::kOld;
  const XAxis axis{old_format, d.x.first,
                   old_format ? static_cast<double>(static_cast<float>(d.xinc)) : d.xinc};
  const std::size_t width = d.kind == SampleKind::kInt16 ? 2 : 4;

  const IndexRange keep = points_in_range(axis, d.declared, std::min(xlo, xhi), std::max(xlo, xhi));
  const auto nreq = static_cast<int>(keep.count());
  if (nmax < nreq) return refuse({Refusal::kTooManyPoints, {}, nmax, nreq});

  // The data block, read in chunks of whole samples up to the last point in the range; the
  // points before the range are read and dropped. The file may end early: the points read so
  // far are returned. Chunks of at most 64 KiB: each is decoded while the read has left it
  // in the cache (32 KiB chunks, which the level-1 cache would hold, measured 4 % slower).
  constexpr std::size_t kChunkBytes = std::size_t{64} << 10;
  const std::size_t chunk_points = std::min(scratch.size(), kChunkBytes) / width;
  std::int64_t i = 1;  // index of the next point to read
  int npts = 0;
  double sum = 0.0;
  while (i <= keep.last) {
    const auto wanted = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(chunk_points), keep.last - i + 1));
    got = read_bytes(file.get(), scratch.first(wanted * width), error) / width;
    if (error != 0) return cannot_read(error);
    // The points of this chunk from keep.first on.
    const std::int64_t first = std::max(i, keep.first);
    const std::int64_t end = i + static_cast<std::int64_t>(got);
    if (first < end) {
      const auto count = static_cast<std::size_t>(end - first);
      assert(npts + static_cast<std::int64_t>(count) <= nmax);
      const ConstBytes chunk = scratch.subspan(static_cast<std::size_t>(first - i) * width);
      if (!store_samples(d.kind, chunk, first, count, d.factor, axis, xin, yin,
                         static_cast<std::size_t>(npts), sum)) {
        return refuse(refusal(Refusal::kNotFinite));
      }
      npts += static_cast<int>(count);
    }
    i = end;
    if (got < wanted) {  // end of file: it holds the points before i
      read.ig.points_held = static_cast<int>(i - 1);
      break;
    }
  }
  read.ig.samples = yin.first(static_cast<std::size_t>(npts));
  if (!std::isnan(sum)) read.ig.sum = sum;
  return read;
}

SpcRead read_spc(std::string_view fname, int nmax, std::span<double> yin,
                 std::span<unsigned char> scratch) {
  return read_spc(fname, kReadLow, kReadHigh, nmax, {}, yin, scratch);
}

ReadResult READSC(report::Report& report, std::string_view fname, double xlo, double xhi, int nmax,
                  std::span<double> xin, std::span<double> yin, std::span<unsigned char> scratch,
                  Refusals refusals) {
  const SpcRead read = read_spc(fname, xlo, xhi, nmax, xin, yin, scratch);
  ReadResult result;
  if (!read.refused) {
    result.xinc = read.ig.xinc;
    result.npts = static_cast<int>(read.ig.samples.size());
    result.spare1 = read.ig.spare1;
    result.spare2 = read.spare2;
    result.sum = read.ig.sum;
    return result;
  }
  const Refused& refused = *read.refused;
  // A file that cannot be read ends the run whatever the policy.
  if (refused.code == Refusal::kCannotOpen) report::stop(refused.detail, report::kExitFailure);
  const values::RefusalText& text = values::text_of(refused.code);
  // The table's texts are string literals, so the skip text ends in a NUL.
  assert(text.skip.data()[text.skip.size()] == '\0');
  if (text.stop.empty()) {
    // A skip under either policy, with what the header gave.
    result.xinc = read.ig.xinc;
    result.spare1 = read.ig.spare1;
    result.spare2 = read.spare2;
    result.skip_reason = text.skip.data();
    return result;
  }
  if (refusals == Refusals::kSkipFile) {
    result.skip_reason = text.skip.data();
    return result;
  }
  if (refused.code == Refusal::kTooManyPoints) {
    report.console(text.console, {refused.capacity, refused.required});
  } else {
    report.console(text.console);
  }
  if (text.pauses) report.pause();
  report::stop(std::string(text.stop), report::kExitFailure);
}

}  // namespace ftir::spcfile
