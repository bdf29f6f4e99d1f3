// WRITSC: the spectrum writer. Every output file of the program is an old-format SPC file
// built here: a 256-byte header, then one 32-bit integer per point.
#include "spcfile/writer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "report/format_text.h"
#include "simd/kernels.h"
#include "spcfile/bytes.h"
#include "spcfile/file_access.h"
#include "spcfile/file_error.h"
#include "spcfile/layout.h"

namespace ftir::spcfile {
namespace {

constexpr std::uint8_t kSubfileFlag = 0x81;
constexpr std::int8_t kSubfileExponent = -2;  // stored as 0xFE

template <std::size_t N>
std::array<char, N> zero_padded(std::string_view text) {
  std::array<char, N> field{};
  std::copy_n(text.begin(), std::min(text.size(), N), field.begin());
  return field;
}

}  // namespace

int spectrum_exponent(std::span<const double> yout) {
  // An infinity or a NaN counts as 0, which never raises the maximum.
  return spectrum_exponent(simd::largest_finite_magnitude(yout.data(), yout.size()));
}

int spectrum_exponent(double ymax) {
  if (ymax == 0.0) return 1;
  // ymax = m * 2^e with 0.5 <= m < 1, so log2(2 * ymax) = e + log2(2m) with log2(2m) in
  // [0, 1), zero only when m = 0.5. Truncation toward zero of a positive non-integer gives
  // e; of a negative one (e < 0) it gives e + 1.
  int e = 0;
  const double m = std::frexp(ymax, &e);
  if (m == 0.5 || e >= 0) return e + 1;
  return e + 2;
}

bool scale_factor_usable(std::span<const double> yout) {
  return scale_factor_usable(spectrum_exponent(yout));
}

bool scale_factor_usable(int iexp) {
  const float factor = static_cast<float>(std::ldexp(1.0, iexp - 32));
  return factor != 0.0f && std::isfinite(factor);
}

std::int32_t scaled_integer(double y, double factor) { return simd::truncate_to_i32(y / factor); }

void WRITSC(std::string_view oname, std::string_view title, int ixtype, int iytype, double resol,
            int nout, double spare1, std::span<const double> xout, std::span<const double> yout,
            const report::Clock& clock, std::span<unsigned char> scratch, std::optional<int> iexp) {
  assert(nout >= 0 && static_cast<std::size_t>(nout) <= xout.size() &&
         static_cast<std::size_t>(nout) <= yout.size());
  assert(title.size() <= 130);
  assert(scratch.size() >= kOldHeaderBytes + 4);
  const std::size_t count = nout > 0 ? static_cast<std::size_t>(nout) : 0;
  const std::span<const double> y = yout.first(count);

  if (!iexp) iexp = spectrum_exponent(y);
  const double factor = static_cast<double>(static_cast<float>(std::ldexp(1.0, *iexp - 32)));
  // The factor is 0, infinite or a power of two (2^-149 .. 2^127), so its reciprocal is
  // exact, and y * inverse is bit for bit y / factor (both are the correctly rounded value
  // of the same exact quotient; 0 and infinity give the same zeros, infinities and NaNs):
  // one multiply per point instead of a division.
  const double inverse = 1.0 / factor;

  SpcOldHeader h;
  h.flags = 0x00;
  h.version = kVersionOld;
  h.exponent = static_cast<std::int16_t>(*iexp);
  h.pointcount = static_cast<float>(nout);
  h.firstx = count > 0 ? static_cast<float>(xout[0]) : 0.0f;
  h.lastx = count > 0 ? static_cast<float>(xout[count - 1]) : 0.0f;
  h.xunits = static_cast<std::uint8_t>(ixtype & 0xFF);
  h.yunits = static_cast<std::uint8_t>(iytype & 0xFF);
  const report::LocalDateTime now = clock.now();
  h.year = static_cast<std::int16_t>(now.year);
  h.month = static_cast<std::uint8_t>(now.month);
  h.day = static_cast<std::uint8_t>(now.day);
  h.hour = static_cast<std::uint8_t>(now.hour);
  h.minute = static_cast<std::uint8_t>(now.minute);
  h.restext = zero_padded<8>(report::edit_fixed(resol, 7, 3));  // 7 characters, then a zero
  h.peakpoint = 0;
  h.scans = 0;
  h.spare[0] = static_cast<float>(spare1);
  h.comment = zero_padded<130>(title);
  h.subheader.subflags = kSubfileFlag;
  h.subheader.subexp = kSubfileExponent;

  const std::string target(oname);
  TempFile temp(target);

  // The data go out in chunks of at most 256 KiB (quicker on this machine than one piece or
  // smaller chunks), each written while its encoding is still in the cache, straight from
  // the buffer (the stream keeps no buffer of its own).
  constexpr std::size_t kChunkBytes = std::size_t{256} << 10;
  std::setvbuf(temp.file(), nullptr, _IONBF, 0);
  encode_old_header(h, scratch.first<kOldHeaderBytes>());
  const std::size_t room = std::min(scratch.size(), kChunkBytes);
  std::size_t used = kOldHeaderBytes;
  std::size_t next = 0;
  for (;;) {
    const std::size_t fit = std::min((room - used) / 4, count - next);
    simd::encode_values(y.data() + next, fit, inverse, scratch.data() + used);
    next += fit;
    used += 4 * fit;
    errno = 0;
    if (std::fwrite(scratch.data(), 1, used, temp.file()) != used) {
      stop_on_file_error("Cannot write", target, errno);
    }
    if (next == count) break;
    used = 0;
  }
  errno = 0;
  if (!temp.close()) stop_on_file_error("Cannot write", target, errno);
  errno = 0;
  if (!temp.commit()) stop_on_file_error("Cannot write", target, errno);
}

}  // namespace ftir::spcfile
