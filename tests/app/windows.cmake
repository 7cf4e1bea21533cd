# The update window's core tests of the Windows build, run under wine by
# scripts/windows test: the same sources as on Linux, on the machine's own
# drive C:, registry and Windows folder (support/temp_prefix_win32.cpp).
sorana_add_test(app_core_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/app_prefix.cpp
    ${CMAKE_CURRENT_LIST_DIR}/startup_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settings_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/standards_test.cpp
  LIBS sorana_app)
sorana_add_test(app_main_form_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/app_prefix.cpp ${CMAKE_CURRENT_LIST_DIR}/main_form_test.cpp
  LIBS sorana_app)
