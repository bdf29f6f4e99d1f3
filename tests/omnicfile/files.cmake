list(APPEND TEST_SOURCES
  tests/omnicfile/spa_file_test.cpp)
