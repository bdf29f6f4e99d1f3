# The Python module ftir_reduce, built into the build folder's root (PYTHONPATH=<build folder>)
# for the Debian interpreter /usr/bin/python3 and its NumPy and pytest (Debian: pybind11-dev
# python3-dev python3-numpy python3-pytest); -DPython_EXECUTABLE=... picks another. Skipped
# with a message when pybind11 or the interpreter's development files are missing.
if(NOT DEFINED Python_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "The Python interpreter of ftir_reduce")
endif()
find_package(Python 3 QUIET COMPONENTS Interpreter Development.Module)
if(Python_FOUND)
  set(PYBIND11_FINDPYTHON ON)  # pybind11 takes the interpreter found above
  find_package(pybind11 CONFIG QUIET)
endif()
if(NOT Python_FOUND OR NOT pybind11_FOUND)
  message(STATUS "ftir_reduce (Python module) skipped: pybind11 or the Python development files "
                 "not found (Debian: pybind11-dev python3-dev)")
  return()
endif()
message(STATUS "ftir_reduce (Python module) for ${Python_EXECUTABLE} (Python ${Python_VERSION})")

# The module is a shared object, so the engine it links goes position-independent.
set_target_properties(ftir_core PROPERTIES POSITION_INDEPENDENT_CODE ON)
# NO_EXTRAS: no link-time optimisation, so the engine's code in the module is the code that
# ftir-reduce runs.
pybind11_add_module(ftir_reduce MODULE NO_EXTRAS python/ftir_reduce.cpp)
target_link_libraries(ftir_reduce PRIVATE ftir_core)
# ftir_reduce.__version__: the project's version.
target_compile_definitions(ftir_reduce PRIVATE FTIR_VERSION="${PROJECT_VERSION}")
# The engine's symbols stay inside the module.
target_link_options(ftir_reduce PRIVATE -Wl,--exclude-libs,ALL)
set_target_properties(ftir_reduce PROPERTIES LIBRARY_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}")

# The module's tests compare it with the command line, on files made by the generator. They,
# and README.md's Python blocks, need the interpreter's NumPy and pytest.
execute_process(COMMAND "${Python_EXECUTABLE}" -c "import numpy, pytest"
                RESULT_VARIABLE ftir_python_test_modules OUTPUT_QUIET ERROR_QUIET)
if(NOT ftir_python_test_modules EQUAL 0)
  message(STATUS "ftir_reduce tests skipped: ${Python_EXECUTABLE} lacks numpy or pytest "
                 "(Debian: python3-numpy python3-pytest)")
elseif(FTIR_TESTS AND FTIR_TOOLS)
  add_test(NAME python_module
           COMMAND "${Python_EXECUTABLE}" -m pytest -q -p no:cacheprovider
                   "${CMAKE_SOURCE_DIR}/python/tests")
  set_tests_properties(python_module PROPERTIES ENVIRONMENT
    "PYTHONPATH=$<TARGET_FILE_DIR:ftir_reduce>;PYTHONDONTWRITEBYTECODE=1;FTIR_REDUCE_EXE=$<TARGET_FILE:ftir-reduce>;MAKE_INTERFEROGRAM_EXE=$<TARGET_FILE:make-interferogram>;FTIR_CORE_SOURCES=$<JOIN:$<TARGET_PROPERTY:ftir_core,SOURCES>,:>")
  # The documentation test runs README.md's Python blocks with this module.
  target_compile_definitions(ftir_tests PRIVATE
    FTIR_PYTHON_MODULE_DIR="$<TARGET_FILE_DIR:ftir_reduce>"
    FTIR_PYTHON_EXE="${Python_EXECUTABLE}")
  add_dependencies(ftir_tests ftir_reduce)
endif()
