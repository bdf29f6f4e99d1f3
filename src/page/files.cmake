set(PAGE_SOURCES
  src/page/assets.cpp
  src/page/curves.cpp
  src/page/flags.cpp
  src/page/page.cpp
  src/page/settings.cpp
  src/page/text.cpp)
