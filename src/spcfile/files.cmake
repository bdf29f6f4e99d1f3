set(SPCFILE_SOURCES
  src/spcfile/file_access.cpp
  src/spcfile/file_error.cpp
  src/spcfile/layout.cpp
  src/spcfile/output_claims.cpp
  src/spcfile/output_name.cpp
  src/spcfile/reader.cpp
  src/spcfile/writer.cpp)
