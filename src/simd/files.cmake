# The hot loops: plain, SSE2 and AVX2 forms of each, and the width chosen once per process.
# Standard library only; every module above may use it.
set(SIMD_SOURCES
  src/simd/avx2.cpp
  src/simd/dispatch.cpp
  src/simd/fft_avx2.cpp
  src/simd/fft_plain.cpp
  src/simd/fft_sse2.cpp
  src/simd/plain.cpp
  src/simd/sse2.cpp
  src/simd/width.cpp)
