# The cube: spectra of many records in one NetCDF-4 file, written through the netCDF
# library (Debian: libnetcdf-dev), above the conversion engine, which knows no cube. The
# library is loaded by name when the first cube is opened (cube/netcdf_api.h): only its
# header is needed to build.
find_package(netCDF CONFIG REQUIRED)
get_target_property(ftir_netcdf_soname netCDF::netcdf IMPORTED_SONAME_NONE)
if(NOT ftir_netcdf_soname)
  get_target_property(ftir_netcdf_soname netCDF::netcdf IMPORTED_SONAME)
endif()
if(NOT ftir_netcdf_soname)
  set(ftir_netcdf_soname libnetcdf.so)
endif()
add_library(ftir_cube STATIC
  src/cube/assemble.cpp
  src/cube/cube.cpp
  src/cube/netcdf_api.cpp
  src/cube/reader.cpp
  src/cube/sha256.cpp
  src/cube/writer.cpp)
target_link_libraries(ftir_cube PUBLIC ftir_core ${CMAKE_DL_LIBS})
target_include_directories(ftir_cube PRIVATE
  $<TARGET_PROPERTY:netCDF::netcdf,INTERFACE_INCLUDE_DIRECTORIES>)
target_compile_definitions(ftir_cube PRIVATE FTIR_VERSION="${PROJECT_VERSION}"
                                             FTIR_NETCDF_LIBRARY="${ftir_netcdf_soname}")
