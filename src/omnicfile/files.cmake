set(OMNICFILE_SOURCES
  src/omnicfile/reader.cpp
  src/omnicfile/spa_file.cpp)
