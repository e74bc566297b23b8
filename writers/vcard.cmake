add_library(plumbrae_writers_vcard STATIC ${CMAKE_CURRENT_LIST_DIR} /
            vcard_writer.cpp ${CMAKE_CURRENT_LIST_DIR} / vcard3_text.cpp)
    target_link_libraries(plumbrae_writers_vcard PUBLIC plumbrae_core)
        target_link_libraries(plumbrae_writers INTERFACE plumbrae_writers_vcard)
