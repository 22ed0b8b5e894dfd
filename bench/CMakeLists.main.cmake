# The main window's decode and live-append paths, offscreen.
add_executable(bench_main_decode ${CMAKE_CURRENT_LIST_DIR}/bench_main_decode.cpp)
target_include_directories(bench_main_decode PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(bench_main_decode PRIVATE zelvar_main)
zelvar_warnings(bench_main_decode)
