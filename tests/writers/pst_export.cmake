plumbrae_add_test(plumbrae_pst_export_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/pst_export_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pst_export_run_test.cpp
  LIBS plumbrae_writers_pst)
