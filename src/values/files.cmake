set(VALUES_SOURCES
  src/values/record_set.cpp
  src/values/refusal.cpp)
