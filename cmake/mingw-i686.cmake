# Cross-compiling the 32-bit Windows programs with Debian's mingw-w64 (posix threads,
# so std::thread and std::mutex work). Programs run on a bare Windows: the C and
# C++ runtimes are linked in.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(SORANA_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${SORANA_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SORANA_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${SORANA_MINGW_TRIPLET}-windres)

# The system's mingw root, and the libraries scripts/windows deps cross-builds.
get_filename_component(SORANA_WINDOWS_DEPS "${CMAKE_CURRENT_LIST_DIR}/../build/windows-deps" ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH /usr/${SORANA_MINGW_TRIPLET} ${SORANA_WINDOWS_DEPS}/googletest ${SORANA_WINDOWS_DEPS}/lhasa
  ${SORANA_WINDOWS_DEPS}/libsodium)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs are run through wine on the build machine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
