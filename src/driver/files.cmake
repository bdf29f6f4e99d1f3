set(DRIVER_SOURCES
  src/driver/batch.cpp
  src/driver/emit.cpp
  src/driver/prepare.cpp
  src/driver/run_parameters.cpp)
