set(QUALITY_SOURCES
  src/quality/checks.cpp)
