# The download tests of the Windows build, run under wine by scripts/windows test:
# TipwHTTP over WinHTTP against the in-process test server. The rest of the
# download layer and the libcurl-only cases stay with the Linux build.
sorana_add_test(download_windows_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tipw_http_test.cpp
  LIBS sorana_http)
