list(APPEND TEST_SOURCES
  tests/cli/command_line_test.cpp)
