set(OPUSFILE_SOURCES
  src/opusfile/opus_file.cpp
  src/opusfile/reader.cpp
  src/opusfile/series.cpp)
