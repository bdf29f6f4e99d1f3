set(IMAGINGFILE_SOURCES
  src/imagingfile/compound_file.cpp
  src/imagingfile/imaging_header.cpp
  src/imagingfile/reader.cpp)
