// The fast transform's passes (see transform/fft.cpp for the plan that strings them
// together), each as its plain rule and in SSE2 and AVX2 forms that do the same butterflies
// lane by lane, so every form gives the same bits.
//
// The transform's working storage keeps `group` points together: their real parts, then
// their imaginary parts ("group form"), so that one register holds the real (or the
// imaginary) parts of neighbouring points. The SSE2 form works in groups of 2, the AVX2 form
// in groups of 4; the plain form in either, to be the reference of both. A butterfly is
// t = x1 * u (the four products and two sums of transform::mul, in its order), x1 = x0 - t,
// x0 = x0 + t.
#pragma once

#include <cstddef>

#include "simd/width.h"

namespace ftir::simd {

// The group of a width's transform: 4 points for AVX2, 2 otherwise.
constexpr int fft_group(Width width) { return width == Width::kAvx2 ? 4 : 2; }

// Doubles from the start of a group-form row to point q's real part; its imaginary part is
// `group` doubles further on.
constexpr std::size_t fft_point_offset(int group, int q) {
  return 2 * static_cast<std::size_t>(group) * static_cast<std::size_t>(q / group) +
         static_cast<std::size_t>(q % group);
}

// The rows of one pass, in group form. A pass of one stage pairs rows 0 and 1 (src,
// src + srs), point q with twiddle q of wa; a pass of two stages pairs rows 0-1 and 2-3 with
// the twiddles wa, then rows 0-2 with wb and 1-3 with wb + ws. Results go to the rows
// dst + r * drs (which may be the source rows), in group form or, for a pass that
// interleaves, as (re, im) pairs: the finished transform's form. Strides and offsets count
// doubles; twiddle tables are in group form too.
struct FftPass {
  const double* src;
  std::ptrdiff_t srs;
  double* dst;
  std::ptrdiff_t drs;
  const double* wa;
  const double* wb;
  std::ptrdiff_t ws;
  int count;  // points per row, a multiple of the group
};

// A pass of one form, one number of stages and one output form.
using FftPassForm = void (*)(const FftPass& pass);

// The width's form of a pass of `stages` (1 or 2) stages that writes group form or, with
// `interleave`, (re, im) pairs; `group` is fft_group(width), or 2 or 4 for the plain form.
// The transform picks it once for a stage and calls it for every group of rows.
FftPassForm fft_pass_form(Width width, int group, int stages, bool interleave);

// Stages 1..4 of the 16 rows of a 16 x 16 tile of (re, im) pairs: row c's point l is
// tile[2 * (rev4(l) * 16 + c)], rev4 reversing 4 bits; row c goes to out[c] in group form.
// bc holds the twiddles of stages 1..3 (stage of le1 = 1, 2, 4, twiddle k: number le1 - 1
// + k) as re, re, im, im; t4 is stage 4's table (8 points) in group form.
void fft_first_four_stages(Width width, int group, const double* tile, double* const out[16],
                           const double* bc, const double* t4);

// Stages 1..3 of `count` (a multiple of 8) points read as (re, im) pairs from src, already in
// bit-reversed order, written in group form to dst. t1, t2 and t3 are the tables of stages 1,
// 2 and 3 (1, 2 and 4 points) in group form. The AVX2 width runs the SSE2 form in groups of 4.
void fft_first_three_stages(Width width, int group, const double* src, double* dst, int count,
                            const double* t1, const double* t2, const double* t3);

// count points (a multiple of the group) from group form to (re, im) pairs. The AVX2 width
// runs the SSE2 form in groups of 4.
void fft_interleave(Width width, int group, const double* src, double* dst, int count);

}  // namespace ftir::simd
