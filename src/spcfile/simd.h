// Which vector instructions this processor offers, asked once per process. Loops that have
// a wider variant take it only where every lane does exactly the operations of the SSE2 or
// scalar form, so that the choice never changes a byte of any output.
#pragma once

#include <atomic>

namespace ftir::spcfile {

namespace detail {
inline std::atomic<bool> avx2_allowed{true};
}  // namespace detail

// Whether the AVX2 variants run: the processor has AVX2 (GCC and Clang on x86-64) and
// allow_avx2 has not turned them off.
inline bool cpu_has_avx2() {
  static const bool has = __builtin_cpu_supports("avx2") != 0;
  return has && detail::avx2_allowed.load(std::memory_order_relaxed);
}

// For tests: false makes the loops take their SSE2 forms, true gives the AVX2 variants back
// where the processor has them.
inline void allow_avx2(bool allowed) {
  detail::avx2_allowed.store(allowed, std::memory_order_relaxed);
}

}  // namespace ftir::spcfile
