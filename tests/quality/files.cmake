list(APPEND TEST_SOURCES
  tests/quality/checks_test.cpp
  tests/quality/real_files_test.cpp
  tests/quality/synthetic_test.cpp)
