list(APPEND TEST_SOURCES
  tests/page/browser_test.cpp
  tests/page/page_test.cpp
  tests/page/run_page_test.cpp)
