list(APPEND TEST_SOURCES
  tests/cli/check_test.cpp
  tests/cli/command_line_test.cpp
  tests/cli/naming_test.cpp
  tests/cli/instrument_run_test.cpp
  tests/cli/options_test.cpp
  tests/cli/summary_test.cpp
  tests/cli/side_outputs_test.cpp
  tests/cli/workers_test.cpp)

# The Slurm recipe on a real single-node Slurm the script starts on this machine (Debian
# slurm-wlm and munge); skipped where they are not installed or cannot start.
if(FTIR_TOOLS)
  add_test(NAME slurm_array_job
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/cli/slurm_test.sh $<TARGET_FILE:ftir-reduce>
                   $<TARGET_FILE:make-interferogram>)
  set_tests_properties(slurm_array_job PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 400
                                                  LABELS "cli;slurm")
endif()

# The command line's refusals, calibrated on interferograms from the generator.
if(FTIR_TOOLS)
  list(APPEND TEST_SOURCES tests/cli/refusals_test.cpp)
endif()
