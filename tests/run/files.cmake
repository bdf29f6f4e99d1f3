list(APPEND TEST_SOURCES
  tests/run/batch_run_test.cpp
  tests/run/sample_files_run_test.cpp)
