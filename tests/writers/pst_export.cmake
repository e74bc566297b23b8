plumbrae_add_test(plumbrae_pst_export_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/pst_export_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pst_export_run_test.cpp
  LIBS plumbrae_writers_pst)

# End to end over the real PST writer, read back by libpff and libpst (Debian's pff-tools,
# python3-pypff and pst-utils) and the independent checker.
if(TARGET plumbrae_pst_messaging AND TARGET plumbrae_pst_rdo)
  find_package(nlohmann_json 3 REQUIRED)
  plumbrae_add_test(plumbrae_pst_export_e2e_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/pst_export_e2e_test.cpp
    LIBS plumbrae_writers_pst plumbrae_pst_rdo nlohmann_json::nlohmann_json)
  target_compile_definitions(plumbrae_pst_export_e2e_tests PRIVATE
    PLUMBRAE_CHECKER_DIR="${PROJECT_SOURCE_DIR}/tests/pst/checker")
endif()

# The command-line program with --pst, on generated contact files.
if(TARGET plumbrae-convert AND TARGET plumbrae_bench_generator)
  find_package(nlohmann_json 3 REQUIRED)
  plumbrae_add_test(plumbrae_pst_export_cli_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/pst_export_cli_test.cpp
    LIBS plumbrae_core plumbrae_bench_generator nlohmann_json::nlohmann_json)
  add_dependencies(plumbrae_pst_export_cli_tests plumbrae-convert)
  target_compile_definitions(plumbrae_pst_export_cli_tests PRIVATE
    PLUMBRAE_CONVERT="$<TARGET_FILE:plumbrae-convert>"
    PLUMBRAE_CHECKER_DIR="${PROJECT_SOURCE_DIR}/tests/pst/checker")
endif()

# Runs of each option ended early by an injected exception or a stop request.
if(TARGET plumbrae_writers_outputs AND TARGET plumbrae_pst_rdo)
  find_package(nlohmann_json 3 REQUIRED)
  plumbrae_add_test(plumbrae_interrupted_run_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/interrupted_runs_test.cpp
    LIBS plumbrae_writers_outputs plumbrae_pst_rdo nlohmann_json::nlohmann_json)
  target_compile_definitions(plumbrae_interrupted_run_tests PRIVATE
    PLUMBRAE_CHECKER_DIR="${PROJECT_SOURCE_DIR}/tests/pst/checker")
endif()
