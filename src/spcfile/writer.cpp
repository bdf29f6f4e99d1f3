// WRITSC: the spectrum writer. Every output file of the program is an old-format SPC file
// built here: a 256-byte header, then one 32-bit integer per point.
#include "spcfile/writer.h"

#include <immintrin.h>

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
#include "spcfile/bytes.h"
#include "spcfile/file_access.h"
#include "spcfile/file_error.h"
#include "spcfile/layout.h"
#include "spcfile/simd.h"

namespace ftir::spcfile {
namespace {

constexpr std::uint8_t kSubfileFlag = 0x81;
constexpr std::int8_t kSubfileExponent = -2;  // stored as 0xFE

// trunc(q) as a 32-bit integer, 0 for a NaN, saturating beyond the integer range.
std::int32_t truncate_to_i32(double q) {
  if (std::isnan(q)) return 0;
  constexpr double kLimit = 2147483648.0;  // 2^31
  if (q >= kLimit) return std::numeric_limits<std::int32_t>::max();
  if (q <= -kLimit - 1.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(q);  // truncation toward zero
}

// Stores k as put_i32_high_half_first does (the more significant 16-bit half first, each
// half least significant byte first), as one 4-byte store on a little-endian machine and
// without a bounds check per value: the data block's points, in a buffer checked once.
void store_high_half_first(unsigned char* p, std::int32_t k) {
  const std::uint32_t swapped = std::rotl(std::bit_cast<std::uint32_t>(k), 16);
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &swapped, sizeof swapped);
  } else {
    for (std::size_t i = 0; i < sizeof swapped; ++i) {
      p[i] = static_cast<unsigned char>((swapped >> (8 * i)) & 0xFFu);
    }
  }
}

template <std::size_t N>
std::array<char, N> zero_padded(std::string_view text) {
  std::array<char, N> field{};
  std::copy_n(text.begin(), std::min(text.size(), N), field.begin());
  return field;
}

// encode_values' groups of eight with four values to a register; returns how many values
// it encoded (a multiple of eight), each group exactly as encode_values does it.
__attribute__((target("avx2"))) std::size_t encode_values_avx2(const double* y, std::size_t count,
                                                               double inverse, unsigned char* p) {
  if constexpr (std::endian::native != std::endian::little) return 0;
  const __m256d inv = _mm256_set1_pd(inverse);
  const __m256i out_of_range = _mm256_set1_epi32(std::numeric_limits<std::int32_t>::min());
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m128i lo = _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_loadu_pd(y + i), inv));
    const __m128i hi = _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_loadu_pd(y + i + 4), inv));
    __m256i k = _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(k, out_of_range)) != 0) {
      for (std::size_t j = i; j < i + 8; ++j) {
        store_high_half_first(p + 4 * j, truncate_to_i32(y[j] * inverse));
      }
      continue;
    }
    k = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(k, _MM_SHUFFLE(2, 3, 0, 1)),
                               _MM_SHUFFLE(2, 3, 0, 1));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + 4 * i), k);
  }
  // The compiler leaves the upper halves dirty here; SSE code after it would then run
  // many times slower.
  _mm256_zeroupper();
  return i;
}

// Encodes y[0..count-1] into p as WRITSC's data block: trunc(y * inverse) as a 32-bit
// integer, stored with the more significant half first. Eight values at a time, two to an
// SSE2 register, with the same product and the same truncation per value; a group in which
// any value truncates to the hardware's out-of-range answer (NaN, beyond the integer range,
// or -2^31 itself) goes through truncate_to_i32 instead, so every byte is the one-at-a-time
// result.
void encode_values(const double* y, std::size_t count, double inverse, unsigned char* p) {
  std::size_t i = 0;
  if (cpu_has_avx2()) i = encode_values_avx2(y, count, inverse, p);
  if constexpr (std::endian::native == std::endian::little) {
    const __m128d inv = _mm_set1_pd(inverse);
    const __m128i out_of_range = _mm_set1_epi32(std::numeric_limits<std::int32_t>::min());
    auto four = [&](std::size_t at) {
      const __m128i lo = _mm_cvttpd_epi32(_mm_mul_pd(_mm_loadu_pd(y + at), inv));
      const __m128i hi = _mm_cvttpd_epi32(_mm_mul_pd(_mm_loadu_pd(y + at + 2), inv));
      return _mm_unpacklo_epi64(lo, hi);
    };
    auto store = [p](std::size_t at, __m128i k) {
      k = _mm_shufflehi_epi16(_mm_shufflelo_epi16(k, _MM_SHUFFLE(2, 3, 0, 1)),
                              _MM_SHUFFLE(2, 3, 0, 1));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 4 * at), k);
    };
    for (; i + 8 <= count; i += 8) {
      const __m128i k0 = four(i);
      const __m128i k1 = four(i + 4);
      const __m128i any =
          _mm_or_si128(_mm_cmpeq_epi32(k0, out_of_range), _mm_cmpeq_epi32(k1, out_of_range));
      if (_mm_movemask_epi8(any) != 0) {
        for (std::size_t j = i; j < i + 8; ++j) {
          store_high_half_first(p + 4 * j, truncate_to_i32(y[j] * inverse));
        }
        continue;
      }
      store(i, k0);
      store(i + 4, k1);
    }
  }
  for (; i < count; ++i) store_high_half_first(p + 4 * i, truncate_to_i32(y[i] * inverse));
}

}  // namespace

int spectrum_exponent(std::span<const double> yout) {
  // The largest of a set does not depend on the order it is taken in: running maxima of
  // two values to a register, from the last values to the first, so that the first ones,
  // which the data block encodes first, are still in the cache; then the few left over at
  // the front one by one. An infinity or a NaN counts as 0, which never raises the maximum.
  const std::size_t n = yout.size();
  const double* y = yout.data();
  const __m128d magnitude_bits = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
  const __m128d largest_finite = _mm_set1_pd(std::numeric_limits<double>::max());
  auto take_two = [&](__m128d& m, std::size_t i) {
    const __m128d magnitude = _mm_and_pd(_mm_loadu_pd(y + i), magnitude_bits);
    const __m128d finite = _mm_and_pd(magnitude, _mm_cmple_pd(magnitude, largest_finite));
    m = _mm_max_pd(m, finite);
  };
  __m128d m0 = _mm_setzero_pd();
  __m128d m1 = _mm_setzero_pd();
  std::size_t i = n;
  for (; i >= 4; i -= 4) {
    take_two(m0, i - 4);
    take_two(m1, i - 2);
  }
  const __m128d m2 = _mm_max_pd(m0, m1);
  double ymax = std::max(_mm_cvtsd_f64(m2), _mm_cvtsd_f64(_mm_unpackhi_pd(m2, m2)));
  for (std::size_t k = 0; k < i; ++k) {
    const double finite = finite_magnitude(y[k]);
    ymax = finite > ymax ? finite : ymax;
  }
  return spectrum_exponent(ymax);
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

std::int32_t scaled_integer(double y, double factor) { return truncate_to_i32(y / factor); }

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
    encode_values(y.data() + next, fit, inverse, scratch.data() + used);
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
