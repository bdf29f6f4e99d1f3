set(VALUES_SOURCES
  src/values/refusal.cpp)
