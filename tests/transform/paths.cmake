list(APPEND TEST_SOURCES tests/transform/paths_test.cpp tests/transform/single_sided_test.cpp)
