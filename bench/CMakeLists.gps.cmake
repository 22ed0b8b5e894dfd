# The GPS port's Close under a receiver sending at full line rate.
if(TARGET gps_port)
  add_executable(bench_gps_close ${CMAKE_CURRENT_LIST_DIR}/bench_gps_close.cpp)
  target_link_libraries(bench_gps_close PRIVATE gps_port util)
  zelvar_warnings(bench_gps_close)
endif()
