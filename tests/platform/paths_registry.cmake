# Windows paths of a prefix, profile and registry files, folders and processes.
sorana_add_test(platform_paths_test
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/win_path_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/profile_test.cpp
  LIBS sorana_platform)
sorana_add_test(platform_registry_test
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/registry_test.cpp
  LIBS sorana_platform)
sorana_add_test(platform_folders_process_test
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/folders_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/process_test.cpp
  LIBS sorana_platform)
