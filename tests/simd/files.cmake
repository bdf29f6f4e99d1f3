list(APPEND TEST_SOURCES
  tests/simd/fft_passes_test.cpp
  tests/simd/kernels_test.cpp
  tests/simd/width_test.cpp)
