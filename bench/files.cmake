# Benchmarks: timing programs outside ctest. The CFFT benchmark sets the transform next to
# FFTW's complex double transform of the same size (a benchmark-only dependency); the I/O
# benchmark sets READSC and WRITSC next to plain stream calls and makes its interferogram
# with the generator's library (tools). bench/run_all.sh runs these and the batch script.
find_package(benchmark REQUIRED)
find_path(FFTW3_INCLUDE_DIR fftw3.h REQUIRED)
find_library(FFTW3_LIBRARY fftw3 REQUIRED)

add_executable(fft_bench bench/fft_bench.cpp)
target_include_directories(fft_bench SYSTEM PRIVATE ${FFTW3_INCLUDE_DIR})
target_link_libraries(fft_bench PRIVATE ftir_core benchmark::benchmark ${FFTW3_LIBRARY})

if(NOT TARGET ftir_synth)
  message(FATAL_ERROR "FTIR_BENCH needs FTIR_TOOLS=ON (io_bench writes its file with the generator)")
endif()
add_executable(io_bench bench/io_bench.cpp)
target_link_libraries(io_bench PRIVATE ftir_synth benchmark::benchmark)

add_executable(controls_bench bench/controls_bench.cpp)
target_link_libraries(controls_bench PRIVATE ftir_core benchmark::benchmark)
# Reading the shared OPUS file test.0000 against one fread of it.
add_executable(instrument_bench bench/instrument_bench.cpp)
target_link_libraries(instrument_bench PRIVATE ftir_core benchmark::benchmark)
target_compile_definitions(instrument_bench PRIVATE FTIR_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
# The instrument's transform of one scan next to its CFFT calls.
add_executable(instrument_transform_bench bench/instrument_transform_bench.cpp)
target_link_libraries(instrument_transform_bench PRIVATE ftir_core benchmark::benchmark)
target_compile_definitions(instrument_transform_bench PRIVATE FTIR_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
# Writing a 128 x 128 image cube: time and size before and after compression.
add_executable(cube_bench bench/cube_bench.cpp)
target_link_libraries(cube_bench PRIVATE ftir_cube)
# The quality checks of a record next to its conversion in memory.
add_executable(quality_bench bench/quality_bench.cpp)
target_link_libraries(quality_bench PRIVATE ftir_synth benchmark::benchmark)
