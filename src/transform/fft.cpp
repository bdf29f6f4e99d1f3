// CFFT, the fast routine and the plain one it is tested against.
//
// The fast routine does exactly the arithmetic of the plain one, butterfly for butterfly:
// the same twiddle values from the same recurrence, the same four products and two sums in
// t = element * u, the same difference and sum. Only the order in which independent
// butterflies run differs, which cannot change a single bit of the result:
//   1. the bit-reversal permutation swaps tiles of 16 x 16 points and does stages 1..4 on
//      each 16-point row of a tile while it is at hand;
//   2. stages 5..13 run block by block (2^13 points, in the level-2 cache), two stages per
//      pass, stages 5..9 on sub-blocks of 2^9 points (in the level-1 cache);
//   3. stages 14..19 run on chunks of 32 neighbouring columns (points equal modulo 2^13).
// Working storage keeps W points together: their W real parts, then their W imaginary parts
// ("W-form", the group form of simd/fft_passes.h), so that one register holds the real (or
// the imaginary) parts of W neighbouring points. W is the group of the transform's width:
// 4 for AVX2, 2 for SSE2 and the plain form. The passes themselves are simd's; this file
// plans them and keeps the twiddle tables.
#include "transform/fft.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <utility>

#include "simd/fft_passes.h"

namespace ftir::transform {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr int kMaxStages = 19;
constexpr int kTileBits = 4;  // tiles of 16 x 16 points
constexpr int kTileSide = 1 << kTileBits;
constexpr int kTilePoints = kTileSide * kTileSide;
constexpr int kFirstBlockStage = kTileBits + 1;
constexpr int kBlockBits = 13;
constexpr int kInnerBits = 9;
constexpr int kChunk = 32;  // columns per chunk of the later stages
constexpr int kMaxRows = 1 << (kMaxStages - kBlockBits);
constexpr int kPad = 8;  // doubles after each row, so that rows do not share cache sets
constexpr int kMaxGroup = 4;

// w = cos(pi/le1) - i*ndir*sin(pi/le1): the sine is multiplied by ndir, then negated.
Complex stage_rotation(int le1, int ndir) {
  const double angle = kPi / static_cast<double>(le1);
  return {std::cos(angle), -(static_cast<double>(ndir) * std::sin(angle))};
}

int reverse_bits(int value, int bits) {
  int reversed = 0;
  for (int b = 0; b < bits; ++b) {
    reversed = (reversed << 1) | (value & 1);
    value >>= 1;
  }
  return reversed;
}

// Doubles from the start of a W-form row to point q's real part; its imaginary part is W
// further on.
template <int W>
constexpr std::size_t point_offset(int q) {
  return simd::fft_point_offset(W, q);
}

inline double* doubles(Complex* p) { return &p->re; }
inline const double* doubles(const Complex* p) { return &p->re; }

// Where the twiddle tables live. Stage l (le1 = 2^(l-1)) has a table of max(le1, W)
// points in W-form, the tables one after the other from stage 1, so that every table of
// W points or more starts on a whole group. Up to stage 13 entry k is point k of the
// table. The later stages are read by column_stages only, a chunk of kChunk neighbouring
// columns at a time, so their entry k = j*2^13 + c (j the row within the half group, c the
// column) is stored chunk by chunk, at point ((c / kChunk) * (le1 / 2^13) + j) * kChunk +
// c % kChunk.
template <int W>
std::size_t table_offset(int le1) {
  const auto stage = [](int m) {
    return static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(m)));
  };
  if (le1 < W) return 2 * W * stage(le1);
  return 2 * W * stage(W) + 2 * static_cast<std::size_t>(le1 - W);
}

int table_point(int le1, int k) {
  if (le1 < (1 << kBlockBits)) return k;
  const int h = le1 >> kBlockBits;
  const int j = k >> kBlockBits;
  const int c = k & ((1 << kBlockBits) - 1);
  return ((c / kChunk) * h + j) * kChunk + c % kChunk;
}

// The twiddles of stages 1..3 (seven of them), each as the pair (re, re), (im, im), so that
// both points of a register take the same twiddle: 28 doubles.
template <int W>
void broadcast_first_twiddles(const double* tw, double* bc) {
  int i = 0;
  for (int le1 = 1; le1 <= 4; le1 *= 2) {
    for (int k = 0; k < le1; ++k, ++i) {
      const double* t = tw + table_offset<W>(le1) + point_offset<W>(k);
      bc[4 * i] = bc[4 * i + 1] = t[0];
      bc[4 * i + 2] = bc[4 * i + 3] = t[W];
    }
  }
}

