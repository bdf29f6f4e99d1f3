# Tests of the companion tools. They build into their own executable while ftir_tests links
# ftir_core alone; moving them into ftir_tests needs ftir_synth and ftir_spctool linked there.
if(TARGET ftir_synth AND TARGET ftir_spctool)
  add_executable(ftir_tools_tests
    tests/tools/synth_test.cpp
    tests/tools/spc_tool_test.cpp)
  target_include_directories(ftir_tools_tests PRIVATE tests)
  target_link_libraries(ftir_tools_tests PRIVATE ftir_synth ftir_spctool GTest::gtest_main)
  target_compile_definitions(ftir_tools_tests PRIVATE
    MAKE_INTERFEROGRAM_EXE="$<TARGET_FILE:make-interferogram>"
    SPC_TOOL_EXE="$<TARGET_FILE:spc-tool>")
  add_dependencies(ftir_tools_tests make-interferogram spc-tool)
  include(GoogleTest)
  gtest_discover_tests(ftir_tools_tests DISCOVERY_TIMEOUT 60)
endif()
