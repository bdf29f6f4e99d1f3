list(APPEND TEST_SOURCES
  tests/cli/check_test.cpp)