constexpr int kRev4[kTileSide] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};

}  // namespace

Fft::Fft(simd::Width width)
    : width_(width),
      twiddles_(2 * static_cast<std::size_t>(kMaxPoints) + 8 * kMaxGroup),
      block_((std::size_t{1} << (kBlockBits - kInnerBits)) * ((2 << kInnerBits) + kPad)),
      columns_(kMaxRows * (2 * kChunk + kPad)),
      tiles_(2 * kTilePoints),
      tile_work_(2 * kTilePoints) {
  assert(simd::processor_has(width));
}

template <int W>
void Fft::make_twiddles(int n, int ndir) {
  if (ndir != twiddle_ndir_) {
    twiddle_ndir_ = ndir;
    twiddle_stages_ = 0;
  }
  if (n <= twiddle_stages_) return;
  // Each twiddle waits for the one before it, so one recurrence alone leaves the processor
  // idle most of the time. The stages are independent: the last and longest runs beside the
  // others, which take turns and together are shorter. The running values stay in local
  // variables, which the table stores cannot touch.
  double* const tables = twiddles_.data();
  struct Chain {
    int le1;
    double* table;
    Complex w;
  };
  auto chain = [tables, ndir](int stage) {
    const int le1 = 1 << (stage - 1);
    return Chain{le1, tables + table_offset<W>(le1), stage_rotation(le1, ndir)};
  };
  auto store = [](const Chain& c, int k, Complex u) {
    const std::size_t at = point_offset<W>(table_point(c.le1, k));
    c.table[at] = u.re;
    c.table[at + W] = u.im;
  };
  const Chain longest = chain(n);
  Complex u{1.0, 0.0};
  int other = n - 1;
  Chain side = chain(std::max(other, 1));
  Complex v{1.0, 0.0};
  int kv = 0;
  for (int k = 0; k < longest.le1; ++k) {
    store(longest, k, u);
    u = mul(u, longest.w);
    if (other > twiddle_stages_) {
      store(side, kv, v);
      v = mul(v, side.w);
      if (++kv == side.le1 && --other > twiddle_stages_) {
        side = chain(other);
        v = {1.0, 0.0};
        kv = 0;
      }
    }
  }
  // What the other stages still need, should they be the longer side.
  for (; other > twiddle_stages_; --other) {
    if (kv == side.le1) {
      side = chain(other);
      v = {1.0, 0.0};
      kv = 0;
    }
    for (; kv < side.le1; ++kv) {
      store(side, kv, v);
      v = mul(v, side.w);
    }
  }
  twiddle_stages_ = n;
}

template <int W>
void Fft::small_transform(Complex* data, int n) {
  const int nb = 1 << n;
  const double* tw = twiddles_.data();
  Complex* permuted = tiles_.data();
  double* work = tile_work_.data();
  for (int i = 0; i < nb; ++i) permuted[i] = data[reverse_bits(i, n)];
  simd::fft_first_three_stages(width_, W, doubles(permuted), work, nb, tw + table_offset<W>(1),
                               tw + table_offset<W>(2), tw + table_offset<W>(4));
  for (int l = 4; l <= n;) {
    const int stages = l < n ? 2 : 1;
    const int h = 1 << (l - 1);
    const simd::FftPassForm pass = simd::fft_pass_form(width_, W, stages, false);
    for (int g = 0; g < nb; g += 2 * stages * h) {
      pass({work + 2 * g, 2 * h, work + 2 * g, 2 * h, tw + table_offset<W>(h),
            tw + table_offset<W>(2 * h), 2 * h, h});
    }
    l += stages;
  }
  simd::fft_interleave(width_, W, work, doubles(data), nb);
}

