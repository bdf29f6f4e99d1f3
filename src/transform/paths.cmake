# The transform paths (the FFT, windows and LAGINT are listed in files.cmake).
list(APPEND TRANSFORM_SOURCES
  src/transform/double_sided.cpp
  src/transform/path.cpp
  src/transform/single_sided.cpp
  src/transform/zero_fill.cpp)
