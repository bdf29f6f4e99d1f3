# libFuzzer targets, built with -DFTIR_FUZZ=ON and CXX=clang++ (Debian's clang ships
# libFuzzer). The core sources, and the command line's with the page, are compiled once
# more, with fuzzer coverage and the address and undefined-behaviour sanitizers, into
# ftir_core_fuzz; every target links against it with -fsanitize=fuzzer. To add a target,
# add one ftir_add_fuzz_target() line at the end.
set(FTIR_FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all)

add_library(ftir_core_fuzz STATIC ${REPORT_SOURCES} ${SIMD_SOURCES} ${VALUES_SOURCES}
                                  ${SPCFILE_SOURCES} ${OPUSFILE_SOURCES}
                                  ${OMNICFILE_SOURCES} ${IMAGINGFILE_SOURCES} ${TRANSFORM_SOURCES} ${DRIVER_SOURCES}
                                  ${PAGE_SOURCES} ${CLI_SOURCES})
target_include_directories(ftir_core_fuzz PUBLIC src)
target_link_libraries(ftir_core_fuzz PUBLIC CLI11::CLI11 nlohmann_json::nlohmann_json
                                            Threads::Threads)
target_compile_options(ftir_core_fuzz PUBLIC
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -ffp-contract=off -g -fno-omit-frame-pointer
  -fsanitize=fuzzer-no-link ${FTIR_FUZZ_SANITIZERS})
target_link_options(ftir_core_fuzz PUBLIC ${FTIR_FUZZ_SANITIZERS})

# ftir_add_fuzz_target(NAME SOURCE): one fuzzer executable; test helpers come from tests/.
function(ftir_add_fuzz_target name source)
  add_executable(${name} ${source})
  target_include_directories(${name} PRIVATE tests)
  target_link_libraries(${name} PRIVATE ftir_core_fuzz)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()

ftir_add_fuzz_target(fuzz_reader tests/fuzz/fuzz_reader.cpp)
ftir_add_fuzz_target(fuzz_red_dat tests/fuzz/fuzz_red_dat.cpp)
ftir_add_fuzz_target(fuzz_run tests/fuzz/fuzz_run.cpp)
ftir_add_fuzz_target(fuzz_opus tests/fuzz/fuzz_opus.cpp)
ftir_add_fuzz_target(fuzz_omnic tests/fuzz/fuzz_omnic.cpp)
ftir_add_fuzz_target(fuzz_records tests/fuzz/fuzz_records.cpp)
