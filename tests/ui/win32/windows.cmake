# The Windows window, run under wine on a display by scripts/windows test
# (which starts Xvfb for it). With SORANA_SCREENSHOT set to a .bmp path the
# test saves a picture of the window there.
sorana_add_test(win32_window_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tmain_form_test.cpp ${CMAKE_CURRENT_LIST_DIR}/window_probe.cpp
  LIBS sorana_win32_window)
