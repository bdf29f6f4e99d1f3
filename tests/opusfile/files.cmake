list(APPEND TEST_SOURCES
  tests/opusfile/opus_file_test.cpp
  tests/opusfile/shared_files_test.cpp)
list(APPEND TEST_SOURCES tests/opusfile/series_test.cpp)
