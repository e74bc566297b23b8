# The window program. Its help manual, icon and desktop entry are installed beside it; from the
# build tree it opens the manual in the source tree.
if(NOT PLUMBRAE_BUILD_GUI OR NOT TARGET plumbrae_ui)
  return()
endif()

# Qt's imported targets are visible only where Qt was found.
find_package(Qt6 REQUIRED COMPONENTS Widgets)
qt_standard_project_setup()

set(PLUMBRAE_UI_RESOURCES ${CMAKE_SOURCE_DIR}/ui/resources)

add_executable(plumbrae plumbrae_main.cpp)
target_link_libraries(plumbrae PRIVATE plumbrae_ui)
file(RELATIVE_PATH plumbrae_data_from_bin
  ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}
  ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/plumbrae)
target_compile_definitions(plumbrae PRIVATE
  PLUMBRAE_DATA_FROM_BIN="${plumbrae_data_from_bin}"
  PLUMBRAE_SOURCE_RESOURCES="${PLUMBRAE_UI_RESOURCES}")
if(TARGET plumbrae_writers_outputs)
  target_link_libraries(plumbrae PRIVATE plumbrae_writers_outputs plumbrae_pst_rdo)
  target_compile_definitions(plumbrae PRIVATE PLUMBRAE_HAVE_OUTPUTS=1)
endif()

install(TARGETS plumbrae RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PLUMBRAE_UI_RESOURCES}/plumbrae-manual.html ${PLUMBRAE_UI_RESOURCES}/plumbrae.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/plumbrae)
install(FILES ${PLUMBRAE_UI_RESOURCES}/plumbrae.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PLUMBRAE_UI_RESOURCES}/plumbrae.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
