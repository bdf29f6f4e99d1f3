# Test sources, one list per module; each module's file adds its own.
set(TEST_SOURCES)
include(tests/report/files.cmake)
include(tests/spcfile/files.cmake)
include(tests/transform/files.cmake)
include(tests/transform/paths.cmake)
include(tests/driver/files.cmake)
include(tests/run/files.cmake)
include(tests/tools/files.cmake)
