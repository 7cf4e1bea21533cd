# The platform tests of the Windows build, run under wine by scripts/windows test.
# The list is explicit: the tests of the Wine-prefix mapping, of Wine's registry
# files and of the wine launcher stay with the Linux build; the file-system and
# file-tree tests run on both, their cases of links and permissions on Linux only.
sorana_add_test(platform_windows_test
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/file_system_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/file_tree_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/profile_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/version_info_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/win32_host_test.cpp
  LIBS sorana_platform)
