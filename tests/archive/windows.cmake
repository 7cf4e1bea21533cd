# The binding's tests of the Windows build, run under wine by scripts/windows
# test. UNLHA32.DLL and the stand-in libraries lie beside the test programs in
# bin/, and the binding loads them by bare name, as the updater does.
set(_archive_tests ${CMAKE_CURRENT_LIST_DIR})

add_library(lha_stand_in_partial MODULE ${_archive_tests}/lha_stand_in.cpp)
add_library(lha_stand_in_echo MODULE ${_archive_tests}/lha_stand_in.cpp)
target_compile_definitions(lha_stand_in_echo PRIVATE LHA_STAND_IN_ECHO)
foreach(_stand_in lha_stand_in_partial lha_stand_in_echo)
  target_link_libraries(${_stand_in} PRIVATE sorana_warnings)
  # Plain export names, and the runtimes linked in as UNLHA32.DLL has them.
  target_link_options(${_stand_in} PRIVATE -Wl,--kill-at -static -static-libgcc -static-libstdc++)
endforeach()

sorana_add_test(lhactrls_windows_test
  SOURCES ${_archive_tests}/lhactrls_test.cpp
  LIBS sorana_archive unlha32_core)
target_compile_definitions(lhactrls_windows_test PRIVATE
  SORANA_STAND_IN_PARTIAL="$<TARGET_FILE_NAME:lha_stand_in_partial>"
  SORANA_STAND_IN_ECHO="$<TARGET_FILE_NAME:lha_stand_in_echo>")
add_dependencies(lhactrls_windows_test unlha32 lha_stand_in_partial lha_stand_in_echo)
