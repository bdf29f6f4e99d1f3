set(CLI_SOURCES
  src/cli/check.cpp)
