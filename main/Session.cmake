# The monitoring session's window-free rules, tested and sanitised with the core.
add_library(session_rules STATIC ${CMAKE_CURRENT_LIST_DIR}/SessionRules.cpp)
target_include_directories(session_rules PUBLIC ${CMAKE_CURRENT_LIST_DIR} ${PROJECT_SOURCE_DIR}/settings)
zelvar_warnings(session_rules)
