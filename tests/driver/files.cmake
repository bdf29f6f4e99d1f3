list(APPEND TEST_SOURCES
  tests/driver/prepare_test.cpp
  tests/driver/run_parameters_test.cpp)