// With a point's index split into high, middle and low bits (h, m, l), its partner in the
// permutation (element i takes element rev(i)) is (rev l, rev m, rev h): tile m (the 16
// rows h of 16 points l) is exchanged with tile rev m. Both tiles are copied out first;
// row h of the new tile m is column rev h of the old tile rev m, rows in reversed order,
// and gets stages 1..4 on its way home.
template <int W>
void Fft::permute_first_stages(Complex* data, int n) {
  const int mid = n - 2 * kTileBits;
  const int high_shift = n - kTileBits;
  const double* tw = twiddles_.data();
  const double* t4 = tw + table_offset<W>(8);
  double* bc = tile_work_.data();
  broadcast_first_twiddles<W>(tw, bc);
  Complex* ta = tiles_.data();
  Complex* tb = ta + kTilePoints;
  auto load = [&](Complex* tile, int m) {
    for (int r = 0; r < kTileSide; ++r) {
      const Complex* row = data + (r << high_shift) + (m << kTileBits);
      std::copy(row, row + kTileSide, tile + r * kTileSide);
    }
  };
  auto emit = [&](const Complex* tile, int m) {
    double* out[kTileSide];
    for (int c = 0; c < kTileSide; ++c) {
      out[c] = doubles(data + (kRev4[c] << high_shift) + (m << kTileBits));
    }
    simd::fft_first_four_stages(width_, W, doubles(tile), out, bc, t4);
  };
  for (int m = 0; m < (1 << mid); ++m) {
    const int mr = reverse_bits(m, mid);
    if (mr < m) continue;
    load(ta, m);
    if (mr == m) {
      emit(ta, m);
    } else {
      load(tb, mr);
      emit(tb, m);
      emit(ta, mr);
    }
  }
}

template <int W>
void Fft::block_stages(Complex* data, int n) {
  const int a = std::min(n, kBlockBits);
  const int inner = std::min(a, kInnerBits);
  const int inner_len = 1 << inner;
  const int subs = 1 << (a - inner);
  const bool finishes = n == a;  // the last pass writes the finished transform
  const std::ptrdiff_t sub_stride = 2 * inner_len + kPad;
  const double* tw = twiddles_.data();
  double* buf = block_.data();
  for (int b = 0; b < (1 << n); b += 1 << a) {
    double* blk = doubles(data + b);
    // Stages 5..inner within each sub-block; the first pass reads the data, the passes
    // after it work in the padded buffer.
    for (int sb = 0; sb < subs; ++sb) {
      double* home = blk + 2 * sb * inner_len;
      double* work = buf + sb * sub_stride;
      for (int l = kFirstBlockStage; l <= inner;) {
        const int stages = l < inner ? 2 : 1;
        const bool last = l + stages > inner && inner == a;
        const double* src = l == kFirstBlockStage ? home : work;
        double* dst = last ? home : work;
        const int h = 1 << (l - 1);
        const simd::FftPassForm pass = simd::fft_pass_form(width_, W, stages, last && finishes);
        for (int g = 0; g < inner_len; g += 2 * stages * h) {
          pass({src + 2 * g, 2 * h, dst + 2 * g, 2 * h, tw + table_offset<W>(h),
                tw + table_offset<W>(2 * h), 2 * h, h});
        }
        l += stages;
      }
    }
    // Stages inner+1..a pair sub-blocks: stage l pairs sub-block r with r + 2^(l-1-inner),
    // with the twiddles of entries (r mod 2^(l-1-inner)) * inner_len + c.
    for (int l = inner + 1; l <= a;) {
      const int stages = l < a ? 2 : 1;
      const bool last = l + stages > a;
      const int rh = 1 << (l - 1 - inner);
      const int h = rh * inner_len;
      const simd::FftPassForm pass = simd::fft_pass_form(width_, W, stages, last && finishes);
      for (int g = 0; g < subs; g += 2 * stages * rh) {
        for (int j = 0; j < rh; ++j) {
          const int r0 = g + j;
          double* dst = last ? blk + 2 * r0 * inner_len : buf + r0 * sub_stride;
          const std::ptrdiff_t drs = last ? 2 * rh * inner_len : rh * sub_stride;
          pass({buf + r0 * sub_stride, rh * sub_stride, dst, drs,
                tw + table_offset<W>(h) + 2 * j * inner_len,
                tw + table_offset<W>(2 * h) + 2 * j * inner_len, 2 * h, inner_len});
        }
      }
      l += stages;
    }
  }
}

