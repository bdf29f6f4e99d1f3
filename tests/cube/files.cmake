# Tests of the cube: SHA-256, the writer and reader, the readers of other projects.
list(APPEND TEST_SOURCES
  tests/cube/sha256_test.cpp
  tests/cube/writer_test.cpp)
