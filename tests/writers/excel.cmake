# The worksheet writer and the contact sheet: exact bytes in memory, files on disk, and an
# outside reader (python3-xlrd) opening a written sheet.
plumbrae_add_test(excel_writer_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/excel_file_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/excel_contact_sheet_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/excel_run_test.cpp
  LIBS plumbrae_writers_excel)

add_executable(excel_interop_tool ${CMAKE_CURRENT_LIST_DIR}/excel_interop_tool.cpp)
target_link_libraries(excel_interop_tool PRIVATE plumbrae_writers_excel)
add_test(NAME excel_sheet_read_by_xlrd
  COMMAND ${PLUMBRAE_SYSTEM_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/check_xls_with_xlrd.py
          $<TARGET_FILE:excel_interop_tool>)
