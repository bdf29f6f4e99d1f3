list(APPEND TEST_SOURCES
  tests/spcfile/header_test.cpp
  tests/spcfile/file_access_test.cpp
  tests/spcfile/layout_test.cpp
  tests/spcfile/output_name_test.cpp
  tests/spcfile/reader_test.cpp
  tests/spcfile/sample_files_test.cpp
  tests/spcfile/writer_test.cpp)