template <int W>
void Fft::column_stages(Complex* data, int n) {
  const int depth = n - kBlockBits;
  const int rows = 1 << depth;
  const int stride = 1 << kBlockBits;
  const std::ptrdiff_t data_rs = 2 * stride;
  const std::ptrdiff_t buf_rs = 2 * kChunk + kPad;
  const double* tw = twiddles_.data();
  double* d = doubles(data);
  double* buf = columns_.data();
  for (int ci = 0; ci < stride / kChunk; ++ci) {
    const int c0 = ci * kChunk;
    if (c0 + kChunk < stride) {
      // The next chunk's rows lie far apart; ask for them while this chunk computes.
      for (int r = 0; r < rows; ++r) {
        const char* next = reinterpret_cast<const char*>(d + r * data_rs + 2 * (c0 + kChunk));
        for (int line = 0; line < 16 * kChunk; line += 64) __builtin_prefetch(next + line, 0, 3);
      }
    }
    // Stage 14+s pairs rows r and r + 2^s. The first pass reads the data, the last writes
    // the finished transform back, the ones between work in the padded buffer.
    for (int s = 0; s < depth;) {
      const int stages = s + 1 < depth ? 2 : 1;
      const bool first = s == 0;
      const bool last = s + stages == depth;
      const int h = 1 << s;
      const int le1 = h << kBlockBits;
      const simd::FftPassForm pass = simd::fft_pass_form(width_, W, stages, last);
      for (int g = 0; g < rows; g += 2 * stages * h) {
        for (int j = 0; j < h; ++j) {
          const int r0 = g + j;
          const double* src = first ? d + r0 * data_rs + 2 * c0 : buf + r0 * buf_rs;
          const std::ptrdiff_t srs = h * (first ? data_rs : buf_rs);
          double* dst = last ? d + r0 * data_rs + 2 * c0 : buf + r0 * buf_rs;
          const std::ptrdiff_t drs = h * (last ? data_rs : buf_rs);
          pass({src, srs, dst, drs, tw + table_offset<W>(le1) + 2 * (ci * h + j) * kChunk,
                tw + table_offset<W>(2 * le1) + 2 * (ci * 2 * h + j) * kChunk, 2 * h * kChunk,
                kChunk});
        }
      }
      s += stages;
    }
  }
}

void Fft::CFFT(std::span<Complex> data, int n, int nb, int ndir) {
  assert(n >= 0 && n <= kMaxStages && nb == (1 << n));
  assert(ndir == 1 || ndir == -1);
  assert(data.size() >= static_cast<std::size_t>(nb));
  // Up to four points the plain routine is as quick as any.
  if (n <= 2) {
    plain_cfft(data, n, nb, ndir);
    return;
  }
  if (simd::fft_group(width_) == 4) {
    transform<4>(data.data(), n, ndir);
  } else {
    transform<2>(data.data(), n, ndir);
  }
}

template <int W>
void Fft::transform(Complex* data, int n, int ndir) {
  make_twiddles<W>(n, ndir);
  if (n < 2 * kTileBits) {
    small_transform<W>(data, n);
    return;
  }
  permute_first_stages<W>(data, n);
  block_stages<W>(data, n);
  if (n > kBlockBits) column_stages<W>(data, n);
}

void plain_cfft(std::span<Complex> data, int n, int nb, int ndir) {
  assert(n >= 0 && n < 31 && nb == (1 << n));
  assert(data.size() >= static_cast<std::size_t>(nb));
  // Elements are numbered from 1 here, as in the algorithm.
  auto el = [&](int i) -> Complex& { return data[static_cast<std::size_t>(i - 1)]; };

  // Bit-reversal permutation.
  const int half = nb / 2;
  int j = 1;
  for (int i = 1; i <= nb - 1; ++i) {
    if (i < j) std::swap(el(i), el(j));
    int k = half;
    while (k < j) {
      j -= k;
      k /= 2;
    }
    j += k;
  }

  // Butterfly stages; the twiddle u runs by the recurrence u = u * w.
  for (int l = 1; l <= n; ++l) {
    const int le = 1 << l;
    const int le1 = le / 2;
    Complex u{1.0, 0.0};
    const Complex w = stage_rotation(le1, ndir);
    for (int jj = 1; jj <= le1; ++jj) {
      for (int i = jj; i <= nb; i += le) {
        const int ip = i + le1;
        const Complex t = mul(el(ip), u);
        el(ip) = {el(i).re - t.re, el(i).im - t.im};
        el(i) = {el(i).re + t.re, el(i).im + t.im};
      }
      u = mul(u, w);
    }
  }
}

}  // namespace ftir::transform
