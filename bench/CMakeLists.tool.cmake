# zelvar-decode as a whole process: speed and peak memory on large logs.
if(TARGET zelvar-decode)
  add_executable(bench_decode_tool ${CMAKE_CURRENT_LIST_DIR}/bench_decode_tool.cpp)
  target_include_directories(bench_decode_tool PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(bench_decode_tool PRIVATE decoder)
  target_compile_definitions(bench_decode_tool PRIVATE
    ZELVAR_DECODE_BIN="$<TARGET_FILE:zelvar-decode>")
  add_dependencies(bench_decode_tool zelvar-decode)
  zelvar_warnings(bench_decode_tool)
endif()
