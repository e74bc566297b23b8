plumbrae_add_test(vcard_writer_tests
  SOURCES vcard_writer_test.cpp vcard_line_encoding_test.cpp
  LIBS plumbrae_writers_vcard)

# Real vCard readers must read what we write: python3-vobject and Text::vCard parse every card
# of a converted generated tree and find the contacts' fields.
add_test(NAME vcard_interop_vobject
  COMMAND ${CMAKE_COMMAND} -E env PYTHON=${PLUMBRAE_SYSTEM_PYTHON}
          ${CMAKE_CURRENT_SOURCE_DIR}/vcard_interop.sh
          $<TARGET_FILE:plumbrae-convert> $<TARGET_FILE:generate-meta-tree>
          ${CMAKE_CURRENT_SOURCE_DIR}/check_vcards.py)
