# The documentation test: README.md's examples run as written (they use the tools too).
if(FTIR_TOOLS)
  list(APPEND TEST_SOURCES tests/docs/readme_test.cpp)
endif()
