list(APPEND TEST_SOURCES
  tests/cli/check_test.cpp
  tests/cli/command_line_test.cpp
  tests/cli/options_test.cpp
  tests/cli/workers_test.cpp)
# The command line's refusals, calibrated on interferograms from the generator.
if(FTIR_TOOLS)
  list(APPEND TEST_SOURCES tests/cli/refusals_test.cpp)
endif()
