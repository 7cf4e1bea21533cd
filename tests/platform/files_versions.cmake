# File system, file-tree operations, program-file versions.
sorana_add_test(platform_files_test
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/file_system_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/version_info_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/file_tree_test.cpp
  LIBS sorana_platform)
