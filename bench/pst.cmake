# bench_pst: contacts written into one PST against the same contacts as one worksheet.
if(TARGET plumbrae_bench_generator AND TARGET plumbrae_pst_messaging)
  add_executable(bench_pst ${CMAKE_CURRENT_LIST_DIR}/pst_benchmark.cpp)
  target_link_libraries(bench_pst PRIVATE plumbrae_pst_messaging plumbrae_bench_generator
                                          plumbrae_core)
  if(TARGET plumbrae_writers_excel)
    target_link_libraries(bench_pst PRIVATE plumbrae_writers_excel)
    target_compile_definitions(bench_pst PRIVATE PLUMBRAE_BENCH_HAS_EXCEL)
  endif()
endif()
