# The editor window's open and save paths, offscreen or on a display.
add_executable(bench_editor ${CMAKE_CURRENT_LIST_DIR}/bench_editor.cpp)
target_include_directories(bench_editor PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(bench_editor PRIVATE zelvar_editor)
zelvar_warnings(bench_editor)
