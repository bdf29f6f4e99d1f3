# Benchmarks: timing programs outside ctest. The CFFT benchmark sets the transform next to
# FFTW's complex double transform of the same size (a benchmark-only dependency).
find_package(benchmark REQUIRED)
find_path(FFTW3_INCLUDE_DIR fftw3.h REQUIRED)
find_library(FFTW3_LIBRARY fftw3 REQUIRED)

add_executable(fft_bench bench/fft_bench.cpp)
target_include_directories(fft_bench SYSTEM PRIVATE ${FFTW3_INCLUDE_DIR})
target_link_libraries(fft_bench PRIVATE ftir_core benchmark::benchmark ${FFTW3_LIBRARY})
