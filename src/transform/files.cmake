set(TRANSFORM_SOURCES
  src/transform/fft.cpp
  src/transform/fixed_array.cpp
  src/transform/instrument_path.cpp
  src/transform/lagint.cpp
  src/transform/record_plan.cpp
  src/transform/windows.cpp)
