list(APPEND TEST_SOURCES
  tests/transform/fft_test.cpp
  tests/transform/instrument_path_test.cpp
  tests/transform/lagint_test.cpp
  tests/transform/record_plan_test.cpp
  tests/transform/windows_test.cpp
  tests/transform/zero_fill_test.cpp)
