# The signal history: the cost of one live report, and one plot's columns.
add_executable(bench_signal_history ${CMAKE_CURRENT_LIST_DIR}/bench_signal_history.cpp)
target_link_libraries(bench_signal_history PRIVATE history benchmark::benchmark)
zelvar_warnings(bench_signal_history)

# One full repaint of the history window's plot.
if(TARGET history_window)
  add_executable(bench_history_plot ${CMAKE_CURRENT_LIST_DIR}/bench_history_plot.cpp)
  target_link_libraries(bench_history_plot PRIVATE history_window benchmark::benchmark)
  zelvar_warnings(bench_history_plot)
endif()
