# The live intake under load: the main window and its session against
# zelvar-sim on 127.0.0.1..4. Opens sockets: run it inside scripts/in-netns.sh.
if(TARGET zelvar_session AND TARGET zelvar-sim)
  add_executable(bench_live_intake ${CMAKE_CURRENT_LIST_DIR}/bench_live_intake.cpp)
  target_link_libraries(bench_live_intake PRIVATE zelvar_session zelvar_main Qt6::Network)
  target_include_directories(bench_live_intake PRIVATE ${CMAKE_CURRENT_LIST_DIR}
                                                     ${PROJECT_SOURCE_DIR}/tests/support)
  target_compile_definitions(bench_live_intake PRIVATE ZELVAR_SIM_BIN="$<TARGET_FILE:zelvar-sim>")
  add_dependencies(bench_live_intake zelvar-sim)
  zelvar_warnings(bench_live_intake)
endif()
