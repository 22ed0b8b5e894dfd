# The editor's document formats: the RTF reader and writer, the code pages
# and the plain-text rules. No Qt and no windows, so they build, test and
# fuzz with the core.
add_library(zelvar_rtf STATIC
  ${CMAKE_CURRENT_LIST_DIR}/CodePages.cpp ${CMAKE_CURRENT_LIST_DIR}/CodePages.h
  ${CMAKE_CURRENT_LIST_DIR}/DocumentText.cpp ${CMAKE_CURRENT_LIST_DIR}/DocumentText.h
  ${CMAKE_CURRENT_LIST_DIR}/RichText.cpp ${CMAKE_CURRENT_LIST_DIR}/RichText.h
  ${CMAKE_CURRENT_LIST_DIR}/Rtf.h
  ${CMAKE_CURRENT_LIST_DIR}/RtfReader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RtfWriter.cpp)
target_include_directories(zelvar_rtf PUBLIC ${CMAKE_CURRENT_LIST_DIR})
zelvar_warnings(zelvar_rtf)
