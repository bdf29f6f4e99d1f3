list(APPEND TEST_SOURCES
  tests/cli/check_test.cpp
  tests/cli/command_line_test.cpp
  tests/cli/options_test.cpp
  tests/cli/side_outputs_test.cpp
  tests/cli/workers_test.cpp)
