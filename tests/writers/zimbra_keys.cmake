# Every Zimbra key through plumbrae-convert into the three outputs, read back by outside readers
# (python3-vobject and Evolution's reader, python3-xlrd, python3-pypff), and a queue of a
# contact, a group, a folder, a message and a damaged file in each saving option.
if(TARGET plumbrae-convert)
  add_test(NAME zimbra_keys_in_every_output
    COMMAND ${PLUMBRAE_SYSTEM_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/check_zimbra_keys.py
            $<TARGET_FILE:plumbrae-convert>)
endif()
