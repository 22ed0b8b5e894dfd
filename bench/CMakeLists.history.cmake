# The signal history: the cost of one live report, and one plot's columns.
add_executable(bench_signal_history ${CMAKE_CURRENT_LIST_DIR}/bench_signal_history.cpp)
target_link_libraries(bench_signal_history PRIVATE history benchmark::benchmark)
zelvar_warnings(bench_signal_history)
