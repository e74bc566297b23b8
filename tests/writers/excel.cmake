# The worksheet writer and the contact sheet: exact bytes in memory, files on disk, and outside
# readers opening a written sheet and its CSV.
plumbrae_add_test(excel_writer_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/excel_file_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/excel_contact_sheet_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/excel_run_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/worksheet_text_test.cpp
  LIBS plumbrae_writers_excel)

add_executable(excel_interop_tool ${CMAKE_CURRENT_LIST_DIR}/excel_interop_tool.cpp)
target_link_libraries(excel_interop_tool PRIVATE plumbrae_writers_excel)
# python3-xlrd, LibreOffice Calc and gnumeric open the sheet with no options and see every cell;
# Python's csv module reads the CSV beside it.
add_test(NAME excel_sheet_read_by_readers
  COMMAND ${PLUMBRAE_SYSTEM_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/check_xls_readers.py
          $<TARGET_FILE:excel_interop_tool>)
set_tests_properties(excel_sheet_read_by_readers PROPERTIES TIMEOUT 600)
