list(APPEND TEST_SOURCES
  tests/report/format_text_test.cpp
  tests/report/report_test.cpp)
