list(APPEND TEST_SOURCES
  tests/quality/checks_test.cpp
  tests/quality/held_test.cpp)
