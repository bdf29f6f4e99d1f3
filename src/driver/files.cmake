set(DRIVER_SOURCES
  src/driver/batch.cpp
  src/driver/emit.cpp
  src/driver/memory.cpp
  src/driver/prepare.cpp
  src/driver/readers.cpp
  src/driver/run_parameters.cpp
  src/driver/settings.cpp)
