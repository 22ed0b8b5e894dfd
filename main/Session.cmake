# The monitoring session's window-free rules, tested and sanitised with the core.
add_library(session_rules STATIC ${CMAKE_CURRENT_LIST_DIR}/SessionRules.cpp)
target_include_directories(session_rules PUBLIC ${CMAKE_CURRENT_LIST_DIR} ${PROJECT_SOURCE_DIR}/settings)
zelvar_warnings(session_rules)

# The monitoring session itself: UDP sockets on the event loop and the 500 ms
# timer, driving the main window.
if(NOT ZELVAR_CORE_ONLY)
  add_library(zelvar_session STATIC
    ${CMAKE_CURRENT_LIST_DIR}/DatagramReceiver.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DatagramReceiver.h
    ${CMAKE_CURRENT_LIST_DIR}/MonitoringSession.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MonitoringSession.h
    ${CMAKE_CURRENT_LIST_DIR}/TransceiverSockets.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TransceiverSockets.h)
  set_target_properties(zelvar_session PROPERTIES AUTOMOC ON)
  target_link_libraries(zelvar_session PUBLIC session_rules zelvar_main Qt6::Core Qt6::Widgets)
  zelvar_warnings(zelvar_session)
endif()
