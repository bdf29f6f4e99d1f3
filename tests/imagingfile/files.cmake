list(APPEND TEST_SOURCES
  tests/imagingfile/imaging_reader_test.cpp)
