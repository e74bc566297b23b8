# bench_excel: an Excel run over generated contact files against cat of the same files.
if(TARGET plumbrae_bench_generator)
  add_executable(bench_excel ${CMAKE_CURRENT_LIST_DIR}/excel_benchmark.cpp)
  target_link_libraries(bench_excel PRIVATE plumbrae_writers_excel plumbrae_bench_generator
                                            plumbrae_core)
endif()
