# Tests of the companion tools: the interferogram generator and spc-tool. They join
# ftir_tests, which links ftir_synth and ftir_spctool when the tools are built.
if(FTIR_TOOLS)
  list(APPEND TEST_SOURCES
    tests/tools/synth_test.cpp
    tests/tools/spc_tool_test.cpp)
endif()
