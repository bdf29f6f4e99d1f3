list(APPEND TEST_SOURCES
  tests/driver/controls_test.cpp
  tests/driver/instrument_refusals_test.cpp
  tests/driver/instrument_test.cpp
  tests/driver/output_names_test.cpp
  tests/driver/prepare_test.cpp
  tests/driver/run_parameters_test.cpp)
