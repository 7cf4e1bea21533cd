# The run of an update on both hosts (under wine by scripts/windows test): the
# download driver against the in-process test server, the download folder and
# the update server.
sorana_add_test(update_driver_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/download_driver_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/download_driver_fault_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/download_driver_proxy_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/download_driver_ahead_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/download_folder_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/update_server_test.cpp
  LIBS sorana_update)
target_compile_definitions(update_driver_test PRIVATE SORANA_TEST_DEFAULT_SERVER="${SORANA_UPDATE_SERVER}")
