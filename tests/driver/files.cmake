list(APPEND TEST_SOURCES
  tests/driver/run_parameters_test.cpp)
