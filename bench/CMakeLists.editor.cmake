# The editor's core (transforms, sort, search) and zelvar-edit as a whole process.
add_executable(bench_editor_core ${CMAKE_CURRENT_LIST_DIR}/bench_editor_core.cpp)
target_link_libraries(bench_editor_core PRIVATE editor_core benchmark::benchmark)
zelvar_warnings(bench_editor_core)

if(TARGET zelvar-edit)
  add_executable(bench_zelvar_edit ${CMAKE_CURRENT_LIST_DIR}/bench_zelvar_edit.cpp)
  target_link_libraries(bench_zelvar_edit PRIVATE decoder benchmark::benchmark)
  target_compile_definitions(bench_zelvar_edit PRIVATE ZELVAR_EDIT_BIN="$<TARGET_FILE:zelvar-edit>")
  add_dependencies(bench_zelvar_edit zelvar-edit)
  zelvar_warnings(bench_zelvar_edit)
endif()
# The editor window's open and save paths, offscreen or on a display.
add_executable(bench_editor ${CMAKE_CURRENT_LIST_DIR}/bench_editor.cpp)
target_include_directories(bench_editor PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(bench_editor PRIVATE zelvar_editor)
zelvar_warnings(bench_editor)

# The editor's Options commands and find buttons in the window.
add_executable(bench_editor_commands ${CMAKE_CURRENT_LIST_DIR}/bench_editor_commands.cpp)
target_include_directories(bench_editor_commands PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(bench_editor_commands PRIVATE zelvar_editor)
zelvar_warnings(bench_editor_commands)
