# zelvar-coverage as a whole process: speed and peak memory per format.
if(TARGET zelvar-coverage)
  add_executable(bench_coverage_tool ${CMAKE_CURRENT_LIST_DIR}/bench_coverage_tool.cpp)
  target_link_libraries(bench_coverage_tool PRIVATE decoder)
  target_compile_definitions(bench_coverage_tool PRIVATE
    ZELVAR_COVERAGE_BIN="$<TARGET_FILE:zelvar-coverage>")
  add_dependencies(bench_coverage_tool zelvar-coverage)
  zelvar_warnings(bench_coverage_tool)
endif()
