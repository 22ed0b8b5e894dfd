# Saves against a second program in the same second and against kill -9 at
# each step of saving and recovering.
if(TARGET live_logs)
  add_executable(bench_save_safety ${CMAKE_CURRENT_LIST_DIR}/bench_save_safety.cpp)
  target_link_libraries(bench_save_safety PRIVATE live_logs)
  target_include_directories(bench_save_safety PRIVATE ${CMAKE_CURRENT_LIST_DIR}
                                                      ${PROJECT_SOURCE_DIR}/tests/support)
  zelvar_warnings(bench_save_safety)
endif()
