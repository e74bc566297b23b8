# The BIFF2 worksheet writer and the Excel contact sheet built on it.
add_library(plumbrae_writers_excel STATIC
  ${CMAKE_CURRENT_LIST_DIR}/excel_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/excel_contact_sheet.cpp
  ${CMAKE_CURRENT_LIST_DIR}/csv_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/group_sheet.cpp)
target_link_libraries(plumbrae_writers_excel PUBLIC plumbrae_core plumbrae_support)
target_link_libraries(plumbrae_writers INTERFACE plumbrae_writers_excel)
