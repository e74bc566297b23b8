# The window's benchmarks: Add folder on a large tree, and a vCard run in the window against the
# command-line converter. They need the window and the tree generator.
if(TARGET plumbrae_ui AND TARGET plumbrae_bench_generator)
  find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
  add_executable(bench_window_add_folder ${CMAKE_CURRENT_LIST_DIR}/window_add_folder_benchmark.cpp)
  target_link_libraries(bench_window_add_folder PRIVATE plumbrae_ui plumbrae_bench_generator
                                                        Qt6::Test)
  if(TARGET plumbrae_writers_outputs)
    add_executable(bench_window_run ${CMAKE_CURRENT_LIST_DIR}/window_run_benchmark.cpp)
    target_link_libraries(bench_window_run PRIVATE plumbrae_ui plumbrae_writers_outputs plumbrae_pst_rdo
                                                   plumbrae_bench_generator Qt6::Test)
  endif()
endif()
