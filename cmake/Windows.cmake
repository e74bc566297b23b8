# Settings of the Windows build (cross compiled, see mingw-w64-x86_64.cmake).

# Windows 10 and later; the wide-character ("W") forms of every system call; 64-bit file
# offsets (off_t, fseeko) as elsewhere.
target_compile_definitions(plumbrae_options INTERFACE
  _WIN32_WINNT=0x0A00 WINVER=0x0A00 UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
  _FILE_OFFSET_BITS=64)

# nlohmann-json is header-only: the build machine's copy serves. Only its own folder is put on
# the include path, never the build machine's /usr/include as a whole.
if(NOT TARGET nlohmann_json::nlohmann_json)
  find_path(PLUMBRAE_NLOHMANN_JSON_INCLUDE nlohmann/json.hpp
    PATHS /usr/include /usr/local/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH REQUIRED)
  set(headers ${CMAKE_BINARY_DIR}/build-machine-headers)
  file(MAKE_DIRECTORY ${headers})
  file(CREATE_LINK ${PLUMBRAE_NLOHMANN_JSON_INCLUDE}/nlohmann ${headers}/nlohmann SYMBOLIC)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
  target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${headers})
endif()
