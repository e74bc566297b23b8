# bench_pst_export: a PST run through the late-bound path against a worksheet run of the same
# generated contact files.
if(TARGET plumbrae_bench_generator AND TARGET plumbrae_writers_excel AND TARGET plumbrae_pst_rdo
   AND TARGET plumbrae_pst_messaging)
  add_executable(bench_pst_export ${CMAKE_CURRENT_LIST_DIR}/pst_export_benchmark.cpp)
  target_link_libraries(bench_pst_export PRIVATE plumbrae_writers_pst plumbrae_writers_excel
                                                 plumbrae_pst_rdo plumbrae_bench_generator)
endif()
