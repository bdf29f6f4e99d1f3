// Which vector instructions this processor offers, asked once per process. Loops that have
// a wider variant take it only where every lane does exactly the operations of the SSE2 or
// scalar form, so that the choice never changes a byte of any output.
#pragma once

namespace ftir::spcfile {

// Whether the processor runs AVX2 instructions (GCC and Clang on x86-64).
inline bool cpu_has_avx2() {
  static const bool has = __builtin_cpu_supports("avx2") != 0;
  return has;
}

}  // namespace ftir::spcfile
