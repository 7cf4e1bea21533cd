# The one stand-in for the update window (support/fake_window.h), on the
# window's interface alone: for the tests, the unattended runner, the
# benchmarks and the fuzzers, each of which includes this file.
if(NOT TARGET sorana_fake_window)
  add_library(sorana_fake_window STATIC ${CMAKE_CURRENT_LIST_DIR}/fake_window.cpp)
  target_include_directories(sorana_fake_window PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
  target_link_libraries(sorana_fake_window PUBLIC sorana_form PRIVATE sorana_warnings)
endif()
