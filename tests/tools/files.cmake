# Tests of the companion tools: the interferogram generator and spc-tool. They join
# ftir_tests, which links ftir_synth and ftir_spctool when the tools are built.
if(FTIR_TOOLS)
  list(APPEND TEST_SOURCES
    tests/tools/synth_test.cpp
    tests/tools/instrument_info_test.cpp
    tests/tools/spc_tool_test.cpp
    tests/tools/spc_tool_steps_test.cpp
    tests/tools/spc_tool_samples_test.cpp
    tests/tools/waiting_test.cpp
    tests/tools/multi_trace_test.cpp)
  # Where scripts/test.sh installs the independent JCAMP-DX reader (npm jcampconverter).
  set_property(SOURCE tests/tools/spc_tool_steps_test.cpp APPEND PROPERTY COMPILE_DEFINITIONS
    FTIR_JCAMP_READER="${CMAKE_BINARY_DIR}/jcamp-reader/node_modules/jcampconverter/dist/jcampconverter.js")
endif()
