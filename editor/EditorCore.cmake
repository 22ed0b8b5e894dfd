# The editor's window-free core: the line transforms, the port sort and the
# text search. Standard library only (and the decoder's line list and hex
# reading), so it is built, tested and sanitised with the decoder.
add_library(editor_core STATIC
  ${CMAKE_CURRENT_LIST_DIR}/LineTransform.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PortSort.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProcessLines.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TextSearch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TextUnits.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UpperCase.cpp)
target_include_directories(editor_core PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(editor_core PUBLIC decoder)
zelvar_warnings(editor_core)
