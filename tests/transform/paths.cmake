list(APPEND TEST_SOURCES tests/transform/paths_test.cpp)
