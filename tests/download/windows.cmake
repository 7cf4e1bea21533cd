# The download tests of the Windows build, run under wine by scripts/windows test:
# TipwHTTP over WinHTTP and transfer progress against the in-process test
# server; HTTPS against the TLS server that scripts/windows starts.
sorana_add_test(download_windows_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tipw_http_test.cpp ${CMAKE_CURRENT_LIST_DIR}/tipw_http_resume_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/tipw_http_proxy_test.cpp ${CMAKE_CURRENT_LIST_DIR}/tipw_https_test.cpp
  LIBS sorana_http)
sorana_add_test(download_transfer_progress_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/transfer_progress_test.cpp
  LIBS sorana_download)
