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

# Publishers (the publishing core) into one Mosquitto and one collector.
if(TARGET zelvar-collect AND TARGET publish_core)
  add_executable(bench_publish_collect ${CMAKE_CURRENT_LIST_DIR}/bench_publish_collect.cpp)
  target_include_directories(bench_publish_collect PRIVATE ${CMAKE_CURRENT_LIST_DIR}
                                                         ${PROJECT_SOURCE_DIR}/tests/support)
  target_link_libraries(bench_publish_collect PRIVATE publish_core decoder PostgreSQL::PostgreSQL)
  target_compile_definitions(bench_publish_collect PRIVATE
    ZELVAR_COLLECT_BIN="$<TARGET_FILE:zelvar-collect>" ZELVAR_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_dependencies(bench_publish_collect zelvar-collect)
  zelvar_warnings(bench_publish_collect)
endif()

# zelvar-web's live calls to many streams or a page, from a station through
# Mosquitto and the collector: a Python benchmark run with the tools' paths.
if(TARGET web_station)
  file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/bench_web_live
    CONTENT "#!/bin/sh\nexec /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/bench_web_live.py $<TARGET_FILE:zelvar-web> \
$<TARGET_FILE:zelvar-collect> $<TARGET_FILE:web_station> \"$@\"\n"
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endif()
