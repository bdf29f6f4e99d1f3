list(APPEND TEST_SOURCES
  tests/run/batch_run_test.cpp
  tests/run/sample_files_run_test.cpp)
# The accuracy tests make their interferograms with the generator among the tools.
if(FTIR_TOOLS)
  list(APPEND TEST_SOURCES tests/run/accuracy_test.cpp)
endif()
list(APPEND TEST_SOURCES tests/run/malformed_test.cpp)
list(APPEND TEST_SOURCES tests/run/edges_test.cpp)
list(APPEND TEST_SOURCES tests/run/child_runs_test.cpp)
