# Warnings as an INTERFACE target property set, linked by every target of ours.
function(plumbrae_set_warnings target as_errors)
  set(warnings
      -Wall
      -Wextra
      -Wpedantic
      -Wconversion
      -Wsign-conversion
      -Wshadow
      -Wnon-virtual-dtor
      -Wold-style-cast
      -Woverloaded-virtual)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC 12 reports std::string appends as overlapping copies at -O2 (a known false positive).
    list(APPEND warnings -Wno-restrict)
  endif()
  if(as_errors)
    list(APPEND warnings -Werror)
  endif()
  target_compile_options(${target} INTERFACE ${warnings})
endfunction()
