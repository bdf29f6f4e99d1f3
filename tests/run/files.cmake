list(APPEND TEST_SOURCES
  tests/run/batch_run_test.cpp)
