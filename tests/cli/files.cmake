list(APPEND TEST_SOURCES
  tests/cli/command_line_test.cpp)
list(APPEND TEST_SOURCES
  tests/cli/workers_test.cpp)
