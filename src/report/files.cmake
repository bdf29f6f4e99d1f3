set(REPORT_SOURCES
  src/report/clock.cpp
  src/report/console.cpp
  src/report/destination.cpp
  src/report/escape.cpp
  src/report/format_text.cpp
  src/report/report.cpp
  src/report/stop.cpp)
