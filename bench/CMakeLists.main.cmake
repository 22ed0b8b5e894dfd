# The main window's decode and live-append paths, offscreen.
add_executable(bench_main_decode ${CMAKE_CURRENT_LIST_DIR}/bench_main_decode.cpp)
target_include_directories(bench_main_decode PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(bench_main_decode PRIVATE zelvar_main)
zelvar_warnings(bench_main_decode)

# The start that recovers a large journal, the window in use meanwhile.
add_executable(bench_journal_recovery ${CMAKE_CURRENT_LIST_DIR}/bench_journal_recovery.cpp)
target_include_directories(bench_journal_recovery PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(bench_journal_recovery PRIVATE zelvar_main)
zelvar_warnings(bench_journal_recovery)
