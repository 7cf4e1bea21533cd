# The LHA library's tests of the Windows build, run under wine by
# scripts/windows test; UNLHA32.DLL is loaded by bare name from beside them,
# which proves the system's search order and the plain __stdcall exports. The
# agreement test with Debian's lhasa command stays with the Linux build.
set(_lha_tests ${CMAKE_CURRENT_LIST_DIR})
# Under Wine the build machine's root is drive Z:.
set(_lha_fixtures_windows "Z:${PROJECT_SOURCE_DIR}/tests/data/lha")
sorana_add_test(lha_extract_windows_test
  SOURCES ${_lha_tests}/lha_extract_test.cpp ${_lha_tests}/command_line_test.cpp
  LIBS unlha32_core)
target_compile_definitions(lha_extract_windows_test PRIVATE SORANA_LHA_FIXTURES="${_lha_fixtures_windows}")

sorana_add_test(unlha32_library_windows_test
  SOURCES ${_lha_tests}/unlha32_library_test.cpp
  LIBS unlha32_core)
target_compile_definitions(unlha32_library_windows_test PRIVATE SORANA_UNLHA32_PATH="UNLHA32.DLL")
add_dependencies(unlha32_library_windows_test unlha32)
