# The cube: spectra of many records in one NetCDF-4 file, written through the netCDF
# library (Debian: libnetcdf-dev), above the conversion engine, which knows no cube.
find_package(netCDF CONFIG REQUIRED)
add_library(ftir_cube STATIC
  src/cube/cube.cpp
  src/cube/reader.cpp
  src/cube/sha256.cpp
  src/cube/writer.cpp)
target_link_libraries(ftir_cube PUBLIC ftir_core netCDF::netcdf)
target_compile_definitions(ftir_cube PRIVATE FTIR_VERSION="${PROJECT_VERSION}")
