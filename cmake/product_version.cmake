# For the benchmarks, which build some of the sources as projects of their
# own: writes OUT_DIR/product_version.h from the version that project() of the
# top-level CMakeLists.txt gives, as the main build does.
function(sorana_write_product_version root out_dir)
  file(READ ${root}/CMakeLists.txt top)
  if(NOT top MATCHES "project\\([a-z_]+ VERSION (([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+))")
    message(FATAL_ERROR "no four-part VERSION in project() of ${root}/CMakeLists.txt")
  endif()
  set(PROJECT_VERSION ${CMAKE_MATCH_1})
  set(PROJECT_VERSION_MAJOR ${CMAKE_MATCH_2})
  set(PROJECT_VERSION_MINOR ${CMAKE_MATCH_3})
  set(PROJECT_VERSION_PATCH ${CMAKE_MATCH_4})
  set(PROJECT_VERSION_TWEAK ${CMAKE_MATCH_5})
  configure_file(${root}/cmake/product_version.h.in ${out_dir}/product_version.h @ONLY)
endfunction()
