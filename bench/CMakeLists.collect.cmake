# zelvar-collect --import as a whole process against a real PostgreSQL.
if(TARGET zelvar-collect)
  find_package(PostgreSQL REQUIRED)
  add_executable(bench_collect_import ${CMAKE_CURRENT_LIST_DIR}/bench_collect_import.cpp)
  target_include_directories(bench_collect_import PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(bench_collect_import PRIVATE decoder PostgreSQL::PostgreSQL)
  target_compile_definitions(bench_collect_import PRIVATE
    ZELVAR_COLLECT_BIN="$<TARGET_FILE:zelvar-collect>")
  add_dependencies(bench_collect_import zelvar-collect)
  zelvar_warnings(bench_collect_import)
endif()
