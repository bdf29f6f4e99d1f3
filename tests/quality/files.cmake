list(APPEND TEST_SOURCES
  tests/quality/real_files_test.cpp
  tests/quality/synthetic_test.cpp)
