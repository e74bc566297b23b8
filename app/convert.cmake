add_executable(plumbrae-convert convert_main.cpp)
target_link_libraries(plumbrae-convert PRIVATE plumbrae_writers_outputs plumbrae_pst_rdo
  plumbrae_core)
install(TARGETS plumbrae-convert RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
