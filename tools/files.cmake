# Companion tools: the interferogram generator (a library the tests use too, and its
# command line) and spc-tool, the viewer for SPC files and the steps after a conversion.
add_library(ftir_synth STATIC tools/synth/interferogram.cpp)
target_include_directories(ftir_synth PUBLIC tools)
target_link_libraries(ftir_synth PUBLIC ftir_core)

add_executable(make-interferogram tools/synth/make_interferogram.cpp)
target_link_libraries(make-interferogram PRIVATE ftir_synth)

add_library(ftir_spctool STATIC
  tools/spc_tool/coadd.cpp
  tools/spc_tool/command_line.cpp
  tools/spc_tool/csv.cpp
  tools/spc_tool/encode.cpp
  tools/spc_tool/info.cpp
  tools/spc_tool/instrument_info.cpp
  tools/spc_tool/jcamp.cpp
  tools/spc_tool/ratio.cpp
  tools/spc_tool/spc_trace.cpp
  tools/spc_tool/split.cpp
  tools/spc_tool/svg_plot.cpp)
target_include_directories(ftir_spctool PUBLIC tools)
target_link_libraries(ftir_spctool PUBLIC ftir_core)

add_executable(spc-tool tools/spc_tool/main.cpp)
target_link_libraries(spc-tool PRIVATE ftir_spctool)
target_compile_definitions(spc-tool PRIVATE FTIR_VERSION="${PROJECT_VERSION}")
