# The command-line front end: options (CLI11), the per-file conversion, the run, the summary
# (nlohmann-json), and the red.dat checker.
set(CLI_SOURCES
  src/cli/check.cpp
  src/cli/command_line.cpp
  src/cli/convert.cpp
  src/cli/explain.cpp
  src/cli/interrupts.cpp
  src/cli/options.cpp
  src/cli/run.cpp
  src/cli/run_page.cpp
  src/cli/side_outputs.cpp
  src/cli/summary.cpp)
