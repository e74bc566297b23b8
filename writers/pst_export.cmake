# The Outlook (.pst) option: late-bound calls on whatever is registered as the session class.
add_library(plumbrae_writers_pst STATIC ${CMAKE_CURRENT_LIST_DIR}/pst_export.cpp)
target_link_libraries(plumbrae_writers_pst PUBLIC plumbrae_core plumbrae_automation)
target_link_libraries(plumbrae_writers INTERFACE plumbrae_writers_pst)
