# Tests of the cube: SHA-256, the writer and reader, the readers of other projects.
list(APPEND TEST_SOURCES
  tests/cube/assemble_test.cpp
  tests/cube/readers_test.cpp
  tests/cube/sha256_test.cpp
  tests/cube/writer_test.cpp)
# The readers: the HDF5 reader under node where scripts/install-node-readers.sh installs it, and
# the interpreter whose xarray, netCDF4, h5netcdf and h5py are Debian's (as the module's).
if(DEFINED Python_EXECUTABLE)
  set(ftir_cube_python "${Python_EXECUTABLE}")
elseif(EXISTS /usr/bin/python3)
  set(ftir_cube_python /usr/bin/python3)
else()
  set(ftir_cube_python python3)
endif()
set_property(SOURCE tests/cube/readers_test.cpp APPEND PROPERTY COMPILE_DEFINITIONS
  FTIR_H5WASM_READER="${CMAKE_BINARY_DIR}/h5wasm/node_modules/h5wasm/dist/node/hdf5_hl.js"
  FTIR_PYTHON3="${ftir_cube_python}")
